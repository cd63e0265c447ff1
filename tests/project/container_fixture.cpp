#include "tests/project/container_fixture.h"

#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "host/node_type_registry.h"
#include "platform/com/safecall.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"

namespace pw::test {

namespace {
const GUID kBoxTypeValue = kBoxType, kPartTypeValue = kPartType, kSoloTypeValue = kSoloType;
const GUID kNoParent = GUID_NULL;
const WideString kBoxName = u"Box", kPartName = u"Part", kSoloName = u"Solo";
const WideString kBoxExtension = u".pwb";
const WideString kPlugin = u"Parts Plug-in";
const GUID kPartListKey = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F10}");
const GUID kBoxListKey = MakeGuid("{7A3C1E20-5B6D-4E8F-9A01-2B3C4D5E6F11}");

project::TProjectNodeInfo TypeInfo(const GUID* type, const WideString* name, const GUID* parent, bool single) {
  project::TProjectNodeInfo info;
  info.typeKey = type;
  info.typeName = name;
  info.caption = name;
  info.description = name;
  info.parentTypeKey = parent;
  info.singleInstance = single;
  // Solo parts leave with a logical folder that refers to them; Parts stay.
  info.flag12 = type == &kSoloTypeValue;
  info.pluginName = &kPlugin;
  if (type == &kBoxTypeValue) info.fileExtension = &kBoxExtension;
  return info;
}

// "fail:101" -> 101 for the prefix.
std::int32_t Code(const WideString& value, WideStringView prefix) {
  if (!value.starts_with(prefix)) return -1;
  return std::stoi(WideToUtf8(value.substr(prefix.size())));
}

ComPtr<IcvOptionsNode> Sub(IcvOptionsNode* node, WideStringView name) {
  ComPtr<IcvOptionsNode> sub;
  SafeCallCheck(node->GetNode(name, sub.Put()));
  return sub;
}
WideString Str(IcvOptionsNode* node, WideStringView name) {
  WideString v;
  SafeCallCheck(project::PropertiesOf(node)->GetString(name, u"", &v));
  return v;
}
}  // namespace

GUID NewTestKey() {
  GUID key{};
  OleCheck(CreateGuid(key));
  return key;
}

bool TPart::Load() {
  if (!TpwProjectNode::Load()) return false;
  if (auto data = DataNode()) value = Str(data.Get(), u"Value");
  std::int32_t fail = Code(value, u"fail:");
  if (fail >= 0) {
    SetNodeError(fail, BString(u"Broken").Get());
    return false;
  }
  return true;
}

std::int32_t TPart::Save() {
  if (auto data = DataNode()) SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Value", value));
  std::int32_t code = Code(value, u"save:");
  std::int32_t own = TpwProjectNode::Save();
  return code >= 0 ? code : own;
}

void TPart::DoFinalize() {
  bool raise = value == u"throw";
  finalized = true;
  TpwProjectNode::DoFinalize();
  if (raise) throw EOleSysError(u"The part cannot let go.", E_FAIL);
}

HRESULT TPartTypes::GetKey(GUID* key) {
  *key = boxes_ ? kBoxListKey : kPartListKey;
  return S_OK;
}
HRESULT TPartTypes::GetItemTypeCount(std::int32_t* count) {
  *count = boxes_ ? 1 : 2;
  return S_OK;
}
HRESULT TPartTypes::CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo*, IUnknown*,
                               IpwProjectNode* parent, IpwProjectNode** node) {
  return SafeCall([&] {
    *node = nullptr;
    if (boxes_ || (typeKey != kPartType && typeKey != kSoloType)) throw EOleSysError(u"No such type", E_INVALIDARG);
    auto part = MakeObject<TPart>(parent, typeKey, key);
    SafeCallCheck(part->Initialize(manager_));
    ++made;
    if (onCreate) onCreate();
    *node = ComPtr<IpwProjectNode>(part->AsNode()).Detach();
  });
}
HRESULT TPartTypes::GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) {
  return SafeCall([&] {
    project::TProjectNodeInfo i = boxes_       ? TypeInfo(&kBoxTypeValue, &kBoxName, &kNoParent, false)
                                  : index == 0 ? TypeInfo(&kPartTypeValue, &kPartName, &kBoxTypeValue, false)
                                               : TypeInfo(&kSoloTypeValue, &kSoloName, &kBoxTypeValue, true);
    *info = ComPtr<IpwProjectNodeInfo>(MakeObject<project::TpwProjectNodeInfo>(manager_, i)).Detach();
  });
}

ContainerTest::ContainerTest(bool interactive) : ItemNodeTest(interactive) {
  types = MakeObject<TPartTypes>(host.Manager(), false);
  boxTypes = MakeObject<TPartTypes>(host.Manager(), true);
  host.Projects().AddItemTypes(boxTypes.Get());
  host.Projects().AddItemTypes(types.Get());
}

ContainerTest::~ContainerTest() {
  for (auto& box : boxes) box->Finalize();
  boxes.clear();
  host.Projects().RemoveItemTypes(types.Get());
  host.Projects().RemoveItemTypes(boxTypes.Get());
}

