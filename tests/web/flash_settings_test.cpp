// "FlashSettings" on a temporary HOME, XDG_CONFIG_HOME and system folder: the debug
// configuration (byte order mark, adding, replacing and removing keys, Boolean values, the log
// switch, no file), the injector, the trust file as whole lines, writes that fail, browser
// arguments, the player's version and debug state from the registry and from its file, the
// file search across block borders, the version object, and the path stand-ins.
#include "host/com_support.h"
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/com/registry.h"
#include "platform/kernel/environment.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/module_library.h"
#include "web/settings/flash_settings.h"

namespace pw::web {
namespace {

using ::pw::test::ReadFileBytes;
using ::pw::test::WriteFileBytes;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// An environment variable set (or unset) for the life of a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

class FlashSettingsTest : public ::testing::Test {
 protected:
  FlashSettingsTest()
      : home_("HOME", (scratch_.Path() / "home").string()),
        config_("XDG_CONFIG_HOME", (scratch_.Path() / "config").string()), windir_("windir", std::nullopt) {
    std::filesystem::create_directories(scratch_.Path() / "home");
    std::filesystem::create_directories(scratch_.Path() / "host" / "bin");
    SetHostExeFolderOverride(Utf8ToWide((scratch_.Path() / "host" / "bin").string()));
    host::TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<host::TestHost>(options);
    library_ = std::make_unique<test::ScopedModuleLibrary>();
    settings_ = CreateFlashSettingsObject();
    flash_ = settings_.As<IpwFlashSettings>();
  }
  ~FlashSettingsTest() override {
    TRegistry(RootKey::LocalMachine).DeleteKey(u"\\Software\\Macromedia");
    flash_ = nullptr;
    settings_ = nullptr;
    library_.reset();
    host_.reset();
    SetHostExeFolderOverride(u"");
  }

  std::string ConfigFile() const { return (scratch_.Path() / "home" / "mm.cfg").string(); }
  std::string TrustFile() const {
    return (scratch_.Path() / "config" / "Macromedia" / "Flash Player" / "#Security" / "FlashPlayerTrust" /
            "quillory.cfg")
        .string();
  }
  std::string InjectorFile() const {
    return (scratch_.Path() / "host" / "Open Apps" / "Flex" / "FlashInjector.swf").string();
  }

  bool Read(HRESULT (IpwFlashSettings::*getter)(VARIANT_BOOL*)) {
    VARIANT_BOOL value = VARIANT_FALSE;
    EXPECT_EQ(((*flash_).*getter)(&value), S_OK);
    return value == VARIANT_TRUE;
  }
  WideString ReadText(HRESULT (IpwFlashSettings::*getter)(BSTR*)) {
    BString value;
    EXPECT_EQ(((*flash_).*getter)(value.Put()), S_OK);
    return WideString(value.View());
  }
  HRESULT AddTrusted(WideStringView path) { return flash_->AddTrustedLocation(BString(path).Get()); }
  HRESULT RemoveTrusted(WideStringView path) { return flash_->RemoveTrustedLocation(BString(path).Get()); }

