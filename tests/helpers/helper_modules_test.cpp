#include "core/host/module_proxy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/automation/ax_list.h"
#include "core/host/com_help.h"
#include "core/com/threads.h"
#include "platform/automation/dispatch.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/support/raised.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

using test::HostDir;
using test::Raised;

// Points the host folder at a folder for the life of a scope.
class ScopedHostFolder {
 public:
  explicit ScopedHostFolder(const std::string& folder) { SetHostExeFolderOverride(Utf8ToWide(folder)); }
  ~ScopedHostFolder() { SetHostExeFolderOverride(u""); }
};

// ---- folders and messages -------------------------------------------------------------------

TEST(HelperLibraries, AreFoundInTheHostFolderOrItsExtensions) {
  test::ScratchDir dir;
  ScopedHostFolder host(dir.Path().string());
  EXPECT_EQ(GetHostExeFolder(), dir.Wide() + u"/");
  EXPECT_EQ(GetExtensionsFolder(), dir.Wide() + u"/Extensions/");
  fs::create_directory(dir.Path() / "Extensions");
  fs::create_symlink(HostDir() + "/cvReporter.so", dir.Path() / "Extensions" / "cvReporter.so");
  HMODULE fromExtensions = LoadHelperLibrary(u"cvReporter.so");
  EXPECT_NE(fromExtensions, nullptr);
  FreeLibrary(fromExtensions);
  fs::create_symlink(HostDir() + "/cvStatistic.so", dir.Path() / "cvStatistic.so");
  HMODULE fromHost = LoadHelperLibrary(u"cvStatistic.so");
  EXPECT_NE(fromHost, nullptr);
  FreeLibrary(fromHost);
}

TEST(HelperLibraries, FailuresNameTheFileTheFolderAndTheReason) {
  test::ScratchDir dir;
  ScopedHostFolder host(dir.Path().string());
  const WideString folder = dir.Wide() + u"/";
  EXPECT_EQ(Raised([] { LoadHelperLibrary(u"cvNothing.so"); }),
            u"The file cvNothing.so not found. The product is located in the " + folder + u" folder.");

  // A file that is no library, in both folders: no reason to give.
  fs::create_directory(dir.Path() / "Extensions");
  test::WriteFileBytes(dir.File("cvBroken.so"), "not a shared object");
  test::WriteFileBytes(dir.File("Extensions/cvBroken.so"), "not a shared object");
  EXPECT_EQ(Raised([] { LoadHelperLibrary(u"cvBroken.so"); }),
            u"The file cvBroken.so has not been loaded. The product is located in the " + folder +
                u" folder. Reason: Unknown.");

  // Only in one folder: the reason is that folder's failure.
  test::WriteFileBytes(dir.File("cvHalf.so"), "not a shared object");
  WideString message = Raised([] { LoadHelperLibrary(u"cvHalf.so"); });
  const WideString start = u"The file cvHalf.so has not been loaded. The product is located in the " + folder +
                           u" folder. Reason: ";
  ASSERT_EQ(message.substr(0, start.size()), start) << WideToUtf8(message);
  EXPECT_NE(message.find(u"cvHalf.so", start.size()), WideString::npos) << "the loader's own text";
}

// ---- the module proxy -----------------------------------------------------------------------

