// The test host's own services: the manager, the messenger, the log and runtime objects, the
// main thread and object broker, files, dialogs, actions and menus.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "host/test_host.h"
#include "openapps/picture/picture.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

using host::TestHost;

template <Interface I>
ComPtr<I> Service(TestHost& host, const GUID& service) {
  return GetHostService<I>(host.Manager(), service);
}

TEST(HostManager, ServicesModeAndInformation) {
  TestHost host;
  std::int32_t mode = -1;
  ASSERT_EQ(host.Manager()->GetHostMode(&mode), S_OK);
  EXPECT_EQ(mode, 0);
  host.SetInteractive(false);
  host.Manager()->GetHostMode(&mode);
  EXPECT_EQ(mode, 3);

  // Every service of the table answers the interface it is taken as.
  EXPECT_TRUE(Service<IpwSettingsManager>(host, host::services::kSettings));
  EXPECT_TRUE(Service<IpwSettingsGroups>(host, host::services::kSettings));
  EXPECT_TRUE(Service<IpwSettingsNotifier>(host, host::services::kSettings));
  EXPECT_TRUE(Service<IpwOptionsPages>(host, host::services::kOptions));
  EXPECT_TRUE(Service<IpwProjectNodeRegistry>(host, host::services::kNodeRegistry));
  EXPECT_TRUE(Service<IpwProjectNodeRegistryService>(host, host::services::kNodeRegistry));
  EXPECT_TRUE(Service<IpwDiagnosticLog>(host, host::services::kDiagnosticLog));
  EXPECT_TRUE(Service<IcvMessenger>(host, host::services::kMessenger));
  EXPECT_TRUE(Service<IpwObjectBroker>(host, host::services::kObjectBroker));
  EXPECT_TRUE(Service<IpwDialogService>(host, host::services::kDialogs));
  EXPECT_TRUE(Service<IpwHostState>(host, host::services::kHostState));
  EXPECT_TRUE(Service<IpwFileWatchService>(host, host::services::kFileWatch));
  EXPECT_TRUE(Service<IpwRunControl>(host, host::services::kRunControl));
  EXPECT_TRUE(Service<IpwHostObjectProvider>(host, host::services::kHostObjects));
  EXPECT_TRUE(Service<IpwActionService>(host, host::services::kActions));
  EXPECT_TRUE(Service<IpwMenuService>(host, host::services::kMenus));
  EXPECT_TRUE(Service<IcvSyntaxManager>(host, host::services::kSyntax));
  EXPECT_TRUE(Service<IpwRuntimeObjectService>(host, host::services::kRuntimeObjects));
  EXPECT_TRUE(Service<IpwSysManager>(host, host::services::kSysManager));
  // An unknown service is nil, and the request is remembered.
  constexpr GUID kUnknown = MakeGuid("{33333333-0000-0000-0000-000000000001}");
  EXPECT_FALSE(Service<IUnknown>(host, kUnknown));
  EXPECT_EQ(host.ServiceRequests().back(), kUnknown);

  ComPtr<IpwHostInformation> info;
  ASSERT_EQ(host.Manager()->GetInformation(info.Put()), S_OK);
  BString folder, name;
  info->GetFolder(folder.Put());
  info->GetProductName(name.Put());
  EXPECT_EQ(name.Str(), u"Probewright");
  EXPECT_EQ(folder.Str().back(), u'/');
  GUID a{}, b{};
  info->GetInstanceKey(&a);
  info->GetInstanceKey(&b);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, GUID_NULL);
}

