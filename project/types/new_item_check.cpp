#include "project/types/new_item_check.h"

#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "project/types/node_info.h"

namespace pw::project {

namespace {
OleVariant Prop(IpwProjectNodeInfo* info, std::int32_t index) {
  OleVariant v;
  SafeCallCheck(info->GetProperty(index, v.Put()));
  return v;
}
}  // namespace

std::vector<TItemTypeSummary> ListItemTypes(IcvBaseManager* manager) {
  std::vector<TItemTypeSummary> result;
  for (const auto& info : GetAllNodeInfos(manager)) {
    TItemTypeSummary s;
    SafeCallCheck(info->GetKey(&s.key));
    SafeCallCheck(info->GetParentTypeKey(&s.parentKey));
    s.typeName = Prop(info.Get(), kInfoTypeName).AsString();
    s.caption = Prop(info.Get(), kInfoCaption).AsString();
    s.singleInstance = Prop(info.Get(), kInfoSingleInstance).AsBool();
    s.numberedNames = Prop(info.Get(), kInfoNumberedNames).AsBool();
    ComPtr<IpwFileProjectNodeInfo> file;
    if (Succeeded(info->QueryInterface(IpwFileProjectNodeInfo::iid, file.PutVoid())) && file) {
      BString ext;
      SafeCallCheck(file->GetFileExtension(ext.Put()));
      s.extension = ext.Str();
    }
    result.push_back(std::move(s));
  }
  return result;
}

ComPtr<IpwProjectNodeInfo> FindItemType(IcvBaseManager* manager, WideStringView nameOrKey) {
  for (const auto& info : GetAllNodeInfos(manager)) {
    GUID key{};
    SafeCallCheck(info->GetKey(&key));
    if (SameTextIgnoringCase(AsciiToWide(GuidToString(key)), nameOrKey) ||
        SameTextIgnoringCase(Prop(info.Get(), kInfoTypeName).AsString(), nameOrKey))
      return info;
  }
  return nullptr;
}

TNewItemCheck CheckNewItem(IcvBaseManager* manager, IpwProjectNodeInfo* info, IpwProjectNode* parent,
                           WideStringView name, std::optional<WideString> location) {
  TNewItemCheck check;
  ComPtr<IpwProjectNodeConfigInfo> config;
  SafeCallCheck(info->CreateConfigInfo(parent, config.Put()));
  if (!config) {
    check.message = u"The item type has no creation parameters.";
    return check;
  }
  std::int32_t count = 0;
  SafeCallCheck(config->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString caption;
    SafeCallCheck(config->GetName(i, caption.Put()));
    if (caption.View() == u"&Name") SafeCallCheck(config->SetValue(i, OleVariant(name).Get()));
    if (caption.View() == u"&Location" && location) SafeCallCheck(config->SetValue(i, OleVariant(*location).Get()));
  }
  try {
    std::int32_t bad = -1;
    VARIANT_BOOL ok = VARIANT_FALSE;
    SafeCallCheck(config->Validate(&bad, &ok));
    check.valid = ok != VARIANT_FALSE;
    check.badIndex = bad;
  } catch (const Exception& e) {
    check.valid = false;
    check.message = e.Message();
  }
  for (std::int32_t i = 0; i < count; ++i) {
    BString caption;
    OleVariant value;
    SafeCallCheck(config->GetName(i, caption.Put()));
    SafeCallCheck(config->GetValue(i, value.Put()));
    check.params.emplace_back(caption.Str(), value.AsString());
  }
  ComPtr<IpwFileProjectNodeConfigInfo> file;
  if (Succeeded(config->QueryInterface(IpwFileProjectNodeConfigInfo::iid, file.PutVoid())) && file) {
    BString fileName;
    SafeCallCheck(file->GetFullFileName(fileName.Put()));
    check.fileName = fileName.Str();
  }
  return check;
}

}  // namespace pw::project