TEST(ModuleProxy, AttachesUnloadsOnceAndRefusesLibrariesWithoutAModule) {
  ScopedHostFolder host(HostDir());
  // Kept loaded by the test, so that the module interface it holds outlives the proxy's unload.
  HMODULE pin = LoadLibrary(HostDir() + "/cvReporter.so");
  auto proxy = MakeObject<TModuleProxy>(kReporterLibrary);
  EXPECT_EQ(proxy->FileName(), kReporterLibrary);
  EXPECT_NE(proxy->Handle(), nullptr);
  ComPtr<IcvModuleIntf> intf;
  ASSERT_EQ(proxy->GetModuleInterface(intf.Put()), S_OK);
  ASSERT_TRUE(intf);
  // The module asks the proxy to unload through the callback it was given.
  EXPECT_EQ(intf->DetachProxy(nullptr), E_INVALIDARG) << "only attached proxies detach";
  EXPECT_EQ(proxy->RequestUnload(), S_OK);
  EXPECT_EQ(proxy->Handle(), nullptr);
  ComPtr<IcvModuleIntf> after;
  EXPECT_EQ(proxy->GetModuleInterface(after.Put()), S_OK);
  EXPECT_FALSE(after);
  EXPECT_EQ(intf->DetachProxy(QueryAs<IcvModuleProxyCallback>(proxy.Get()).Get()), E_INVALIDARG)
      << "the proxy detached itself";
  EXPECT_EQ(proxy->Unload(), S_OK) << "a second unload does nothing";
  intf = nullptr;
  FreeLibrary(pin);

  EXPECT_EQ(Raised([] { MakeObject<TModuleProxy>(kStatisticLibrary); }),
            u"The file cvStatistic.so does not provide the module interface of a helper library.");
}

// ---- regular expressions --------------------------------------------------------------------

TEST(RegExprModule, MatchesInItsDialect) {
  ScopedHostFolder host(HostDir());
  ComPtr<IcvRegExprModule> regexpr;
  GetRegExprModule(regexpr);
  ASSERT_TRUE(regexpr);
  const struct {
    const char16_t *pattern, *subject;
    bool matches;
  } cases[] = {
      {u"^a{b+}c$", u"abbc", true},
      {u"\\d+", u"room 42", true},
      {u"^\\h+$", u"0fA9", true},
      {u"^\\h+$", u"0fG9", false},
      {u"^[\\h_]+$", u"a_F", true},
      {u"^(ab)+$", u"ababab", true},
      {u"^\\{x\\}$", u"{x}", true},
      {u"Title", u"title", false},
      {u"^(x-(widget)|(auto)-.*[0-9]+)([-_]{.*})?$", u"x-widget_3", true},
  };
  for (const auto& c : cases) {
    WordBool matched = WordFalse;
    ASSERT_EQ(regexpr->Match(c.pattern, c.subject, &matched), S_OK) << WideToUtf8(c.pattern);
    EXPECT_EQ(matched != WordFalse, c.matches) << WideToUtf8(c.pattern) << " on " << WideToUtf8(c.subject);
  }

  // Braces capture, parentheses do not.
  ComPtr<IcvRegExpr> expr;
  ASSERT_EQ(regexpr->CreateRegExpr(expr.Put()), S_OK);
  ASSERT_EQ(expr->SetPattern(u"{\\d+}(-)+{\\h+}"), S_OK);
  WordBool matched = WordFalse;
  ASSERT_EQ(expr->Test(u"id 12--fF!", &matched), S_OK);
  EXPECT_EQ(matched, WordTrue);
  std::int32_t count = 0;
  expr->GetCaptureCount(&count);
  EXPECT_EQ(count, 2);
  BSTR one = nullptr, two = nullptr;
  expr->GetCapture(1, &one);
  expr->GetCapture(2, &two);
  EXPECT_EQ(BstrView(one), u"12");
  EXPECT_EQ(BstrView(two), u"fF");
  SysFreeString(one);
  SysFreeString(two);

  // An invalid pattern fails with error information.
  HRESULT hr = expr->SetPattern(u"{unclosed");
  EXPECT_TRUE(Failed(hr));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
  BSTR text = nullptr;
  info->GetDescription(&text);
  EXPECT_EQ(BstrView(text).substr(0, 28), u"Invalid regular expression: ");
  SysFreeString(text);
  EXPECT_TRUE(Failed(regexpr->Match(u"a)", u"a", &matched)));

  // The proxy is made once.
  ComPtr<IcvRegExprModule> again;
  GetRegExprModule(again);
  EXPECT_EQ(again.Get(), regexpr.Get());
  regexpr = nullptr;
  again = nullptr;
  expr = nullptr;
  StopHelperModules();
}

