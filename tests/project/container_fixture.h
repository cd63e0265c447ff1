// Containers for the tests: a "Box" project item (kept in a ".pwb" file) whose children are
// "Part" nodes kept in the box's data (one "Value" each) or "Solo" parts (one per box), made by
// a factory the test registers and withdraws. A part's value steers it: "fail:N" fails its load
// with node error N, "save:N" answers save code N, "throw" raises when it is finalised.
#pragma once

#include <functional>
#include <set>
#include <thread>

#include "project/container/item_helpers.h"
#include "project/container/project_item.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {

inline constexpr GUID kBoxType = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F01}");
inline constexpr GUID kPartType = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F02}");
inline constexpr GUID kSoloType = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F03}");
inline constexpr GUID kGadgetType = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F04}");

class TPart : public project::TpwProjectNode {
 public:
  TPart(IpwProjectNode* parent, const GUID& type, const GUID& key)
      : TpwProjectNode(parent, type, key, project::kParentStorageKind) {}
  WideString value;
  bool finalized = false;
  // Configurations: the keys it has, those modified, the keys it stored and read.
  std::vector<GUID> configKeys;
  std::set<GUID> modifiedConfigs;
  std::vector<GUID> storedConfigs, readConfigs;
  std::vector<GUID> GetConfigKeys() override { return configKeys; }
  bool ConfigKeyModified(const GUID& key) override { return modifiedConfigs.contains(key); }
  void StoreConfigKey(const GUID& key) override {
    storedConfigs.push_back(key);
    modifiedConfigs.erase(key);
  }
  void ReadConfigKey(const GUID& key) override { readConfigs.push_back(key); }
  bool Load() override;
  std::int32_t Save() override;
  void DoFinalize() override;
};

// The factory of Part and Solo, or (boxes) the list of the Box type (Box nodes are the test's
// own).
class TPartTypes final : public Implements<ComObject, IpwProjectItemTypeProvider> {
 public:
  TPartTypes(IcvBaseManager* manager, bool boxes) : manager_(manager), boxes_(boxes) {}
  std::int32_t made = 0;
  // Called as each part is made (a test looks at the host's state at that moment).
  std::function<void()> onCreate;
  HRESULT GetKey(GUID* key) override;
  HRESULT GetItemTypeCount(std::int32_t* count) override;
  HRESULT CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode* parent,
                     IpwProjectNode** node) override;
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode**) override { return E_NOTIMPL; }
  HRESULT GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) override;

 private:
  IcvBaseManager* manager_;
  bool boxes_;
};

struct EntrySpec {
  std::string name;
  GUID key;
  GUID type;
  std::int32_t index;  // -2: none stored
  WideString value;
  WideString typeName = {};
  WideString pluginName = {};
};

class ContainerTest : public ItemNodeTest {
 protected:
  explicit ContainerTest(bool interactive = true);
  ~ContainerTest() override;

  // A box file with the entries; the box opened from it.
  void WriteBoxFile(const std::string& name, const std::vector<EntrySpec>& entries);
  ComPtr<project::TpwProjectItem> OpenBox(const std::string& name);
  // A part of the type under the box (not added).
  ComPtr<TPart> MakePart(project::TpwProjectItem* box, WideStringView value, const GUID& type = kPartType,
                         GUID key = GUID_NULL);
  // The values of the box's children (the Unavailable ones as "?" and their error text).
  std::vector<std::string> ChildValues(project::TpwProjectItem* box);
  // The stored entries of a box file: name (lower case: option names ignore case) ->
  // "Key|Type|TypeName|PluginName|Index|Value|Depth".
  std::map<std::string, std::string> StoredEntries(const std::string& name);
  std::vector<WideString> Reports() const;

  ComPtr<TPartTypes> types, boxTypes;
  std::vector<ComPtr<project::TpwProjectItem>> boxes;
};

GUID NewTestKey();

}  // namespace pw::test
