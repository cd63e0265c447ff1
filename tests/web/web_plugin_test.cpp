// The Web Testing plug-in and its five builders on stub nodes: the builders handed out, the
// runtime-object records, the object-kind bitmaps and their counters, the call information of
// waits, the plug-in's life (type libraries, analyzer registration) and the test runs that start
// and stop web event delivery; the slices each builder attaches by control type, process name,
// window class, capability and object type, the frame process id and the HTML 5 counters.
#include <map>
#include <set>

#include "host/com_support.h"
#include "host/plugin_host.h"
#include "host/project_services.h"
#include "openapps/module_resources.h"
#include "platform/automation/safearray.h"
#include "platform/com/guid.h"
#include "platform/kernel/processes.h"
#include "platform/ui/gdi.h"
#include "platform/ui/resources.h"
#include "tests/support/scratch_dir.h"
#include "openapps/extensions/controls.h"
#include "tests/web/nav_fixture.h"
#include "tests/web/stub_node_objects.h"
#include "web/controls/select_elements.h"
#include "web/plugin/web_builders.h"
#include "web/plugin/web_testing_plugin.h"

namespace pw::web::test {
namespace {

// A slice stand-in for the classes other parts build.
class TStubSlice final : public Implements<ComObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

class TKind final : public Implements<ComObject, IpwObjectKindInfo> {
 public:
  GUID key{};
  std::int32_t tag = 0;
  HRESULT GetKindKey(GUID* k) override {
    *k = key;
    return S_OK;
  }
  HRESULT Reserved4() override { return E_NOTIMPL; }
  HRESULT Reserved5() override { return E_NOTIMPL; }
  HRESULT GetKindTag(std::int32_t* t) override {
    *t = tag;
    return S_OK;
  }
};

// An object context with its details: object type text, capabilities by GUID text, the kind.
class TContext final : public Implements<ComObject, IpwObjectContext2, IpwObjectContextDetails> {
 public:
  WideString type;
  bool typeFound = true;
  std::map<WideString, OleVariant> capabilities;
  ComPtr<TKind> kind = MakeObject<TKind>();
  HRESULT IsValid(VARIANT_BOOL* valid) override {
    *valid = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Renew(IUnknown**, GUID*, IpwObjectContext2**, VARIANT_BOOL* renewed) override {
    *renewed = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT GetObject(IDispatch** object) override {
    *object = nullptr;
    return S_OK;
  }
  PW_OBJECT_CONTEXT2_RESERVED
  HRESULT GetIdentifier(BSTR* identifier) override {
    *identifier = nullptr;
    return S_OK;
  }
  HRESULT GetKindObject(IUnknown** k) override {
    *k = ComPtr<IUnknown>(static_cast<IpwObjectKindInfo*>(kind.Get())).Detach();
    return S_OK;
  }
  HRESULT GetObjectType(BSTR* text, VARIANT* value, VARIANT_BOOL* found) override {
    VariantInit(value);
    *text = SysAllocString(type.c_str());
    *found = typeFound ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT GetCapability(BSTR name, VARIANT* value, VARIANT_BOOL* found) override {
    auto it = capabilities.find(WideString(BstrView(name)));
    *found = it != capabilities.end() ? VARIANT_TRUE : VARIANT_FALSE;
    VariantInit(value);
    if (it != capabilities.end()) *value = OleVariant(it->second).Detach();
    return S_OK;
  }
};

// An element object: its object context (7) and control information (15).
class TElement final : public Implements<ComObject, IpwTabContext> {
 public:
  ComPtr<TContext> context = MakeObject<TContext>();
  ComPtr<IDispatch> info;
  HRESULT GetTabObject(IDispatch** tab) override {
    *tab = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetElementValue(VARIANT*) override { return E_NOTIMPL; }
  HRESULT MakeObjectContext(BSTR, const VARIANT&, IUnknown**) override { return E_NOTIMPL; }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT GetObjectContext(IUnknown** c) override {
    *c = ComPtr<IUnknown>(static_cast<IpwObjectContext2*>(context.Get())).Detach();
    return S_OK;
  }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved9() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved11() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }
  HRESULT Reserved13() override { return E_NOTIMPL; }
  HRESULT Reserved14() override { return E_NOTIMPL; }
  HRESULT GetControlInfo(IDispatch** i) override {
    *i = ComPtr<IDispatch>(info).Detach();
    return S_OK;
  }
};

// A browser process object that also asks to be tracked.
class TTrackedProcess final : public Implements<ComObject, IpwSysObjectProcess, IpwProcessTracking> {
 public:
  WideString name, commandLine;
  std::int32_t id = 0;
  std::vector<std::int32_t> tracked;
  HRESULT GetProcessId(std::int32_t* i) override {
    *i = id;
    return S_OK;
  }
  HRESULT GetProcessName(BSTR* n) override {
    *n = SysAllocString(name.c_str());
    return S_OK;
  }
  HRESULT GetCommandLine(BSTR* c) override {
    *c = SysAllocString(commandLine.c_str());
    return S_OK;
  }
  HRESULT Track(std::int32_t mode) override {
    tracked.push_back(mode);
    return S_OK;
  }
};

class TStubProvider final : public Implements<ComObject, IpwWebProjectEventProvider> {
 public:
  std::vector<std::string> calls;
  HRESULT Initialize(IcvBaseManager*) override {
    calls.push_back("initialize");
    return S_OK;
  }
  HRESULT Start() override {
    calls.push_back("start");
    return S_OK;
  }
  HRESULT Stop() override {
    calls.push_back("stop");
    return S_OK;
  }
  HRESULT Finalize() override {
    calls.push_back("finalize");
    return S_OK;
  }
};

class WebPluginTest : public NavTest {
 protected:
  WebPluginTest() {
    RegisterModuleResources(&ModuleResourceTable());
    savedCounters = UsageCounters();
    savedFactories = WebSliceFactories();
    UsageCounters() = {[this](const GUID& key, const char16_t* name) { registered.emplace_back(key, name); },
                       [this](const GUID& key, std::int32_t amount) { counted[key] += amount; }};
  }
  ~WebPluginTest() override {
    UsageCounters() = savedCounters;
    WebSliceFactories() = savedFactories;
  }

  ComPtr<TpwWebTestingPlugin> MakePlugin() {
    TpwWebTestingParts parts = DefaultWebTestingParts();
    parts.makeFlashConnection = nullptr;  // the connection has tests of its own, under their own names
    parts.makeEventProvider = [this] {
      provider = MakeObject<TStubProvider>();
      return ComPtr<IpwWebProjectEventProvider>(provider.Get());
    };
    return MakeObject<TpwWebTestingPlugin>(std::move(parts));
  }
  ComPtr<TpwWebTestingPlugin> StartedPlugin() {
    auto p = MakePlugin();
    OleCheck(p->Initialize(Manager()));
    OleCheck(p->PostInitialize());
    return p;
  }
  ComPtr<IpwSysNodeBuilder> Builder(TpwWebTestingPlugin& plugin, std::int32_t index) {
    ComPtr<IpwSysNodeBuilder> builder;
    OleCheck(plugin.GetBuilder(index, builder.Put()));
    return builder;
  }
  // A node of the tree with a native object of a kind, offered to the builder.
  ComPtr<host::TSysNode> Offer(IpwSysNodeBuilder* builder, const GUID& kind, IUnknown* native) {
    auto node = host.Sys().AddChild(u"Node", {OleVariant(++nodes)});
    node->SetNativeObject(kind, native);
    OleCheck(builder->ExtendNode(Node(node)));
    return node;
  }
  static std::vector<GUID> SliceIids(const ComPtr<host::TSysNode>& node) {
    std::vector<GUID> out;
    for (const auto& s : node->Slices()) out.push_back(s.iid);
    return out;
  }

  TpwUsageCounters savedCounters;
  TpwWebSliceFactories savedFactories;
  std::vector<std::pair<GUID, WideString>> registered;
  std::map<GUID, std::int32_t> counted;
  ComPtr<TStubProvider> provider;
  int nodes = 0;
};

// ---- The plug-in ----------------------------------------------------------------------------

TEST_F(WebPluginTest, GetBuilderHandsOutFiveNewBuildersAndLeavesOtherIndexes) {
  auto plugin = StartedPlugin();
  EXPECT_EQ(plugin->GetBuilderCount(), 5);
  const GUID kinds[] = {kWebElementKind, kWebWindowKind, kWebProcessKind, kContextTableKind, kSysBuilderKind};
  for (std::int32_t i = 0; i < 5; ++i) {
    auto b = Builder(*plugin, i);
    ASSERT_TRUE(b) << i;
    GUID kind{};
    OleCheck(b->GetKind(&kind));
    EXPECT_EQ(kind, kinds[i]) << i;
  }
  // Two context-table builders: two fresh keys; the Sys builder's key is fixed.
  GUID k1{}, k2{}, sys{};
  OleCheck(Builder(*plugin, 3)->GetKey(&k1));
  OleCheck(Builder(*plugin, 3)->GetKey(&k2));
  OleCheck(Builder(*plugin, 4)->GetKey(&sys));
  EXPECT_NE(k1, k2);
  EXPECT_EQ(sys, kSysBuilderKey);
  // Index 5 (and -1) leave the out value as given and succeed.
  auto sentinel = Builder(*plugin, 0);
  for (std::int32_t index : {5, -1}) {
    IpwSysNodeBuilder* out = sentinel.Get();
    EXPECT_EQ(plugin->GetBuilder(index, &out), S_OK);
    EXPECT_EQ(out, sentinel.Get());
  }
  EXPECT_EQ(plugin->BuilderProviderOperation6(), 0);
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, RuntimeObjectRecords) {
  auto plugin = MakePlugin();
  const char16_t* names[] = {u"Web", u"IESettings", u"IEZoneSettings", u"FlashSettings"};
  EXPECT_EQ(plugin->GetObjectCount(), 4);
  for (std::int32_t i = 0; i <= 4; ++i) {
    BSTR name = nullptr;
    IUnknown* object = nullptr;
    VARIANT_BOOL first = VARIANT_FALSE, second = VARIANT_FALSE;
    ASSERT_EQ(plugin->GetObjectItem(i, &name, &object, &first, &second), S_OK) << i;
    EXPECT_EQ(object, nullptr) << i;  // made with the settings pages, not yet
    EXPECT_EQ(second, VARIANT_TRUE) << i;
    if (i < 4) {
      EXPECT_EQ(BstrView(name), WideStringView(names[i]));
      EXPECT_EQ(first, VARIANT_TRUE);
    } else {
      EXPECT_EQ(name, nullptr);
      EXPECT_EQ(first, VARIANT_FALSE);  // the first flag is left as the caller passed it
    }
    SysFreeString(name);
  }
}

TEST_F(WebPluginTest, KindBitmapsAreCachedAndCountedOnce) {
  auto plugin = MakePlugin();
  struct Case {
    const char16_t* kind;
    const char16_t* counter;  // nil: the page icon, no counter
  } cases[] = {
      {u"FlashObject", u"Flash"}, {u"flexobject", u"Flex"}, {u"AIROBJECT", u"AIR"}, {u"", nullptr}, {u"div", nullptr}};
  std::int32_t pageIcon = 0;
  OleCheck(plugin->GetBitmap(&pageIcon));
  for (const auto& c : cases) {
    std::int32_t first = 0, second = 0;
    BString kind(c.kind);
    OleCheck(plugin->GetKindBitmap(kind.Get(), &first));
    OleCheck(plugin->GetKindBitmap(kind.Get(), &second));
    EXPECT_EQ(first, second) << WideToUtf8(c.kind);
    EXPECT_TRUE(IsGdiObject(first));
    if (!c.counter) {
      EXPECT_EQ(first, pageIcon) << WideToUtf8(c.kind);
      continue;
    }
    EXPECT_NE(first, pageIcon);
    auto reg = std::find_if(registered.begin(), registered.end(), [&](const auto& r) { return r.second == c.counter; });
    ASSERT_NE(reg, registered.end()) << WideToUtf8(c.counter);
    EXPECT_EQ(counted[reg->first], 1) << WideToUtf8(c.counter);  // the second request did not count
  }
  EXPECT_EQ(registered.size(), 3u);
}

TEST_F(WebPluginTest, CallInformationOfWaits) {
  auto plugin = MakePlugin();
  auto ask = [&](const GUID& kind, IUnknown* object, OleVariant& out) {
    auto request = MakeObject<TCallRequest>();
    request->kind = kind;
    request->object = object;
    return plugin->GetCallInformation(request.Get(), out.Ptr()) != VARIANT_FALSE;
  };
  auto nameOf = [](const VARIANT& v) {
    auto info = QueryAs<IpwObjectCallInformation>(v.vt == VT_DISPATCH ? static_cast<IUnknown*>(v.pdispVal) : v.punkVal);
    BString name;
    if (info) OleCheck(info->GetName(name.Put()));
    return WideString(name.View());
  };
  auto element = [](const char16_t* name) {
    auto e = MakeObject<TElement>();
    e->context->type = name;
    return e;
  };
  // A page: the four dialog waits in order.
  OleVariant out;
  ASSERT_TRUE(ask(kNativeWebObjectType, static_cast<IpwTabContext*>(element(u"Page").Get()), out));
  ASSERT_EQ(out.Ptr()->vt, VT_ARRAY | VT_VARIANT);
  std::vector<WideString> waits;
  for (std::int32_t i = 0; i < 4; ++i) {
    OleVariant item;
    OleCheck(SafeArrayGetElement(out.Ptr()->parray, &i, item.Ptr()));
    waits.push_back(nameOf(*item.Ptr()));
  }
  EXPECT_EQ(waits, (std::vector<WideString>{u"Alert", u"Confirm", u"Prompt", u"Login"}));
  // "all" and "frames" on any tree model; another name only on DOM and Hybrid.
  struct Case {
    const char16_t* name;
    std::uint8_t model;
    const char16_t* wait;  // nil: no information
  } cases[] = {{u"all", 3, u"Item"}, {u"Frames", 1, u"Frame"}, {u"frame", 3, u"Frame"}, {u"div", 0, u"Item"},
               {u"div", 2, u"Item"}, {u"div", 1, nullptr},     {u"div", 3, nullptr},    {u"", 0, nullptr}};
  for (const auto& c : cases) {
    plugin->SetTreeModel(c.model);
    OleVariant v;
    const bool answered = ask(kNativeWebObjectType, static_cast<IpwTabContext*>(element(c.name).Get()), v);
    EXPECT_EQ(answered, c.wait != nullptr) << WideToUtf8(c.name) << " " << int(c.model);
    if (c.wait) EXPECT_EQ(nameOf(*v.Ptr()), c.wait);
    else EXPECT_EQ(v.Ptr()->vt, VT_EMPTY);
  }
  // Windows: the page wait on an IE server window in any case; processes: never.
  OleVariant w;
  auto server = MakeObject<TWindowObject>(u"internet explorer_SERVER");
  ASSERT_TRUE(ask(kWebWindowKind, static_cast<IpwWindowObjectInfo*>(server.Get()), w));
  EXPECT_EQ(nameOf(*w.Ptr()), u"Page");
  auto frame = MakeObject<TWindowObject>(u"IEFrame");
  EXPECT_FALSE(ask(kWebWindowKind, static_cast<IpwWindowObjectInfo*>(frame.Get()), w));
  plugin->SetTreeModel(0);
  EXPECT_FALSE(ask(kWebProcessKind, static_cast<IpwTabContext*>(element(u"all").Get()), w));
  EXPECT_FALSE(ask(kNativeWebObjectType, nullptr, w));
}

TEST_F(WebPluginTest, InitializeWithoutTheLibrariesCreatesNothingAndFinalizeCopes) {
  pw::test::ScratchDir empty;
  host::TestHostOptions options;
  options.interactive = false;
  options.folder = Utf8ToWide(empty.Path().string()) + u"/";
  host::TestHost bare(options);
  auto plugin = MakePlugin();
  EXPECT_TRUE(Failed(plugin->Initialize(bare.Manager())));
  EXPECT_FALSE(plugin->Analyzer());
  EXPECT_FALSE(plugin->EventProvider());
  EXPECT_FALSE(provider);
  EXPECT_EQ(plugin->Finalize(), S_OK);
  EXPECT_TRUE(bare.Recording().Analyzers().empty());
}

TEST_F(WebPluginTest, TheAnalyzerIsRegisteredOnceWhenTheRegistryComesAtPostInitialize) {
  ComPtr<IUnknown> service(static_cast<IpwRecordingService*>(&host.Recording()));
  host.SetService(host::services::kRecording, nullptr);
  auto plugin = MakePlugin();
  OleCheck(plugin->Initialize(Manager()));
  EXPECT_FALSE(plugin->AnalyzerRegistered());
  EXPECT_EQ(provider->calls, std::vector<std::string>{"initialize"});
  host.SetService(host::services::kRecording, service.Get());
  OleCheck(plugin->PostInitialize());
  OleCheck(plugin->PostInitialize());
  EXPECT_TRUE(plugin->AnalyzerRegistered());
  ASSERT_EQ(host.Recording().Analyzers().size(), 1u);
  OleCheck(plugin->Finalize());
  EXPECT_TRUE(host.Recording().Analyzers().empty());
  EXPECT_EQ(provider->calls.back(), "finalize");
}

// A project of the registry with an Events item whose controls handle the listed sets.
ComPtr<host::THostProjectNode> AddProject(host::TestHost& host, std::vector<std::vector<GUID>> controls) {
  auto project = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project");
  auto events = MakeObject<host::THostProjectNode>(project.Get(), kEventsItemType, u"Events");
  project->AddChild(events.Get());
  for (auto& sets : controls) {
    auto control = MakeObject<host::THostProjectNode>(events.Get(), GUID_NULL, u"Control");
    control->SetHandledEventSets(std::move(sets));
    events->AddChild(control.Get());
  }
  host.Projects().AddNode(project.Get());
  return project;
}

TEST_F(WebPluginTest, TheEventsWalkFindsTheWebSet) {
  const GUID other = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  struct Case {
    std::vector<std::vector<GUID>> controls;
    bool handles;
  } cases[] = {{{}, false},
               {{{other}}, false},
               {{{other}, {other, kWebTestingEventSet}}, true},
               {{{kWebTestingEventSet}}, true}};
  for (auto& c : cases) {
    host::TestHostOptions options;
    options.interactive = false;
    host::TestHost h(options);
    auto project = AddProject(h, c.controls);
    GUID key{};
    OleCheck(project->GetKey(&key));
    EXPECT_EQ(ProjectHandlesWebEvents(h.Manager(), key), c.handles) << c.controls.size();
    project->ClearChildren();
  }
}

TEST_F(WebPluginTest, RunsStartAndStopDeliveryAndNeverCountBelowZero) {
  auto plugin = StartedPlugin();
  auto project = AddProject(host, {{kWebTestingEventSet}});
  host.Projects().SetCurrentNode(nullptr);
  OleCheck(host.Broker().RegisterSubscription(plugin.Get()));
  // An end before any start is ignored; then 3, 3, 11, 11.
  provider->calls.clear();
  OleCheck(plugin->OnEvent2(kEngineRunEnds));
  EXPECT_EQ(plugin->ActiveRuns(), 0);
  EXPECT_TRUE(provider->calls.empty());
  // The node of the project becomes current outside a run: only recorded.
  GUID key{};
  OleCheck(project->GetKey(&key));
  EXPECT_EQ(host.Broker().FireNodeChanged(nullptr), 1u);
  EXPECT_EQ(plugin->CurrentProject(), GUID_NULL);
  EXPECT_TRUE(provider->calls.empty());
  // No default project in this host: the first start stops delivery, the second changes nothing.
  EXPECT_EQ(host.Broker().FireTestEngineEvent(kEngineRunStarts, OleVariant(), true), 1u);
  host.Broker().FireTestEngineEvent(kEngineRunStarts, OleVariant(), true);
  EXPECT_EQ(plugin->ActiveRuns(), 2);
  EXPECT_EQ(provider->calls, std::vector<std::string>{"stop"});
  host.Broker().FireTestEngineEvent(kEngineRunEnds, OleVariant(), true);
  EXPECT_EQ(provider->calls.size(), 1u);
  host.Broker().FireTestEngineEvent(kEngineRunEnds, OleVariant(), true);
  EXPECT_EQ(plugin->ActiveRuns(), 0);
  EXPECT_EQ(provider->calls, (std::vector<std::string>{"stop", "stop"}));
  host.Broker().UnregisterSubscription(&key);
  GUID pluginKey = kWebTestingPluginKey;
  host.Broker().UnregisterSubscription(&pluginKey);
  project->ClearChildren();
  OleCheck(plugin->Finalize());
}

// A project node that names its project (IpwNodeSettingsSource's project key).
class TProjectItem final : public Implements<ComObject, IpwNodeSettingsSource> {
 public:
  GUID project{};
  HRESULT GetKey(GUID* k) override {
    *k = GUID_NULL;
    return S_OK;
  }
  HRESULT GetProjectKey(GUID* k) override {
    *k = project;
    return S_OK;
  }
  HRESULT GetTypeKey(GUID* k) override {
    *k = GUID_NULL;
    return S_OK;
  }
  HRESULT GetSettings(IUnknown** s) override {
    *s = nullptr;
    return S_OK;
  }
};

TEST_F(WebPluginTest, NodeChangedDuringARunAppliesTheRuleForTheNodesProject) {
  auto plugin = StartedPlugin();
  auto project = AddProject(host, {{kWebTestingEventSet}});
  auto item = MakeObject<TProjectItem>();
  OleCheck(project->GetKey(&item->project));
  OleCheck(plugin->OnEvent2(kEngineRunStarts));
  provider->calls.clear();
  OleCheck(plugin->NodeChanged(static_cast<IpwNodeSettingsSource*>(item.Get())));
  EXPECT_EQ(plugin->CurrentProject(), item->project);
  EXPECT_EQ(provider->calls, std::vector<std::string>{"start"});
  OleCheck(plugin->OnEvent2(kEngineRunEnds));
  EXPECT_EQ(provider->calls.back(), "stop");
  // The next run starts with the recorded project.
  OleCheck(plugin->OnEvent2(kEngineRunStarts));
  EXPECT_EQ(provider->calls.back(), "start");
  OleCheck(plugin->OnEvent2(kEngineRunEnds));
  project->ClearChildren();
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, SubscriptionListsEngineAndNodeEvents) {
  auto plugin = MakePlugin();
  std::int32_t count = 0;
  OleCheck(static_cast<IpwEventSubscription*>(plugin.Get())->GetCount(&count));
  EXPECT_EQ(count, 2);
  GUID iid{};
  std::int32_t value = 7;
  OleCheck(plugin->GetItem(0, &iid, &value));
  EXPECT_EQ(iid, IpwTestEngineEvents::iid);
  EXPECT_EQ(value, 0);
  OleCheck(plugin->GetItem(1, &iid, &value));
  EXPECT_EQ(iid, kHostEventsSubscriptionItem);
  iid = GUID_NULL;
  value = 7;
  OleCheck(plugin->GetItem(2, &iid, &value));  // untouched
  EXPECT_EQ(iid, GUID_NULL);
  EXPECT_EQ(value, 7);
  BString name;
  OleCheck(static_cast<IpwEventSubscription*>(plugin.Get())->GetName(name.Put()));
  EXPECT_EQ(name.View(), u"TpwWebTestingPlugin");
}

// One object answers two counts named alike: the subscription's 2 and the warning options' 1.
// The warning option is the same whatever the index; the settings-group listener has only its
// key and two steps that do nothing.
TEST_F(WebPluginTest, WarningOptionAndSettingsGroupListener) {
  auto plugin = MakePlugin();
  ComPtr<IpwWarningOptionProvider> warnings;
  ASSERT_EQ(plugin->QueryInterface(IpwWarningOptionProvider::iid, warnings.PutVoid()), S_OK);
  std::int32_t count = 0;
  OleCheck(warnings->GetCount(&count));
  EXPECT_EQ(count, 1);
  OleCheck(static_cast<IpwEventSubscription*>(plugin.Get())->GetCount(&count));
  EXPECT_EQ(count, 2);
  for (std::int32_t index : {0, 1, -1}) {
    GUID key{};
    BString caption, description;
    OleCheck(warnings->GetOptionKey(index, &key));
    OleCheck(warnings->GetOptionName(index, caption.Put()));
    OleCheck(warnings->GetOptionDescription(index, description.Put()));
    EXPECT_EQ(GuidToString(key), "{2CC97723-B13B-41D7-B6F8-360974A2AE2A}") << index;
    EXPECT_EQ(caption.View(), u"Show the \"Application was not prepared properly\" message") << index;
    EXPECT_EQ(description.View(),
              u"Specifies if the test engine will display a special message when it detects that a Flash, Flex or "
              u"an AIR application was not prepared properly for testing.")
        << index;
  }
  ComPtr<IUnknown> identity;
  OleCheck(warnings->QueryInterface(IUnknown::iid, identity.PutVoid()));
  EXPECT_EQ(identity.Get(), plugin->Identity());

  ComPtr<IpwSettingsGroupListener> group;
  ASSERT_EQ(plugin->QueryInterface(MakeGuid("{22345578-A212-4C7F-A05A-646ED72D2CB4}"), group.PutVoid()), S_OK);
  GUID key{};
  OleCheck(group->GetKey(&key));
  EXPECT_EQ(GuidToString(key), "{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}");
  EXPECT_EQ(group->Operation4(static_cast<IpwEventSubscription*>(plugin.Get())), S_OK);
  EXPECT_EQ(group->Operation5(), S_OK);
}

// ---- The builders ---------------------------------------------------------------------------

TEST_F(WebPluginTest, ElementControlsByControlType) {
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 0);
  // flag: for a combo box whether it opens without its own click first, for a button whether it
  // is a radio button; -1 where the slice has no such flag.
  struct Case {
    const char16_t* type;
    GUID iid;  // GUID_NULL: no slice
    int flag;
  } cases[] = {
      {u"SELECT", slice_iids::kSelect, 1},
      {u"select", slice_iids::kSelect, 1},
      {u"flash@combobox", slice_iids::kSelect, 0},
      {u"FLASH@ComboBox", slice_iids::kSelect, 0},
      {u"multiselect", slice_iids::kSelect, -1},
      {u"Flash@List", slice_iids::kSelect, -1},
      {u"iframe", slice_iids::kObjectLocator, -1},
      {u"frame", slice_iids::kObjectLocator, -1},
      {u"input@checkbox", slice_iids::kCheckBox, -1},
      {u"tabbutton", slice_iids::kButton, -1},
      {u"input@radio", slice_iids::kButton, 1},
      {u"INPUT@Radio", slice_iids::kButton, 1},
      {u"input@submit", slice_iids::kButton, 0},
      {u"input@button", slice_iids::kButton, 0},
      {u"input@reset", slice_iids::kButton, 0},
      {u"flash@button", slice_iids::kButton, 0},
      {u"Button", slice_iids::kButton, 0},
      {u"flash@tablist", slice_iids::kTabList, -1},
      {u"ie8addressedit", slice_iids::kIE8Edit, -1},
      {u"", GUID_NULL, -1},
      {u"div", GUID_NULL, -1},
      {u"select ", GUID_NULL, -1},
      {u"input@text", GUID_NULL, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.type));
    auto element = MakeObject<TElement>();
    element->info = MakeObject<TControlInfo>(c.type).Get();
    element->context->kind->tag = 42;
    auto node = Offer(builder.Get(), kWebElementKind, static_cast<IpwTabContext*>(element.Get()));
    auto slices = node->Slices();
    if (c.iid == GUID_NULL) {
      EXPECT_TRUE(slices.empty());
      continue;
    }
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].iid, c.iid);
    EXPECT_EQ(slices[0].tag, 42);
    EXPECT_EQ(slices[0].group, kWebElementKind);
    IDispatch* slice = slices[0].dispatch.Get();
    if (auto* combo = dynamic_cast<TpwWebComboElement*>(slice)) {
      EXPECT_EQ(combo->OpenWithoutClick(), c.flag == 1);
    } else if (auto* button = dynamic_cast<TpwGenericButton*>(slice)) {
      EXPECT_EQ(button->IsRadio(), c.flag == 1);
    } else {
      EXPECT_EQ(c.flag, -1) << "a slice with a flag";
    }
  }
  auto node = Offer(builder.Get(), kWebElementKind, nullptr);
  EXPECT_TRUE(node->Slices().empty());  // no element object: nothing
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, AFailingElementGetsNothingAndTheOfferSucceeds) {
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 0);
  auto element = MakeObject<TElement>();  // no control information: the read fails
  element->info = nullptr;
  auto node = Offer(builder.Get(), kWebElementKind, static_cast<IpwTabContext*>(element.Get()));
  EXPECT_TRUE(node->Slices().empty());
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, ProcessesByName) {
  WebSliceFactories().pageFind = [](IpwSysManager* sys) {
    EXPECT_TRUE(sys);
    return ComPtr<IDispatch>(MakeObject<TStubSlice>().Get());
  };
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 2);
  struct Case {
    const char16_t* name;
    std::vector<GUID> iids;
  } cases[] = {
      {u"IEXPLORE", {slice_iids::kPageFind, slice_iids::kPageLocator, slice_iids::kIEFrameMethod}},
      {u"chrome", {slice_iids::kPageFind, slice_iids::kPageLocator}},
      {u"Firefox", {slice_iids::kPageFind, slice_iids::kPageLocator}},
      {u"opera", {slice_iids::kPageFind, slice_iids::kPageLocator}},
      {u"safari", {slice_iids::kPageFind, slice_iids::kPageLocator}},
      {u"notepad", {}},
      {u"chrome.EXE", {slice_iids::kPageFind, slice_iids::kPageLocator}},
      {u"chrome.exe.exe", {}},
      {u".exe", {}},
  };
  for (const auto& c : cases) {
    auto process = MakeObject<TTrackedProcess>();
    process->name = c.name;
    process->id = 900;
    auto node = Offer(builder.Get(), kWebProcessKind, static_cast<IpwSysObjectProcess*>(process.Get()));
    EXPECT_EQ(SliceIids(node), c.iids) << WideToUtf8(c.name);
    EXPECT_EQ(process->tracked, c.iids.empty() ? std::vector<std::int32_t>{} : std::vector<std::int32_t>{-1});
  }
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, FrameProcessIdFromTheCommandLine) {
  struct Case {
    const char16_t* commandLine;
    std::int32_t id;
  } cases[] = {
      {u"iexplore.exe SCODEF:4711 CREDAT:1", 4711},
      {u"iexplore.exe SCODEF:4711", 4711},
      {u"iexplore.exe SCODEF:4711\tCREDAT:1", 4711},
      {u"iexplore.exe SCODEF:4711\t", 4711},
      {u"iexplore.exe SCODEF:\t4711", 77},
      {u"iexplore.exe SCODEF:", 77},
      {u"iexplore.exe SCODEF:47x1 x", 77},
      {u"iexplore.exe SCODEF:99999999999 x", 77},
      {u"iexplore.exe", 77},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFrameProcessId(c.commandLine, 77), c.id) << WideToUtf8(c.commandLine);
}