void ContainerTest::WriteBoxFile(const std::string& name, const std::vector<EntrySpec>& entries) {
  auto reader = CreateOptionsXmlReader(dir.File(name), true);
  auto builder = CreateOptionsBuilder();
  builder->SetReader(reader.Get());
  auto root = builder->GetRoot();
  SafeCallCheck(project::PropertiesOf(root.Get())->SetString(u"Signature", GuidToWideString(kBoxType)));
  SafeCallCheck(project::PropertiesOf(root.Get())->SetString(u"Version", u"9.0"));
  auto list = Sub(root.Get(), u"Child List");
  for (const auto& e : entries) {
    auto entry = Sub(list.Get(), Utf8ToWide(e.name));
    auto p = project::PropertiesOf(entry.Get());
    SafeCallCheck(p->SetString(u"Key", GuidToWideString(e.key)));
    SafeCallCheck(p->SetString(u"Type", GuidToWideString(e.type)));
    if (!e.typeName.empty()) SafeCallCheck(p->SetString(u"TypeName", e.typeName));
    if (!e.pluginName.empty()) SafeCallCheck(p->SetString(u"PluginName", e.pluginName));
    if (e.index != -2) SafeCallCheck(p->SetInteger(u"Index", e.index));
    auto data = Sub(entry.Get(), u"Item Data");
    SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Signature", GuidToWideString(e.type)));
    SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Version", u"9.0"));
    SafeCallCheck(project::PropertiesOf(data.Get())->SetString(u"Value", e.value));
    SafeCallCheck(project::PropertiesOf(Sub(data.Get(), u"Extra").Get())->SetInteger(u"Depth", 2));
  }
  builder->Save();
}

ComPtr<project::TpwProjectItem> ContainerTest::OpenBox(const std::string& name) {
  auto box = MakeObject<project::TpwProjectItem>(nullptr, kBoxType, NewTestKey());
  OleCheck(box->Initialize(host.Manager()));
  boxes.push_back(box);
  if (!box->ReloadFromFileName(dir.File(name), false)) return nullptr;
  return box;
}

ComPtr<TPart> ContainerTest::MakePart(project::TpwProjectItem* box, WideStringView value, const GUID& type, GUID key) {
  if (key == GUID_NULL) key = NewTestKey();
  auto part = MakeObject<TPart>(box->AsNode(), type, key);
  OleCheck(part->Initialize(host.Manager()));
  // A new part's data is fresh: it loads from an empty data node.
  auto data = CreateOptionsBuilder();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  OleCheck(part->LoadFromDataNode(data->GetRoot().Get(), &loaded));
  part->value = WideString(value);
  part->Changed(true);
  return part;
}

std::vector<std::string> ContainerTest::ChildValues(project::TpwProjectItem* box) {
  std::vector<std::string> values;
  for (std::int32_t i = 0; i < box->ChildCount(); ++i) {
    IpwProjectNode* child = box->ChildAt(i);
    if (project::NodeTypeKey(child) == project::kUnavailableNodeType) {
      OleVariant text;
      QueryAs<IpwPropertyObjectOwner>(child)->GetPropertyValue(1, text.Put());
      values.push_back("?" + WideToUtf8(text.AsString()));
    } else {
      values.push_back(WideToUtf8(
          dynamic_cast<TPart*>(static_cast<project::TpwBaseProjectNode*>(static_cast<IpwProjectNodeInternal*>(child)))
              ->value));
    }
  }
  return values;
}

std::map<std::string, std::string> ContainerTest::StoredEntries(const std::string& name) {
  auto builder = CreateOptionsBuilder();
  builder->SetReader(CreateOptionsXmlReader(dir.File(name), true).Get());
  builder->LoadAll();
  auto list = Sub(builder->GetRoot().Get(), u"Child List");
  std::map<std::string, std::string> out;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(list->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> entry;
    it->Next(entry);
    WideString entryName;
    SafeCallCheck(entry->GetName(&entryName));
    auto data = Sub(entry.Get(), u"Item Data");
    std::int32_t index = -9, depth = 0;
    SafeCallCheck(project::PropertiesOf(entry.Get())->GetInteger(u"Index", -9, &index));
    SafeCallCheck(project::PropertiesOf(Sub(data.Get(), u"Extra").Get())->GetInteger(u"Depth", 0, &depth));
    out[WideToUtf8(WideLowerCase(entryName))] =
        WideToUtf8(Str(entry.Get(), u"Key") + u"|" + Str(entry.Get(), u"Type") + u"|" + Str(entry.Get(), u"TypeName") +
                   u"|" + Str(entry.Get(), u"PluginName") + u"|" + IntToWide(index) + u"|" + Str(data.Get(), u"Value") +
                   u"|" + IntToWide(depth));
  }
  builder->ReleaseReader();
  return out;
}

std::vector<WideString> ContainerTest::Reports() const {
  std::vector<WideString> texts;
  for (const auto& m : const_cast<host::TestHost&>(host).Messenger().Messages())
    if (m.kind == host::MessageRecord::Report) texts.push_back(m.text);
  return texts;
}

}  // namespace pw::test