TEST(HostMessenger, ScriptedAnswersAndNoDialogs) {
  TestHost host;
  auto m = Service<IcvMessenger>(host, host::services::kMessenger);
  host.Messenger().QueueConfirmation(true);
  host.Messenger().QueueConfirmation(false);
  host.Messenger().QueueAnswer(1);
  VARIANT_BOOL yes = 0;
  BString q(u"Overwrite?");
  ASSERT_EQ(m->Confirm(q.Get(), 4106, 0, 0, &yes), S_OK);
  EXPECT_EQ(yes, VARIANT_TRUE);
  ASSERT_EQ(m->Confirm(q.Get(), 4106, 0, 0, &yes), S_OK);
  EXPECT_EQ(yes, VARIANT_FALSE);
  std::int32_t answer = 0;
  BString ask(u"Use the corrected name?");
  ASSERT_EQ(m->Ask(ask.Get(), 2, 3, 1, 0, 0, &answer), S_OK);
  EXPECT_EQ(answer, 1);
  // A question nobody scripted an answer for fails with its text.
  EXPECT_EQ(m->Ask(ask.Get(), 2, 3, 1, 0, 0, &answer), E_FAIL);
  BString error(u"The name is not valid.");
  ASSERT_EQ(m->ShowError(error.Get(), 4008, 0), S_OK);
  m->SetStatusText(error.Get());
  EXPECT_EQ(host.Messenger().StatusText(), u"The name is not valid.");
  m->ClearStatusText();
  EXPECT_EQ(host.Messenger().StatusText(), u"");

  auto messages = host.Messenger().Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].kind, host::MessageRecord::Confirmation);
  EXPECT_EQ(messages[0].helpContext, 4106);
  EXPECT_EQ(messages[3].kind, host::MessageRecord::Error);
  EXPECT_EQ(messages[3].text, u"The name is not valid.");

  // Without dialogs every message is raised to the caller instead of shown.
  host.SetInteractive(false);
  host.Messenger().QueueConfirmation(true);
  EXPECT_EQ(m->ShowError(error.Get(), 4008, 0), E_FAIL);
  try {
    SafeCallCheck(m->Confirm(q.Get(), 0, 0, 0, &yes));
    FAIL();
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), u"Overwrite?");
  }
  EXPECT_EQ(host.Messenger().Messages().size(), 4u);
  EXPECT_EQ(host.Messenger().PendingAnswers(), 1u);  // the answer was not used
}

TEST(HostLog, EntriesFromPluginsAndScriptsWithTheHostClock) {
  ManualClock clock(5000);
  host::TestHostOptions options;
  options.clock = &clock;
  TestHost host(options);
  std::vector<WideString> printed;
  host.SetPrinter([&](const WideString& line) { printed.push_back(line); });

  auto log = GetLogObject(host.Manager());
  ASSERT_TRUE(log);
  BString text(u"Navigating to the page."), details(u"http://example.org");
  log->Message(text.Get(), details.Get(), 300);
  clock.Advance(250);
  log->Error(text.Get(), nullptr, 400);
  log->Warning(text.Get(), nullptr, 200);
  log->Event(text.Get(), nullptr, 100);

  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Message);
  EXPECT_EQ(entries[0].additionalText, u"http://example.org");
  EXPECT_EQ(entries[0].timeMs, 5000u);
  EXPECT_EQ(entries[1].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[1].priority, 400);
  EXPECT_EQ(entries[1].timeMs, 5250u);
  EXPECT_EQ(host.Log().CountOf(host::LogEntry::Error), 1);
  ASSERT_EQ(printed.size(), 4u);
  EXPECT_EQ(printed[0], u"Message: Navigating to the page. (http://example.org)");
  EXPECT_EQ(printed[1], u"Error: Navigating to the page.");

  // Scripts reach the same log late-bound; leaving out the optional arguments gives the normal
  // priority.
  OleVariant r = DispCallMethod(host.Log().Dispatch(), u"Warning", std::vector<OleVariant>{OleVariant(u"w")},
                                OleVariant(u"failed"));
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(host.Log().Entries().back().priority, host::kNormalPriority);
  EXPECT_EQ(DispGetProperty(host.Log().Dispatch(), u"ErrCount", OleVariant()).AsInt(), 1);
}