TEST_F(WebPluginTest, WindowsByClass) {
  DescribeProcess({5150,
                   u"iexplore.exe",
                   {},
                   {{0x51501, u"IEFrame"}, {0x51502, u"Internet Explorer_Server"}, {0x51503, u"Notepad"}}});
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 1);
  struct Case {
    std::int32_t window;
    std::vector<GUID> iids;
  } cases[] = {{0x51501, {slice_iids::kIEFrame}}, {0x51502, {slice_iids::kPageLocator}}, {0x51503, {}}};
  for (const auto& c : cases) {
    auto window = host.Sys().AddChild(u"Window", {OleVariant(c.window)});
    window->SetWindowHandle(c.window);
    auto node = Offer(builder.Get(), kWebWindowKind, static_cast<IpwSysObjectWindow*>(window.Get()));
    EXPECT_EQ(SliceIids(node), c.iids) << c.window;
  }
  RemoveProcessDescription(5150);
  OleCheck(plugin->Finalize());
}

// A page or web object node: its native context gives the object context.
ComPtr<host::TSysNode> ContextNode(host::TestHost& host, const ComPtr<TContext>& context) {
  auto node = host.Sys().AddChild(u"Object");
  node->SetPageContext(static_cast<IpwObjectContext2*>(context.Get()));
  return node;
}