// A pattern that backtracks without end fails with an error naming the limit instead of
// running on (or answering "no match" for a text it never finished looking at).
TEST(RegExprModule, RunawayMatchesStopAtTheLimit) {
  ScopedHostFolder host(HostDir());
  ComPtr<IcvRegExprModule> regexpr;
  GetRegExprModule(regexpr);
  ASSERT_TRUE(regexpr);
  WordBool matched = WordTrue;
  const std::u16string subject = std::u16string(40, u'a') + u"b";
  HRESULT hr = regexpr->Match(u"^((a+)+)+$", subject.c_str(), &matched);
  EXPECT_TRUE(Failed(hr));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Put()), S_OK);
  BSTR text = nullptr;
  info->GetDescription(&text);
  EXPECT_NE(std::u16string(BstrView(text)).find(u"more steps than a match may take"), std::u16string::npos)
      << WideToUtf8(BstrView(text));
  SysFreeString(text);
  // The same pattern on a text it can decide quickly still answers.
  ASSERT_EQ(regexpr->Match(u"^((a+)+)+$", u"aaaa", &matched), S_OK);
  EXPECT_EQ(matched, WordTrue);
  regexpr = nullptr;
  StopHelperModules();
}

// A program that used the regular-expression library and never stopped the helper modules
// still ends cleanly: the library's own statics are gone by then, and the proxy must not reach
// into it from a static destructor.
TEST(RegExprModuleDeathTest, AProgramThatNeverStopsTheModulesEndsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ScopedHostFolder host(HostDir());
        ComPtr<IcvRegExprModule> regexpr;
        GetRegExprModule(regexpr);
        WordBool matched = WordFalse;
        if (!regexpr || regexpr->Match(u"a+", u"aa", &matched) != S_OK) std::_Exit(3);
        regexpr = nullptr;
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(RegExprModule, AMissingLibraryRaisesAndIsRetried) {
  test::ScratchDir dir;
  {
    ScopedHostFolder host(dir.Path().string());
    ComPtr<IcvRegExprModule> regexpr;
    EXPECT_EQ(Raised([&] { GetRegExprModule(regexpr); }).substr(0, 26), u"The file cvRegExpr.so not ");
  }
  ScopedHostFolder host(HostDir());
  ComPtr<IcvRegExprModule> regexpr;
  GetRegExprModule(regexpr);
  EXPECT_TRUE(regexpr);
  regexpr = nullptr;
  StopHelperModules();
}

// ---- counters -------------------------------------------------------------------------------

using ReadCounterProc = std::int32_t (*)(const GUID*, std::int32_t*, char16_t*, std::uint32_t);

TEST(StatCounters, ReachTheLibraryEscapedAndRetryWhileItIsMissing) {
  constexpr GUID key = MakeGuid("{0B0E58E2-6A5C-4C2A-9E0F-2D7C51A3B6E1}");
  constexpr GUID unnamed = MakeGuid("{7D3F3A10-1E2B-4C5D-8F6A-9B0C1D2E3F40}");
  ResetHelperModulesForTesting();  // counters of an earlier run in this process are gone
  test::ScratchDir dir;
  ScopedHostFolder host(dir.Path().string());
  EXPECT_FALSE(IncStatCounter(key, 1));
  EXPECT_FALSE(RegisterStatCounter(key, u"x"));
  fs::create_symlink(HostDir() + "/cvStatistic.so", dir.Path() / "cvStatistic.so");
  EXPECT_TRUE(RegisterStatCounter(key, u"<Web & \"Forms\">'s"));
  EXPECT_TRUE(IncStatCounter(key, 1));
  EXPECT_TRUE(IncStatCounter(key, 1));
  EXPECT_TRUE(RegisterStatCounter(unnamed, nullptr));

  HMODULE lib = LoadLibrary((dir.Path() / "cvStatistic.so").string());
  auto read = reinterpret_cast<ReadCounterProc>(GetProcAddress(lib, "ReadCounter"));
  ASSERT_NE(read, nullptr);
  std::int32_t value = 0;
  char16_t name[64] = {};
  ASSERT_EQ(read(&key, &value, name, 64), 0);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(WideString(name), u"&lt;Web &amp; &quot;Forms&quot;&gt;'s");
  ASSERT_EQ(read(&unnamed, &value, name, 64), 0);
  EXPECT_EQ(WideString(name), u"");
  FreeLibrary(lib);
  ResetHelperModulesForTesting();
}

// A host folder whose name is not ASCII (nor Windows-1252) serves the libraries as any other.
TEST(HelperLibraries, LoadFromAFolderWithANonAsciiName) {
  ResetHelperModulesForTesting();
  test::ScratchDir dir;
  const fs::path host = dir.Path() / fs::path(u8"Pr\u00FCfung \u540D\u524D \u0418\u043C\u044F");
  fs::create_directories(host / "Extensions");
  fs::create_symlink(HostDir() + "/cvStatistic.so", host / "cvStatistic.so");
  fs::create_symlink(HostDir() + "/Extensions/cvRegExpr.so", host / "Extensions" / "cvRegExpr.so");
  {
    ScopedHostFolder folder(host.string());
    constexpr GUID key = MakeGuid("{5E1C0D2A-3B4F-4A6E-8D7C-9F0A1B2C3D4E}");
    EXPECT_TRUE(RegisterStatCounter(key, u"\u540D\u524D"));
    EXPECT_TRUE(IncStatCounter(key, 1));
    ComPtr<IcvRegExprModule> regexpr;
    GetRegExprModule(regexpr);
    EXPECT_TRUE(regexpr);
  }
  ResetHelperModulesForTesting();
}

// A truncated copy of a library is refused with a clear error before the system loader maps
// it (which would fault past the file's end); the whole copy loads.
TEST(HelperLibraries, DamagedLibraryFilesAreRefusedBeforeLoading) {
  test::ScratchDir dir;
  const std::string original = test::ReadFileBytes(HostDir() + "/cvStatistic.so");
  ASSERT_GT(original.size(), 4096u);
  for (std::size_t cut : {std::size_t{32}, std::size_t{1000}, original.size() / 2, original.size() - 64}) {
    const std::string copy = dir.Utf8File("cut" + std::to_string(cut) + ".so");
    test::WriteFileBytes(copy, original.substr(0, cut));
    EXPECT_EQ(LoadLibrary(copy), nullptr) << cut;
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
    const std::string message = WideToUtf8(LibraryErrorMessage(ERROR_BAD_EXE_FORMAT));
    EXPECT_NE(message.find("The file " + copy + " is damaged: "), std::string::npos) << message;
  }
  const std::string whole = dir.Utf8File("whole.so");
  test::WriteFileBytes(whole, original);
  HMODULE lib = LoadLibrary(whole);
  EXPECT_NE(lib, nullptr) << WideToUtf8(LibraryErrorMessage(GetLastError()));
  if (lib) FreeLibrary(lib);
}

// ---- the reporter ---------------------------------------------------------------------------

// The reporter library loaded for one test, its record emptied; unloaded afterwards.
class LoadedReporter {
 public:
  LoadedReporter() : lib_(LoadLibrary(HostDir() + "/cvReporter.so")) {
    if (lib_) GetReporterModule(reporter_);
    if (reporter_) reporter_->ClearRecord();
  }
  ~LoadedReporter() {
    reporter_ = nullptr;
    ResetHelperModulesForTesting();  // the next test finds the library unloaded
    if (lib_) FreeLibrary(lib_);
  }
  bool Ready() const { return reporter_ != nullptr; }
  WideString Record() const {
    BSTR record = nullptr;
    reporter_->GetRecord(&record);
    WideString text(BstrView(record));
    SysFreeString(record);
    return text;
  }

 private:
  HMODULE lib_;
  ComPtr<IcvReporterModule> reporter_;
};

TEST(Reporter, BracketsAreRecordedOnlyOnceTheLibraryIsLoaded) {
  ReporterBeginForeignCall();  // not loaded: nothing happens, nothing is loaded
  EXPECT_EQ(GetModuleHandle("cvReporter.so"), nullptr);

  LoadedReporter reporter;
  ASSERT_TRUE(reporter.Ready());
  ReporterBeginForeignCall();
  ReporterEndForeignCall();
  ReporterBeginNetworkRead();
  ReporterEndNetworkRead();
  EXPECT_EQ(reporter.Record(), u"BeginForeignCall\nEndForeignCall\nBeginNetworkRead\nEndNetworkRead\n");
}

// A property read of a foreign object is bracketed as a foreign call, also when it fails.
class TOneProperty final : public Implements<ComObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    *result = OleVariant(std::int32_t{42}).Detach();
    return S_OK;
  }
};