  ::pw::test::ScratchDir scratch_;
  ScopedEnv home_, config_, windir_;
  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<test::ScopedModuleLibrary> library_;  // after the host, which starts the library list
  ComPtr<IDispatch> settings_;
  ComPtr<IpwFlashSettings> flash_;
};

TEST_F(FlashSettingsTest, PathsFollowTheProfileStandIns) {
  EXPECT_EQ(ReadText(&IpwFlashSettings::get_DebugConfigPath), Utf8ToWide(ConfigFile()));
  EXPECT_EQ(
      ReadText(&IpwFlashSettings::get_FlashLogFilePath),
      Utf8ToWide((scratch_.Path() / "config" / "Macromedia" / "Flash Player" / "Logs" / "flashlog.txt").string()));
  EXPECT_EQ(FlashTrustFilePath(), Utf8ToWide(TrustFile()));
  EXPECT_EQ(FlashInjectorPath(), Utf8ToWide(InjectorFile()));  // "bin/.." resolved
  {
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(
        FlashLogFilePath(),
        Utf8ToWide(
            (scratch_.Path() / "home" / ".config" / "Macromedia" / "Flash Player" / "Logs" / "flashlog.txt").string()));
  }
  // Scripts reach the members by name through the type library.
  EXPECT_EQ(DispGetProperty(settings_.Get(), u"DebugConfigPath", OleVariant()).AsString(), Utf8ToWide(ConfigFile()));
}

TEST(FlashPaths, ExpansionAndLexicalCanonicalForm) {
  ScopedEnv home("HOME", "/home/u");
  ScopedEnv config("XDG_CONFIG_HOME", "/cfg/");
  ScopedEnv windir("windir", std::nullopt);
  ScopedEnv other("PW_FLASH_TEST_VAR", "x\\y");
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  const Case cases[] = {
      {u"%HOMEDRIVE%\\%HOMEPATH%\\mm.cfg", u"/home/u/mm.cfg"},
      {u"%appdata%\\A\\.\\B\\..\\c.txt", u"/cfg/A/c.txt"},
      {u"%windir%\\System32\\x\\", u"%windir%/System32/x/"},  // unset: kept as written
      {u"%PW_FLASH_TEST_VAR%\\..\\z", u"x/z"},
      {u"/a/../../b", u"/b"},
      {u"../a/./b//c", u"../a/b/c"},
      {u"100%", u"100%"},
      {u"%%HOMEPATH%", u"%/home/u"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandFlashPath(c.in), c.out) << WideToUtf8(c.in);
  EXPECT_EQ(GetSystemVersion().major, 10u);
  EXPECT_EQ(GetSystemVersion().minor, 0u);
}

// One row: the configuration before (nullopt: no file), what is done, the bytes after.
TEST_F(FlashSettingsTest, DebugConfigurationTable) {
  using Action = std::function<HRESULT(IpwFlashSettings&)>;
  const Action uninstall = [](IpwFlashSettings& f) { return f.UninstallInjector(); };
  const Action traceOn = [](IpwFlashSettings& f) { return f.put_FunctionTraceEnabled(VARIANT_TRUE); };
  const Action traceOff = [](IpwFlashSettings& f) { return f.put_FunctionTraceEnabled(VARIANT_FALSE); };
  const Action logOn = [](IpwFlashSettings& f) { return f.put_FlashLogEnabled(VARIANT_TRUE); };
  const Action logOff = [](IpwFlashSettings& f) { return f.put_FlashLogEnabled(VARIANT_FALSE); };
  struct Case {
    const char* name;
    std::optional<std::string> before;
    Action action;
    std::string after;
  };
  const std::string bom(kBom);
  const Case cases[] = {
      {"no file, uninstall: only the mark", std::nullopt, uninstall, bom},
      {"uninstall keeps the other lines", "a=1\r\nb=2", uninstall, bom + "a=1\r\nb=2\r\n"},
      {"uninstall removes the first line", bom + "a=1\r\npreloadswf=x\nb=2\rPreloadSWF=y\r\n", uninstall,
       bom + "a=1\r\nb=2\r\nPreloadSWF=y\r\n"},
      {"add to no file", std::nullopt, traceOn, bom + "AS3Trace=1\r\n"},
      {"add after an unended line", bom + "a=1", traceOn, bom + "a=1\r\nAS3Trace=1\r\n"},
      {"replace ignoring the name's case", "as3trace=1\nb=2\n", traceOff, bom + "AS3Trace=0\r\nb=2\r\n"},
      {"a line without '=' is no key", "AS3Trace\r\n", traceOn, bom + "AS3Trace\r\nAS3Trace=1\r\n"},
      {"log on sets three keys", std::nullopt, logOn,
       bom + "TraceOutputFileEnable=1\r\nErrorReportingEnable=1\r\nTraceOutputBuffered=1\r\n"},
      {"log off keeps the buffering", bom + "TraceOutputBuffered=1\r\nTraceOutputFileEnable=1\r\n", logOff,
       bom + "TraceOutputBuffered=1\r\nTraceOutputFileEnable=0\r\nErrorReportingEnable=0\r\n"},
      {"log off on no file adds no buffering", std::nullopt, logOff,
       bom + "TraceOutputFileEnable=0\r\nErrorReportingEnable=0\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(ConfigFile());
    if (c.before) WriteFileBytes(ConfigFile(), *c.before);
    EXPECT_EQ(c.action(*flash_), S_OK);
    EXPECT_EQ(ReadFileBytes(ConfigFile()), c.after);
  }
}

TEST_F(FlashSettingsTest, BooleanKeysAreTrueOnlyForOne) {
  struct Case {
    std::optional<std::string> file;
    bool trace, log;
  };
  const Case cases[] = {
      {std::nullopt, false, false},
      {"AS3Trace=1\r\nTraceOutputFileEnable=1\r\n", true, true},
      {std::string(kBom) + "as3trace=1\ntraceoutputfileenable=1", true, true},
      {"AS3Trace=true\r\nTraceOutputFileEnable= 1\r\n", false, false},
      {"AS3Trace=\r\nAS3Trace=1\r\nTraceOutputFileEnable=0\r\n", false, false},  // the first line counts
      {"AS3Trace=11\r\nTraceOutputFileEnable=1 \r\n", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.value_or("(none)"));
    std::filesystem::remove(ConfigFile());
    if (c.file) WriteFileBytes(ConfigFile(), *c.file);
    EXPECT_EQ(Read(&IpwFlashSettings::get_FunctionTraceEnabled), c.trace);
    EXPECT_EQ(Read(&IpwFlashSettings::get_FlashLogEnabled), c.log);
  }
}

TEST_F(FlashSettingsTest, ContentsAreUtf8WithoutTheMark) {
  EXPECT_EQ(ReadText(&IpwFlashSettings::get_DebugConfigContents), u"");  // no file
  WriteFileBytes(ConfigFile(), std::string(kBom) + "Name=M\xC3\xBCller\r\n");
  EXPECT_EQ(ReadText(&IpwFlashSettings::get_DebugConfigContents), u"Name=M\u00FCller\r\n");
  WriteFileBytes(ConfigFile(), "A=1");  // no mark: read as it is
  EXPECT_EQ(ReadText(&IpwFlashSettings::get_DebugConfigContents), u"A=1");
  EXPECT_EQ(flash_->put_DebugConfigContents(BString(u"X=\u00E9\nY=2").Get()), S_OK);
  EXPECT_EQ(ReadFileBytes(ConfigFile()), std::string(kBom) + "X=\xC3\xA9\nY=2");
}

TEST_F(FlashSettingsTest, InjectorPathComparesIgnoringCase) {
  EXPECT_FALSE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  ASSERT_EQ(flash_->InstallInjector(), S_OK);
  EXPECT_EQ(ReadFileBytes(ConfigFile()), std::string(kBom) + "PreloadSWF=" + InjectorFile() + "\r\n");
  EXPECT_TRUE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  // Another letter case, or the same place written with "\" and "..", is still the injector.
  WriteFileBytes(ConfigFile(), "PreloadSWF=" + WideToUtf8(WideUpperCase(Utf8ToWide(InjectorFile()))) + "\r\n");
  EXPECT_TRUE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  WriteFileBytes(ConfigFile(), "preloadswf=" + (scratch_.Path() / "host" / "bin").string() +
                                   "\\..\\Open Apps\\Flex\\FlashInjector.swf\r\n");
  EXPECT_TRUE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  WriteFileBytes(ConfigFile(), "PreloadSWF=/elsewhere/FlashInjector.swf\r\n");
  EXPECT_FALSE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  ASSERT_EQ(flash_->UninstallInjector(), S_OK);
  EXPECT_FALSE(Read(&IpwFlashSettings::get_IsInjectorInstalled));
  EXPECT_EQ(ReadFileBytes(ConfigFile()), std::string(kBom));
}

// Each location is a whole line: a location that is the end of another line, or a line that
// holds no line end, is neither taken for another nor lost.
TEST_F(FlashSettingsTest, TrustFileWorksOnWholeLines) {
  struct Case {
    const char* name;
    std::optional<std::u16string> before;
    bool add;
    const char16_t* path;
    std::u16string after;
  };
  const Case cases[] = {
      {"add to no file", std::nullopt, true, u"/a", u"/a\r\n"},
      {"add trims", u"", true, u"  /a \t", u"/a\r\n"},
      {"add ends an unended last line", u"/a\r\n/b", true, u"/c", u"/a\r\n/b\r\n/c\r\n"},
      // A last line that ends in CR alone gets its LF: another CR would make "/b" "/b\r".
      {"add ends a last line ended by CR", u"/a\r\n/b\r", true, u"/c", u"/a\r\n/b\r\n/c\r\n"},
      {"a last line ended by CR is listed", u"/b\r", true, u"/b", u"/b\r"},
      {"listed changes nothing", u"/a\r\n/b\r\n", true, u"/a", u"/a\r\n/b\r\n"},
      {"an unended last line is listed", u"/a\r\n/b", true, u"/b", u"/a\r\n/b"},
      {"the end of a longer line is not listed", u"/x/a\r\n", true, u"/a", u"/x/a\r\n/a\r\n"},
      {"the start of a longer line is not listed", u"/a/b\r\n", true, u"/a", u"/a/b\r\n/a\r\n"},
      {"remove every equal line", u"/a\r\n/b\r\n/a\r\n", false, u"/a", u"/b\r\n"},
      {"remove leaves longer lines whole", u"/x/a\r\n/b\r\n", false, u"/a", u"/x/a\r\n/b\r\n"},
      {"remove an unended last line", u"/a\r\n/b", false, u"/b", u"/a\r\n"},
      {"remove compares case", u"/A\r\n", false, u"/a", u"/A\r\n"},
      {"remove from no file", std::nullopt, false, u"/a", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(TrustFile());
    if (c.before) {
      std::filesystem::create_directories(std::filesystem::path(TrustFile()).parent_path());
      WriteFileBytes(TrustFile(), Utf16Le(*c.before));
    }
    EXPECT_EQ(c.add ? AddTrusted(c.path) : RemoveTrusted(c.path), S_OK);
    EXPECT_EQ(ReadFileBytes(TrustFile()), Utf16Le(c.after));
    EXPECT_EQ(ReadText(&IpwFlashSettings::get_FlashTrustedLocations), c.after);
  }
}

// A trust file written without the FF FE mark (plain text) keeps its locations when one is
// added or removed; the file is written back as UTF-16.
TEST_F(FlashSettingsTest, ATrustFileWithoutTheMarkKeepsItsLines) {
  std::filesystem::create_directories(std::filesystem::path(TrustFile()).parent_path());
  WriteFileBytes(TrustFile(), "/a\r\n/caf\xE9\r\n");
  EXPECT_EQ(AddTrusted(u"/c"), S_OK);
  EXPECT_EQ(ReadFileBytes(TrustFile()), Utf16Le(u"/a\r\n/caf\u00E9\r\n/c\r\n"));
  WriteFileBytes(TrustFile(), "/a\r\n/b\r\n");
  EXPECT_EQ(RemoveTrusted(u"/a"), S_OK);
  EXPECT_EQ(ReadFileBytes(TrustFile()), Utf16Le(u"/b\r\n"));
}

TEST_F(FlashSettingsTest, TrustedLocationThatIsNoLineIsRefused) {
  for (const char16_t* path : {u"", u"  ", u"/a\r\n/b", u"/a\n/b"}) {
    EXPECT_EQ(AddTrusted(path), E_INVALIDARG) << WideToUtf8(path);
    EXPECT_EQ(RemoveTrusted(path), E_INVALIDARG) << WideToUtf8(path);
  }
  EXPECT_FALSE(std::filesystem::exists(TrustFile()));
}

// A write that cannot be completed raises with the path and leaves the old file and no
// temporary file behind.
TEST_F(FlashSettingsTest, FailedWritesRaiseAndKeepTheOldFile) {
  std::filesystem::create_directories(ConfigFile());  // a folder where the file belongs
  EXPECT_NE(flash_->put_FunctionTraceEnabled(VARIANT_TRUE), S_OK);
  EXPECT_NE(flash_->InstallInjector(), S_OK);
  EXPECT_TRUE(std::filesystem::is_directory(ConfigFile()));
  std::size_t inHome = 0;
  for (auto& e : std::filesystem::directory_iterator(scratch_.Path() / "home"))
    inHome += e.path().filename() != "mm.cfg";
  EXPECT_EQ(inHome, 0u);

  const std::filesystem::path trust(TrustFile());
  std::filesystem::create_directories(trust.parent_path().parent_path());
  WriteFileBytes(trust.parent_path().string(), "not a folder");
  const HRESULT hr = AddTrusted(u"/a");
  EXPECT_NE(hr, S_OK);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
  BString text;
  info->GetDescription(text.Put());
  EXPECT_NE(WideString(text.View()).find(u"FlashPlayerTrust"), WideString::npos) << WideToUtf8(text.View());
  EXPECT_EQ(ReadFileBytes(trust.parent_path().string()), "not a folder");
}

TEST(FlashBrowser, ArgumentsNameOrNumber) {
  struct Case {
    OleVariant value;
    std::int32_t kind;
  };
  const Case cases[] = {
      {OleVariant(u"iexplore"), -1},
      {OleVariant(u"FireFox"), -2},
      {OleVariant(u"CHROME"), -3},
      {OleVariant(u"opera"), -4},
      {OleVariant(u"Safari"), -5},
      {OleVariant(u"edge"), 0},
      {OleVariant(u"-1"), 0},
      {OleVariant(u""), 0},
      {OleVariant(-1), -1},
      {OleVariant(-5), -5},
      {OleVariant(-6), 0},
      {OleVariant(0), 0},
      {OleVariant(1), 0},
      {OleVariant(-2.0), -2},
      {OleVariant(-2.5), 0},
      {OleVariant(), 0},
      {OleVariant::Null(), 0},
      {OleVariant::Of(VT_I2, -3), -3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FlashBrowserKind(c.value.Get()), c.kind) << OleVariant(c.value).AsString().size();
  // A script's by-reference argument counts as its value.
  OleVariant inner(u"opera");
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = inner.Ptr();
  EXPECT_EQ(FlashBrowserKind(ref), -4);
}

TEST_F(FlashSettingsTest, VersionFromTheRegistration) {
  {
    TRegistry registry(RootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerActiveX", true));
    registry.WriteString(u"Version", u"10,3,183,90");
    ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerPlugin", true));
    registry.WriteString(u"Version", u"10.3.183.90");
  }
  for (const char16_t* browser : {u"iexplore", u"firefox"}) {
    ComPtr<IDispatch> version;
    ASSERT_EQ(flash_->GetVersion(OleVariant(browser).Get(), version.Put()), S_OK);
    ASSERT_TRUE(version);
    ComPtr<IpwFileVersionInfo> info = version.As<IpwFileVersionInfo>();
    ASSERT_TRUE(info);
    std::int32_t major = 0, minor = 0, release = 0, build = 0;
    info->get_MajorPart(&major);
    info->get_MinorPart(&minor);
    info->get_ReleasePart(&release);
    info->get_BuildPart(&build);
    EXPECT_EQ(std::vector<std::int32_t>({major, minor, release, build}), std::vector<std::int32_t>({10, 3, 183, 90}));
    // The default value is the text as stored; the numbers answer by name too.
    EXPECT_EQ(DispGetPropertyByID(version.Get(), DISPID_VALUE, OleVariant()).AsString(),
              WideString(browser == WideStringView(u"iexplore") ? u"10,3,183,90" : u"10.3.183.90"));
    EXPECT_EQ(DispGetProperty(version.Get(), u"ReleasePart", OleVariant()).AsInt(), 183);
    EXPECT_EQ(DispGetProperty(version.Get(), u"BuildPart", OleVariant()).AsInt(), 90);
  }
  // No browser, or no registration: nil.
  for (const OleVariant& browser : {OleVariant(u"edge"), OleVariant(0)}) {
    ComPtr<IDispatch> version;
    ASSERT_EQ(flash_->GetVersion(browser.Get(), version.Put()), S_OK);
    EXPECT_FALSE(version);
  }
  TRegistry(RootKey::LocalMachine).DeleteKey(u"\\Software\\Macromedia\\FlashPlayerPlugin");
  ComPtr<IDispatch> version;
  ASSERT_EQ(flash_->GetVersion(OleVariant(-3).Get(), version.Put()), S_OK);
  EXPECT_FALSE(version);
}

TEST(FlashVersion, NumbersOfTheText) {
  struct Case {
    const char16_t* text;
    FlashVersionNumbers numbers;
  };
  const Case cases[] = {
      {u"11,2,202,235", {11, 2, 202, 235}},
      {u"11.2.202.235", {11, 2, 202, 235}},
      {u"11, 2, 202, 235", {11, 2, 202, 235}},
      {u"11.x.5", {11, 0, 5, 0}},
      {u"9", {9, 0, 0, 0}},
      {u"", {0, 0, 0, 0}},
      {u"1.2.3.4.5", {1, 2, 3, 4}},
      {u"1,2.5", {1, 0, 0, 0}},
      {u"99999999999.1", {0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    const FlashVersionNumbers n = ParseVersionNumbers(c.text);
    EXPECT_EQ(std::vector<std::int32_t>({n.first, n.second, n.third, n.fourth}),
              std::vector<std::int32_t>({c.numbers.first, c.numbers.second, c.numbers.third, c.numbers.fourth}))
        << WideToUtf8(c.text);
  }
}

TEST_F(FlashSettingsTest, DebugVersionByValueAndByFile) {
  const auto isDebug = [&](const OleVariant& browser) {
    VARIANT_BOOL value = VARIANT_TRUE;
    EXPECT_EQ(flash_->IsDebugVersion(browser.Get(), &value), S_OK);
    return value == VARIANT_TRUE;
  };
  // No registration: False, also with a debug player's file present.
  const std::filesystem::path folder = scratch_.Path() / "win" / "System32" / "Macromed" / "Flash";
  std::filesystem::create_directories(folder);
  ScopedEnv windir("windir", (scratch_.Path() / "win").string());
  WriteFileBytes((folder / "NPSWF32_11.dll").string(), std::string(200000, 'x') + "Release-Debugger");
  EXPECT_FALSE(isDebug(OleVariant(u"firefox")));

  TRegistry registry(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerPlugin", true));
  ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerActiveX", true));
  // By file: the plug-in's "np*.dll" holds the mark; the control's "*.ocx" does not.
  WriteFileBytes((folder / "Flash32_11.ocx").string(), "Release-Debugge");
  EXPECT_TRUE(isDebug(OleVariant(u"chrome")));
  EXPECT_FALSE(isDebug(OleVariant(u"iexplore")));
  EXPECT_FALSE(isDebug(OleVariant(u"edge")));
  EXPECT_FALSE(isDebug(OleVariant(0)));
  // The value, when present, decides.
  struct Case {
    const char16_t* value;
    bool debug;
  };
  for (const Case& c : {Case{u"1", true}, Case{u"0", false}, Case{u"2", false}, Case{u"yes", false}}) {
    ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerActiveX", false));
    registry.WriteString(u"isScriptDebugger", c.value);
    EXPECT_EQ(isDebug(OleVariant(-1)), c.debug) << WideToUtf8(c.value);
  }
  // As a DWORD, the way the player's installer stores it.
  for (const Case& c : {Case{u"1", true}, Case{u"0", false}}) {
    ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerActiveX", false));
    registry.DeleteValue(u"isScriptDebugger");
    registry.WriteInteger(u"isScriptDebugger", c.debug ? 1 : 0);
    EXPECT_EQ(isDebug(OleVariant(-1)), c.debug) << WideToUtf8(c.value);
  }
  ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerPlugin", false));
  registry.WriteString(u"isScriptDebugger", u"0");
  EXPECT_FALSE(isDebug(OleVariant(u"firefox")));  // the value holds over the file
  // Without the system folder: False.
  TRegistry(RootKey::LocalMachine).DeleteKey(u"\\Software\\Macromedia\\FlashPlayerPlugin");
  ASSERT_TRUE(registry.OpenKey(u"\\Software\\Macromedia\\FlashPlayerPlugin", true));
  ScopedEnv noWindir("windir", std::nullopt);
  EXPECT_FALSE(isDebug(OleVariant(u"firefox")));
}

// A match is found wherever it lies relative to the 102400-byte blocks.
TEST(FlashFileSearch, FindsTextAcrossBlockBorders) {
  ::pw::test::ScratchDir dir;
  const std::string file = dir.Utf8File("player.dll");
  constexpr std::size_t block = kFileSearchBlockSize;
  const std::string mark = "Release-Debugger";
  struct Case {
    std::size_t size, at;  // at == size: not in the file
  };
  const Case cases[] = {
      {block * 3, 0},
      {block * 3, block - mark.size()},      // ends at the border
      {block * 3, block - 3},                // across the first border
      {block * 3, block},                    // starts at the border
      {block * 3, 2 * block - 1},            // across the second border, one byte before
      {block * 3, block * 3 - mark.size()},  // the very end
      {block * 3, block * 3},                // absent
      {block, block - 8},                    // exactly one block
      {10, 10},                              // shorter than the text
  };
  for (const Case& c : cases) {
    std::string bytes(c.size, 'R');
    if (c.at < c.size) bytes.replace(c.at, mark.size(), mark);
    WriteFileBytes(file, bytes.substr(0, std::max(c.size, std::min(bytes.size(), c.at + mark.size()))));
    EXPECT_EQ(FileContainsText(file, mark), c.at < c.size) << c.size << " at " << c.at;
  }
  // A text longer than a block, across two borders.
  std::string bytes(block * 4, 'a');
  std::string longText(block + 500, 'b');
  bytes.replace(block - 100, longText.size(), longText);
  WriteFileBytes(file, bytes);
  EXPECT_TRUE(FileContainsText(file, longText));
  EXPECT_FALSE(FileContainsText(file, longText + "b"));
  EXPECT_FALSE(FileContainsText(file, ""));
  EXPECT_FALSE(FileContainsText(dir.Utf8File("missing.dll"), mark));
}

}  // namespace
}  // namespace pw::web
