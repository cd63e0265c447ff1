#include "web/settings/ie_settings.h"

#include <optional>

#include "core/automation/automation.h"
#include "core/automation/dispatch_helpers.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/out_params.h"
#include "platform/com/registry.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/strings.h"
#include "platform/ui/window_messages.h"
#include "web/settings/ie_settings_objects.h"

namespace pw::web {

const std::vector<IESettingsProperty>& IESettingsProperties() {
  static const std::vector<IESettingsProperty> t = {
      {0x01000001, u"ExpandAltText", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Expand Alt Text",
       IEEncoding::YN, 0},
      {0x01000002, u"MoveSystemCaret", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Move System Caret",
       IEEncoding::YN, 0},
      {0x01000008, u"HTTP11Enabled", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"EnableHttp1_1", IEEncoding::D1, 0},
      {0x01000009, u"HTTP11ProxyEnabled", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"ProxyHttp1.1", IEEncoding::D1, 0},
      {0x01000010, u"PrintBackground", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Print_Background",
       IEEncoding::YN, 0},
      {0x01000018, u"AddressBarAutoSearch", false, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"AutoSearch",
       IEEncoding::AutoSearch, 0},
      {0x01000020, u"UrlEncoding", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"UrlEncoding", IEEncoding::D1Not, 0},
      {0x01000021, u"UpdatesCheck", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"NoUpdateCheck",
       IEEncoding::D1Not, 0},
      {0x01000022, u"CloseUnusedFolders", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"NscSingleExpand",
       IEEncoding::D1, 0},
      {0x01000023, u"DisableScriptDebuggerIE", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"DisableScriptDebuggerIE", IEEncoding::YN, 0},
      {0x01000024, u"DisableScriptDebugger", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Disable Script Debugger", IEEncoding::YN, 0},
      {0x01000025, u"ErrorDlgDisplayedOnEveryError", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Error Dlg Displayed On Every Error", IEEncoding::YN, 0},
      {0x01000026, u"FolderViewForFTP", true, u"\\Software\\Microsoft\\FTP", u"Use Web Based FTP", IEEncoding::YNNot,
       0},
      {0x01000027, u"SetupOnDemandIE", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"NoJITSetup",
       IEEncoding::D1Not, 0},
      {0x01000028, u"SetupOnDemandWeb", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"NoWebJITSetup",
       IEEncoding::D1Not, 0},
      {0x01000029, u"ScheduledUpdates", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Webcheck",
       u"NoScheduledUpdates", IEEncoding::D1Not, 0},
      {0x0100002A, u"PageTransitions", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Page_Transitions",
       IEEncoding::D1, 0},
      {0x0100002B, u"PersonalizedFavMenu", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"FavIntelliMenus",
       IEEncoding::YN, 0},
      {0x0100002C, u"BrowserExtensions", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Enable Browser Extensions", IEEncoding::YN, 0},
      {0x0100002D, u"VisualThemes", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"UseThemes",
       IEEncoding::D1, 0},
      {0x0100002E, u"ForceOffscreenComposition", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Force Offscreen Composition", IEEncoding::D1, 0},
      {0x0100002F, u"NotifyDownloadComplete", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"NotifyDownloadComplete", IEEncoding::YN, 0},
      {0x01000030, u"AllowWindowReuse", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"AllowWindowReuse",
       IEEncoding::D1, 0},
      {0x01000031, u"ShowFriendlyHTTPErrors", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Friendly http errors", IEEncoding::YN, 0},
      {0x01000032, u"ShowFriendlyURLs", true, u"\\Software\\Microsoft\\Internet Explorer", u"Show_FullURL",
       IEEncoding::D1, 0},
      {0x01000033, u"ShowGoButton", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"ShowGoButton",
       IEEncoding::YN, 0},
      {0x01000034, u"UnderlineLinks", false, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Anchor Underline",
       IEEncoding::Underline, 0},
      {0x01000035, u"UseAutoComplete", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete",
       u"Append Completion", IEEncoding::YN, 0},
      {0x01000036, u"UsePassiveFTP", true, u"\\Software\\Microsoft\\FTP", u"Use PASV", IEEncoding::YN, 0},
      {0x01000037, u"UseSmoothScrolling", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"SmoothScroll",
       IEEncoding::D1, 0},
      {0x01000040, u"AutoImageResize", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Enable AutoImageResize", IEEncoding::YN, 0},
      {0x01000041, u"ShowImageToolbar", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Enable_MyPics_Hoverbar", IEEncoding::YN, 0},
      {0x01000042, u"PlayAnimations", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Play_Animations",
       IEEncoding::YN, 0},
      {0x01000043, u"PlaySounds", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Play_Background_Sounds",
       IEEncoding::YN, 0},
      {0x01000044, u"PlayVideos", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Display Inline Videos",
       IEEncoding::YN, 0},
      {0x01000045, u"ShowImagePlaceholders", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"Show image placeholders", IEEncoding::D1, 0},
      {0x01000046, u"ShowPictures", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"Display Inline Images",
       IEEncoding::YN, 0},
      {0x01000047, u"SmartDithering", true, u"\\Software\\Microsoft\\Internet Explorer", u"SmartDithering",
       IEEncoding::D1, 0},
      {0x01000050, u"AllowActiveContentFromCDs", true,
       u"\\Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_LOCALMACHINE_LOCKDOWN\\Settings",
       u"LOCALMACHINE_CD_UNLOCK", IEEncoding::D1, 0},
      {0x01000051, u"AllowActiveContentInFiles", true,
       u"\\Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_LOCALMACHINE_LOCKDOWN",
       u"iexplore.exe", IEEncoding::D1Not, 0},
      {0x01000052, u"RunInvalidSignatures", true, u"\\Software\\Microsoft\\Internet Explorer\\Download",
       u"RunInvalidSignatures", IEEncoding::D1, 0},
      {0x01000053, u"CheckPublisherCertificateRevocation", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\WinTrust\\Trust Providers\\Software Publishing", u"State",
       IEEncoding::PublisherRevocation, 0},
      {0x01000054, u"CheckServerCertificateRevocation", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", u"CertificateRevocation", IEEncoding::D1,
       0},
      {0x01000055, u"CheckProgramSignatures", true, u"\\Software\\Microsoft\\Internet Explorer\\Download",
       u"CheckExeSignatures", IEEncoding::YN, 0},
      {0x01000056, u"DoNotCacheEncryptedPages", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", u"DisableCachingOfSSLPages",
       IEEncoding::D1, 0},
      {0x01000057, u"EmptyCacheOnClose", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache", u"Persistent", IEEncoding::D1Not,
       0},
      {0x01000058, u"IntegratedWindowsAuthentication", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", u"EnableNegotiate", IEEncoding::D1, 0},
      {0x01000059, u"ProfileAssistantEnabled", true, u"\\Software\\Microsoft\\Internet Explorer\\Security\\P3Global",
       u"Enabled", IEEncoding::D1, 0},
      {0x0100005A, u"SSL2Enabled", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"SecureProtocols", IEEncoding::SecureProtocol, 0x08},
      {0x0100005B, u"SSL3Enabled", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"SecureProtocols", IEEncoding::SecureProtocol, 0x20},
      {0x0100005C, u"TLS1Enabled", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"SecureProtocols", IEEncoding::SecureProtocol, 0x80},
      {0x0100005D, u"WarnOnBadCertificates", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"WarnonBadCertRecving", IEEncoding::D1, 0},
      {0x0100005E, u"WarnOnZoneCrossing", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"WarnonZoneCrossing", IEEncoding::D1, 0},
      {0x0100005F, u"WarnOnPostRedirect", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"WarnOnPostRedirect", IEEncoding::D1, 0},
  };
  return t;
}

const std::vector<IESettingsProperty>& IE7SettingsProperties() {
  static const std::vector<IESettingsProperty> t = {
      {0x02000001, u"ResetTextSizeOnStartup", true, u"\\Software\\Microsoft\\Internet Explorer\\Zoom",
       u"ResetTextSizeOnStartup", IEEncoding::D1, 0},
      {0x02000002, u"ResetTextSizeOnZoom", true, u"\\Software\\Microsoft\\Internet Explorer\\Zoom",
       u"ResetTextSizeOnZoom", IEEncoding::D1, 0},
      {0x02000003, u"ResetZoomOnStartup", true, u"\\Software\\Microsoft\\Internet Explorer\\Zoom",
       u"ResetZoomOnStartup", IEEncoding::D1, 0},
      {0x02000004, u"DisplayTrustAlertDlg", true, u"\\Software\\Microsoft\\Internet Explorer\\Main",
       u"DisplayTrustAlertDlg", IEEncoding::D1, 0},
      {0x02000005, u"EnableSearchPane", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"EnableSearchPane",
       IEEncoding::D1, 0},
      {0x02000006, u"UseMostRecentOrderTabSwitching", true, u"\\Software\\Microsoft\\Internet Explorer\\TabbedBrowsing",
       u"UseMRUSwitching", IEEncoding::YN, 0},
      {0x02000007, u"AlwaysShowEncodedAddresses", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", u"ShowPunycode", IEEncoding::D1, 0},
      {0x02000008, u"SendIDNServerNames", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"EnablePunycode", IEEncoding::Punycode, 0x01},
      {0x02000009, u"SendIDNServerNamesForIntranet", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", u"EnablePunycode", IEEncoding::Punycode,
       0x02},
      {0x0200000A, u"ShowIDNPrompt", true, u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
       u"DisableIDNPrompt", IEEncoding::D1Not, 0},
      {0x0200000B, u"UseUTF8ForMailtoLinks", true,
       u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Protocols\\Mailto", u"UTF8Encoding",
       IEEncoding::D1, 0},
      {0x0200000C, u"UseClearType", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"UseClearType",
       IEEncoding::YN, 0},
      {0x0200000D, u"XMLHTTPEnabled", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"XMLHTTP",
       IEEncoding::D1, 0},
      {0x0200000E, u"PhishingFilter", false, u"\\Software\\Microsoft\\Internet Explorer\\PhishingFilter", u"Enabled",
       IEEncoding::Int, 0},
  };
  return t;
}

const std::vector<IESettingsProperty>& IE8SettingsProperties() {
  static const std::vector<IESettingsProperty> t = {
      {0x03000001, u"EnableCaretBrowsingOnStartup", true, u"\\Software\\Microsoft\\Internet Explorer\\CaretBrowsing",
       u"EnableOnStartup", IEEncoding::D1, 0},
      {0x03000002, u"ResetZoomOnStartupIE8", true, u"\\Software\\Microsoft\\Internet Explorer\\Zoom",
       u"ResetZoomOnStartup2", IEEncoding::D1, 0},
      {0x03000003, u"AutomaticLayoutRecovery", true, u"\\Software\\Microsoft\\Internet Explorer\\BrowserEmulation",
       u"AutomaticLayoutRecovery", IEEncoding::D1, 0},
      {0x03000004, u"DisplayAcceleratorButtonOnSelection", true, u"\\Software\\Microsoft\\Internet Explorer\\Services",
       u"SelectionActivityButtonDisable", IEEncoding::D1Not, 0},
      {0x03000005, u"EnableAutomaticCrashRecovery", true, u"\\Software\\Microsoft\\Internet Explorer\\Recovery",
       u"AutoRecover", IEEncoding::AutoRecover, 0},
      {0x03000006, u"EnableSuggestedSites", true, u"\\Software\\Microsoft\\Internet Explorer\\Suggested Sites",
       u"Enabled", IEEncoding::D1, 0},
      {0x03000007, u"EnableDOMStorage", true, u"\\Software\\Microsoft\\Internet Explorer\\Main", u"DOMStorage",
       IEEncoding::D1, 0},
      {0x03000008, u"EnableSmartScreenFilter", true, u"\\Software\\Microsoft\\Internet Explorer\\PhishingFilter",
       u"EnabledV8", IEEncoding::D1, 0},
  };
  return t;
}

namespace {

constexpr char16_t kIEKey[] = u"\\Software\\Microsoft\\Internet Explorer";
constexpr char16_t kIEAppPathKey[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";
constexpr unsigned kSettingChange = 0x1A;
constexpr std::uint32_t kPublisherRevocationBit = 0x200;
constexpr std::uint32_t kDefaultSecureProtocols = 0x28;

// The DWORD of a property's value; nothing when the key or the value is missing.
std::optional<std::uint32_t> ReadDWord(const IESettingsProperty& p) {
  TRegistry reg(RootKey::CurrentUser);
  if (!reg.OpenKeyReadOnly(p.key) || !reg.ValueExists(p.value)) return std::nullopt;
  return static_cast<std::uint32_t>(reg.ReadInteger(p.value));
}

std::optional<WideString> ReadText(const IESettingsProperty& p) {
  TRegistry reg(RootKey::CurrentUser);
  if (!reg.OpenKeyReadOnly(p.key) || !reg.ValueExists(p.value)) return std::nullopt;
  return WideLowerCase(reg.ReadString(p.value));
}

void WriteDWord(const IESettingsProperty& p, std::uint32_t value) {
  TRegistry reg(RootKey::CurrentUser);
  if (reg.OpenKey(p.key, true)) reg.WriteInteger(p.value, static_cast<std::int32_t>(value));
}

void WriteText(const IESettingsProperty& p, WideStringView value) {
  TRegistry reg(RootKey::CurrentUser);
  if (reg.OpenKey(p.key, true)) reg.WriteString(p.value, value);
}

// The other property of "EnablePunycode".
const IESettingsProperty& OtherPunycode(const IESettingsProperty& p) {
  for (const auto& q : IE7SettingsProperties())
    if (q.encoding == IEEncoding::Punycode && q.bit != p.bit) return q;
  return p;
}

}  // namespace

bool ReadIEBool(const IESettingsProperty& p) {
  switch (p.encoding) {
    case IEEncoding::D1: return ReadDWord(p) == 1u;
    case IEEncoding::D1Not: return ReadDWord(p) != 1u;
    case IEEncoding::YN: return ReadText(p) == u"yes";
    case IEEncoding::YNNot: return ReadText(p) != u"yes";
    case IEEncoding::PublisherRevocation: return (ReadDWord(p).value_or(0) & kPublisherRevocationBit) == 0;
    case IEEncoding::SecureProtocol:
    case IEEncoding::Punycode: return (ReadDWord(p).value_or(0) & p.bit) != 0;
    case IEEncoding::AutoRecover: return ReadDWord(p).value_or(0) == 0;
    default: return ReadIEInt(p) != 0;
  }
}

void WriteIEBool(const IESettingsProperty& p, bool value) {
  switch (p.encoding) {
    case IEEncoding::D1: WriteDWord(p, value ? 1 : 0); return;
    case IEEncoding::D1Not: WriteDWord(p, value ? 0 : 1); return;
    case IEEncoding::YN: WriteText(p, value ? u"yes" : u"no"); return;
    case IEEncoding::YNNot: WriteText(p, value ? u"no" : u"yes"); return;
    case IEEncoding::PublisherRevocation: {
      auto stored = ReadDWord(p);
      if (!stored) return;
      WriteDWord(p, value ? *stored & ~kPublisherRevocationBit : *stored | kPublisherRevocationBit);
      return;
    }
    case IEEncoding::SecureProtocol: {
      const std::uint32_t stored = ReadDWord(p).value_or(kDefaultSecureProtocols);
      WriteDWord(p, value ? stored | p.bit : stored & ~p.bit);
      return;
    }
    case IEEncoding::Punycode: {
      const auto& other = OtherPunycode(p);
      WriteDWord(p, (value ? p.bit : 0) | (ReadIEBool(other) ? other.bit : 0));
      return;
    }
    case IEEncoding::AutoRecover: WriteDWord(p, value ? 0 : 2); return;
    default: WriteIEInt(p, value ? 1 : 0); return;
  }
}

std::int32_t ReadIEInt(const IESettingsProperty& p) {
  switch (p.encoding) {
    case IEEncoding::AutoSearch: {
      const auto stored = static_cast<std::int32_t>(ReadDWord(p).value_or(0));
      return stored >= 1 ? stored - 3 : stored;
    }
    case IEEncoding::Underline: {
      const auto text = ReadText(p);
      return text == u"yes" ? 1 : text == u"hover" ? 2 : 0;
    }
    case IEEncoding::Int: return static_cast<std::int32_t>(ReadDWord(p).value_or(0));
    default: return ReadIEBool(p) ? 1 : 0;
  }
}

void WriteIEInt(const IESettingsProperty& p, std::int32_t value) {
  switch (p.encoding) {
    case IEEncoding::AutoSearch:
      if (value >= 4) value = 0;
      WriteDWord(p, static_cast<std::uint32_t>(value >= 1 ? value + 3 : value));
      return;
    case IEEncoding::Underline: WriteText(p, value == 1 ? u"yes" : value == 2 ? u"hover" : u"no"); return;
    case IEEncoding::Int: WriteDWord(p, static_cast<std::uint32_t>(value)); return;
    default: WriteIEBool(p, value != 0); return;
  }
}

void BroadcastSettingChange() {
  for (const auto& process : ProcessDescriptions()) {
    for (const auto& window : process.windows) {
      LRESULT ignored = 0;
      SendMessageTimeoutA(window.window, kSettingChange, 0, 0, SMTO_NORMAL, 1000, &ignored);
    }
  }
}

WideString GetIEVersionString() {
  WideString text;
  {
    TRegistry reg(RootKey::LocalMachine);
    if (reg.OpenKeyReadOnly(kIEKey)) {
      if (reg.ValueExists(u"svcVersion")) text = reg.ReadString(u"svcVersion");
      else if (reg.ValueExists(u"Version")) text = reg.ReadString(u"Version");
    }
  }
  TRegistry reg(RootKey::LocalMachine);
  if (reg.OpenKeyReadOnly(kIEAppPathKey) && reg.ValueExists(u"")) {
    FileVersion version;
    if (GetFileVersion(WideToUtf8(reg.ReadString(u"")), version) && version.major >= 1)
      text = IntToWide(version.major) + u"." + IntToWide(version.minor) + u"." + IntToWide(version.release) + u"." +
             IntToWide(version.build);
  }
  return text;
}

int IEMajorVersionOf(WideStringView versionText) {
  const WideStringView head = versionText.substr(0, versionText.find(u'.'));
  long long major = -1;
  if (!head.empty() && head.size() <= 9) {
    major = 0;
    for (char16_t c : head) {
      if (c < u'0' || c > u'9') {
        major = -1;
        break;
      }
      major = major * 10 + (c - u'0');
    }
  }
  return major < 6 ? 6 : static_cast<int>(major);
}

int GetIEMajorVersion() { return IEMajorVersionOf(GetIEVersionString()); }

namespace {

class TpwIESettings : public AutoImplements<TCVAAutoIntfObject, IpwIESettings> {
 public:
  TpwIESettings() : TpwIESettings(std::vector<IID>{IpwIESettings::iid}) {}

  HRESULT GetInternetExplorerVersion(BSTR* v) override {
    return SafeCall([&] { SetOut(v, GetIEVersionString()); });
  }
  HRESULT GetInternetExplorerMajorVersion(std::int32_t* v) override {
    return SafeCall([&] { SetOutValue(v, GetIEMajorVersion()); });
  }
  HRESULT SendSettingChangeMessage() override {
    return SafeCall([] { BroadcastSettingChange(); });
  }

  HRESULT get_ExpandAltText(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[0], v); }
  HRESULT put_ExpandAltText(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[0], v); }
  HRESULT get_MoveSystemCaret(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[1], v); }
  HRESULT put_MoveSystemCaret(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[1], v); }
  HRESULT get_HTTP11Enabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[2], v); }
  HRESULT put_HTTP11Enabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[2], v); }
  HRESULT get_HTTP11ProxyEnabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[3], v); }
  HRESULT put_HTTP11ProxyEnabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[3], v); }
  HRESULT get_PrintBackground(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[4], v); }
  HRESULT put_PrintBackground(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[4], v); }
  HRESULT get_AddressBarAutoSearch(std::int32_t* v) override { return GetInt(IESettingsProperties()[5], v); }
  HRESULT put_AddressBarAutoSearch(std::int32_t v) override { return PutInt(IESettingsProperties()[5], v); }
  HRESULT get_UrlEncoding(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[6], v); }
  HRESULT put_UrlEncoding(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[6], v); }
  HRESULT get_UpdatesCheck(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[7], v); }
  HRESULT put_UpdatesCheck(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[7], v); }
  HRESULT get_CloseUnusedFolders(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[8], v); }
  HRESULT put_CloseUnusedFolders(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[8], v); }
  HRESULT get_DisableScriptDebuggerIE(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[9], v); }
  HRESULT put_DisableScriptDebuggerIE(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[9], v); }
  HRESULT get_DisableScriptDebugger(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[10], v); }
  HRESULT put_DisableScriptDebugger(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[10], v); }
  HRESULT get_ErrorDlgDisplayedOnEveryError(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[11], v); }
  HRESULT put_ErrorDlgDisplayedOnEveryError(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[11], v); }
  HRESULT get_FolderViewForFTP(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[12], v); }
  HRESULT put_FolderViewForFTP(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[12], v); }
  HRESULT get_SetupOnDemandIE(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[13], v); }
  HRESULT put_SetupOnDemandIE(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[13], v); }
  HRESULT get_SetupOnDemandWeb(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[14], v); }
  HRESULT put_SetupOnDemandWeb(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[14], v); }
  HRESULT get_ScheduledUpdates(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[15], v); }
  HRESULT put_ScheduledUpdates(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[15], v); }
  HRESULT get_PageTransitions(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[16], v); }
  HRESULT put_PageTransitions(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[16], v); }
  HRESULT get_PersonalizedFavMenu(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[17], v); }
  HRESULT put_PersonalizedFavMenu(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[17], v); }
  HRESULT get_BrowserExtensions(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[18], v); }
  HRESULT put_BrowserExtensions(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[18], v); }
  HRESULT get_VisualThemes(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[19], v); }
  HRESULT put_VisualThemes(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[19], v); }
  HRESULT get_ForceOffscreenComposition(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[20], v); }
  HRESULT put_ForceOffscreenComposition(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[20], v); }
  HRESULT get_NotifyDownloadComplete(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[21], v); }
  HRESULT put_NotifyDownloadComplete(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[21], v); }
  HRESULT get_AllowWindowReuse(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[22], v); }
  HRESULT put_AllowWindowReuse(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[22], v); }
  HRESULT get_ShowFriendlyHTTPErrors(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[23], v); }
  HRESULT put_ShowFriendlyHTTPErrors(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[23], v); }
  HRESULT get_ShowFriendlyURLs(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[24], v); }
  HRESULT put_ShowFriendlyURLs(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[24], v); }
  HRESULT get_ShowGoButton(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[25], v); }
  HRESULT put_ShowGoButton(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[25], v); }
  HRESULT get_UnderlineLinks(std::int32_t* v) override { return GetInt(IESettingsProperties()[26], v); }
  HRESULT put_UnderlineLinks(std::int32_t v) override { return PutInt(IESettingsProperties()[26], v); }
  HRESULT get_UseAutoComplete(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[27], v); }
  HRESULT put_UseAutoComplete(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[27], v); }
  HRESULT get_UsePassiveFTP(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[28], v); }
  HRESULT put_UsePassiveFTP(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[28], v); }
  HRESULT get_UseSmoothScrolling(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[29], v); }
  HRESULT put_UseSmoothScrolling(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[29], v); }
  HRESULT get_AutoImageResize(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[30], v); }
  HRESULT put_AutoImageResize(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[30], v); }
  HRESULT get_ShowImageToolbar(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[31], v); }
  HRESULT put_ShowImageToolbar(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[31], v); }
  HRESULT get_PlayAnimations(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[32], v); }
  HRESULT put_PlayAnimations(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[32], v); }
  HRESULT get_PlaySounds(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[33], v); }
  HRESULT put_PlaySounds(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[33], v); }
  HRESULT get_PlayVideos(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[34], v); }
  HRESULT put_PlayVideos(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[34], v); }
  HRESULT get_ShowImagePlaceholders(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[35], v); }
  HRESULT put_ShowImagePlaceholders(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[35], v); }
  HRESULT get_ShowPictures(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[36], v); }
  HRESULT put_ShowPictures(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[36], v); }
  HRESULT get_SmartDithering(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[37], v); }
  HRESULT put_SmartDithering(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[37], v); }
  HRESULT get_AllowActiveContentFromCDs(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[38], v); }
  HRESULT put_AllowActiveContentFromCDs(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[38], v); }
  HRESULT get_AllowActiveContentInFiles(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[39], v); }
  HRESULT put_AllowActiveContentInFiles(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[39], v); }
  HRESULT get_RunInvalidSignatures(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[40], v); }
  HRESULT put_RunInvalidSignatures(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[40], v); }
  HRESULT get_CheckPublisherCertificateRevocation(VARIANT_BOOL* v) override {
    return GetBool(IESettingsProperties()[41], v);
  }
  HRESULT put_CheckPublisherCertificateRevocation(VARIANT_BOOL v) override {
    return PutBool(IESettingsProperties()[41], v);
  }
  HRESULT get_CheckServerCertificateRevocation(VARIANT_BOOL* v) override {
    return GetBool(IESettingsProperties()[42], v);
  }
  HRESULT put_CheckServerCertificateRevocation(VARIANT_BOOL v) override {
    return PutBool(IESettingsProperties()[42], v);
  }
  HRESULT get_CheckProgramSignatures(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[43], v); }
  HRESULT put_CheckProgramSignatures(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[43], v); }
  HRESULT get_DoNotCacheEncryptedPages(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[44], v); }
  HRESULT put_DoNotCacheEncryptedPages(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[44], v); }
  HRESULT get_EmptyCacheOnClose(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[45], v); }
  HRESULT put_EmptyCacheOnClose(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[45], v); }
  HRESULT get_IntegratedWindowsAuthentication(VARIANT_BOOL* v) override {
    return GetBool(IESettingsProperties()[46], v);
  }
  HRESULT put_IntegratedWindowsAuthentication(VARIANT_BOOL v) override {
    return PutBool(IESettingsProperties()[46], v);
  }
  HRESULT get_ProfileAssistantEnabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[47], v); }
  HRESULT put_ProfileAssistantEnabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[47], v); }
  HRESULT get_SSL2Enabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[48], v); }
  HRESULT put_SSL2Enabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[48], v); }
  HRESULT get_SSL3Enabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[49], v); }
  HRESULT put_SSL3Enabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[49], v); }
  HRESULT get_TLS1Enabled(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[50], v); }
  HRESULT put_TLS1Enabled(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[50], v); }
  HRESULT get_WarnOnBadCertificates(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[51], v); }
  HRESULT put_WarnOnBadCertificates(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[51], v); }
  HRESULT get_WarnOnZoneCrossing(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[52], v); }
  HRESULT put_WarnOnZoneCrossing(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[52], v); }
  HRESULT get_WarnOnPostRedirect(VARIANT_BOOL* v) override { return GetBool(IESettingsProperties()[53], v); }
  HRESULT put_WarnOnPostRedirect(VARIANT_BOOL v) override { return PutBool(IESettingsProperties()[53], v); }

 protected:
  explicit TpwIESettings(std::vector<IID> iids) : AutoImplements(std::move(iids)) {}

  HRESULT GetBool(const IESettingsProperty& p, VARIANT_BOOL* v) {
    return SafeCall([&] { SetOutBool(v, ReadIEBool(p)); });
  }
  HRESULT PutBool(const IESettingsProperty& p, VARIANT_BOOL v) {
    return SafeCall([&] { WriteIEBool(p, v != VARIANT_FALSE); });
  }
  HRESULT GetInt(const IESettingsProperty& p, std::int32_t* v) {
    return SafeCall([&] { SetOutValue(v, ReadIEInt(p)); });
  }
  HRESULT PutInt(const IESettingsProperty& p, std::int32_t v) {
    return SafeCall([&] { WriteIEInt(p, v); });
  }
};

