#include "web/settings/ie_zone_settings.h"

#include <cstdio>

#include "core/automation/automation.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/out_params.h"
#include "platform/com/url_zones.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/settings/ie_settings_objects.h"

namespace pw::web {

const std::vector<IEZonePolicyProperty>& IEZonePolicyProperties() {
  static const std::vector<IEZonePolicyProperty> t = {
      {0x01000001, u"RunNotSignedDotNETComponents", false, 0x2004},
      {0x01000002, u"RunSignedDotNETComponents", false, 0x2001},
      {0x01000003, u"AutoPromptForActiveXControls", true, 0x2201},
      {0x01000004, u"BinaryAndScriptBehaviors", false, 0x2000},
      {0x01000005, u"DownloadSignedActiveXControls", false, 0x1001},
      {0x01000006, u"DownloadUnsignedActiveXControls", false, 0x1004},
      {0x01000007, u"ScriptNotSafeActiveXControls", false, 0x1201},
      {0x01000008, u"RunActiveXControlsAndPlugIns", false, 0x1200},
      {0x01000009, u"ScriptSafeActiveXControls", false, 0x1405},
      {0x0100000A, u"AutoPromptForFileDownload", true, 0x2200},
      {0x0100000B, u"FileDownloadEnabled", true, 0x1803},
      {0x0100000C, u"FontDownload", false, 0x1604},
      {0x0100000D, u"AccessDataSourcesAcrossDomains", false, 0x1406},
      {0x0100000E, u"AllowMetaRefresh", true, 0x1608},
      {0x0100000F, u"AllowScriptingOfWebbrowserControl", true, 0x1206},
      {0x01000010, u"AllowNotConstrainedScriptWindows", true, 0x2102},
      {0x01000011, u"AllowRestrictedProtocolsForActiveContent", false, 0x2300},
      {0x01000012, u"DisplayMixedContent", false, 0x1609},
      {0x01000013, u"SuppressOddCertificateSelectionPrompt", true, 0x1A04},
      {0x01000014, u"DragAndDropFiles", false, 0x1802},
      {0x01000015, u"InstallationOfDesktopItems", false, 0x1800},
      {0x01000016, u"LaunchingProgramsInIFrame", false, 0x1804},
      {0x01000017, u"NavigateSubFramesAcrossDomains", false, 0x1607},
      {0x01000018, u"OpenFilesBasedOnContent", true, 0x2100},
      {0x01000019, u"SoftwareChannelPermissions", false, 0x1E05},
      {0x0100001A, u"SubmitNonencryptedFormData", false, 0x1601},
      {0x0100001B, u"UsePopupBlocker", true, 0x1809},
      {0x0100001C, u"UserdataPersistence", true, 0x1606},
      {0x0100001D, u"NavigateFromLowerZoneToThisZone", false, 0x2101},
      {0x0100001E, u"ActiveScripting", false, 0x1400},
      {0x0100001F, u"AllowScriptPasteOperations", false, 0x1407},
      {0x01000020, u"ScriptingOfJavaApplets", false, 0x1402},
      {0x01000021, u"UserAuthentication", false, 0x1A00},
      {0x02000001, u"AllowUnusedActiveXControlsToRunWithoutPrompt", true, 0x1208},
      {0x02000002, u"AllowScriptlets", false, 0x1209},
      {0x02000003, u"DisplayDynSrcImageContent", true, 0x120A},
      {0x02000004, u"JavaPermissions", false, 0x1C00},
      {0x02000005, u"AllowWindowsWithoutAddressOrStatusBars", true, 0x2104},
      {0x02000006, u"LaunchingApplicationsAndUnsafeFiles", false, 0x1806},
      {0x02000007, u"ProtectedMode", true, 0x2500},
      {0x02000008, u"UsePhishingFilter", true, 0x2301},
      {0x02000009, u"AllowScriptStatusBarUpdates", true, 0x2103},
      {0x0200000A, u"LooseXAML", false, 0x2402},
      {0x0200000B, u"WinFXBrowserApplications", false, 0x2400},
      {0x0200000C, u"XPSDocuments", false, 0x2401},
      {0x0200000D, u"NetFrameworkSetupEnabled", true, 0x2600},
      {0x0200000E, u"IncludeLocalPathWhenUploadingFiles", true, 0x160A},
      {0x0200000F, u"AllowInformationPromptUsingScriptedWindows", true, 0x2105},
      {0x03000001, u"AllowActiveXControlsToRunWithoutPromptInApprovedDomains", true, 0x120B},
      {0x03000002, u"EnableXSSFilter", true, 0x1409},
  };
  return t;
}

namespace {

constexpr DWORD kPolicyAllow = 0;
constexpr DWORD kPolicyDisallow = 3;

[[noreturn]] void PolicyFailure(const char16_t* what, DWORD zone, DWORD action, HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(action));
  throw EOleSysError(WideString(what) + u" the policy " + AsciiToWide(hex) + u" of zone " + IntToWide(zone) + u" (" +
                         HResultMessage(hr) + u")",
                     hr);
}

// The get and put of a property that is the policy of an action in the object's zone.
#define PW_ZONE_BOOL(Name, Action)                                                  \
  HRESULT get_##Name(VARIANT_BOOL* v) override { return GetBoolPolicy(Action, v); } \
  HRESULT put_##Name(VARIANT_BOOL v) override { return PutBoolPolicy(Action, v); }
#define PW_ZONE_INT(Name, Action)                                                  \
  HRESULT get_##Name(std::int32_t* v) override { return GetIntPolicy(Action, v); } \
  HRESULT put_##Name(std::int32_t v) override { return PutIntPolicy(Action, v); }

class TpwIEZoneSettings : public AutoImplements<TCVAAutoIntfObject, IpwIEZoneSettings> {
 public:
  explicit TpwIEZoneSettings(DWORD zone) : TpwIEZoneSettings(std::vector<IID>{IpwIEZoneSettings::iid}, zone) {}

