// The Internet Explorer settings object and the security zone settings over the registry
// stand-in: every property's default and stored form, the special encodings, wrong types, the
// version rule and class choice, the setting-change broadcast; zone policies, URL zones, unknown
// zones and failing stores.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "host/test_host.h"
#include "platform/com/registry.h"
#include "platform/com/url_zones.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/window_messages.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/module_library.h"
#include "web/navigation/node_facts.h"
#include "web/settings/ie_settings.h"
#include "web/settings/ie_settings_objects.h"
#include "web/settings/ie_zone_settings.h"

namespace pw::web {
namespace {

constexpr char16_t kZones[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones";

// A host for the library list, the module's library, and an empty in-memory registry.
class IESettingsTest : public ::testing::Test {
 protected:
  IESettingsTest() {
    SetRegistryFilesEnabled(false);  // empty HKCU and HKLM
    host::TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<host::TestHost>(options);
    library_ = std::make_unique<test::ScopedModuleLibrary>();
  }
  ~IESettingsTest() override {
    library_.reset();
    host_.reset();
    SetRegistryFilesEnabled(false);
  }

  static OleVariant Get(IDispatch* object, const char16_t* name) { return DispInvoke(object, name, {}); }
  static void Put(IDispatch* object, const char16_t* name, const OleVariant& value) {
    const char16_t* names[] = {name};
    DISPID id = 0;
    OleCheck(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
    OleVariant copy(value);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{copy.Ptr(), &named, 1, 1};
    EXCEPINFO info{};
    const HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &info, nullptr);
    if (hr == DISP_E_EXCEPTION) {
      const WideString message = info.bstrDescription ? WideString(info.bstrDescription) : WideString();
      const HRESULT code = info.scode;
      ClearExcepInfo(info);
      throw EOleSysError(message, code);
    }
    OleCheck(hr);
  }
  // The failure code and message of a call, or S_OK.
  static std::pair<HRESULT, WideString> Failure(const std::function<void()>& f) {
    try {
      f();
    } catch (const EOleSysError& e) {
      return {e.ErrorCode(), e.Message()};
    }
    return {S_OK, u""};
  }

  // A stored value of HKCU: nothing, a DWORD or a text.
  struct Stored {
    std::optional<std::uint32_t> number;
    std::optional<WideString> text;
  };
  static Stored Read(RootKey root, const WideString& key, const WideString& name) {
    TRegistry reg(root);
    Stored s;
    if (!reg.OpenKeyReadOnly(key)) return s;
    if (reg.GetDataType(name) == TRegDataType::rdInteger) s.number = static_cast<std::uint32_t>(reg.ReadInteger(name));
    if (reg.GetDataType(name) == TRegDataType::rdString) s.text = reg.ReadString(name);
    return s;
  }
  static void StoreDWord(RootKey root, const WideString& key, const WideString& name, std::uint32_t v) {
    TRegistry reg(root);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(name, static_cast<std::int32_t>(v));
  }
  static void StoreText(const WideString& key, const WideString& name, const WideString& v) {
    TRegistry reg(RootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, v);
  }
  static void ClearUser() { TRegistry(RootKey::CurrentUser).DeleteKey(u"Software"); }

  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<test::ScopedModuleLibrary> library_;
};

std::vector<IESettingsProperty> AllProperties() {
  std::vector<IESettingsProperty> all = IESettingsProperties();
  all.insert(all.end(), IE7SettingsProperties().begin(), IE7SettingsProperties().end());
  all.insert(all.end(), IE8SettingsProperties().begin(), IE8SettingsProperties().end());
  return all;
}

TEST_F(IESettingsTest, EveryPropertyDefaultsWritesAndReadsBack) {
  auto settings = CreateIESettingsObject(8);
  ASSERT_EQ(AllProperties().size(), 54u + 14u + 8u);
  for (const auto& p : AllProperties()) {
    SCOPED_TRACE(WideToUtf8(p.name));
    ClearUser();
    const OleVariant missing = Get(settings.Get(), p.name);
    if (p.boolean) {
      const bool defaultTrue = p.encoding == IEEncoding::D1Not || p.encoding == IEEncoding::YNNot ||
                               p.encoding == IEEncoding::PublisherRevocation || p.encoding == IEEncoding::AutoRecover;
      EXPECT_EQ(missing.Get().vt, VT_BOOL);
      EXPECT_EQ(missing.AsBool(), defaultTrue);
      if (p.encoding == IEEncoding::PublisherRevocation) {
        Put(settings.Get(), p.name, OleVariant(false));  // no "State": nothing written
        EXPECT_FALSE(Read(RootKey::CurrentUser, p.key, p.value).number);
        continue;
      }
      for (bool value : {true, false}) {
        Put(settings.Get(), p.name, OleVariant(value));
        EXPECT_EQ(Get(settings.Get(), p.name).AsBool(), value);
        const Stored s = Read(RootKey::CurrentUser, p.key, p.value);
        switch (p.encoding) {
          case IEEncoding::D1: EXPECT_EQ(s.number, value ? 1u : 0u); break;
          case IEEncoding::D1Not: EXPECT_EQ(s.number, value ? 0u : 1u); break;
          case IEEncoding::YN: EXPECT_EQ(s.text, value ? u"yes" : u"no"); break;
          case IEEncoding::YNNot: EXPECT_EQ(s.text, value ? u"no" : u"yes"); break;
          case IEEncoding::SecureProtocol: EXPECT_EQ(s.number, value ? (0x28u | p.bit) : (0x28u & ~p.bit)); break;
          case IEEncoding::Punycode: EXPECT_EQ(s.number, value ? p.bit : 0u); break;
          case IEEncoding::AutoRecover: EXPECT_EQ(s.number, value ? 0u : 2u); break;
          default: ADD_FAILURE() << "no expectation";
        }
      }
    } else {
      EXPECT_EQ(missing.Get().vt, VT_I4);
      EXPECT_EQ(missing.AsInt(), 0);
      Put(settings.Get(), p.name, OleVariant(2));
      EXPECT_EQ(Get(settings.Get(), p.name).AsInt(), 2);
      const Stored s = Read(RootKey::CurrentUser, p.key, p.value);
      if (p.encoding == IEEncoding::Underline) {
        EXPECT_EQ(s.text, u"hover");
      } else {
        EXPECT_EQ(s.number, p.encoding == IEEncoding::AutoSearch ? 5u : 2u);
      }
    }
  }
}

TEST_F(IESettingsTest, SpecialEncodings) {
  auto s = CreateIESettingsObject(8);
  const WideString main = u"\\Software\\Microsoft\\Internet Explorer\\Main";
  const WideString inet = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  // AutoSearch: 5 is taken as 0; 2 stores 5; stored 6 reads 3; a negative value is kept.
  Put(s.Get(), u"AddressBarAutoSearch", OleVariant(5));
  EXPECT_EQ(Read(RootKey::CurrentUser, main, u"AutoSearch").number, 0u);
  EXPECT_EQ(Get(s.Get(), u"AddressBarAutoSearch").AsInt(), 0);
  Put(s.Get(), u"AddressBarAutoSearch", OleVariant(2));
  EXPECT_EQ(Read(RootKey::CurrentUser, main, u"AutoSearch").number, 5u);
  StoreDWord(RootKey::CurrentUser, main, u"AutoSearch", 6);
  EXPECT_EQ(Get(s.Get(), u"AddressBarAutoSearch").AsInt(), 3);
  // "Anchor Underline": "YES" reads 1, another word 0; other numbers write "no".
  for (const auto& [text, expected] : std::map<WideString, int>{{u"YES", 1}, {u"Hover", 2}, {u"maybe", 0}}) {
    StoreText(main, u"Anchor Underline", text);
    EXPECT_EQ(Get(s.Get(), u"UnderlineLinks").AsInt(), expected) << WideToUtf8(text);
  }
  Put(s.Get(), u"UnderlineLinks", OleVariant(7));
  EXPECT_EQ(Read(RootKey::CurrentUser, main, u"Anchor Underline").text, u"no");
  // "yes" in any case reads True for YN.
  StoreText(main, u"Expand Alt Text", u"Yes");
  EXPECT_TRUE(Get(s.Get(), u"ExpandAltText").AsBool());
  // D1: only exactly 1 is True; D1-not: True for anything else.
  StoreDWord(RootKey::CurrentUser, main, u"NoUpdateCheck", 2);
  EXPECT_TRUE(Get(s.Get(), u"UpdatesCheck").AsBool());
  // TLS1 without "SecureProtocols" stores $A8; SSL2 off keeps the other bits.
  Put(s.Get(), u"TLS1Enabled", OleVariant(true));
  EXPECT_EQ(Read(RootKey::CurrentUser, inet, u"SecureProtocols").number, 0xA8u);
  Put(s.Get(), u"SSL3Enabled", OleVariant(false));
  EXPECT_EQ(Read(RootKey::CurrentUser, inet, u"SecureProtocols").number, 0x88u);
  // "State": without it nothing is written and it reads True; with it bit $200 is cleared or set.
  const WideString pub =
      u"\\Software\\Microsoft\\Windows\\CurrentVersion\\WinTrust\\Trust Providers\\Software Publishing";
  Put(s.Get(), u"CheckPublisherCertificateRevocation", OleVariant(false));
  EXPECT_FALSE(Read(RootKey::CurrentUser, pub, u"State").number);
  EXPECT_TRUE(Get(s.Get(), u"CheckPublisherCertificateRevocation").AsBool());
  StoreDWord(RootKey::CurrentUser, pub, u"State", 0x23e00);
  EXPECT_FALSE(Get(s.Get(), u"CheckPublisherCertificateRevocation").AsBool());
  Put(s.Get(), u"CheckPublisherCertificateRevocation", OleVariant(true));
  EXPECT_EQ(Read(RootKey::CurrentUser, pub, u"State").number, 0x23c00u);
  // Punycode: False while the intranet flag is set stores 2; other bits are dropped.
  StoreDWord(RootKey::CurrentUser, inet, u"EnablePunycode", 0x13);
  Put(s.Get(), u"SendIDNServerNames", OleVariant(false));
  EXPECT_EQ(Read(RootKey::CurrentUser, inet, u"EnablePunycode").number, 2u);
  Put(s.Get(), u"SendIDNServerNamesForIntranet", OleVariant(false));
  EXPECT_EQ(Read(RootKey::CurrentUser, inet, u"EnablePunycode").number, 0u);
  Put(s.Get(), u"SendIDNServerNames", OleVariant(true));
  EXPECT_EQ(Read(RootKey::CurrentUser, inet, u"EnablePunycode").number, 1u);
  // AutoRecover: only 0 is True.
  StoreDWord(RootKey::CurrentUser, u"\\Software\\Microsoft\\Internet Explorer\\Recovery", u"AutoRecover", 1);
  EXPECT_FALSE(Get(s.Get(), u"EnableAutomaticCrashRecovery").AsBool());
}

TEST_F(IESettingsTest, AValueOfAnotherTypeRaises) {
  auto s = CreateIESettingsObject(8);
  StoreDWord(RootKey::CurrentUser, u"Software\\Microsoft\\Internet Explorer\\Main", u"Expand Alt Text", 1);
  StoreText(u"Software\\Microsoft\\Internet Explorer\\Main", u"NoUpdateCheck", u"1");
  const auto [code, message] = Failure([&] { Get(s.Get(), u"ExpandAltText"); });
  EXPECT_TRUE(Failed(code));
  EXPECT_EQ(message, u"Invalid data type for 'Expand Alt Text'");
  EXPECT_EQ(Failure([&] { Get(s.Get(), u"UpdatesCheck"); }).second, u"Invalid data type for 'NoUpdateCheck'");
  // A write replaces the value with its own type.
  Put(s.Get(), u"ExpandAltText", OleVariant(true));
  EXPECT_TRUE(Get(s.Get(), u"ExpandAltText").AsBool());
}

TEST_F(IESettingsTest, VersionsChooseTheClass) {
  const struct {
    const char16_t* text;
    int major;
  } cases[] = {{u"11.0.9600.16428", 11}, {u"", 6}, {u"5.5", 6}, {u"7", 7}, {u"x.1", 6}, {u"-8.0", 6}, {u"8.0", 8}};
  for (const auto& c : cases) EXPECT_EQ(IEMajorVersionOf(c.text), c.major) << WideToUtf8(c.text);
  // The registry's text: "svcVersion" over "Version"; a described file version over both.
  EXPECT_EQ(GetIEVersionString(), u"");
  EXPECT_EQ(GetIEMajorVersion(), 6);
  TRegistry lm(RootKey::LocalMachine);
  ASSERT_TRUE(lm.OpenKey(u"Software\\Microsoft\\Internet Explorer", true));
  lm.WriteString(u"Version", u"9.11.9600.0");
  EXPECT_EQ(GetIEVersionString(), u"9.11.9600.0");
  lm.WriteString(u"svcVersion", u"11.0.9600.0");
  EXPECT_EQ(GetIEMajorVersion(), 11);
  ASSERT_TRUE(lm.OpenKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE", true));
  lm.WriteString(u"", u"C:\\Program Files\\Internet Explorer\\iexplore.exe");
  EXPECT_EQ(GetIEVersionString(), u"11.0.9600.0");  // no version resource: the text stays
  SetDescribedFileVersion("C:\\Program Files\\Internet Explorer\\iexplore.exe", {7, 0, 6000, 16386});
  EXPECT_EQ(GetIEVersionString(), u"7.0.6000.16386");
  auto byVersion = CreateIESettingsObject();
  EXPECT_EQ(Get(byVersion.Get(), u"GetInternetExplorerVersion").AsString(), u"7.0.6000.16386");
  EXPECT_EQ(Get(byVersion.Get(), u"GetInternetExplorerMajorVersion").AsInt(), 7);
  EXPECT_TRUE(DispHasMember(byVersion.Get(), u"UseClearType"));
  EXPECT_FALSE(DispHasMember(byVersion.Get(), u"EnableDOMStorage"));
  RemoveDescribedFileVersion("C:\\Program Files\\Internet Explorer\\iexplore.exe");
  // 6: base members only; 9 and later: the version 8 class.
  auto six = CreateIESettingsObject(6);
  EXPECT_TRUE(DispHasMember(six.Get(), u"ExpandAltText"));
  EXPECT_FALSE(DispHasMember(six.Get(), u"UseClearType"));
  auto eleven = CreateIESettingsObject(11);
  EXPECT_TRUE(DispHasMember(eleven.Get(), u"UseClearType"));
  EXPECT_TRUE(DispHasMember(eleven.Get(), u"EnableDOMStorage"));
}

TEST_F(IESettingsTest, SettingChangeReachesTheWindowTable) {
  constexpr HWND kWindow = 0x5A0010;
  DescribeProcess({0x5A01, u"tested.exe", {}, {{kWindow, u"Frame"}}});
  std::vector<std::tuple<unsigned, WPARAM, LPARAM>> got;
  ASSERT_TRUE(SetWindowMessageHandler(kWindow, [&](HWND, unsigned m, WPARAM w, LPARAM l) -> LRESULT {
    got.emplace_back(m, w, l);
    return 0;
  }));
  auto s = CreateIESettingsObject(6);
  Get(s.Get(), u"SendSettingChangeMessage");
  SetWindowMessageHandler(kWindow, nullptr);
  RemoveProcessDescription(0x5A01);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], std::make_tuple(0x1Au, WPARAM{0}, LPARAM{0}));
}

// ---- Zones ----------------------------------------------------------------------------------

TEST_F(IESettingsTest, ZonePoliciesReadAndWrite) {
  auto manager = CreateIEZoneSettingsObject(8);
  const OleVariant id[] = {OleVariant(3)};
  OleVariant zoneVar = DispInvoke(manager.Get(), u"GetZoneSettingsById", id);
  ComPtr<IDispatch> zone(zoneVar.Get().pdispVal);
  EXPECT_EQ(Get(zone.Get(), u"ZoneId").AsInt(), 3);
  EXPECT_EQ(Get(zone.Get(), u"ZoneName").AsString(), u"Internet");
  const WideString key = WideString(kZones) + u"\\3";
  // A Boolean member: 0 reads True, 1 and 3 read False; True writes 0, False writes 3.
  for (const auto& [stored, expected] : std::map<std::uint32_t, bool>{{0, true}, {1, false}, {3, false}}) {
    StoreDWord(RootKey::CurrentUser, key, u"2201", stored);
    EXPECT_EQ(Get(zone.Get(), u"AutoPromptForActiveXControls").AsBool(), expected) << stored;
  }
  Put(zone.Get(), u"AutoPromptForActiveXControls", OleVariant(false));
  EXPECT_EQ(Read(RootKey::CurrentUser, key, u"2201").number, 3u);
  Put(zone.Get(), u"AutoPromptForActiveXControls", OleVariant(true));
  EXPECT_EQ(Read(RootKey::CurrentUser, key, u"2201").number, 0u);
  // An Integer member as stored; HKLM when HKCU has none; else 0.
  EXPECT_EQ(Get(zone.Get(), u"ActiveScripting").AsInt(), 0);
  StoreDWord(RootKey::LocalMachine, key, u"1400", 1);
  EXPECT_EQ(Get(zone.Get(), u"ActiveScripting").AsInt(), 1);
  Put(zone.Get(), u"ActiveScripting", OleVariant(3));
  EXPECT_EQ(Read(RootKey::CurrentUser, key, u"1400").number, 3u);
  EXPECT_EQ(Read(RootKey::LocalMachine, key, u"1400").number, 1u);
  EXPECT_EQ(Get(zone.Get(), u"ActiveScripting").AsInt(), 3);
  // Every member reads and writes its own action.
  for (const auto& p : IEZonePolicyProperties()) {
    ClearUser();
    Put(zone.Get(), p.name, p.boolean ? OleVariant(false) : OleVariant(1));
    wchar_t name[8];
    std::swprintf(name, 8, L"%04X", static_cast<unsigned>(p.action));
    EXPECT_EQ(Read(RootKey::CurrentUser, key, WideString(name, name + 4)).number, p.boolean ? 3u : 1u)
        << WideToUtf8(p.name);
  }
}

TEST_F(IESettingsTest, ZoneClassesFollowTheVersion) {
  ASSERT_EQ(IEZonePolicyProperties().size(), 33u + 15u + 2u);
  const OleVariant id[] = {OleVariant(1)};
  const struct {
    int major;
    bool ie7, ie8;
  } cases[] = {{6, false, false}, {7, true, false}, {8, true, true}, {11, true, true}};
  for (const auto& c : cases) {
    auto manager = CreateIEZoneSettingsObject(c.major);
    OleVariant zone = DispInvoke(manager.Get(), u"GetZoneSettingsById", id);
    EXPECT_TRUE(DispHasMember(zone.Get().pdispVal, u"UserAuthentication"));
    EXPECT_EQ(DispHasMember(zone.Get().pdispVal, u"ProtectedMode"), c.ie7) << c.major;
    EXPECT_EQ(DispHasMember(zone.Get().pdispVal, u"EnableXSSFilter"), c.ie8) << c.major;
  }
}

TEST_F(IESettingsTest, UrlsMapToZones) {
  const WideString domains = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains";
  StoreDWord(RootKey::CurrentUser, domains + u"\\example.com", u"*", 2);
  StoreDWord(RootKey::CurrentUser, domains + u"\\example.com\\secure", u"https", 4);
  StoreDWord(RootKey::LocalMachine, domains + u"\\corp.org", u"http", 1);
  const struct {
    const char16_t* url;
    std::optional<DWORD> zone;
  } cases[] = {
      {u"file:///tmp/page.html", 0},
      {u"FILE://C:/x", 0},
      {u"http://127.0.0.1/", 1},
      {u"http://127.0.0.1:8080/a", 1},
      {u"http://localhost/", 1},
      {u"http://[::1]:81/", 1},
      {u"http://[0:0:0:0:0:0:0:1]/", 1},
      {u"http://u@[::FFFF:127.0.0.2]:8/", 1},
      {u"http://[::ffff:8.8.8.8]/", 3},
      {u"http://intranet/x", 1},
      {u"https://user@build-server:443/", 1},
      {u"http://example.com/", 2},
      {u"http://www.Example.com./", 2},
      {u"https://secure.example.com/", 4},
      {u"http://secure.example.com/", 2},
      {u"http://corp.org/", 1},
      {u"https://corp.org/", 3},
      {u"http://notexample.com/", 3},
      {u"https://www.w3.org/", 3},
      {u"ftp://ftp.debian.org/", 3},
      {u"http://127.0.0.1.evil.net/", 3},
      {u"http://[2001:db8::1]/", 3},
      {u"no scheme here", std::nullopt},
      {u"://x", std::nullopt},
      {u"", std::nullopt},
  };
  auto manager = CreateIEZoneSettingsObject(8);
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.url));
    DWORD zone = 99;
    EXPECT_EQ(Succeeded(MapUrlToZone(c.url, zone)), c.zone.has_value());
    const OleVariant url[] = {OleVariant(c.url)};
    OleVariant object = DispInvoke(manager.Get(), u"GetZoneSettingsForUrl", url);
    if (!c.zone) {
      EXPECT_TRUE(object.Get().vt == VT_EMPTY || object.Get().vt == VT_NULL ||
                  (object.Get().vt == VT_DISPATCH && !object.Get().pdispVal));
      continue;
    }
    EXPECT_EQ(zone, *c.zone);
    EXPECT_EQ(Get(object.Get().pdispVal, u"ZoneId").AsInt(), static_cast<std::int32_t>(*c.zone));
  }
  const OleVariant loopback[] = {OleVariant(u"http://127.0.0.1/")};
  OleVariant intranet = DispInvoke(manager.Get(), u"GetZoneSettingsForUrl", loopback);
  EXPECT_EQ(Get(intranet.Get().pdispVal, u"ZoneName").AsString(), u"Local intranet");
}