class TpwIE7Settings : public AutoImplements<TpwIESettings, IpwIE7Settings> {
 public:
  TpwIE7Settings() : TpwIE7Settings(std::vector<IID>{IpwIESettings::iid, IpwIE7Settings::iid}) {}

  HRESULT get_ResetTextSizeOnStartup(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[0], v); }
  HRESULT put_ResetTextSizeOnStartup(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[0], v); }
  HRESULT get_ResetTextSizeOnZoom(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[1], v); }
  HRESULT put_ResetTextSizeOnZoom(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[1], v); }
  HRESULT get_ResetZoomOnStartup(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[2], v); }
  HRESULT put_ResetZoomOnStartup(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[2], v); }
  HRESULT get_DisplayTrustAlertDlg(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[3], v); }
  HRESULT put_DisplayTrustAlertDlg(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[3], v); }
  HRESULT get_EnableSearchPane(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[4], v); }
  HRESULT put_EnableSearchPane(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[4], v); }
  HRESULT get_UseMostRecentOrderTabSwitching(VARIANT_BOOL* v) override {
    return GetBool(IE7SettingsProperties()[5], v);
  }
  HRESULT put_UseMostRecentOrderTabSwitching(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[5], v); }
  HRESULT get_AlwaysShowEncodedAddresses(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[6], v); }
  HRESULT put_AlwaysShowEncodedAddresses(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[6], v); }
  HRESULT get_SendIDNServerNames(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[7], v); }
  HRESULT put_SendIDNServerNames(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[7], v); }
  HRESULT get_SendIDNServerNamesForIntranet(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[8], v); }
  HRESULT put_SendIDNServerNamesForIntranet(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[8], v); }
  HRESULT get_ShowIDNPrompt(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[9], v); }
  HRESULT put_ShowIDNPrompt(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[9], v); }
  HRESULT get_UseUTF8ForMailtoLinks(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[10], v); }
  HRESULT put_UseUTF8ForMailtoLinks(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[10], v); }
  HRESULT get_UseClearType(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[11], v); }
  HRESULT put_UseClearType(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[11], v); }
  HRESULT get_XMLHTTPEnabled(VARIANT_BOOL* v) override { return GetBool(IE7SettingsProperties()[12], v); }
  HRESULT put_XMLHTTPEnabled(VARIANT_BOOL v) override { return PutBool(IE7SettingsProperties()[12], v); }
  HRESULT get_PhishingFilter(std::int32_t* v) override { return GetInt(IE7SettingsProperties()[13], v); }
  HRESULT put_PhishingFilter(std::int32_t v) override { return PutInt(IE7SettingsProperties()[13], v); }

 protected:
  explicit TpwIE7Settings(std::vector<IID> iids) : AutoImplements(std::move(iids)) {}
};