  HRESULT get_ZoneId(std::int32_t* v) override {
    return SafeCall([&] { SetOutValue(v, static_cast<std::int32_t>(zone_)); });
  }
  HRESULT get_ZoneName(BSTR* v) override {
    return SafeCall([&] { SetOut(v, zoneName_); });
  }

  PW_ZONE_INT(RunNotSignedDotNETComponents, 0x2004)
  PW_ZONE_INT(RunSignedDotNETComponents, 0x2001)
  PW_ZONE_BOOL(AutoPromptForActiveXControls, 0x2201)
  PW_ZONE_INT(BinaryAndScriptBehaviors, 0x2000)
  PW_ZONE_INT(DownloadSignedActiveXControls, 0x1001)
  PW_ZONE_INT(DownloadUnsignedActiveXControls, 0x1004)
  PW_ZONE_INT(ScriptNotSafeActiveXControls, 0x1201)
  PW_ZONE_INT(RunActiveXControlsAndPlugIns, 0x1200)
  PW_ZONE_INT(ScriptSafeActiveXControls, 0x1405)
  PW_ZONE_BOOL(AutoPromptForFileDownload, 0x2200)
  PW_ZONE_BOOL(FileDownloadEnabled, 0x1803)
  PW_ZONE_INT(FontDownload, 0x1604)
  PW_ZONE_INT(AccessDataSourcesAcrossDomains, 0x1406)
  PW_ZONE_BOOL(AllowMetaRefresh, 0x1608)
  PW_ZONE_BOOL(AllowScriptingOfWebbrowserControl, 0x1206)
  PW_ZONE_BOOL(AllowNotConstrainedScriptWindows, 0x2102)
  PW_ZONE_INT(AllowRestrictedProtocolsForActiveContent, 0x2300)
  PW_ZONE_INT(DisplayMixedContent, 0x1609)
  PW_ZONE_BOOL(SuppressOddCertificateSelectionPrompt, 0x1A04)
  PW_ZONE_INT(DragAndDropFiles, 0x1802)
  PW_ZONE_INT(InstallationOfDesktopItems, 0x1800)
  PW_ZONE_INT(LaunchingProgramsInIFrame, 0x1804)
  PW_ZONE_INT(NavigateSubFramesAcrossDomains, 0x1607)
  PW_ZONE_BOOL(OpenFilesBasedOnContent, 0x2100)
  PW_ZONE_INT(SoftwareChannelPermissions, 0x1E05)
  PW_ZONE_INT(SubmitNonencryptedFormData, 0x1601)
  PW_ZONE_BOOL(UsePopupBlocker, 0x1809)
  PW_ZONE_BOOL(UserdataPersistence, 0x1606)
  PW_ZONE_INT(NavigateFromLowerZoneToThisZone, 0x2101)
  PW_ZONE_INT(ActiveScripting, 0x1400)
  PW_ZONE_INT(AllowScriptPasteOperations, 0x1407)
  PW_ZONE_INT(ScriptingOfJavaApplets, 0x1402)
  PW_ZONE_INT(UserAuthentication, 0x1A00)

