// Persistent nodes for the tests: an item node of the host's Item type that keeps one "Value" in
// its data (as project items keep their properties), in a file of its own or in its parent's
// data, and a fixture that makes them over a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include "host/test_host.h"
#include "project/storage/item_files.h"
#include "project/storage/node_storage.h"
#include "project/storage/project_node.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {

class TItemNode : public project::TpwProjectNode {
 public:
  TItemNode(IpwProjectNode* parent, std::uint8_t kind, const GUID& type = host::kItemNodeType);

  WideString value;
  // A save that the file cannot take (a node name longer than a file may hold).
  bool unsaveable = false;
  // Load raises after the data was read.
  bool failLoad = false;
  // IsModified as seen from inside the last Load.
  bool modifiedInLoad = false;
  std::int32_t loads = 0;

  void SetValue(WideStringView v) {
    value = WideString(v);
    Changed(true);
  }
  bool Load() override;
  std::int32_t Save() override;
};

class ItemNodeTest : public ::testing::Test {
 protected:
  explicit ItemNodeTest(bool interactive = true);
  ~ItemNodeTest() override;

  // A file node, initialized, opened from (or created as) the file.
  ComPtr<TItemNode> Open(const WideString& fileName, bool quiet = false);
  ComPtr<TItemNode> MakeFileNode();
  // An item file of the host's Item type with a value, signature and version.
  void WriteItemFile(const std::string& name, WideStringView value, WideStringView version = u"9.0",
                     WideStringView signature = u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}");
  std::vector<WideString> Messages() const;
  void Finalize(TItemNode* node);

  host::TestHost host;
  ScratchDir dir;
  std::vector<ComPtr<TItemNode>> nodes_;
};

}  // namespace pw::test
