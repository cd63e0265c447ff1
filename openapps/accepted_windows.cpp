#include "openapps/accepted_windows.h"

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "openapps/open_app_plugins.h"
#include "platform/automation/bstr.h"
#include "platform/ui/resources.h"

namespace pw {

namespace {

constexpr AcceptedWindowsRow kMSAADefaults[] = {
    {false, u"*"},
    {true, u"MsoCommandBar*"},
    {true, u"_Ww*"},
    {true, u"OpusApp"},
    {true, u"Vfp*"},
    {true, u"bosa_sdm_Microsoft Word *"},
    {false, u"Internet Explorer_Server"},
    {true, u"XTPToolBar"},
    {true, u"XTPDockingPaneTabbedContainer"},
    {true, u"XTPTaskPanel"},
    {true, u"XTPReport"},
    {true, u"XTPPopupBar"},
};

constexpr AcceptedWindowsRow kUiaDefaults[] = {{false, u"*"}};

constexpr const char16_t* kCategory = u"Open Applications";
constexpr const char16_t* kTableCaption = u"List of &accepted windows";

// Setting and column kinds of the page.
constexpr std::int32_t kKindBoolean = 1;
constexpr std::int32_t kKindText = 5;
constexpr std::int32_t kKindTable = 6;

bool IsTrue(const VARIANT& v) {
  OleVariant b;
  if (Failed(VariantChangeType(b.Ptr(), &v, 0, VT_BOOL))) return false;
  return b.Ptr()->boolVal != VARIANT_FALSE;
}

WideString TextOf(const VARIANT& v) {
  OleVariant s;
  if (Failed(VariantChangeType(s.Ptr(), &v, 0, VT_BSTR))) return {};
  return WideString(BstrView(s.Ptr()->bstrVal));
}

}  // namespace

const AcceptedWindowsPageInfo& MSAAPageInfo() {
  static const AcceptedWindowsPageInfo info{"MSAA_SETTINGS_IMAGE",
                                            6087,
                                            6063,
                                            u"MSAA",
                                            kMSAAAcceptedWindowsSetting,
                                            u"A list of windows that will be shown as MSAA objects.",
                                            kMSAADefaults,
                                            kMSAAAcceptedWindowsParameter,
                                            true};
  return info;
}

const AcceptedWindowsPageInfo& UiaPageInfo() {
  static const AcceptedWindowsPageInfo info{"UIA_SETTINGS_IMAGE",
                                            6130,
                                            6131,
                                            u"UI Automation",
                                            kUiaAcceptedWindowsSetting,
                                            u"A list of windows that will be shown as UIA objects.",
                                            kUiaDefaults,
                                            kUiaAcceptedWindowsParameter,
                                            false};
  return info;
}

void TAcceptedWindowsPage::RegisterPage(IcvBaseManager* manager, const GUID& pluginKey, IpwSettingsGroup* group) {
  if (!group) OleError(E_INVALIDARG);
  HBITMAP image = LoadModuleBitmap(info_.image);
  RegisterOptionsPage(manager, kOpenApplicationsOptionsGroup, pluginKey, info_.pageName, 0, info_.value1,
                      info_.value2, image, info_.pageName);

  auto factory = CastHostObject<IpwSettingsGroupFactory>(group);
  ComPtr<IpwSetting> setting;
  BString caption(kTableCaption), description(info_.tableDescription), category(kCategory);
  SafeCallCheck(factory->CreateSetting(kKindTable, kOpenAppSettingType, info_.tableKey, pluginKey, caption.Get(),
                                       description.Get(), category.Get(), 0, -1, setting.Put()));
  auto table = CastHostObject<IcvTableSetting_DVS>(setting.Get());
  auto schema = CastHostObject<IcvTableSettingSchema_DVS>(setting.Get());
  if (!table || !schema) RaiseInterfaceCastError();
  SafeCallCheck(schema->AddColumn(kKindBoolean, 0, -1, 0));
  SafeCallCheck(schema->AddColumn(kKindText, 0, -1, 0));
  for (const auto& row : info_.defaults) {
    std::int32_t index = -1;
    SafeCallCheck(table->AppendRow(&index));
    SafeCallCheck(table->SetCell(0, index, OleVariant(row.accepted).Get()));
    SafeCallCheck(table->SetCell(1, index, OleVariant(row.mask).Get()));
  }

  if (info_.hasCompatibility) {
    compatibilitySent_ = false;
    AddSettingToGroup(group, kKindBoolean, kMSAACompatibilitySetting, kOpenAppSettingType, pluginKey,
                      u"Work with MSAA objects in mode compatible with Probewright 6 and earlier",
                      u"Enables the Probewright 6 MSAA compatibility mode.", kCategory, OleVariant(false).Get());
  }
}

void TAcceptedWindowsPage::SetSettingsGroup(IcvBaseManager* manager, IpwSetting* setting, const GUID& groupKey) {
  settingsGroupKey_ = groupKey;
  SendFor(manager, setting);
}

void TAcceptedWindowsPage::SettingChanged(IcvBaseManager* manager, IpwSetting* setting, const GUID& groupKey) {
  if (groupKey != settingsGroupKey_) return;
  SendFor(manager, setting);
}

void TAcceptedWindowsPage::SendFor(IcvBaseManager* manager, IpwSetting* setting) {
  if (!info_.hasCompatibility) {
    SendAcceptedWindows(manager);
    return;
  }
  GUID key{};
  if (setting) SafeCallCheck(setting->GetKey(&key));
  if (key == kMSAAAcceptedWindowsSetting)
    SendAcceptedWindows(manager);
  else if (key == kMSAACompatibilitySetting)
    SendCompatibility(manager);
}

WideString TAcceptedWindowsPage::AcceptedWindowsText(IcvBaseManager* manager) const {
  auto setting = GetSettingIntf(manager, info_.tableKey);
  auto table = QueryAs<IcvTableSetting_DVS>(setting.Get());
  if (!table) return u"*";
  WideString text;
  std::int32_t rows = 0;
  SafeCallCheck(table->GetRowCount(&rows));
  for (std::int32_t row = 0; row < rows; ++row) {
    OleVariant flag;
    SafeCallCheck(table->GetCell(0, row, flag.Ptr()));
    if (!IsTrue(*flag.Ptr())) continue;
    OleVariant mask;
    SafeCallCheck(table->GetCell(1, row, mask.Ptr()));
    if (!text.empty()) text += u"\r\n";
    text += TextOf(*mask.Ptr());
  }
  return text;
}

bool TAcceptedWindowsPage::CompatibilityFlag(IcvBaseManager* manager) const {
  OleVariant value = GetSettingValue(manager, kMSAACompatibilitySetting);
  return IsTrue(*value.Ptr());
}

bool TAcceptedWindowsPage::Send(IcvBaseManager* manager, const GUID& key, const OleVariant& value) {
  auto service = GetHostService<IpwHookParameterService>(manager, kHookParameterService);
  if (!service) return false;
  SafeCallCheck(service->SetHookParameter(key, *value.Ptr()));
  return true;
}

// A value counts as sent only once the service took it, so a send that failed (or found no
// service) is made again at the next notification.
void TAcceptedWindowsPage::SendAcceptedWindows(IcvBaseManager* manager) {
  WideString text = AcceptedWindowsText(manager);
  if (text == acceptedWindowsSent_) return;
  if (Send(manager, info_.parameterKey, OleVariant(text))) acceptedWindowsSent_ = text;
}

void TAcceptedWindowsPage::SendCompatibility(IcvBaseManager* manager) {
  bool flag = CompatibilityFlag(manager);
  if (flag == compatibilitySent_) return;
  if (Send(manager, kMSAACompatibilityParameter, OleVariant(flag))) compatibilitySent_ = flag;
}

void TAcceptedWindowsPage::SetHookParameters(IcvBaseManager* manager, IDispatch* target) const {
  SetHookParameter(target, info_.parameterKey, OleVariant(AcceptedWindowsText(manager)));
  if (info_.hasCompatibility) SetHookParameter(target, kMSAACompatibilityParameter, OleVariant(CompatibilityFlag(manager)));
}

}  // namespace pw