 protected:
  TpwIEZoneSettings(std::vector<IID> iids, DWORD zone) : AutoImplements(std::move(iids)), zone_(zone) {
    // An unknown zone keeps an empty name; its policy calls fail.
    WideString name;
    if (Succeeded(GetZoneDisplayName(zone, name))) zoneName_ = std::move(name);
  }

  DWORD Policy(DWORD action) const {
    DWORD policy = 0;
    const HRESULT hr = GetZoneActionPolicy(zone_, action, policy);
    if (Failed(hr)) PolicyFailure(u"Cannot read", zone_, action, hr);
    return policy;
  }
  void SetPolicy(DWORD action, DWORD policy) const {
    const HRESULT hr = SetZoneActionPolicy(zone_, action, policy);
    if (Failed(hr)) PolicyFailure(u"Cannot write", zone_, action, hr);
  }

  HRESULT GetBoolPolicy(DWORD action, VARIANT_BOOL* v) {
    return SafeCall([&] { SetOutBool(v, Policy(action) == kPolicyAllow); });
  }
  HRESULT PutBoolPolicy(DWORD action, VARIANT_BOOL v) {
    return SafeCall([&] { SetPolicy(action, v != VARIANT_FALSE ? kPolicyAllow : kPolicyDisallow); });
  }
  HRESULT GetIntPolicy(DWORD action, std::int32_t* v) {
    return SafeCall([&] { SetOutValue(v, static_cast<std::int32_t>(Policy(action))); });
  }
  HRESULT PutIntPolicy(DWORD action, std::int32_t v) {
    return SafeCall([&] { SetPolicy(action, static_cast<DWORD>(v)); });
  }

 private:
  const DWORD zone_;
  WideString zoneName_;
};

class TpwIE7ZoneSettings : public AutoImplements<TpwIEZoneSettings, IpwIE7ZoneSettings> {
 public:
  explicit TpwIE7ZoneSettings(DWORD zone)
      : TpwIE7ZoneSettings(std::vector<IID>{IpwIEZoneSettings::iid, IpwIE7ZoneSettings::iid}, zone) {}

