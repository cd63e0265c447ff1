// The "Firefox Support" plug-in and its builder: the hook library by the core module's version
// (table, module lists, the installed milestone), the hook library kept per process while other
// processes are checked (also from another thread), the four settings and the load and unload
// commands, the Firefox versions counted once across threads, the tree-model conversion, the
// plug-in's small points, and the builder's rows with recording slice factories (which row,
// which context was made, which errors are swallowed).
#include <atomic>
#include <future>
#include <map>
#include <stdexcept>
#include <thread>

#include "core/files/milestone.h"
#include "host/sample_firefox.h"
#include "openapps/module_resources.h"
#include "platform/kernel/processes.h"
#include "platform/ui/resources.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "tests/web/stub_node_objects.h"
#include "web/firefox/firefox_object_builder.h"
#include "web/firefox/firefox_support_plugin.h"
#include "web/hooks/hook_settings.h"
#include "web/settings/web_settings.h"

namespace pw::web::test {
namespace {

constexpr char16_t kFolder[] = u"C:/Firefox Test/";

// A module list of names, all from one folder (or failing its folders).
class TModules final : public Implements<ComObject, IpwModuleList> {
 public:
  TModules(std::vector<WideString> names, WideString folder, bool folderFails = false)
      : names_(std::move(names)), folder_(std::move(folder)), folderFails_(folderFails) {}
  HRESULT GetCount(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(names_.size());
    return S_OK;
  }
  HRESULT GetName(std::int32_t index, BSTR* name) override {
    *name = SysAllocString(names_.at(static_cast<std::size_t>(index)).c_str());
    return S_OK;
  }
  HRESULT GetFolder(std::int32_t, BSTR* folder) override {
    if (folderFails_) return E_NOTIMPL;
    *folder = SysAllocString(folder_.c_str());
    return S_OK;
  }

 private:
  std::vector<WideString> names_;
  WideString folder_;
  bool folderFails_;
};

void Describe(const WideString& file, std::optional<FileVersion> version) {
  const std::string path = WideToUtf8(WideString(kFolder) + file);
  if (version) SetDescribedFileVersion(path, *version);
  else RemoveDescribedFileVersion(path);
}

class FirefoxTest : public NavTest {
 protected:
  FirefoxTest() {
    RegisterModuleResources(&ModuleResourceTable());
    savedCounters = UsageCounters();
    savedFactories = FirefoxSliceFactories();
    counters = {[this](const GUID& key, const char16_t* name) {
                  std::lock_guard g(lock);
                  registered[key] = name;
                },
                [this](const GUID& key, std::int32_t amount) {
                  std::lock_guard g(lock);
                  counted[key] += amount;
                }};
  }
  ~FirefoxTest() override {
    UsageCounters() = savedCounters;
    FirefoxSliceFactories() = savedFactories;
    for (const char16_t* f : {u"xul.dll", u"XUL.DLL", u"xpcom_core.dll"}) Describe(f, std::nullopt);
  }
  ComPtr<TpwFFSupportPlugin> StartedPlugin() {
    auto p = MakeObject<TpwFFSupportPlugin>(statistics);
    OleCheck(p->Initialize(Manager()));
    return p;
  }
  ComPtr<host::TProcess> AddProcess(DWORD id, std::vector<WideString> modules) {
    return host.Processes().Add({id, u"firefox.exe", std::move(modules), {}, 0, kFolder});
  }
  static std::vector<host::HookCall> Commands(host::TProcess& process) {
    std::vector<host::HookCall> out;
    for (auto& c : process.Hooks().Calls())
      if (c.kind == host::HookCall::Command) out.push_back(c);
    return out;
  }
  std::int32_t Counted(std::int32_t version) {
    std::lock_guard g(lock);
    return counted[TpwFirefoxStatistics::CounterKey(version)];
  }

