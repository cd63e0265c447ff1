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

// The get and put of a property stored as the given row of a settings table.
#define PW_IE_BOOL(Name, Table, Row)                                                \
  HRESULT get_##Name(VARIANT_BOOL* v) override { return GetBool(Table()[Row], v); } \
  HRESULT put_##Name(VARIANT_BOOL v) override { return PutBool(Table()[Row], v); }
#define PW_IE_INT(Name, Table, Row)                                                \
  HRESULT get_##Name(std::int32_t* v) override { return GetInt(Table()[Row], v); } \
  HRESULT put_##Name(std::int32_t v) override { return PutInt(Table()[Row], v); }

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

  PW_IE_BOOL(ExpandAltText, IESettingsProperties, 0)
  PW_IE_BOOL(MoveSystemCaret, IESettingsProperties, 1)
  PW_IE_BOOL(HTTP11Enabled, IESettingsProperties, 2)
  PW_IE_BOOL(HTTP11ProxyEnabled, IESettingsProperties, 3)
  PW_IE_BOOL(PrintBackground, IESettingsProperties, 4)
  PW_IE_INT(AddressBarAutoSearch, IESettingsProperties, 5)
  PW_IE_BOOL(UrlEncoding, IESettingsProperties, 6)
  PW_IE_BOOL(UpdatesCheck, IESettingsProperties, 7)
  PW_IE_BOOL(CloseUnusedFolders, IESettingsProperties, 8)
  PW_IE_BOOL(DisableScriptDebuggerIE, IESettingsProperties, 9)
  PW_IE_BOOL(DisableScriptDebugger, IESettingsProperties, 10)
  PW_IE_BOOL(ErrorDlgDisplayedOnEveryError, IESettingsProperties, 11)
  PW_IE_BOOL(FolderViewForFTP, IESettingsProperties, 12)
  PW_IE_BOOL(SetupOnDemandIE, IESettingsProperties, 13)
  PW_IE_BOOL(SetupOnDemandWeb, IESettingsProperties, 14)
  PW_IE_BOOL(ScheduledUpdates, IESettingsProperties, 15)
  PW_IE_BOOL(PageTransitions, IESettingsProperties, 16)
  PW_IE_BOOL(PersonalizedFavMenu, IESettingsProperties, 17)
  PW_IE_BOOL(BrowserExtensions, IESettingsProperties, 18)
  PW_IE_BOOL(VisualThemes, IESettingsProperties, 19)
  PW_IE_BOOL(ForceOffscreenComposition, IESettingsProperties, 20)
  PW_IE_BOOL(NotifyDownloadComplete, IESettingsProperties, 21)
  PW_IE_BOOL(AllowWindowReuse, IESettingsProperties, 22)
  PW_IE_BOOL(ShowFriendlyHTTPErrors, IESettingsProperties, 23)
  PW_IE_BOOL(ShowFriendlyURLs, IESettingsProperties, 24)
  PW_IE_BOOL(ShowGoButton, IESettingsProperties, 25)
  PW_IE_INT(UnderlineLinks, IESettingsProperties, 26)
  PW_IE_BOOL(UseAutoComplete, IESettingsProperties, 27)
  PW_IE_BOOL(UsePassiveFTP, IESettingsProperties, 28)
  PW_IE_BOOL(UseSmoothScrolling, IESettingsProperties, 29)
  PW_IE_BOOL(AutoImageResize, IESettingsProperties, 30)
  PW_IE_BOOL(ShowImageToolbar, IESettingsProperties, 31)
  PW_IE_BOOL(PlayAnimations, IESettingsProperties, 32)
  PW_IE_BOOL(PlaySounds, IESettingsProperties, 33)
  PW_IE_BOOL(PlayVideos, IESettingsProperties, 34)
  PW_IE_BOOL(ShowImagePlaceholders, IESettingsProperties, 35)
  PW_IE_BOOL(ShowPictures, IESettingsProperties, 36)
  PW_IE_BOOL(SmartDithering, IESettingsProperties, 37)
  PW_IE_BOOL(AllowActiveContentFromCDs, IESettingsProperties, 38)
  PW_IE_BOOL(AllowActiveContentInFiles, IESettingsProperties, 39)
  PW_IE_BOOL(RunInvalidSignatures, IESettingsProperties, 40)
  PW_IE_BOOL(CheckPublisherCertificateRevocation, IESettingsProperties, 41)
  PW_IE_BOOL(CheckServerCertificateRevocation, IESettingsProperties, 42)
  PW_IE_BOOL(CheckProgramSignatures, IESettingsProperties, 43)
  PW_IE_BOOL(DoNotCacheEncryptedPages, IESettingsProperties, 44)
  PW_IE_BOOL(EmptyCacheOnClose, IESettingsProperties, 45)
  PW_IE_BOOL(IntegratedWindowsAuthentication, IESettingsProperties, 46)
  PW_IE_BOOL(ProfileAssistantEnabled, IESettingsProperties, 47)
  PW_IE_BOOL(SSL2Enabled, IESettingsProperties, 48)
  PW_IE_BOOL(SSL3Enabled, IESettingsProperties, 49)
  PW_IE_BOOL(TLS1Enabled, IESettingsProperties, 50)
  PW_IE_BOOL(WarnOnBadCertificates, IESettingsProperties, 51)
  PW_IE_BOOL(WarnOnZoneCrossing, IESettingsProperties, 52)
  PW_IE_BOOL(WarnOnPostRedirect, IESettingsProperties, 53)

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

  PW_IE_BOOL(ResetTextSizeOnStartup, IE7SettingsProperties, 0)
  PW_IE_BOOL(ResetTextSizeOnZoom, IE7SettingsProperties, 1)
  PW_IE_BOOL(ResetZoomOnStartup, IE7SettingsProperties, 2)
  PW_IE_BOOL(DisplayTrustAlertDlg, IE7SettingsProperties, 3)
  PW_IE_BOOL(EnableSearchPane, IE7SettingsProperties, 4)
  PW_IE_BOOL(UseMostRecentOrderTabSwitching, IE7SettingsProperties, 5)
  PW_IE_BOOL(AlwaysShowEncodedAddresses, IE7SettingsProperties, 6)
  PW_IE_BOOL(SendIDNServerNames, IE7SettingsProperties, 7)
  PW_IE_BOOL(SendIDNServerNamesForIntranet, IE7SettingsProperties, 8)
  PW_IE_BOOL(ShowIDNPrompt, IE7SettingsProperties, 9)
  PW_IE_BOOL(UseUTF8ForMailtoLinks, IE7SettingsProperties, 10)
  PW_IE_BOOL(UseClearType, IE7SettingsProperties, 11)
  PW_IE_BOOL(XMLHTTPEnabled, IE7SettingsProperties, 12)
  PW_IE_INT(PhishingFilter, IE7SettingsProperties, 13)

 protected:
  explicit TpwIE7Settings(std::vector<IID> iids) : AutoImplements(std::move(iids)) {}
};

class TpwIE8Settings final : public AutoImplements<TpwIE7Settings, IpwIE8Settings> {
 public:
  TpwIE8Settings() : AutoImplements(std::vector<IID>{IpwIESettings::iid, IpwIE7Settings::iid, IpwIE8Settings::iid}) {}

  PW_IE_BOOL(EnableCaretBrowsingOnStartup, IE8SettingsProperties, 0)
  PW_IE_BOOL(ResetZoomOnStartupIE8, IE8SettingsProperties, 1)
  PW_IE_BOOL(AutomaticLayoutRecovery, IE8SettingsProperties, 2)
  PW_IE_BOOL(DisplayAcceleratorButtonOnSelection, IE8SettingsProperties, 3)
  PW_IE_BOOL(EnableAutomaticCrashRecovery, IE8SettingsProperties, 4)
  PW_IE_BOOL(EnableSuggestedSites, IE8SettingsProperties, 5)
  PW_IE_BOOL(EnableDOMStorage, IE8SettingsProperties, 6)
  PW_IE_BOOL(EnableSmartScreenFilter, IE8SettingsProperties, 7)
};

#undef PW_IE_BOOL
#undef PW_IE_INT

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