  PW_ZONE_BOOL(AllowUnusedActiveXControlsToRunWithoutPrompt, 0x1208)
  PW_ZONE_INT(AllowScriptlets, 0x1209)
  PW_ZONE_BOOL(DisplayDynSrcImageContent, 0x120A)
  PW_ZONE_INT(JavaPermissions, 0x1C00)
  PW_ZONE_BOOL(AllowWindowsWithoutAddressOrStatusBars, 0x2104)
  PW_ZONE_INT(LaunchingApplicationsAndUnsafeFiles, 0x1806)
  PW_ZONE_BOOL(ProtectedMode, 0x2500)
  PW_ZONE_BOOL(UsePhishingFilter, 0x2301)
  PW_ZONE_BOOL(AllowScriptStatusBarUpdates, 0x2103)
  PW_ZONE_INT(LooseXAML, 0x2402)
  PW_ZONE_INT(WinFXBrowserApplications, 0x2400)
  PW_ZONE_INT(XPSDocuments, 0x2401)
  PW_ZONE_BOOL(NetFrameworkSetupEnabled, 0x2600)
  PW_ZONE_BOOL(IncludeLocalPathWhenUploadingFiles, 0x160A)
  PW_ZONE_BOOL(AllowInformationPromptUsingScriptedWindows, 0x2105)

 protected:
  TpwIE7ZoneSettings(std::vector<IID> iids, DWORD zone) : AutoImplements(std::move(iids), zone) {}
};

class TpwIE8ZoneSettings final : public AutoImplements<TpwIE7ZoneSettings, IpwIE8ZoneSettings> {
 public:
  explicit TpwIE8ZoneSettings(DWORD zone)
      : AutoImplements(std::vector<IID>{IpwIEZoneSettings::iid, IpwIE7ZoneSettings::iid, IpwIE8ZoneSettings::iid},
                       zone) {}

  PW_ZONE_BOOL(AllowActiveXControlsToRunWithoutPromptInApprovedDomains, 0x120B)
  PW_ZONE_BOOL(EnableXSSFilter, 0x1409)
};

#undef PW_ZONE_BOOL
#undef PW_ZONE_INT

// The manager: hands out zone objects; the class follows the browser's version.
class TpwIEZoneSettingsManager final : public AutoImplements<TCVAAutoIntfObject, IpwIEZoneSettingsManager> {
 public:
  explicit TpwIEZoneSettingsManager(int majorVersion)
      : AutoImplements(std::vector<IID>{IpwIEZoneSettingsManager::iid}), majorVersion_(majorVersion) {}

  HRESULT GetZoneSettingsById(std::int32_t id, IDispatch** v) override {
    return SafeCall([&] { SetOut(v, CreateIEZoneSettings(static_cast<DWORD>(id), VersionToUse())); });
  }
  HRESULT GetZoneSettingsForUrl(BSTR url, IDispatch** v) override {
    return SafeCall([&] {
      DWORD zone = 0;
      if (Failed(MapUrlToZone(url ? WideStringView(url) : WideStringView(), zone))) {
        SetOut(v, ComPtr<IDispatch>());
        return;
      }
      SetOut(v, CreateIEZoneSettings(zone, VersionToUse()));
    });
  }

 private:
  // 0: asked at each call.
  int VersionToUse() const { return majorVersion_ ? majorVersion_ : GetIEMajorVersion(); }
  const int majorVersion_;
};

}  // namespace

ComPtr<IDispatch> CreateIEZoneSettings(DWORD zone, int majorVersion) {
  if (majorVersion <= 6)
    return ComPtr<IDispatch>(static_cast<IpwIEZoneSettings*>(MakeObject<TpwIEZoneSettings>(zone).Get()));
  if (majorVersion == 7)
    return ComPtr<IDispatch>(static_cast<IpwIEZoneSettings*>(MakeObject<TpwIE7ZoneSettings>(zone).Get()));
  return ComPtr<IDispatch>(static_cast<IpwIEZoneSettings*>(MakeObject<TpwIE8ZoneSettings>(zone).Get()));
}

ComPtr<IDispatch> CreateIEZoneSettingsObject() { return CreateIEZoneSettingsObject(0); }

ComPtr<IDispatch> CreateIEZoneSettingsObject(int majorVersion) {
  return ComPtr<IDispatch>(
      static_cast<IpwIEZoneSettingsManager*>(MakeObject<TpwIEZoneSettingsManager>(majorVersion).Get()));
}

}  // namespace pw::web