// The extended log: every kind with its six arguments; the picture is kept and printed with its
// size; texts may be Null; time -1 is now.
TEST(HostLog, TheExtendedLogKeepsPicturesAndPrintsTheirSize) {
  ManualClock clock(7000);
  host::TestHostOptions options;
  options.clock = &clock;
  TestHost host(options);
  std::vector<WideString> printed;
  host.SetPrinter([&](const WideString& line) { printed.push_back(line); });
  auto extended = QueryAs<IpwExtendedTestLog>(GetLogObject(host.Manager()).Get());
  ASSERT_TRUE(extended);

  const HBITMAP model = CreateBitmapOfSize(1, 1, {0});
  auto picture = MakeObject<TpwPicture>(host.Manager(), model, 40, 30);
  DeleteObject(model);
  OleVariant shown(static_cast<IDispatch*>(static_cast<IpwPicture2*>(picture.Get())));
  OleVariant text(u"Closed."), details(u"url\r\n\r\nPage"), none(0), null;
  null.Put()->vt = VT_NULL;
  using Write = HRESULT (IpwExtendedTestLog::*)(const VARIANT&, const VARIANT&, std::int32_t, const VARIANT&,
                                                const VARIANT&, std::int32_t);
  const struct {
    Write write;
    host::LogEntry::Kind kind;
    const char16_t* name;
  } kinds[] = {{&IpwExtendedTestLog::Message, host::LogEntry::Message, u"Message"},
               {&IpwExtendedTestLog::Warning, host::LogEntry::Warning, u"Warning"},
               {&IpwExtendedTestLog::Error, host::LogEntry::Error, u"Error"},
               {&IpwExtendedTestLog::Event, host::LogEntry::Event, u"Event"}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(WideToUtf8(k.name));
    printed.clear();
    ASSERT_EQ((extended.Get()->*k.write)(text.Get(), details.Get(), 300, none.Get(), shown.Get(), -1), S_OK);
    ASSERT_EQ((extended.Get()->*k.write)(text.Get(), null.Get(), 100, none.Get(), none.Get(), 1234), S_OK);
    auto entries = host.Log().Entries();
    ASSERT_GE(entries.size(), 2u);
    const auto& withPicture = entries[entries.size() - 2];
    EXPECT_EQ(withPicture.kind, k.kind);
    EXPECT_EQ(withPicture.text, u"Closed.");
    EXPECT_EQ(withPicture.additionalText, u"url\r\n\r\nPage");
    EXPECT_EQ(withPicture.priority, 300);
    EXPECT_EQ(withPicture.timeMs, 7000u);
    EXPECT_EQ(QueryAs<IUnknown>(withPicture.picture.Get()).Get(),
              QueryAs<IUnknown>(static_cast<IpwPicture2*>(picture.Get())).Get());
    EXPECT_EQ(withPicture.pictureWidth, 40);
    EXPECT_EQ(withPicture.pictureHeight, 30);
    const auto& plain = entries.back();
    EXPECT_EQ(plain.additionalText, u"");
    EXPECT_FALSE(plain.picture);
    EXPECT_EQ(plain.timeMs, 1234u);
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0], WideString(k.name) + u": Closed. (url\r\n\r\nPage) [picture 40\u00D730]");
    EXPECT_EQ(printed[1], WideString(k.name) + u": Closed.");
  }
  EXPECT_EQ(host.Log().CountOf(host::LogEntry::Error), 2);
  // An object that is no picture is kept and printed without a size.
  OleVariant odd;
  VARIANT* unknown = odd.Put();
  unknown->punkVal = host.Log().Identity();
  unknown->punkVal->AddRef();
  unknown->vt = VT_UNKNOWN;
  ASSERT_EQ(extended->Warning(text.Get(), null.Get(), 300, none.Get(), odd.Get(), -1), S_OK);
  EXPECT_EQ(printed.back(), u"Warning: Closed. [picture]");
  EXPECT_TRUE(host.Log().Entries().back().picture);
}

