// A container's stored children from outside: an options XML file of a project item whose
// "Child List" entries name children of the target's own types (a part kept in the item's data,
// a single-instance part, a shelf that is itself a container in the item's data, and its leaves)
// or of types nobody makes. Whatever opens is saved to a new file, opened again and saved again:
// the three openings show the same children (key, type, stood-for type, value, nesting); no
// container holds two children of one key or two real children of a single-instance type; and
// nothing raises out of an open or a save. Only the host's types for the test are registered,
// so no entry makes a node that opens a file of its own.
#include <filesystem>

#include "core/options/options_intf.h"
#include "core/options/options_name_pool.h"
#include "fuzz/fuzz_support.h"
#include "host/node_type_registry.h"
#include "host/test_host.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/container/project_item.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "project/types/node_info.h"

using namespace pw;

namespace {

constexpr GUID kBoxType = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E01}");
constexpr GUID kPartType = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E02}");
constexpr GUID kSoloType = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E03}");
constexpr GUID kShelfType = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E04}");
constexpr GUID kLeafType = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E05}");
constexpr GUID kTypesKey = MakeGuid("{5C0E2F61-7A1B-4D3C-9E8F-0A1B2C3D4E10}");

// A part kept in its parent's data: one "Value"; a value "fail" fails its load.
class TPart final : public project::TpwProjectNode {
 public:
  TPart(IpwProjectNode* parent, const GUID& type, const GUID& key)
      : TpwProjectNode(parent, type, key, project::kParentStorageKind) {}
  WideString value;
  bool Load() override {
    if (!TpwProjectNode::Load()) return false;
    if (auto data = DataNode()) SafeCallCheck(project::PropertiesOf(data.Get())->GetString(u"Value", u"", &value));
    if (value == u"fail") {
      SetNodeError(104, BString(u"The part does not load.").Get());
      return false;
    }
    return true;
  }
  std::int32_t Save() override {
    if (auto data = DataNode()) SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Value", value));
    return TpwProjectNode::Save();
  }
};

const GUID kBoxTypeValue = kBoxType, kPartTypeValue = kPartType, kSoloTypeValue = kSoloType,
           kShelfTypeValue = kShelfType, kLeafTypeValue = kLeafType, kNoParent = GUID_NULL;
const WideString kBoxName = u"Box", kPartName = u"Part", kSoloName = u"Solo", kShelfName = u"Shelf",
                 kLeafName = u"Leaf", kPlugin = u"Fuzz Parts", kBoxExtension = u".pwb";

struct TypeRow {
  const GUID* type;
  const WideString* name;
  const GUID* parent;
  bool single;
};
const TypeRow kRows[] = {{&kBoxTypeValue, &kBoxName, &kNoParent, false},
                         {&kPartTypeValue, &kPartName, &kBoxTypeValue, false},
                         {&kSoloTypeValue, &kSoloName, &kBoxTypeValue, true},
                         {&kShelfTypeValue, &kShelfName, &kBoxTypeValue, false},
                         {&kLeafTypeValue, &kLeafName, &kShelfTypeValue, false}};

class TFuzzTypes final : public Implements<ComObject, IpwProjectItemTypeProvider> {
 public:
  explicit TFuzzTypes(IcvBaseManager* manager) : manager_(manager) {}
  HRESULT GetKey(GUID* key) override {
    *key = kTypesKey;
    return S_OK;
  }
  HRESULT GetItemTypeCount(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(std::size(kRows));
    return S_OK;
  }
  HRESULT GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) override {
    return SafeCall([&] {
      const TypeRow& row = kRows[index];
      project::TProjectNodeInfo i;
      i.typeKey = row.type;
      i.typeName = row.name;
      i.caption = row.name;
      i.description = row.name;
      i.parentTypeKey = row.parent;
      i.singleInstance = row.single;
      i.pluginName = &kPlugin;
      // A box's name follows its file, which the target moves.
      i.numberedNames = row.type == &kBoxTypeValue;
      if (row.type == &kBoxTypeValue) i.fileExtension = &kBoxExtension;
      *info = ComPtr<IpwProjectNodeInfo>(MakeObject<project::TpwProjectNodeInfo>(manager_, i)).Detach();
    });
  }
  // Boxes are opened by the target itself: an entry of the Box type is refused like any other
  // type nobody makes here.
  HRESULT CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode* parent,
                     IpwProjectNode** node) override {
    return SafeCall([&] {
      *node = nullptr;
      ComPtr<project::TpwProjectNode> made;
      if (typeKey == kPartType || typeKey == kSoloType || typeKey == kLeafType)
        made = MakeObject<TPart>(parent, typeKey, key);
      else if (typeKey == kShelfType) made = MakeObject<project::TpwProjectNodeContainer>(parent, typeKey, key, true);
      else throw EOleSysError(u"No such type", E_INVALIDARG);
      SafeCallCheck(made->Initialize(manager_));
      *node = ComPtr<IpwProjectNode>(made->AsNode()).Detach();
    });
  }
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode**) override { return E_NOTIMPL; }

 private:
  IcvBaseManager* manager_;
};

