// The project tests' host: a test host with item types of the tests' own, a
// project node to put children under, and a node class whose name rule the test
// chooses.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "host/test_host.h"
#include "project/nodes/base_node.h"
#include "project/types/node_info.h"

namespace pw::test {

inline constexpr GUID kWidgetType = MakeGuid("{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C0001}");
inline constexpr GUID kSingleType = MakeGuid("{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C0002}");
inline constexpr GUID kFixedType = MakeGuid("{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C0003}");

// Item types of the tests: "Widget" (numbered, file-kept, under a Project),
// "Single" (one per parent, numbered), "Fixed" (one per parent, fixed name
// "Settings").
class TTestItemTypes final : public Implements<ComObject, IpwProjectItemTypeProvider> {
 public:
  explicit TTestItemTypes(IcvBaseManager* manager);
  std::vector<project::TProjectNodeInfo>& Types() { return types_; }

  HRESULT GetKey(GUID* key) override;
  HRESULT GetItemTypeCount(std::int32_t* count) override;
  HRESULT CreateItem(const GUID&, const GUID&, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode*,
                     IpwProjectNode**) override {
    return E_NOTIMPL;
  }
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode**) override { return E_NOTIMPL; }
  HRESULT GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) override;

 private:
  IcvBaseManager* manager_;
  std::vector<project::TProjectNodeInfo> types_;
};

// A node whose name rule (storage type) the test sets.
class TTestNode final : public project::TpwBaseProjectNode {
 public:
  using TpwBaseProjectNode::TpwBaseProjectNode;
  std::uint8_t storageType = 0;
  std::uint8_t GetStorageType() override { return storageType; }
};

class ProjectTest : public ::testing::Test {
 protected:
  ProjectTest();
  ~ProjectTest() override;

  IcvBaseManager* Manager() { return host.Manager(); }
  // A node of a type under a parent (not yet in the parent's children),
  // initialized.
  ComPtr<TTestNode> MakeNode(const GUID& type, IpwProjectNode* parent, WideStringView name = {});
  // Adds a host node named Name as a child of the project.
  ComPtr<host::THostProjectNode> AddSibling(WideStringView name, const GUID& type = kWidgetType);
  std::vector<WideString> MessageTexts() const;

  host::TestHost host;
  ComPtr<TTestItemTypes> types;
  ComPtr<host::THostProjectNode> project;
};

}  // namespace pw::test