TEST(HostRuntimeObjects, RegisteredByNameIgnoringCase) {
  TestHost host;
  auto& objects = host.RuntimeObjects();
  EXPECT_EQ(objects.Names(), (std::vector<WideString>{u"Log", u"Sys"}));
  BString name(u"LOG");
  ComPtr<IUnknown> found;
  ASSERT_EQ(objects.GetRuntimeObject(name.Get(), GUID_NULL, found.Put()), S_OK);
  EXPECT_EQ(IdentityOf(found.Get()), host.Log().Identity());
  BString missing(u"Browsers");
  ASSERT_EQ(objects.GetRuntimeObject(missing.Get(), GUID_NULL, found.Put()), S_OK);
  EXPECT_FALSE(found);

  // Objects of a project are found with the project's key; the host's own with any key.
  constexpr GUID kProject = MakeGuid("{33333333-0000-0000-0000-0000000000E1}");
  BString mapping(u"NameMapping");
  objects.Register(u"NameMapping", host.Sys().Identity(), kProject);
  ASSERT_EQ(objects.GetRuntimeObject(mapping.Get(), kProject, found.Put()), S_OK);
  EXPECT_EQ(IdentityOf(found.Get()), host.Sys().Identity());
  ASSERT_EQ(objects.GetRuntimeObject(mapping.Get(), GUID_NULL, found.Put()), S_OK);
  EXPECT_FALSE(found);
  ASSERT_EQ(objects.GetRuntimeObject(name.Get(), kProject, found.Put()), S_OK);
  EXPECT_EQ(IdentityOf(found.Get()), host.Log().Identity());
  EXPECT_EQ(objects.Names(), (std::vector<WideString>{u"Log", u"Sys"}));
  objects.Unregister(u"NameMapping", kProject);
  // A plug-in's object replaces one of the same name.
  objects.Register(u"log", host.Sys().Identity());
  EXPECT_FALSE(GetLogObject(host.Manager()));
  objects.Unregister(u"Log");
  EXPECT_EQ(objects.Names(), (std::vector<WideString>{u"Sys"}));
}

TEST(HostMainThread, PostAndWaitRunsOnTheMainThread) {
  TestHost host;
  constexpr GUID kEvent = MakeGuid("{33333333-0000-0000-0000-000000000002}");
  std::thread::id ranOn;
  host.Broker().SetEventHandler(kEvent, [&](void* data, std::int32_t size) {
    ranOn = std::this_thread::get_id();
    auto* block = static_cast<std::int32_t*>(data);
    block[1] = block[0] * 2;  // the answer goes back through the caller's block
    return size == 8 ? S_OK : E_INVALIDARG;
  });
  auto broker = Service<IpwObjectBroker>(host, host::services::kObjectBroker);

  // From the main thread the handler runs at once.
  std::int32_t block[2] = {21, 0};
  ASSERT_EQ(broker->PostAndWait(kEvent, reinterpret_cast<std::intptr_t>(block), 8, -1), S_OK);
  EXPECT_EQ(block[1], 42);

  // From another thread the call waits until the main thread has run it.
  HRESULT workerResult = E_FAIL;
  std::int32_t workerBlock[2] = {5, 0};
  std::thread worker([&] {
    workerResult = broker->PostAndWait(kEvent, reinterpret_cast<std::intptr_t>(workerBlock), 8, -1);
  });
  EXPECT_TRUE(host.Main().RunUntil([&] { return host.Broker().PostedEvents().size() == 2; }, 10000));
  worker.join();
  EXPECT_EQ(workerResult, S_OK);
  EXPECT_EQ(workerBlock[1], 10);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  auto posted = host.Broker().PostedEvents();
  EXPECT_TRUE(posted[0].fromMainThread);
  EXPECT_FALSE(posted[1].fromMainThread);
  EXPECT_EQ(posted[1].size, 8);

  // The handler's failure and an unknown event class come back as failures.
  EXPECT_EQ(broker->PostAndWait(kEvent, reinterpret_cast<std::intptr_t>(block), 4, -1), E_INVALIDARG);
  EXPECT_EQ(broker->PostAndWait(MakeGuid("{33333333-0000-0000-0000-000000000003}"), 0, 8, -1), E_INVALIDARG);
}