project::TpwBaseProjectNode* AsBase(IpwProjectNode* node) {
  auto internal = QueryAs<IpwProjectNodeInternal>(node);
  return internal ? static_cast<project::TpwBaseProjectNode*>(internal.Get()) : nullptr;
}

// The children of a container, nested, as text; checks the keys and single instances.
void Describe(IpwProjectNode* container, std::string& out) {
  out += '[';
  std::vector<GUID> keys;
  bool solo = false;
  project::ForEachChild(container, [&](IpwProjectNode* child) {
    const GUID key = project::NodeKey(child), type = project::NodeTypeKey(child);
    for (const GUID& k : keys) fuzz::Check(k != key, "a container holds two children of one key");
    keys.push_back(key);
    if (type == kSoloType) {
      fuzz::Check(!solo, "a container holds two children of a single-instance type");
      solo = true;
    }
    out += GuidToString(key) + GuidToString(type);
    if (auto fake = QueryAs<IpwFakeProjectNode>(child)) {
      GUID stood{};
      SafeCallCheck(fake->GetRepresentedTypeKey(&stood));
      out += GuidToString(stood);
    }
    auto* base = AsBase(child);
    if (auto* part = dynamic_cast<TPart*>(base)) out += WideToUtf8(part->value);
    if (dynamic_cast<project::TpwProjectNodeContainer*>(base)) Describe(child, out);
    out += '\x01';
    return true;
  });
  out += ']';
}

struct NamePool {
  NamePool() { StartOptionsNamePool(); }
} namePool;

// Opens the box file; nil when it does not open. Raising is a fault.
ComPtr<project::TpwProjectItem> Open(IcvBaseManager* manager, const std::string& file,
                                     std::vector<ComPtr<project::TpwProjectItem>>& opened) {
  GUID key{};
  OleCheck(CreateGuid(key));
  auto box = MakeObject<project::TpwProjectItem>(nullptr, kBoxType, key);
  OleCheck(box->Initialize(manager));
  opened.push_back(box);
  bool loaded = false;
  try {
    loaded = box->ReloadFromFileName(Utf8ToWide(file), true);
  } catch (const Exception&) {
    fuzz::Check(false, "an open raised");
  }
  return loaded ? box : nullptr;
}

// Saves the box to a new file; False when it is not saved. Raising is a fault.
bool SaveTo(project::TpwProjectItem& box, const std::string& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  box.Changed(true);
  try {
    return box.SaveToNewFileName(Utf8ToWide(file), false) == 0;
  } catch (const Exception&) {
    fuzz::Check(false, "a save raised");
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemoryFile file(fuzz::AsText(data, size));
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  // Only the target's types: the host's own (the Item kept in a file of its own) go.
  for (const auto& list : host.Projects().ItemTypeLists()) {
    GUID key{};
    SafeCallCheck(list->GetKey(&key));
    if (key == host::kHostItemTypesKey) host.Projects().RemoveItemTypes(list.Get());
  }
  auto types = MakeObject<TFuzzTypes>(host.Manager());
  host.Projects().AddItemTypes(types.Get());

  std::vector<ComPtr<project::TpwProjectItem>> opened;
  struct FinalizeAll {
    std::vector<ComPtr<project::TpwProjectItem>>& boxes;
    ~FinalizeAll() {
      for (auto& box : boxes) box->Finalize();
    }
  } finalize{opened};

  auto first = Open(host.Manager(), file.Path(), opened);
  if (!first) return 0;
  std::string a, b, c;
  Describe(first->AsNode(), a);
  const std::string saved = fuzz::ScratchFolder() + "/saved.pwb", again = fuzz::ScratchFolder() + "/again.pwb";
  if (!SaveTo(*first, saved)) return 0;
  auto second = Open(host.Manager(), saved, opened);
  fuzz::Check(second != nullptr, "a saved box does not open");
  Describe(second->AsNode(), b);
  fuzz::Check(a == b, "the saved children open as other children");
  fuzz::Check(SaveTo(*second, again), "a saved box does not save again");
  auto third = Open(host.Manager(), again, opened);
  fuzz::Check(third != nullptr, "a box saved twice does not open");
  Describe(third->AsNode(), c);
  fuzz::Check(b == c, "a second save changes the children");
  return 0;
}