class TpwIE8Settings final : public AutoImplements<TpwIE7Settings, IpwIE8Settings> {
 public:
  TpwIE8Settings() : AutoImplements(std::vector<IID>{IpwIESettings::iid, IpwIE7Settings::iid, IpwIE8Settings::iid}) {}

  HRESULT get_EnableCaretBrowsingOnStartup(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[0], v); }
  HRESULT put_EnableCaretBrowsingOnStartup(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[0], v); }
  HRESULT get_ResetZoomOnStartupIE8(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[1], v); }
  HRESULT put_ResetZoomOnStartupIE8(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[1], v); }
  HRESULT get_AutomaticLayoutRecovery(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[2], v); }
  HRESULT put_AutomaticLayoutRecovery(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[2], v); }
  HRESULT get_DisplayAcceleratorButtonOnSelection(VARIANT_BOOL* v) override {
    return GetBool(IE8SettingsProperties()[3], v);
  }
  HRESULT put_DisplayAcceleratorButtonOnSelection(VARIANT_BOOL v) override {
    return PutBool(IE8SettingsProperties()[3], v);
  }
  HRESULT get_EnableAutomaticCrashRecovery(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[4], v); }
  HRESULT put_EnableAutomaticCrashRecovery(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[4], v); }
  HRESULT get_EnableSuggestedSites(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[5], v); }
  HRESULT put_EnableSuggestedSites(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[5], v); }
  HRESULT get_EnableDOMStorage(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[6], v); }
  HRESULT put_EnableDOMStorage(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[6], v); }
  HRESULT get_EnableSmartScreenFilter(VARIANT_BOOL* v) override { return GetBool(IE8SettingsProperties()[7], v); }
  HRESULT put_EnableSmartScreenFilter(VARIANT_BOOL v) override { return PutBool(IE8SettingsProperties()[7], v); }
};

}  // namespace

ComPtr<IDispatch> CreateIESettingsObject() { return CreateIESettingsObject(GetIEMajorVersion()); }

ComPtr<IDispatch> CreateIESettingsObject(int majorVersion) {
  ComPtr<IDispatch> result;
  if (majorVersion <= 6) result = ComPtr<IDispatch>(static_cast<IpwIESettings*>(MakeObject<TpwIESettings>().Get()));
  else if (majorVersion == 7)
    result = ComPtr<IDispatch>(static_cast<IpwIESettings*>(MakeObject<TpwIE7Settings>().Get()));
  else result = ComPtr<IDispatch>(static_cast<IpwIESettings*>(MakeObject<TpwIE8Settings>().Get()));
  return result;
}

}  // namespace pw::web