TEST(HostMainThread, AWaitThatTimesOutDropsWorkNotYetStarted) {
  ManualClock clock;
  host::TestHostOptions options;
  options.clock = &clock;
  TestHost host(options);
  bool ran = false;
  HRESULT result = S_OK;
  std::uint64_t reads = clock.ReadCount();
  std::thread worker([&] { result = host.Main().PostAndWait([&] { ran = true; return S_OK; }, 100); });
  clock.WaitForReads(reads + 1);  // the worker has taken its deadline
  clock.Advance(100);
  worker.join();
  EXPECT_EQ(result, RPC_E_TIMEOUT);
  host.Main().ProcessPending();
  EXPECT_FALSE(ran);
}

TEST(HostBroker, ObjectsByInterface) {
  TestHost host;
  auto broker = Service<IpwObjectBroker>(host, host::services::kObjectBroker);
  ComPtr<IUnknown> found;
  ASSERT_EQ(broker->GetObject(IpwTestLog::iid, -1, found.Put()), S_OK);
  EXPECT_FALSE(found);
  ASSERT_EQ(broker->RegisterObject(IpwTestLog::iid, host.Log().Identity()), S_OK);
  ASSERT_EQ(broker->GetObject(IpwTestLog::iid, -1, found.Put()), S_OK);
  EXPECT_EQ(IdentityOf(found.Get()), host.Log().Identity());
  broker->UnregisterObject(IpwTestLog::iid, host.Log().Identity());
  ASSERT_EQ(broker->GetObject(IpwTestLog::iid, -1, found.Put()), S_OK);
  EXPECT_FALSE(found);
}