TEST(Reporter, PropertyReadsOfForeignObjectsAreBracketed) {
  LoadedReporter reporter;
  ASSERT_TRUE(reporter.Ready());
  auto object = MakeObject<TOneProperty>();
  EXPECT_EQ(GetAxPropertyValue(object.Get(), 1, nullptr, u"Value").Get().lVal, 42);
  EXPECT_EQ(GetAxPropertyValue(object.Get(), 2, nullptr, u"Other").AsString(), u"Error: Member not found");
  EXPECT_EQ(reporter.Record(), u"BeginForeignCall\nEndForeignCall\nBeginForeignCall\nEndForeignCall\n");
}

// ---- identifiers ----------------------------------------------------------------------------

TEST(UniqueIdentGenerator, MakesIdentifiers) {
  const struct {
    const char16_t *text, *expected;
  } cases[] = {
      {u"3 Click me!", u"Click_me_"}, {u"--", u"Default"},      {u"a  b", u"a_b"},
      {u"9lives", u"lives"},          {u"_x__y", u"x_y"},        {u"Gr\u00F6\u00DFe", u"Gr_e"},
      {u"", u"Default"},              {u"\u4E2D\u6587", u"Default"}, {u"Ok1", u"Ok1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TcvUniqueIdentGenerator::MakeIdentifier(c.text, u"Default"), c.expected) << WideToUtf8(c.text);
}

// ---- the COM helper library -----------------------------------------------------------------

struct Seen {
  DWORD thread = 0;
  AptType type = AptType::None;
};

void Record(void* param) {
  auto* seen = static_cast<Seen*>(param);
  seen->thread = GetCurrentThreadId();
  CoGetApartmentType(&seen->type);
}

class TPlain : public TcvInterfacedObject {};

TEST(ComHelp, LendsApartmentThreadsAndTheTable) {
  ScopedHostFolder host(HostDir());
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  auto help = MakeObject<TcvComHelpProxy>(kComHelpLibrary);

  ComPtr<IcvSTA1> sta1, sta1Again, privateSta;
  ASSERT_EQ(help->GetSTA1(sta1.Put()), S_OK);
  ASSERT_EQ(help->GetSTA1(sta1Again.Put()), S_OK);
  EXPECT_EQ(sta1.Get(), sta1Again.Get()) << "the shared STA proxy is made once";
  ASSERT_EQ(help->GetPrivateSTA(privateSta.Put()), S_OK);
  ComPtr<IcvMTA> mta;
  ASSERT_EQ(help->GetMTA(mta.Put()), S_OK);

  Seen a, b, m;
  ASSERT_EQ(sta1->Invoke(Record, &a), S_OK);
  ASSERT_EQ(privateSta->Invoke(Record, &b), S_OK);
  ASSERT_EQ(mta->Invoke(Record, &m), S_OK);
  EXPECT_EQ(a.type, AptType::STA);
  EXPECT_EQ(b.type, AptType::STA);
  EXPECT_EQ(m.type, AptType::MTA);
  EXPECT_NE(a.thread, b.thread);
  EXPECT_NE(a.thread, GetCurrentThreadId());
  EXPECT_NE(m.thread, GetCurrentThreadId());

  ComPtr<IcvInvoker> first, second;
  ASSERT_EQ(help->CreateInvoker(first.Put()), S_OK);
  ASSERT_EQ(help->CreateInvoker(second.Put()), S_OK);
  Seen i1, i2;
  first->Invoke(Record, &i1);
  second->Invoke(Record, &i2);
  EXPECT_NE(i1.thread, i2.thread) << "every invoker has a thread of its own";
  EXPECT_EQ(i1.type, AptType::STA);

  ComPtr<IGlobalInterfaceTable> table;
  ASSERT_EQ(help->GetGlobalInterfaceTable(table.Put()), S_OK);
  ASSERT_TRUE(table);
  ComPtr<IcvGlobalInterfaceTableProxy> tableProxy = table.As<IcvGlobalInterfaceTableProxy>();
  ASSERT_TRUE(tableProxy);

  // An object made in an invoker's apartment and registered there dies with the apartment when
  // the apartments are released; the thread stays usable meanwhile.
  struct Made {
    IGlobalInterfaceTable* table;
    DWORD cookie = 0;
  } made{table.Get()};
  first->Invoke(
      [](void* p) {
        auto* m = static_cast<Made*>(p);
        auto obj = MakeObject<TPlain>();
        m->table->RegisterInterfaceInGlobal(obj->Identity(), IUnknown::iid, &m->cookie);
      },
      &made);
  ComPtr<IUnknown> fetched;
  EXPECT_EQ(table->GetInterfaceFromGlobal(made.cookie, IUnknown::iid, fetched.PutVoid()), S_OK);
  fetched = nullptr;
  ASSERT_EQ(help->ReleaseApartments(), S_OK);
  EXPECT_EQ(table->GetInterfaceFromGlobal(made.cookie, IUnknown::iid, fetched.PutVoid()), RPC_E_DISCONNECTED);
  table->RevokeInterfaceFromGlobal(made.cookie);

  // Released proxies are detached: they answer without running anything.
  Seen none;
  EXPECT_EQ(first->Invoke(Record, &none), S_OK);
  EXPECT_EQ(sta1->Invoke(Record, &none), S_OK);
  EXPECT_EQ(mta->Invoke(Record, &none), S_OK);
  EXPECT_EQ(none.thread, 0u);

  // Unloading detaches the table proxy too.
  ASSERT_EQ(help->Unload(), S_OK);
  DWORD cookie = 0;
  EXPECT_EQ(table->RegisterInterfaceInGlobal(help->Identity(), IUnknown::iid, &cookie), E_FAIL);
  EXPECT_EQ(table->RevokeInterfaceFromGlobal(1), S_OK);
  CoUninitialize();
}

TEST(ComHelp, AProcedureThatRaisesFailsItsCallAndTheThreadGoesOn) {
  ScopedHostFolder host(HostDir());
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  auto help = MakeObject<TcvComHelpProxy>(kComHelpLibrary);
  ComPtr<IcvSTA1> sta;
  ComPtr<IcvMTA> mta;
  ASSERT_EQ(help->GetSTA1(sta.Put()), S_OK);
  ASSERT_EQ(help->GetMTA(mta.Put()), S_OK);
  InvokerProc raise = [](void*) { throw Exception(u"procedure failed"); };
  // Run on a thread object's own thread, the procedure calls that object again.
  struct Nested {
    IcvInvoker* thread;
    InvokerProc proc;
    HRESULT result = E_FAIL;
  };
  InvokerProc nested = [](void* p) {
    auto* n = static_cast<Nested*>(p);
    n->result = n->thread->Invoke(n->proc, nullptr);
  };
  for (IcvInvoker* thread : {static_cast<IcvInvoker*>(sta.Get()), static_cast<IcvInvoker*>(mta.Get())}) {
    EXPECT_EQ(thread->Invoke(raise, nullptr), E_UNEXPECTED);
    Nested inner{thread, raise};
    EXPECT_EQ(thread->Invoke(nested, &inner), S_OK);
    EXPECT_EQ(inner.result, E_UNEXPECTED) << "called from its own thread";
    Seen seen;
    EXPECT_EQ(thread->Invoke(Record, &seen), S_OK);
    EXPECT_NE(seen.thread, 0u) << "the thread serves on";
  }
  EXPECT_EQ(help->Unload(), S_OK);
  CoUninitialize();
}

TEST(ComHelp, TheModulesProxyNeedsTheLibrary) {
  test::ScratchDir dir;
  ScopedHostFolder host(dir.Path().string());
  EXPECT_EQ(Raised([] { StartComHelp(); }).substr(0, 26), u"The file cvComHelp.so not ");
  EXPECT_EQ(ComHelp(), nullptr);
  StopComHelp();
}

}  // namespace
}  // namespace pw