TEST_F(WebPluginTest, ContextTableByCapabilityAndType) {
  WebSliceFactories().evaluateXPath = [](IcvBaseManager*) { return ComPtr<IDispatch>(MakeObject<TStubSlice>().Get()); };
  WebSliceFactories().cssSelector = [](IcvBaseManager*) { return ComPtr<IDispatch>(MakeObject<TStubSlice>().Get()); };
  auto plugin = StartedPlugin();
  EXPECT_EQ(registered.size(), 0u);
  auto builder = Builder(*plugin, 3);
  ASSERT_EQ(registered.size(), 16u);  // the HTML 5 counters, at construction
  EXPECT_EQ(registered[15].first, MakeGuid("{1000000F-0930-4EFF-86D4-91607D7DD117}"));
  EXPECT_EQ(registered[15].second, u"HTML 5 date and time input");
  const WideString xpath = GuidToWideString(kXPathCapability), css = GuidToWideString(kCssCapability),
                   toUrl = GuidToWideString(kToUrlCapability);
  struct Case {
    std::map<WideString, OleVariant> capabilities;
    const char16_t* type;
    std::vector<GUID> iids;
  } cases[] = {
      {{{xpath, OleVariant(true)}}, u"div", {slice_iids::kEvaluateXPath}},
      {{{xpath, OleVariant(false)}, {css, OleVariant(u"True")}}, u"div", {slice_iids::kCssSelector}},
      {{{toUrl, OleVariant(1)}},
       u"Page",
       {slice_iids::kPageLocator, slice_iids::kPagePicture, slice_iids::kPageActions}},
      {{}, u"uipage", {}},
      {{{css, OleVariant(u"maybe")}}, u"PAGE", {slice_iids::kPagePicture, slice_iids::kPageActions}},
  };
  for (const auto& c : cases) {
    auto context = MakeObject<TContext>();
    context->capabilities = c.capabilities;
    context->type = c.type;
    auto node = ContextNode(host, context);
    OleCheck(builder->ExtendNode(Node(node)));
    EXPECT_EQ(SliceIids(node), c.iids) << WideToUtf8(c.type);
  }
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, Html5UsageIsCountedOnlyWithTheCssCapability) {
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 3);
  // The 30 object type names and the one of the 16 counters each counts in (equal ignoring case,
  // same length); then names that count nowhere (-1).
  struct Case {
    const char16_t* type;
    int counter;
  } cases[] = {
      {u"Article", 0},    {u"aside", 0},      {u"FIGURE", 0},      {u"Footer", 0},     {u"header", 0},
      {u"HGroup", 0},     {u"nav", 0},        {u"Section", 0},     {u"time", 0},       {u"Details", 1},
      {u"Canvas", 2},     {u"svg", 2},        {u"MATH", 2},        {u"Video", 3},      {u"audio", 4},
      {u"Output", 5},     {u"meter", 6},      {u"Progress", 6},    {u"PhoneInput", 7}, {u"urlinput", 7},
      {u"EmailInput", 7}, {u"SEARCHBOX", 7},  {u"NumberInput", 8}, {u"slider", 9},     {u"ColorBox", 10},
      {u"DateInput", 11}, {u"weekinput", 12}, {u"MonthInput", 13}, {u"TimeInput", 14}, {u"datetimeinput", 15},
      {u"Article ", -1},  {u" nav", -1},      {u"DateTime", -1},   {u"div", -1},       {u"", -1},
      {u"Page", -1},
  };
  std::set<int> countersMet;
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.type));
    EXPECT_EQ(Html5CounterOf(c.type), c.counter < 0 ? std::nullopt : std::optional<int>(c.counter));
    if (c.counter >= 0) countersMet.insert(c.counter);
    for (bool withCss : {false, true}) {
      counted.clear();
      auto context = MakeObject<TContext>();
      if (withCss) context->capabilities[GuidToWideString(kCssCapability)] = OleVariant(true);
      context->type = c.type;
      auto node = host.Sys().AddChild(u"Object", {}, GUID_NULL, [&](host::TSysNode& n) {
        n.SetPageContext(static_cast<IpwObjectContext2*>(context.Get()));
      });
      OleCheck(builder->ExtendNode(Node(node)));
      std::int32_t total = 0;
      for (const auto& [key, n] : counted) total += n;
      const bool counts = withCss && c.counter >= 0;
      EXPECT_EQ(total, counts ? 1 : 0) << withCss;
      if (counts) {
        EXPECT_EQ(counted[Html5CounterKey(c.counter)], 1);
      }
      host.Sys().RemoveChild(node.Get());
    }
  }
  EXPECT_EQ(countersMet.size(), 16u);  // every counter has a name
  OleCheck(plugin->Finalize());
}

TEST_F(WebPluginTest, TheSysBuilderExtendsTheRootOnly) {
  int made = 0;
  WebSliceFactories().browserMethods = [&](IpwSysManager*) {
    ++made;
    return ComPtr<IDispatch>(MakeObject<TStubSlice>().Get());
  };
  auto plugin = StartedPlugin();
  auto builder = Builder(*plugin, 4);
  host.ObjectTree().AddBuilder(builder.Get());
  host.ObjectTree().OfferNode(host.Sys(), true);
  auto child = host.Sys().AddChild(u"Process", {OleVariant(u"x")});
  EXPECT_TRUE(child->Slices().empty());
  ASSERT_EQ(made, 1);
  auto root = host.Sys().Slices();
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].iid, slice_iids::kBrowserMethods);
  EXPECT_EQ(root[0].group, GUID_NULL);
  EXPECT_EQ(root[0].tag, 0x7FFFFFFF);
  host.ObjectTree().ClearBuilders();
  OleCheck(plugin->Finalize());
}

}  // namespace
}  // namespace pw::web::test