class WatchClient : public Implements<ComObject, IpwFileWatchClient> {
 public:
  explicit WatchClient(std::string file) : file_(std::move(file)) {}
  std::vector<std::int32_t> flags;
  HRESULT GetKey(GUID* key) override {
    *key = GUID_NULL;
    return S_OK;
  }
  HRESULT GetFileName(BSTR* name) override {
    *name = SysAllocString(Utf8ToWide(file_));
    return S_OK;
  }
  HRESULT GetFlag(VARIANT_BOOL* flag) override {
    *flag = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Notify(std::int32_t f) override {
    flags.push_back(f);
    return S_OK;
  }

 private:
  std::string file_;
};

TEST(HostFileWatch, ChangesDeletionAndReturn) {
  TestHost host;
  std::string file = ::testing::TempDir() + "pw_watch_" + std::to_string(::getpid()) + ".txt";
  std::ofstream(file) << "one";
  auto client = MakeObject<WatchClient>(file);
  auto watch = Service<IpwFileWatchService>(host, host::services::kFileWatch);
  ASSERT_EQ(watch->Register(client.Get()), S_OK);
  EXPECT_EQ(host.FileWatch().CheckFiles(), 0u);
  std::ofstream(file) << "two, longer";
  EXPECT_EQ(host.FileWatch().CheckFiles(), 1u);
  EXPECT_EQ(host.FileWatch().CheckFiles(), 0u);  // reported once
  std::remove(file.c_str());
  ASSERT_EQ(watch->CheckNow(client.Get()), S_OK);
  std::ofstream(file) << "three";
  EXPECT_EQ(host.FileWatch().CheckFiles(), 1u);
  EXPECT_EQ(client->flags, (std::vector<std::int32_t>{2, 1, 2 | 4}));
  // A refreshed file has nothing to report.
  std::ofstream(file) << "four!!";
  watch->Refresh(client.Get());
  EXPECT_EQ(host.FileWatch().CheckFiles(), 0u);
  watch->Unregister(client.Get());
  EXPECT_EQ(host.FileWatch().ClientCount(), 0u);
  EXPECT_EQ(watch->CheckNow(client.Get()), E_INVALIDARG);
  std::remove(file.c_str());
}

TEST(HostDialogs, ScriptedAnswers) {
  TestHost host;
  auto dialogs = Service<IpwDialogService>(host, host::services::kDialogs);
  host.Dialogs().QueueAnswer({true, u"/tmp/a.pwp\n/tmp/b.pwp"});
  host.Dialogs().QueueAnswer({false, u""});
  BString title(u"Add Existing Item"), filter(u"*.pwp");
  std::int32_t index = 1;
  VARIANT_BOOL ok = 0;
  BSTR names = SysAllocString(u"/samples/");  // in and out
  ASSERT_EQ(dialogs->OpenFileDialog(nullptr, title.Get(), &names, filter.Get(), &index, 0x80044, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(BstrView(names), u"/tmp/a.pwp\n/tmp/b.pwp");
  SysFreeString(names);
  BSTR folder = SysAllocString(u"/keep");
  ASSERT_EQ(dialogs->SelectFolderDialog(nullptr, title.Get(), &folder, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(BstrView(folder), u"/keep");  // a cancelled dialog leaves the name alone
  EXPECT_EQ(dialogs->SelectFolderDialog(nullptr, title.Get(), &folder, &ok), E_FAIL);  // no answer left
  SysFreeString(folder);
  auto shown = host.Dialogs().Dialogs();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].options, 0x80044);
  EXPECT_EQ(shown[0].initial, u"/samples/");
  EXPECT_EQ(shown[0].title, u"Add Existing Item");

  std::int32_t answer = -1;
  host.Dialogs().QueueReadOnlyAnswer(1);
  BString file(u"/tmp/ro.pwp");
  dialogs->ResolveReadOnlyFile(file.Get(), &answer);
  EXPECT_EQ(answer, 1);
  dialogs->ResolveReadOnlyFile(file.Get(), &answer);
  EXPECT_EQ(answer, 0);

  host.SetInteractive(false);
  host.Dialogs().QueueAnswer({true, u"x"});
  BString name(u"");
  EXPECT_EQ(dialogs->SaveFileDialog(nullptr, title.Get(), name.Put(), filter.Get(), &index, nullptr, 0x80006, &ok),
            E_FAIL);
}

class Handler : public Implements<ComObject, IpwProjectActionHandler> {
 public:
  int executed = 0;
  std::int32_t ExecuteAction(const GUID&, const VARIANT&, VARIANT*) override {
    ++executed;
    return 0;
  }
  void UpdateAction(const GUID&) override {}
};

TEST(HostActions, ActionsHandlersAndMenusAreKept) {
  TestHost host;
  constexpr GUID kAction = MakeGuid("{33333333-0000-0000-0000-0000000000A1}");
  constexpr GUID kContext = MakeGuid("{33333333-0000-0000-0000-0000000000C1}");
  constexpr GUID kMenu = MakeGuid("{33333333-0000-0000-0000-0000000000B1}");
  auto actions = Service<IpwActionService>(host, host::services::kActions);
  BString category(u"Project");
  ComPtr<IpwAction> action;
  ASSERT_EQ(actions->CreateAction(1, kAction, category.Get(), VARIANT_TRUE, GUID_NULL, action.Put()), S_OK);
  action->SetProperty(1, OleVariant(u"Add Child Item").Get());
  ASSERT_EQ(actions->AddAction(kContext, action.Get()), S_OK);
  EXPECT_EQ(actions->CreateAction(1, kAction, category.Get(), VARIANT_TRUE, GUID_NULL, action.Put()), E_INVALIDARG);
  ASSERT_EQ(host.Actions().ActionsOf(kContext).size(), 1u);
  EXPECT_EQ(host.Actions().Find(kAction)->Property(1).AsString(), u"Add Child Item");

  auto handler = MakeObject<Handler>();
  actions->RegisterHandler(kAction, kContext, handler.Get());
  EXPECT_EQ(host.Actions().Execute(kAction, kContext), 0);
  EXPECT_EQ(handler->executed, 1);
  actions->UnregisterHandler(kAction, kContext);
  EXPECT_EQ(host.Actions().Execute(kAction, kContext), static_cast<std::int32_t>(E_INVALIDARG));
  EXPECT_TRUE(host.Actions().Registrations().empty());

  auto menus = Service<IpwMenuService>(host, host::services::kMenus);
  ComPtr<IpwMenu> menu;
  ASSERT_EQ(menus->FindMenu(kMenu, menu.Put()), S_OK);
  EXPECT_FALSE(menu);
  ASSERT_EQ(menus->CreateMenu(GUID_NULL, kMenu, menu.Put()), S_OK);
  ComPtr<IpwAction> found;
  menus->FindAction(kAction, found.Put());
  menu->BeginUpdate();
  menu->AddItem(OleVariant(static_cast<IUnknown*>(found.Get())).Get(), 3, 0);
  menu->AddItem(OleVariant(GuidToWideString(kContext)).Get(), 3, 0);
  menu->SetItemState(kAction, 2);
  EXPECT_EQ(menu->SetItemState(kMenu, 2), E_INVALIDARG);
  menu->EndUpdate();
  auto kept = host.Menus().Find(kMenu, false);
  ASSERT_EQ(kept->Items().size(), 2u);
  EXPECT_EQ(kept->Items()[0].state, 2);
  EXPECT_EQ(kept->UpdateDepth(), 0);
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

TEST(HostFileQuestions, ReloadAndUnsavedCopyAnswers) {
  host::TestHost host;
  auto reload = Service<IpwFileReloadManager>(host, host::services::kFileReload);
  auto unsaved = Service<IpwLoadFromUnsavedFileQuery>(host, host::services::kUnsavedFileQuery);
  BString file(u"/p/Unit1.pwi");
  VARIANT_BOOL answer = 0;
  host.FileReloads().QueueAnswer(false);
  ASSERT_EQ(reload->ReloadWanted(file.Get(), nullptr, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(reload->ReloadWanted(file.Get(), nullptr, &answer), E_FAIL);  // nobody answered
  host.UnsavedFiles().QueueAnswer(true);
  ASSERT_EQ(unsaved->LoadFromUnsavedFile(file.Get(), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);

  // Without dialogs: the file on disk is reloaded, the unsaved copy is not opened.
  host.SetInteractive(false);
  ASSERT_EQ(reload->ReloadWanted(file.Get(), nullptr, &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_TRUE);
  ASSERT_EQ(unsaved->LoadFromUnsavedFile(file.Get(), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(host.FileReloads().Questions().size(), 2u);
  EXPECT_EQ(host.UnsavedFiles().Questions().front().fileName, u"/p/Unit1.pwi");
}

TEST(HostProviders, RegisteredAvailableAndFound) {
  host::TestHost host;
  auto providers = Service<IpwProviderRegistry>(host, host::services::kProviderRegistry);
  constexpr GUID kKey = MakeGuid("{33333333-0000-0000-0000-0000000000D1}");
  VARIANT_BOOL registered = 0, available = 0;
  providers->IsRegistered(kKey, &registered);
  EXPECT_EQ(registered, VARIANT_FALSE);
  ASSERT_EQ(providers->RegisterObject(kKey, host.Log().Identity()), S_OK);
  providers->IsRegistered(kKey, &registered);
  providers->IsAvailable(kKey, &available);
  EXPECT_EQ(registered, VARIANT_TRUE);
  EXPECT_EQ(available, VARIANT_TRUE);
  host.Providers().SetAvailable(kKey, false);
  providers->IsAvailable(kKey, &available);
  EXPECT_EQ(available, VARIANT_FALSE);
  ComPtr<IUnknown> found;
  ASSERT_EQ(providers->GetRegisteredObject(kKey, found.Put(), -1), S_OK);
  EXPECT_EQ(IdentityOf(found.Get()), host.Log().Identity());
  EXPECT_EQ(providers->GetRegisteredObject(kKey, found.Put(), 3), E_INVALIDARG);
  providers->UnregisterObject(kKey);
  ASSERT_EQ(providers->GetRegisteredObject(kKey, found.Put(), -1), S_OK);
  EXPECT_FALSE(found);
}

}  // namespace
}  // namespace pw

namespace pw::host {
namespace {

// A child asked for its parent while the parent leaves the tree and is released on another
// thread gets the parent or nil, never a parent that is being destroyed.
TEST(HostObjectTree, AskingForAParentRacesSafelyWithItsRelease) {
  TestHost host;
  for (int round = 0; round < 200; ++round) {
    auto parent = host.Sys().AddChild(u"Process", {OleVariant(u"p")});
    auto child = parent->AddChild(u"Window", {OleVariant(u"w")});
    const GUID parentKey = parent->Key();
    std::atomic<bool> go{false};
    std::thread asker([&] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < 50; ++i) {
        ComPtr<IpwSysNode> p;
        ASSERT_EQ(child->GetParent(p.Put()), S_OK);
        GUID key{};
        if (p) {
          ASSERT_EQ(QueryAs<IpwSysNodeEx>(p.Get())->GetNodeKey(&key), S_OK);
          EXPECT_EQ(key, parentKey);
        }
      }
    });
    go = true;
    host.Sys().RemoveChild(parent.Get());
    parent = nullptr;  // the last reference, while the child may be asking
    asker.join();
    ComPtr<IpwSysNode> gone;
    ASSERT_EQ(child->GetParent(gone.Put()), S_OK);
    EXPECT_FALSE(gone) << "a released parent is no one's parent";
  }
}

}  // namespace
}  // namespace pw::host

namespace pw::host {
namespace {

class TUntypedSet final : public Implements<ComObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    return E_NOTIMPL;
  }
};

// Events are raised on worker threads: their lines reach the printer one at a time and whole,
// as "<set>.<member or DISPID>(<arguments in declared order>)".
TEST(HostEventSets, LinesRaisedOnManyThreadsReachThePrinterOneAtATime) {
  TestHost host;
  std::vector<WideString> printed;  // deliberately unguarded: the host serialises the printer
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  host.SetPrinter([&](const WideString& line) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    printed.push_back(line);
    inside.fetch_sub(1);
  });
  constexpr GUID kSet = MakeGuid("{6E1D1F51-7C33-4A5C-9F43-0A5A3B6C2D10}");
  auto set = MakeObject<TUntypedSet>();
  BString name(u"Test Events");
  ASSERT_EQ(host.EventSets().RegisterEventSet(set.Get(), kSet, name.Get(), 0), S_OK);

  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        OleVariant last(u"url"), first(7);
        std::int32_t index = 0;
        SafeArrayPutElement(array, &index, last.Ptr());  // the last declared argument comes first
        index = 1;
        SafeArrayPutElement(array, &index, first.Ptr());
        VARIANT arguments;
        VariantInit(&arguments);
        arguments.vt = VT_ARRAY | VT_VARIANT;
        arguments.parray = array;
        OleVariant held = OleVariant::Attach(arguments);
        EXPECT_EQ(host.EventSets().RaiseEvent(kSet, 0x60010001, held.Get()), S_OK);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_FALSE(overlapped.load());
  ASSERT_EQ(printed.size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_EQ(printed.front(), u"Test Events." + IntToWide(0x60010001) + u"(7, \"url\")");
  EXPECT_EQ(host.EventSets().Raised().size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace pw::host