TEST_F(IESettingsTest, UnknownZonesAndFailingStoresRaise) {
  auto manager = CreateIEZoneSettingsObject(8);
  const OleVariant id[] = {OleVariant(7)};
  OleVariant unknown = DispInvoke(manager.Get(), u"GetZoneSettingsById", id);
  IDispatch* zone = unknown.Get().pdispVal;
  EXPECT_EQ(Get(zone, u"ZoneId").AsInt(), 7);
  EXPECT_EQ(Get(zone, u"ZoneName").AsString(), u"");
  EXPECT_EQ(Failure([&] { Get(zone, u"ActiveScripting"); }).first, E_INVALIDARG);
  EXPECT_EQ(Failure([&] { Get(zone, u"UsePopupBlocker"); }).first, E_INVALIDARG);  // never "allowed"
  EXPECT_EQ(Failure([&] { Put(zone, u"UsePopupBlocker", OleVariant(true)); }).first, E_INVALIDARG);
  // A policy of another type, then a broken HKCU file: reads and writes fail with E_FAIL.
  const OleVariant internet[] = {OleVariant(3)};
  OleVariant known = DispInvoke(manager.Get(), u"GetZoneSettingsById", internet);
  StoreText(WideString(kZones) + u"\\3", u"1400", u"0");
  const auto [code, message] = Failure([&] { Get(known.Get().pdispVal, u"ActiveScripting"); });
  EXPECT_EQ(code, E_FAIL);
  EXPECT_NE(message.find(u"0x1400"), WideString::npos) << WideToUtf8(message);
  pw::test::ScratchDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> kept = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  std::filesystem::create_directories(dir.Path() / "probewright" / "registry");
  const std::string file = (dir.Path() / "probewright" / "registry" / "HKCU.reg").string();
  pw::test::WriteFileBytes(file, "not a registry file");
  SetRegistryFilesEnabled(true);
  EXPECT_EQ(Failure([&] { Get(known.Get().pdispVal, u"ActiveScripting"); }).first, E_FAIL);
  EXPECT_EQ(Failure([&] { Put(known.Get().pdispVal, u"ActiveScripting", OleVariant(3)); }).first, E_FAIL);
  // The IE settings raise the registry's own error; the file is kept.
  auto settings = CreateIESettingsObject(6);
  EXPECT_NE(Failure([&] { Put(settings.Get(), u"ExpandAltText", OleVariant(true)); }).second.find(u"HKCU.reg"),
            WideString::npos);
  EXPECT_EQ(pw::test::ReadFileBytes(file), "not a registry file");
  SetRegistryFilesEnabled(false);
  if (kept) ::setenv("XDG_CONFIG_HOME", kept->c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace pw::web