  TpwUsageCounters savedCounters, counters;
  TpwFFSliceFactories savedFactories;
  TpwFirefoxStatistics statistics{counters};
  std::mutex lock;
  std::map<GUID, WideString> registered;
  std::map<GUID, std::int32_t> counted;
};

// ---- Versions -------------------------------------------------------------------------------

TEST(FirefoxVersions, HookLibraryByCoreVersion) {
  struct Case {
    std::optional<FileVersion> version;
    const char16_t* library;  // nullptr: the version does not count
    std::int32_t counted;
  } cases[] = {
      {std::nullopt, u"pwFF3Hook.dll", 0},
      {FileVersion{1, 9, 2, 0}, u"pwFF3Hook.dll", 3},
      {FileVersion{2, 0, 0, 0}, u"pwFF4Hook.dll", 4},
      {FileVersion{12, 0, 0, 0}, u"pwFF12Hook.dll", 12},
      {FileVersion{153, 8, 0, 0}, u"pwFF153Hook.dll", 153},
      {FileVersion{5, 0, 0, 0}, u"pwFF5Hook.dll", 5},
      {FileVersion{3, 6, 0, 0}, nullptr, 0},
      {FileVersion{1, 8, 0, 0}, nullptr, 0},
      {FileVersion{2, 1, 0, 0}, nullptr, 0},
      {FileVersion{4, 0, 0, 0}, nullptr, 0},
      {FileVersion{0, 0, 0, 0}, nullptr, 0},
  };
  for (const auto& c : cases) {
    auto hook = FirefoxHookForVersion(c.version);
    const std::string name = c.version ? std::to_string(c.version->major) + "." + std::to_string(c.version->minor)
                                       : std::string("unreadable");
    if (!c.library) {
      EXPECT_FALSE(hook) << name;
      continue;
    }
    ASSERT_TRUE(hook) << name;
    EXPECT_EQ(hook->library, c.library) << name;
    EXPECT_EQ(hook->version, c.counted) << name;
  }
}

TEST(FirefoxVersions, MilestoneOfPlatformIni) {
  struct Case {
    const char* text;
    std::optional<FileVersion> version;
  } cases[] = {
      {"[Build]\nBuildID=20260101\nMilestone=153.8.0esr\nSourceStamp=x\n", FileVersion{153, 8, 0, 0}},
      {"\xEF\xBB\xBF[Build]\r\nMilestone = 128.0\r\n", FileVersion{128, 0, 0, 0}},
      {"[Build]\nMilestone=12\n", FileVersion{12, 0, 0, 0}},
      {"[Other]\nMilestone=99.0\n[Build]\nBuildID=1\n", std::nullopt},  // only [Build] counts
      {"[Build]\nMilestone=esr\n", std::nullopt},
      {"[Build]\nMilestone=70000.1\n", std::nullopt},
      {"", std::nullopt},
      {"Milestone=1.9", std::nullopt},
  };
  for (const auto& c : cases) {
    auto v = ParseMilestone(c.text);
    ASSERT_EQ(v.has_value(), c.version.has_value()) << c.text;
    if (!v) continue;
    EXPECT_EQ(v->major, c.version->major) << c.text;
    EXPECT_EQ(v->minor, c.version->minor) << c.text;
  }
  EXPECT_FALSE(ReadMilestone("/nonexistent/platform.ini"));
}

TEST(FirefoxVersions, TreeModelSetting) {
  struct Case {
    OleVariant value;
    std::int32_t model;
  } cases[] = {
      {OleVariant(u"DOM"), 0}, {OleVariant(u"tag"), 1}, {OleVariant(u"hybrid"), 2}, {OleVariant(u"Tree"), 3},
      {OleVariant(u"x"), 3},   {OleVariant(u""), 3},    {OleVariant(1), 1},         {OleVariant(7), 7},
      {OleVariant(true), 2},   {OleVariant(), 2},       {OleVariant(1.0), 2},
  };
  for (auto& c : cases) EXPECT_EQ(SettingToTreeModel(c.value.Get()), c.model);
  VARIANT small;
  small.vt = VT_I2;
  small.iVal = 2;
  EXPECT_EQ(SettingToTreeModel(small), 2);
}

// ---- Choosing the hook library --------------------------------------------------------------

TEST_F(FirefoxTest, ModuleListsChooseTheLibrary) {
  Describe(u"XUL.DLL", FileVersion{2, 0, 0, 0});
  auto plugin = StartedPlugin();
  VARIANT_BOOL yes = VARIANT_FALSE;
  auto list = MakeObject<TModules>(std::vector<WideString>{u"firefox.exe", u"KERNEL32.DLL", u"XUL.DLL"}, kFolder);
  OleCheck(plugin->IsTargetProcess(nullptr, list.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_TRUE);
  EXPECT_EQ(plugin->HookLibraryOf(0), u"pwFF4Hook.dll");
  EXPECT_EQ(Counted(4), 1);
  EXPECT_EQ(registered[TpwFirefoxStatistics::CounterKey(4)], u"Firefox version");

  // 3.6 alone: not Firefox, and the library kept stays.
  Describe(u"xul.dll", FileVersion{3, 6, 0, 0});
  list = MakeObject<TModules>(std::vector<WideString>{u"xul.dll"}, kFolder);
  OleCheck(plugin->IsTargetProcess(nullptr, list.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_FALSE);
  EXPECT_EQ(plugin->HookLibraryOf(0), u"pwFF4Hook.dll");

  // A 3.6 module is passed over for a later one that counts; a path in the name is cut.
  Describe(u"xpcom_core.dll", FileVersion{1, 9, 0, 0});
  list = MakeObject<TModules>(std::vector<WideString>{u"xul.dll", u"C:\\elsewhere\\xpcom_core.dll"}, kFolder);
  OleCheck(plugin->IsTargetProcess(nullptr, list.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_TRUE);
  EXPECT_EQ(plugin->HookLibraryOf(0), u"pwFF3Hook.dll");

  // Unreadable version: "pwFF3Hook.dll", version 0 counted. No folder: the bare name is read.
  list = MakeObject<TModules>(std::vector<WideString>{u"xul.dll"}, kFolder, true);
  OleCheck(plugin->IsTargetProcess(nullptr, list.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_TRUE);
  EXPECT_EQ(Counted(0), 1);

  // Nil, empty and foreign lists.
  OleCheck(plugin->IsTargetProcess(nullptr, nullptr, &yes));
  EXPECT_EQ(yes, VARIANT_FALSE);
  for (auto names : {std::vector<WideString>{}, std::vector<WideString>{u"chrome.exe", u"xul.dll.bak"}}) {
    list = MakeObject<TModules>(names, kFolder);
    OleCheck(plugin->IsTargetProcess(nullptr, list.Get(), &yes));
    EXPECT_EQ(yes, VARIANT_FALSE);
  }
  OleCheck(plugin->Finalize());
}

TEST_F(FirefoxTest, IsProcessSupportedAsksTheHostForTheModules) {
  Describe(u"xul.dll", FileVersion{12, 0, 0, 0});
  auto process = AddProcess(5101, {u"firefox.exe", u"xul.dll"});
  auto other = host.Processes().Add({5102, u"notepad.exe", {u"notepad.exe"}, {}, 0, kFolder});
  auto plugin = MakeObject<TpwFFSupportPlugin>(statistics);
  VARIANT_BOOL yes = VARIANT_TRUE;
  OleCheck(plugin->IsProcessSupported(process.Get(), &yes));  // no manager yet
  EXPECT_EQ(yes, VARIANT_FALSE);
  OleCheck(plugin->Initialize(Manager()));
  OleCheck(plugin->IsProcessSupported(process.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_TRUE);
  EXPECT_EQ(plugin->HookLibraryOf(5101), u"pwFF12Hook.dll");
  OleCheck(plugin->IsProcessSupported(other.Get(), &yes));
  EXPECT_EQ(yes, VARIANT_FALSE);
  OleCheck(plugin->Finalize());
}

// The sample process of the test host takes the installed milestone, else its own version.
TEST_F(FirefoxTest, TheSampleProcessTakesTheInstalledVersion) {
  pw::test::ScratchDir scratch;
  const std::string ini = scratch.Utf8File("platform.ini");
  pw::test::WriteFileBytes(ini, "[Build]\nMilestone=153.8.0esr\n");
  auto plugin = StartedPlugin();
  for (const auto& [path, library] : {std::pair<std::string, const char16_t*>{ini, u"pwFF153Hook.dll"},
                                      {scratch.Utf8File("missing.ini"), u"pwFF128Hook.dll"}}) {
    auto description = host::SampleFirefoxProcess(path);
    auto process = host.Processes().Add(description);
    VARIANT_BOOL yes = VARIANT_FALSE;
    OleCheck(plugin->IsProcessSupported(process.Get(), &yes));
    EXPECT_EQ(yes, VARIANT_TRUE);
    EXPECT_EQ(plugin->HookLibraryOf(host::kSampleFirefoxProcessId), library);
    host.Processes().Clear();
  }
  RemoveDescribedFileVersion(WideToUtf8(WideString(host::kSampleFirefoxFolder) + u"xul.dll"));
  OleCheck(plugin->Finalize());
}

// ---- Hooks ----------------------------------------------------------------------------------

TEST_F(FirefoxTest, InstallSendsFourSettingsThenLoadsAndRemoveUnloads) {
  Describe(u"xul.dll", FileVersion{12, 0, 0, 0});
  auto process = AddProcess(5201, {u"firefox.exe", u"xul.dll"});
  auto plugin = StartedPlugin();
  VARIANT_BOOL yes = VARIANT_FALSE;
  OleCheck(plugin->IsProcessSupported(process.Get(), &yes));
  OleCheck(plugin->InstallHook(process.Get()));
  auto calls = process->Hooks().Calls();
  ASSERT_EQ(calls.size(), 5u);
  const GUID keys[] = {kPublishedTreeModelKey, kPublishedIdentifyByNameKey, kLegacyFeaturesKey,
                       kIgnoreDynamicUrlParamsKey};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(calls[i].kind, host::HookCall::Parameter);
    EXPECT_EQ(calls[i].name, Utf8ToWide(GuidToString(keys[i])));
  }
  // Without the web settings: the tree model of a missing value is 2, by name and ignore False.
  EXPECT_EQ(calls[0].value.Get().vt, VT_I4);
  EXPECT_EQ(calls[0].value.Get().lVal, 2);
  EXPECT_EQ(calls[1].value.Get().vt, VT_BOOL);
  EXPECT_EQ(calls[1].value.Get().boolVal, VARIANT_FALSE);
  EXPECT_EQ(calls[3].value.Get().vt, VT_BOOL);
  EXPECT_EQ(calls[4].kind, host::HookCall::Command);
  EXPECT_EQ(calls[4].name, kLoadHookCommand);
  EXPECT_EQ(WideString(BstrView(calls[4].value.Get().bstrVal)), u"pwFF12Hook.dll");
  EXPECT_EQ(process->Hooks().LoadedLibraries(), std::vector<WideString>{u"pwFF12Hook.dll"});

  OleCheck(plugin->RemoveHook(process.Get()));
  auto commands = Commands(*process);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[1].name, kUnloadHookCommand);
  EXPECT_TRUE(process->Hooks().LoadedLibraries().empty());

  // No channel, or a process never accepted: nothing is sent.
  auto silent = AddProcess(5202, {u"firefox.exe", u"xul.dll"});
  silent->SetChannelState(host::HookChannelState::NoChannel);
  OleCheck(plugin->IsProcessSupported(silent.Get(), &yes));
  OleCheck(plugin->InstallHook(silent.Get()));
  auto stranger = AddProcess(5203, {u"firefox.exe", u"xul.dll"});
  OleCheck(plugin->InstallHook(stranger.Get()));
  OleCheck(plugin->RemoveHook(stranger.Get()));
  EXPECT_TRUE(silent->Hooks().Calls().empty());
  EXPECT_TRUE(stranger->Hooks().Calls().empty());
  OleCheck(plugin->Finalize());
}

// Checking B between checking and hooking A leaves A its own library; B is checked on another
// thread, which signals when its check is done.
TEST_F(FirefoxTest, InterleavedProcessesKeepTheirOwnLibraries) {
  auto plugin = StartedPlugin();
  auto a = AddProcess(5301, {u"xul.dll"});
  auto b = AddProcess(5302, {u"xul.dll"});
  Describe(u"xul.dll", FileVersion{12, 0, 0, 0});
  auto listA = MakeObject<TModules>(std::vector<WideString>{u"xul.dll"}, kFolder);
  VARIANT_BOOL yes = VARIANT_FALSE;
  OleCheck(plugin->IsTargetProcess(a.Get(), listA.Get(), &yes));
  ASSERT_EQ(yes, VARIANT_TRUE);
  Describe(u"xpcom_core.dll", FileVersion{2, 0, 0, 0});
  std::promise<void> checkedB;
  std::thread other([&] {
    auto listB = MakeObject<TModules>(std::vector<WideString>{u"xpcom_core.dll"}, kFolder);
    VARIANT_BOOL answer = VARIANT_FALSE;
    EXPECT_EQ(plugin->IsTargetProcess(b.Get(), listB.Get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    checkedB.set_value();
  });
  checkedB.get_future().wait();
  OleCheck(plugin->InstallHook(a.Get()));
  other.join();
  OleCheck(plugin->InstallHook(b.Get()));
  EXPECT_EQ(a->Hooks().LoadedLibraries(), std::vector<WideString>{u"pwFF12Hook.dll"});
  EXPECT_EQ(b->Hooks().LoadedLibraries(), std::vector<WideString>{u"pwFF4Hook.dll"});
  OleCheck(plugin->Finalize());
}

// Many threads checking processes at once: each keeps its library (run under the thread checker).
TEST_F(FirefoxTest, ConcurrentChecksKeepEachProcessLibrary) {
  auto plugin = StartedPlugin();
  Describe(u"xul.dll", FileVersion{12, 0, 0, 0});
  Describe(u"xpcom_core.dll", FileVersion{2, 0, 0, 0});
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      auto list = MakeObject<TModules>(std::vector<WideString>{t % 2 ? u"xul.dll" : u"xpcom_core.dll"}, kFolder);
      for (int i = 0; i < 50; ++i) {
        VARIANT_BOOL yes = VARIANT_FALSE;
        plugin->IsTargetProcess(nullptr, list.Get(), &yes);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(Counted(12), 1);
  EXPECT_EQ(Counted(4), 1);
  OleCheck(plugin->Finalize());
}

TEST_F(FirefoxTest, VersionsAreCountedOnceAcrossThreads) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  std::atomic<int> countedNow{0};
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&] {
      ++ready;
      while (ready.load() < 6) std::this_thread::yield();
      for (std::int32_t v = 0; v < 40; ++v)
        if (statistics.CountFirefoxVersion(v)) ++countedNow;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(countedNow.load(), 40);
  for (std::int32_t v = 0; v < 40; ++v) EXPECT_EQ(Counted(v), 1) << v;
  EXPECT_EQ(registered.size(), 40u);
  EXPECT_EQ(TpwFirefoxStatistics::CounterKey(12), MakeGuid("{0000000C-88F2-442E-9D95-A82E8573773F}"));
  // A failing statistics library is ignored.
  TpwUsageCounters failing{[](const GUID&, const char16_t*) { throw std::runtime_error("down"); }, nullptr};
  TpwFirefoxStatistics quiet(failing);
  EXPECT_TRUE(quiet.CountFirefoxVersion(3));
  EXPECT_FALSE(quiet.CountFirefoxVersion(3));
}

// ---- The plug-in's other points -------------------------------------------------------------

TEST_F(FirefoxTest, SmallPoints) {
  auto plugin = StartedPlugin();
  GUID key{};
  OleCheck(plugin->GetKey(&key));
  EXPECT_EQ(key, kFirefoxSupportPluginKey);
  OleCheck(plugin->GetProviderKey(&key));
  EXPECT_EQ(key, kFirefoxSupportPluginKey);
  // Warning option: index 0 only; other indexes leave the key and give empty texts.
  std::int32_t count = 0;
  OleCheck(plugin->GetCount(&count));
  EXPECT_EQ(count, 1);
  OleCheck(plugin->GetOptionKey(0, &key));
  EXPECT_EQ(key, kFirefoxWarningOptionKey);
  GUID untouched = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  OleCheck(plugin->GetOptionKey(1, &untouched));
  EXPECT_EQ(untouched, MakeGuid("{11111111-2222-3333-4444-555555555555}"));
  BString name, description;
  OleCheck(plugin->GetOptionName(0, name.Put()));
  EXPECT_EQ(name.View(), u"Show the 'Firefox Is Running the Flash Player Plug-In in Out-Of-Process Mode' message");
  OleCheck(plugin->GetOptionName(1, name.Put()));
  OleCheck(plugin->GetOptionDescription(1, description.Put()));
  EXPECT_TRUE(name.View().empty());
  EXPECT_TRUE(description.View().empty());
  // Object type and its one-item list; the tag is kept.
  OleCheck(plugin->GetTypeKey(&key));
  EXPECT_EQ(key, kFirefoxObjectType);
  OleCheck(plugin->GetTypeName(name.Put()));
  EXPECT_EQ(name.View(), u"NativeFirefoxObject");
  OleCheck(plugin->SetTag(17));
  std::int32_t tag = 0;
  OleCheck(plugin->GetTag(&tag));
  EXPECT_EQ(tag, 17);
  EXPECT_EQ(plugin->GetCount(), 1);
  ComPtr<IUnknown> item;
  EXPECT_EQ(plugin->GetItem(0, item.Put()), VARIANT_TRUE);
  EXPECT_TRUE(QueryAs<IpwObjectTypeDescriptor>(item.Get()));
  EXPECT_EQ(plugin->GetItem(1, item.Put()), VARIANT_FALSE);
  EXPECT_FALSE(item);
  // Bitmaps: by kind name ignoring case, the type bitmap for others; each loaded once.
  std::int32_t type = 0, other = 0, xul = 0, xul2 = 0, flash = 0;
  OleCheck(plugin->GetBitmap(&type));
  OleCheck(plugin->GetKindBitmap(BString(u"TextBox").Get(), &other));
  OleCheck(plugin->GetKindBitmap(BString(u"XulObject").Get(), &xul));
  OleCheck(plugin->GetKindBitmap(BString(u"xulobject").Get(), &xul2));
  OleCheck(plugin->GetKindBitmap(BString(u"FLASHOBJECT").Get(), &flash));
  EXPECT_NE(type, 0);
  EXPECT_EQ(type, other);
  EXPECT_NE(xul, 0);
  EXPECT_EQ(xul, xul2);
  EXPECT_NE(xul, type);
  EXPECT_NE(flash, 0);
  // Two builders, two objects.
  ComPtr<IpwSysNodeBuilder> first, second;
  OleCheck(plugin->GetBuilder(0, first.Put()));
  OleCheck(plugin->GetBuilder(0, second.Put()));
  EXPECT_NE(first.Get(), second.Get());
  GUID k1{}, k2{};
  OleCheck(first->GetKey(&k1));
  OleCheck(second->GetKey(&k2));
  EXPECT_NE(k1, k2);
  OleCheck(first->GetKind(&k1));
  EXPECT_EQ(k1, kFirefoxObjectType);
  OleCheck(plugin->Finalize());
}

TEST_F(FirefoxTest, PageWaitOfMozillaWindowsOnly) {
  auto plugin = StartedPlugin();
  struct Case {
    GUID member;
    const char16_t* windowClass;  // nullptr: an object without the window interface
    bool answered;
  } cases[] = {
      {kPageWaitMember, u"MozillaWindowClass", true},        {kPageWaitMember, u"mozillawindowclass", true},
      {kPageWaitMember, u"Internet Explorer_Server", false}, {kPageWaitMember, nullptr, false},
      {kFirefoxObjectType, u"MozillaWindowClass", false},
  };
  for (const auto& c : cases) {
    auto request = MakeObject<TCallRequest>();
    request->kind = c.member;
    if (c.windowClass)
      request->object = static_cast<IpwWindowObjectInfo*>(MakeObject<TWindowObject>(c.windowClass).Get());
    OleVariant result(7);
    EXPECT_EQ(plugin->GetCallInformation(request.Get(), result.Ptr()), c.answered ? VARIANT_TRUE : VARIANT_FALSE);
    EXPECT_EQ(result.Get().vt, c.answered ? VT_DISPATCH : VT_EMPTY);
  }
  OleCheck(plugin->Finalize());
}

// ---- The builder ----------------------------------------------------------------------------

// An element's native object: properties by name.
class TNative final : public Implements<ComObject, IDispatch> {
 public:
  std::map<WideString, OleVariant> properties;
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    std::int32_t id = 1;
    for (const auto& p : properties) {
      if (p.first == names[0]) {
        *ids = id;
        return S_OK;
      }
      ++id;
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    std::int32_t n = 1;
    for (const auto& p : properties)
      if (n++ == id) {
        if (result) *result = OleVariant(p.second).Detach();
        return S_OK;
      }
    return DISP_E_MEMBERNOTFOUND;
  }
};

// A Firefox element: its native object, its value, and the contexts it is asked to make.
class TFirefoxElement final : public Implements<ComObject, IpwTabContext> {
 public:
  ComPtr<TNative> native = MakeObject<TNative>();
  HRESULT contextAnswer = S_OK;
  std::vector<std::pair<WideString, std::int32_t>> made;  // type name, value
  ComPtr<IUnknown> lastContext;
  HRESULT GetTabObject(IDispatch** tab) override {
    *tab = ComPtr<IDispatch>(native.Get()).Detach();
    return S_OK;
  }
  HRESULT GetElementValue(VARIANT* value) override {
    *value = OleVariant(31).Detach();
    return S_OK;
  }
  HRESULT MakeObjectContext(BSTR typeName, const VARIANT& value, IUnknown** context) override {
    made.emplace_back(WideString(BstrView(typeName)), value.vt == VT_I4 ? value.lVal : -1);
    if (Failed(contextAnswer)) return contextAnswer;
    lastContext = ComPtr<IUnknown>(static_cast<IDispatch*>(MakeObject<TNative>().Get()));
    *context = ComPtr<IUnknown>(lastContext).Detach();
    return S_OK;
  }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT GetObjectContext(IUnknown**) override { return E_NOTIMPL; }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved9() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved11() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }
  HRESULT Reserved13() override { return E_NOTIMPL; }
  HRESULT Reserved14() override { return E_NOTIMPL; }
  HRESULT GetControlInfo(IDispatch**) override { return E_NOTIMPL; }
};

class FirefoxBuilderTest : public FirefoxTest {
 protected:
  struct Made {
    std::string factory;
    IUnknown* context;
    std::int32_t value;
    WideString contextType;
    bool radio;
  };
  // Every factory records its call and answers a slice of its own.
  void RecordAll() {
    auto& f = FirefoxSliceFactories();
    for (auto [slot, name] : std::initializer_list<std::pair<TpwFFSliceFactory TpwFFSliceFactories::*, const char*>>{
             {&TpwFFSliceFactories::browser, "browser"},
             {&TpwFFSliceFactories::frame, "frame"},
             {&TpwFFSliceFactories::checkBox, "checkBox"},
             {&TpwFFSliceFactories::button, "button"},
             {&TpwFFSliceFactories::tabButton, "tabButton"},
             {&TpwFFSliceFactories::comboBox, "comboBox"},
             {&TpwFFSliceFactories::listBox, "listBox"},
             {&TpwFFSliceFactories::xulMenu, "xulMenu"},
             {&TpwFFSliceFactories::xulTree, "xulTree"}}) {
      f.*slot = [this, n = std::string(name)](const TpwFFSliceRequest& r) {
        EXPECT_TRUE(r.host);
        made.push_back({n, r.context, r.elementValue && r.elementValue->vt == VT_I4 ? r.elementValue->lVal : -1,
                        WideString(r.contextTypeName), r.radio});
        return ComPtr<IDispatch>(MakeObject<TNative>().Get());
      };
    }
  }
  ComPtr<IpwSysNodeBuilder> Builder() {
    if (!plugin) plugin = StartedPlugin();
    ComPtr<IpwSysNodeBuilder> builder;
    OleCheck(plugin->GetBuilder(0, builder.Put()));
    return builder;
  }
  ComPtr<host::TSysNode> Offer(IpwSysNodeBuilder* builder, IUnknown* native, HRESULT expected = S_OK) {
    auto node = host.Sys().AddChild(u"Node", {OleVariant(++nodes)});
    node->SetNativeObject(kFirefoxObjectType, native);
    EXPECT_EQ(builder->ExtendNode(Node(node)), expected);
    return node;
  }
  ~FirefoxBuilderTest() override {
    if (plugin) plugin->Finalize();
  }

  ComPtr<TpwFFSupportPlugin> plugin;
  std::vector<Made> made;
  int nodes = 0;
};

TEST_F(FirefoxBuilderTest, RowsByControlType) {
  RecordAll();
  auto builder = Builder();
  const GUID kFirefox = kFirefoxControlSliceKey;
  struct Case {
    const char16_t* type;
    std::optional<bool> comboBox;  // the native "ComboBox" (missing when not set)
    const char* factory;           // nullptr: nothing attached
    GUID key;
    const char16_t* madeContext;  // nullptr: made with the value only
    bool radio;
  } cases[] = {
      {u"browser", {}, "browser", slice_iids::kPageLocator, nullptr, false},
      {u"FRAME", {}, "frame", slice_iids::kObjectLocator, nullptr, false},
      {u"element!checkbox", {}, "checkBox", slice_iids::kCheckBox, nullptr, false},
      {u"element!button", {}, "button", slice_iids::kButton, u"NativeWebObject", false},
      {u"element!submit", {}, "button", slice_iids::kButton, u"NativeWebObject", false},
      {u"element!reset", {}, "button", slice_iids::kButton, u"NativeWebObject", false},
      {u"Element!Radio", {}, "button", slice_iids::kButton, u"NativeWebObject", true},
      {u"element!select", true, "comboBox", kFirefox, u"NativeFirefoxObject", false},
      {u"element!select", false, "listBox", kFirefox, u"NativeFirefoxObject", false},
      {u"ELEMENT!SELECT", {}, "listBox", kFirefox, u"NativeFirefoxObject", false},
      {u"element!tabbutton", {}, "tabButton", slice_iids::kButton, u"NativeWebObject", false},
      {u"element!menuitem", {}, "xulMenu", kFirefox, u"NativeFirefoxObject", false},
      {u"element!menupopup", {}, "xulMenu", kFirefox, u"NativeFirefoxObject", false},
      {u"element!menubar", {}, "xulMenu", kFirefox, u"NativeFirefoxObject", false},
      {u"element!popup", {}, "xulMenu", kFirefox, u"NativeFirefoxObject", false},
      {u"element!menu", {}, "xulMenu", kFirefox, u"NativeFirefoxObject", false},
      {u"element!tree", {}, "xulTree", kFirefox, u"NativeFirefoxObject", false},
      {u"element!text", {}, nullptr, GUID_NULL, nullptr, false},
      {u"element!selectx", {}, nullptr, GUID_NULL, nullptr, false},
      {u"", {}, nullptr, GUID_NULL, nullptr, false},
  };
  for (const auto& c : cases) {
    const std::string label = WideToUtf8(c.type);
    made.clear();
    auto element = MakeObject<TFirefoxElement>();
    element->native->properties[u"ControlType"] = OleVariant(c.type);
    if (c.comboBox) element->native->properties[u"ComboBox"] = OleVariant(*c.comboBox);
    auto node = Offer(builder.Get(), static_cast<IpwTabContext*>(element.Get()));
    auto slices = node->Slices();
    if (!c.factory) {
      EXPECT_TRUE(slices.empty()) << label;
      EXPECT_TRUE(made.empty()) << label;
      EXPECT_TRUE(element->made.empty()) << label;
      continue;
    }
    ASSERT_EQ(made.size(), 1u) << label;
    EXPECT_EQ(made[0].factory, c.factory) << label;
    EXPECT_EQ(made[0].value, 31) << label;
    EXPECT_EQ(made[0].radio, c.radio) << label;
    if (c.madeContext) {
      ASSERT_EQ(element->made.size(), 1u) << label;
      EXPECT_EQ(element->made[0].first, c.madeContext) << label;
      EXPECT_EQ(element->made[0].second, 31) << label;
      EXPECT_EQ(made[0].context, element->lastContext.Get()) << label;
      EXPECT_EQ(made[0].contextType, c.madeContext) << label;
    } else {
      EXPECT_TRUE(element->made.empty()) << label;
      EXPECT_EQ(made[0].context, nullptr) << label;
      EXPECT_EQ(made[0].contextType, u"NativeWebObject") << label;
    }
    ASSERT_EQ(slices.size(), 1u) << label;
    EXPECT_EQ(slices[0].iid, c.key) << label;
    EXPECT_EQ(slices[0].group, kFirefoxObjectType) << label;
    EXPECT_EQ(slices[0].tag, 0x7FFFFFFF) << label;
  }
}

TEST_F(FirefoxBuilderTest, NodesThatAreNoFirefoxElementsGetNothing) {
  RecordAll();
  auto builder = Builder();
  Offer(builder.Get(), nullptr);
  auto notAnElement = MakeObject<TNative>();
  notAnElement->properties[u"ControlType"] = OleVariant(u"browser");
  auto node = Offer(builder.Get(), static_cast<IDispatch*>(notAnElement.Get()));
  EXPECT_TRUE(node->Slices().empty());
  EXPECT_TRUE(made.empty());
}

TEST_F(FirefoxBuilderTest, ComErrorsAreSwallowedOthersPropagate) {
  RecordAll();
  auto builder = Builder();
  // The element fails to make its context: nothing, and the offer succeeds.
  auto element = MakeObject<TFirefoxElement>();
  element->native->properties[u"ControlType"] = OleVariant(u"element!tree");
  element->contextAnswer = E_FAIL;
  auto node = Offer(builder.Get(), static_cast<IpwTabContext*>(element.Get()));
  EXPECT_TRUE(node->Slices().empty());
  EXPECT_TRUE(made.empty());
  // A slice that raises a COM error: swallowed.
  FirefoxSliceFactories().xulTree = [](const TpwFFSliceRequest&) -> ComPtr<IDispatch> {
    throw EOleSysError(u"The browser went away", E_ACCESSDENIED);
  };
  element->contextAnswer = S_OK;
  node = Offer(builder.Get(), static_cast<IpwTabContext*>(element.Get()));
  EXPECT_TRUE(node->Slices().empty());
  // Any other error reaches the host as the failure of ExtendNode.
  FirefoxSliceFactories().xulTree = [](const TpwFFSliceRequest&) -> ComPtr<IDispatch> {
    throw std::runtime_error("the slice broke");
  };
  node = Offer(builder.Get(), static_cast<IpwTabContext*>(element.Get()), E_UNEXPECTED);
  EXPECT_TRUE(node->Slices().empty());
}

TEST_F(FirefoxBuilderTest, DefaultFactoriesAttachTheWebSlicesAndTheFirefoxControls) {
  FirefoxSliceFactories() = DefaultFirefoxSliceFactories();
  auto builder = Builder();
  for (const char16_t* type : {u"browser", u"frame", u"element!checkbox", u"element!radio", u"element!tabbutton",
                               u"element!select", u"element!menu", u"element!tree"}) {
    auto element = MakeObject<TFirefoxElement>();
    element->native->properties[u"ControlType"] = OleVariant(type);
    auto node = Offer(builder.Get(), static_cast<IpwTabContext*>(element.Get()));
    EXPECT_EQ(node->Slices().size(), 1u) << WideToUtf8(type);
  }
}

}  // namespace
}  // namespace pw::web::test
