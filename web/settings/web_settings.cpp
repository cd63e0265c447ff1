#include "web/settings/web_settings.h"

#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "openapps/extensions/node_utils.h"
#include "openapps/namemapping/name_mapping.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/ui/resources.h"
#include "project/nodes/project_helpers.h"
#include "web/options/web_testing_options.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/options_runtime_object.h"

namespace pw::web {

namespace {

constexpr const char16_t* kTreeModels[] = {u"DOM", u"Tag", u"Hybrid", u"Tree"};

struct Page {
  const GUID* key;
  const GUID* parent;
  const char16_t* caption;
  std::int32_t help1, help2;
};
constexpr Page kPages[] = {
    {&kWebTestingPageKey, &kWebPagesParentKey, u"Web Testing", 6091, 6061},
    {&kObjectIdentificationPageKey, &kWebTestingPageKey, u"Object Identification", 6435, 6434},
    {&kUrlProcessingPageKey, &kWebTestingPageKey, u"URL Processing", 6428, 6427},
};

WideString SettingText(IpwSetting* setting) {
  OleVariant v;
  SafeCallCheck(setting->get_Value(v.Put()));
  if (v.Get().vt == VT_EMPTY || v.Get().vt == VT_NULL) return {};
  try {
    return v.AsString();
  } catch (const EOleSysError&) {
    return {};
  }
}

bool SettingTrue(IpwSetting* setting) {
  OleVariant v;
  SafeCallCheck(setting->get_Value(v.Put()));
  return v.Get().vt == VT_BOOL && v.Get().boolVal != 0;
}

GUID KeyOf(IpwSetting* setting) {
  GUID key{};
  SafeCallCheck(setting->GetKey(&key));
  return key;
}

// A table setting shown as a drop-down list: one unnamed text column, the rows, the selection.
void SetUpList(IpwSetting* setting, bool readOnly, std::initializer_list<const char16_t*> rows, std::int32_t selected) {
  auto table = CastHostObject<IcvTableSetting_DVS>(setting);
  auto schema = CastHostObject<IcvTableSettingSchema_DVS>(setting);
  SafeCallCheck(schema->AddColumn(5, nullptr, VARIANT_TRUE, readOnly ? VARIANT_TRUE : VARIANT_FALSE));
  SafeCallCheck(table->SetRowCount(static_cast<std::int32_t>(rows.size())));
  std::int32_t i = 0;
  for (const char16_t* r : rows) SafeCallCheck(table->SetCell(0, i++, OleVariant(WideStringView(r)).Get()));
  SafeCallCheck(table->SetCurrentRow(selected));
}

// The "Stored by this version" question of a setting: nullopt without the interface.
struct StoredVersion {
  bool current;
  std::int32_t a, b;
};
std::optional<StoredVersion> VersionOf(IpwSetting* setting) {
  ComPtr<IcvSettingInternal> internal;
  if (Failed(setting->QueryInterface(IcvSettingInternal::iid, internal.PutVoid())) || !internal) return std::nullopt;
  StoredVersion v{};
  VARIANT_BOOL current = VARIANT_FALSE;
  SafeCallCheck(internal->CheckStoredVersion(&v.a, &v.b, &current));
  v.current = current != 0;
  return v;
}

}  // namespace

std::vector<WideString> DynamicParameterNames(IcvBaseManager* root) {
  std::vector<WideString> names;
  auto setting = GetSettingIntf(root, kDynamicParametersKey);
  if (!setting) return names;
  ComPtr<IcvTableSetting_DVS> table;
  if (Failed(setting->QueryInterface(IcvTableSetting_DVS::iid, table.PutVoid())) || !table) return names;
  std::int32_t rows = 0;
  SafeCallCheck(table->GetRowCount(&rows));
  for (std::int32_t r = 0; r < rows; ++r) {
    OleVariant cell;
    SafeCallCheck(table->GetCell(0, r, cell.Put()));
    if (cell.Get().vt == VT_EMPTY || cell.Get().vt == VT_NULL) continue;
    WideString name(WideTrim(cell.AsString()));
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

WideString DynamicParametersText(IcvBaseManager* root) {
  WideString text;
  for (const auto& name : DynamicParameterNames(root)) {
    if (!text.empty()) text += u'\n';
    text += name;
  }
  return text;
}

// ---- Re-mapping of mapped pages --------------------------------------------------------------

namespace {

// What the re-mapping reads of a mapped item: whether it is a page and where its URL is.
struct MappedItemFacts {
  bool page = false;
  std::int32_t url = -1;  // the index of the identification property "URL"
  ComPtr<IpwIdentificationProperties> properties;
  bool PageWithUrl() const { return page && url >= 0; }
};

MappedItemFacts FactsOf(IpwNameMappingRepositoryItem* item) {
  MappedItemFacts facts;
  SafeCallCheck(item->GetIdentification(facts.properties.Put()));
  if (!facts.properties) return facts;
  std::int32_t count = 0;
  SafeCallCheck(facts.properties->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString name;
    SafeCallCheck(facts.properties->GetPropertyName(i, name.Put()));
    if (SameTextIgnoringCase(name.View(), u"URL")) {
      if (facts.url < 0) facts.url = i;
    } else if (SameTextIgnoringCase(name.View(), u"ObjectType")) {
      OleVariant value;
      SafeCallCheck(facts.properties->GetPropertyValue(i, value.Put()));
      if (value.Get().vt == VT_BSTR && SameTextIgnoringCase(BstrView(value.Get().bstrVal), u"Page")) facts.page = true;
    }
  }
  return facts;
}

std::vector<ComPtr<IpwNameMappingRepositoryItem>> ChildrenOf(IpwNameMappingRepositoryItem* item) {
  std::vector<ComPtr<IpwNameMappingRepositoryItem>> children;
  std::int32_t count = 0;
  SafeCallCheck(item->GetChildCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwNameMappingRepositoryItem> child;
    SafeCallCheck(item->GetChild(i, child.Put()));
    if (child) children.push_back(std::move(child));
  }
  return children;
}

// Depth first over the items at and below `top` in tree order (an explicit stack: a deep
// mapping costs no call stack); `visit` answers whether to go below the item.
template <class Visit>
void WalkMappedItems(IpwNameMappingRepositoryItem* top, Visit&& visit) {
  if (!top) return;
  std::vector<ComPtr<IpwNameMappingRepositoryItem>> stack{ComPtr<IpwNameMappingRepositoryItem>(top)};
  while (!stack.empty()) {
    auto item = std::move(stack.back());
    stack.pop_back();
    if (!visit(item.Get())) continue;
    auto children = ChildrenOf(item.Get());
    for (auto at = children.rbegin(); at != children.rend(); ++at) stack.push_back(std::move(*at));
  }
}

}  // namespace

ComPtr<IpwNameMappingRepositoryItem> FindNameMappingRoot(IcvBaseManager* root) {
  ComPtr<IpwProjectNodeRegistry> registry;
  try {
    registry = GetHostService<IpwProjectNodeRegistry>(root, project::kNodeRegistryService);
  } catch (const EOleSysError&) {
  }
  if (!registry) return nullptr;
  VARIANT_BOOL open = VARIANT_FALSE;
  SafeCallCheck(registry->IsSuiteOpen(&open));
  if (!open) return nullptr;
  ComPtr<IpwProjectNode> current, project;
  SafeCallCheck(registry->GetCurrentNode(current.Put()));
  if (current) project = project::FindParentProject(current.Get());
  else SafeCallCheck(registry->GetDefaultProject(project.Put()));
  if (!project) return nullptr;
  auto item = QueryAs<IpwNameMappingRootProvider>(project::FindChildByType(project.Get(), kNameMappingItemType).Get());
  if (!item) return nullptr;
  ComPtr<IpwNameMappingRepositoryItem> mapping;
  SafeCallCheck(item->GetMappingRoot(mapping.Put()));
  return mapping;
}

bool HasMappedPage(IpwNameMappingRepositoryItem* item) {
  bool found = false;
  WalkMappedItems(item, [&](IpwNameMappingRepositoryItem* at) {
    if (found) return false;
    found = FactsOf(at).PageWithUrl();
    return !found;
  });
  return found;
}

std::size_t MaskMappedPageUrls(IpwNameMappingRepositoryItem* item, const std::vector<WideString>& names) {
  std::size_t changed = 0;
  WalkMappedItems(item, [&](IpwNameMappingRepositoryItem* at) {
    const auto facts = FactsOf(at);
    if (!facts.PageWithUrl()) return true;
    OleVariant value;
    SafeCallCheck(facts.properties->GetPropertyValue(facts.url, value.Put()));
    if (value.Get().vt != VT_BSTR) return true;  // no URL text to mask
    const WideString url(BstrView(value.Get().bstrVal));
    const WideString masked = MaskDynamicUrlParams(url, names);
    if (masked != url) {
      SafeCallCheck(facts.properties->SetPropertyValue(facts.url, OleVariant(WideStringView(masked)).Get()));
      ++changed;
    }
    return true;
  });
  return changed;
}

void OfferRemapOfMappedPages(IcvBaseManager* root) {
  auto mapping = FindNameMappingRoot(root);
  if (!mapping || !HasMappedPage(mapping.Get())) return;
  ComPtr<IcvMessenger> messenger;
  try {
    messenger = project::GetMessenger(root);
  } catch (const EOleSysError&) {
  }
  if (!messenger) return;
  BString question(kRemapPagesQuestion);
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(messenger->Confirm(question.Get(), kRemapPagesHelp, 0, 0, &yes));
  if (yes) MaskMappedPageUrls(mapping.Get(), DynamicParameterNames(root));
}

void TreeModelName(std::int32_t model, WideString& name) {
  if (model >= 0 && model <= 3) name = kTreeModels[model];
}

std::int32_t TreeModelOfText(WideStringView text) {
  for (std::int32_t m = 0; m < 3; ++m)
    if (SameTextIgnoringCase(text, kTreeModels[m])) return m;
  return 3;
}

WideString TreeModelWarningText(WideStringView name) {
  const WideString n(name);
  return u"The value of the project's \"Tree model\" property is '" + n +
         u"'. It is not recommended to use this value if you are going to create cross-browser web tests. Use the "
         u"'Tree' value instead.\r\n\r\nIf you need to use the '" +
         n +
         u"' value and want to suppress this message, enable the \"Use legacy web testing features\" project "
         u"property.";
}

WideString TreeModelLogDetails(WideStringView name) {
  const WideString n(name);
  return u"<html><body><p>The value of the project's <a href=\"cva-help://6091\">Tree model</a> property is <b>" + n +
         u"</b>. It is not recommended to use this value if you are running cross-browser web tests. Use the "
         u"<b>Tree</b> value instead.</p><p>If you need to use the " +
         n +
         u" value and want to suppress this warning message, enable the <a href=\"cva-help://6091\">Use legacy web "
         u"testing features</a> project property.</p><p><a href=\"cva-help://2138\">Learn more about web testing "
         u"settings</a></p></body></html>";
}

void TpwWebSettings::BuildSettings(IpwSettingsGroup* group, IUnknown* validator) {
  // Each page gets its own copy of the bitmap (the host owns what it is given); a module
  // without the resource registers its pages without one.
  for (const auto& p : kPages) {
    HBITMAP bitmap = 0;
    try {
      bitmap = LoadModuleBitmap(kWebSettingsPageBitmap);
    } catch (const EOSError&) {
    }
    RegisterOptionsPage(root_, *p.parent, *p.key, p.caption, p.help1, p.help2, 0, bitmap, p.caption);
  }
  auto add = [&](std::int32_t kind, const GUID& key, const GUID& page, const char16_t* caption,
                 const char16_t* description, const OleVariant& value) {
    return AddSettingToGroup(group, kind, key, kWebSettingsScope, page, caption, description, u"", value.Get());
  };
  auto tree = add(6, kTreeModelKey, kWebTestingPageKey, u"Tree model",
                  u"Specifies the object model used to present the hierarchy of web page elements.", OleVariant());
  SetUpList(tree.Get(), true, {u"DOM", u"Tag", u"Hybrid", u"Tree"}, 3);
  add(5, kTestedHostKey, kWebTestingPageKey, u"Tested host",
      u"Substring in the page URL that is replaced with strings specified by the Record Tested Host as an option "
      u"during the recording.",
      OleVariant(u""));
  add(5, kRecordTestedHostAsKey, kWebTestingPageKey, u"Record tested host as",
      u"String that replaces a substring specified by Tested Host, in the page URL during recording.", OleVariant(u""));
  add(1, kWaitCommentsKey, kWebTestingPageKey, u"Add comments for Wait method",
      u"Posts comments on the page for which the Wait method was generated during recording.", OleVariant(false));
  add(1, kLegacyFeaturesKey, kWebTestingPageKey, u"Use legacy web testing features",
      u"When enabled, Probewright uses the web object hierarchy, identification and addressing used in ver. 8 and "
      u"earlier.",
      OleVariant(false));
  auto attribute =
      add(6, kIdentificationAttributeKey, kObjectIdentificationPageKey, u"Identification attribute",
          u"This option allows selecting an attribute that is used to identify web elements.", OleVariant());
  SetUpList(attribute.Get(), true, {u"ID", u"Name"}, 0);
  lastIgnore_ = true;
  add(1, kIgnoreDynamicUrlParamsKey, kUrlProcessingPageKey, u"Ignore dynamic URL parameters",
      u"If this option is enabled, the dynamic parameters of web pages will be replaced with an asterisk.",
      OleVariant(lastIgnore_));
  auto parameters = add(6, kDynamicParametersKey, kUrlProcessingPageKey, u"Dynamic parameters",
                        u"The names of dynamic parameters that will be ignored during recording.", OleVariant());
  SetUpList(parameters.Get(), false, {u"*"}, 0);
  lastParameters_ = u"sessionid\nuserid";
  auto timeout = add(2, kPageLoadingTimeoutKey, kWebTestingPageKey, u"Web page loading timeout, ms",
                     u"The number of milliseconds to wait until the browser loads the page and is ready to accept "
                     u"user input before continuing the test execution.",
                     OleVariant(std::int32_t{60000}));
  if (auto internal = CastHostObject<IcvSettingInternal>(timeout.Get()))
    SafeCallCheck(internal->SetLimits(1000, 2147483647));
  MakeSettingsObjects();
  CreateDynamicIdSetting(group, kDynamicIdSettingKey);
  if (validator) AddSettingsKeyListener(root_, kDynamicIdSettingKey, validator);
}

void TpwWebSettings::MakeSettingsObjects() {
  TpwSettingsObjects made;
  auto web = CreateOptionsRuntimeObject(root_, true);
  AddOption(web.Get(), kTreeModelKey, u"TreeModel");
  AddOption(web.Get(), kIdentificationAttributeKey, u"IdentificationAttribute");
  AddOption(web.Get(), kPageLoadingTimeoutKey, u"WebPageLoadingTimeout");
  made.web = ComPtr<IUnknown>(static_cast<IUnknown*>(web.Get()));
  // An object that cannot be made (its type library is not loaded in this process, say) is left
  // out of the runtime objects; the pages and settings are built all the same.
  auto make = [](auto&& create) -> ComPtr<IUnknown> {
    try {
      return create();
    } catch (const Exception&) {
      return nullptr;
    }
  };
  if (creators_.ieSettings) {
    made.ieSettings = make([&] {
      const std::int32_t major = creators_.ieMajorVersion ? creators_.ieMajorVersion() : 6;
      return creators_.ieSettings(root_, IESettingsClassForMajor(major));
    });
  }
  if (creators_.ieZoneSettings) made.ieZoneSettings = make([&] { return creators_.ieZoneSettings(root_); });
  if (creators_.flashSettings) made.flashSettings = make([&] { return creators_.flashSettings(root_); });
  objects_ = std::move(made);
}

void TpwWebSettings::RemoveValidator(IUnknown* validator) {
  if (validator) RemoveSettingsKeyListener(root_, kDynamicIdSettingKey, validator);
}

ComPtr<IpwHookParameterService> TpwWebSettings::Store() const {
  try {
    return GetHostService<IpwHookParameterService>(root_, kSharedValueStoreService);
  } catch (const EOleSysError&) {
    return nullptr;
  }
}

void TpwWebSettings::Publish(const GUID& key, const OleVariant& value) const {
  if (auto store = Store()) SafeCallCheck(store->SetHookParameter(key, value.Get()));
}

bool TpwWebSettings::TestRunning() const { return IsTestRunning(root_); }

void TpwWebSettings::ShowTreeModelWarning() {
  if (IsTreeModelWarningSuppressed()) return;
  ComPtr<IcvMessenger> messenger;
  try {
    messenger = project::GetMessenger(root_);
  } catch (const EOleSysError&) {
  }
  if (!messenger) return;
  WideString name;
  TreeModelName(treeModel_, name);
  BString text(TreeModelWarningText(name));
  SafeCallCheck(messenger->ShowMessage(text.Get(), kTreeModelWarningHelp));
}

void TpwWebSettings::TreeModelCheck(std::int32_t code, const GUID& item) {
  if (IsTreeModelWarningSuppressed()) return;
  if (code == 12) return ShowTreeModelWarning();
  if (code != 3) return;
  {
    std::lock_guard guard(reportedLock_);
    if (!reported_.insert(item).second) return;
  }
  ComPtr<IpwExtendedTestLog> log;
  try {
    log = QueryAs<IpwExtendedTestLog>(GetLogObject(root_).Get());
  } catch (const EOleSysError&) {  // no log service: nothing is written
  }
  if (!log) return;
  WideString name;
  TreeModelName(treeModel_, name);
  // This host's log keeps no attributes: the entry goes without an attribute object.
  const WideString detailText = TreeModelLogDetails(name);
  OleVariant text{WideStringView(kTreeModelLogText)}, details{WideStringView(detailText)}, none, picture;
  picture.Ptr()->vt = VT_NULL;
  SafeCallCheck(log->Warning(text.Get(), details.Get(), kTreeModelLogPriority, none.Get(), picture.Get(), -1));
}

void TpwWebSettings::ClearReportedItems() {
  std::lock_guard guard(reportedLock_);
  reported_.clear();
}

void TpwWebSettings::ApplyTreeModel(IpwSetting* setting, bool notify) {
  const std::int32_t model = TreeModelOfText(SettingText(setting));
  if (model == treeModel_) return;
  Publish(kPublishedTreeModelKey, OleVariant(model));
  treeModel_ = static_cast<std::uint8_t>(model);
  if (notify && !TestRunning()) ShowTreeModelWarning();
}

void TpwWebSettings::ApplyIdentification(IpwSetting* setting) {
  const bool byName = SameTextIgnoringCase(SettingText(setting), u"Name");
  if (byName != identifyByName_) Publish(kPublishedIdentifyByNameKey, OleVariant(byName));
  identifyByName_ = byName;
}

void TpwWebSettings::ApplyLegacy(IpwSetting* setting, bool notify) {
  legacy_ = SettingTrue(setting);
  Publish(kLegacyFeaturesKey, OleVariant(legacy_));
  if (notify && !TestRunning()) ShowTreeModelWarning();
}

void TpwWebSettings::PublishPatterns(bool disable) {
  const WideString text = GetDynamicIdPatterns(root_, disable);
  if (text == lastPatterns_) return;
  lastPatterns_ = text;
  Publish(kDynamicIdSettingKey, OleVariant(WideStringView(text)));
}

void TpwWebSettings::PublishDynamicParameters(bool notify) {
  auto store = Store();
  if (!store) return;
  OleVariant value = GetSettingValue(root_, kIgnoreDynamicUrlParamsKey);
  const bool ignore = value.Get().vt == VT_BOOL && value.Get().boolVal != 0;
  bool changed = false;
  if (ignore != lastIgnore_) {
    SafeCallCheck(store->SetHookParameter(kIgnoreDynamicUrlParamsKey, OleVariant(ignore).Get()));
    changed = true;
  }
  lastIgnore_ = ignore;
  if (!ignore) return;
  const WideString text = DynamicParametersText(root_);
  if (!SameTextIgnoringCase(text, lastParameters_)) {
    SafeCallCheck(store->SetHookParameter(kDynamicParametersKey, OleVariant(WideStringView(text)).Get()));
    changed = true;
  }
  lastParameters_ = text;
  if (changed && notify) OfferRemapOfMappedPages(root_);
}

void TpwWebSettings::SettingChanged(IpwSetting* setting, const GUID& ownerKey) {
  if (!setting || ownerKey != ownerKey_) return;
  const GUID key = KeyOf(setting);
  if (key == kTreeModelKey) ApplyTreeModel(setting, true);
  else if (key == kIdentificationAttributeKey) ApplyIdentification(setting);
  else if (key == kLegacyFeaturesKey) ApplyLegacy(setting, true);
  else if (key == kDynamicIdSettingKey) PublishPatterns(false);
  else if (key == kIgnoreDynamicUrlParamsKey || key == kDynamicParametersKey) PublishDynamicParameters(true);
}

void TpwWebSettings::SettingLoaded(IpwSetting* setting, const GUID& ownerKey) {
  if (!setting) return;
  if (ownerKey != ownerKey_) migrate_ = false;
  ownerKey_ = ownerKey;
  const GUID key = KeyOf(setting);
  const auto version = VersionOf(setting);
  const bool older = version && (!version->current || hostMajor_ > version->a);
  if (key == kLegacyFeaturesKey) {
    if (older) {
      if (migrate_ && !SettingTrue(setting)) SafeCallCheck(setting->put_Value(OleVariant(true).Get()));
      migrate_ = false;
    }
    ApplyLegacy(setting, false);
  } else if (key == kTreeModelKey) {
    if (!SameTextIgnoringCase(SettingText(setting), u"Tree") && older) migrate_ = true;
    auto table = CastHostObject<IcvTableSetting_DVS>(setting);
    std::int32_t rows = 0;
    SafeCallCheck(table->GetRowCount(&rows));
    if (rows != 4) {
      SafeCallCheck(table->SetRowCount(4));
      for (std::int32_t r = 0; r < 4; ++r) SafeCallCheck(table->SetCell(0, r, OleVariant(kTreeModels[r]).Get()));
    } else {
      // A row is repaired whenever it differs from its canonical text, case included ("dom"
      // becomes "DOM"); reading the model still ignores case.
      for (std::int32_t r = 0; r < 4; ++r) {
        OleVariant cell;
        SafeCallCheck(table->GetCell(0, r, cell.Put()));
        const bool same = cell.Get().vt == VT_BSTR && cell.AsString() == kTreeModels[r];
        if (!same) SafeCallCheck(table->SetCell(0, r, OleVariant(kTreeModels[r]).Get()));
      }
    }
    ApplyTreeModel(setting, false);
  } else if (key == kIdentificationAttributeKey) {
    ApplyIdentification(setting);
  } else if (key == kDynamicIdSettingKey) {
    const bool disable = version && !version->current && (hostMajor_ != version->a || hostMinor_ != version->b);
    PublishPatterns(disable);
  } else if (key == kIgnoreDynamicUrlParamsKey || key == kDynamicParametersKey) {
    PublishDynamicParameters(false);
  }
}

}  // namespace pw::web
