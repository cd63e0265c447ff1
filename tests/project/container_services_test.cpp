// Containers and the host: the actions New Item and Existing Item (registration by the owner's
// kind, their update), file drops, configurations passed to the children, attribute 7, the
// file-reload batches around child operations, the question before a child's unsaved data is
// dropped, the provider registry after an add and the project's file-deletion veto.
#include <algorithm>
#include <filesystem>
#include <optional>

#include "core/options/options_tree.h"
#include "host/node_type_registry.h"
#include "platform/com/safecall.h"
#include "project/actions/project_actions.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "tests/project/container_fixture.h"

namespace pw::test {

namespace {

using project::TpwProjectItem;

const GUID kKeyA = MakeGuid("{22222222-0000-0000-0000-00000000000A}");
const GUID kKeyB = MakeGuid("{22222222-0000-0000-0000-00000000000B}");
const GUID kKeyC = MakeGuid("{22222222-0000-0000-0000-00000000000C}");
const GUID kConfig = MakeGuid("{22222222-0000-0000-0000-0000000000CF}");

// Records the batches and questions the container brings to the file-reload manager.
class TReloadRecorder final : public Implements<ComObject, IpwFileReloadManager> {
 public:
  std::vector<std::string> calls;
  std::int32_t depth = 0;
  HRESULT ReloadWanted(BSTR, IUnknown*, VARIANT_BOOL* reload) override {
    *reload = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT BeginReloadBatch() override {
    ++depth;
    calls.push_back("begin");
    return S_OK;
  }
  HRESULT EndReloadBatch() override {
    --depth;
    calls.push_back("end");
    return S_OK;
  }
};

class ContainerServicesTest : public ContainerTest {
 protected:
  ~ContainerServicesTest() override {
    for (auto& project : projects) project->Finalize();
  }
  ComPtr<host::THostProject> OpenProject(const std::string& name) {
    auto project = MakeObject<host::THostProject>(nullptr, NewTestKey());
    OleCheck(project->Initialize(host.Manager()));
    projects.push_back(project);
    if (!project->ReloadFromFileName(dir.File(name), false)) return nullptr;
    return project;
  }
  // The project with the item file "NAME.pwi" added.
  ComPtr<host::THostProject> ProjectWithItem(const std::string& name) {
    auto project = OpenProject("p.pwp");
    WriteItemFile(name + ".pwi", u"v");
    if (!project || !project->AddExistingChild(dir.File(name + ".pwi"))) return nullptr;
    project->Changed(true);
    if (project->SaveToOwnFileResult() != 0) return nullptr;
    return project;
  }
  std::vector<GUID> ActionsRegisteredFor(const GUID& context) {
    std::vector<GUID> keys;
    for (const auto& r : host.Actions().Registrations())
      if (r.contextKey == context) keys.push_back(r.actionKey);
    return keys;
  }
  ComPtr<IpwAction> MakeAction(const GUID& key) {
    ComPtr<IpwAction> action;
    OleCheck(host.Actions().CreateAction(1, key, BString(u"File").Get(), VARIANT_FALSE, GUID_NULL, action.Put()));
    return action;
  }
  static OleVariant Property(IpwAction* action, std::int32_t index) {
    OleVariant value;
    OleCheck(action->GetProperty(index, value.Put()));
    return value;
  }
  static TPart* PartAt(TpwProjectItem* box, std::int32_t index) {
    return dynamic_cast<TPart*>(
        static_cast<project::TpwBaseProjectNode*>(static_cast<IpwProjectNodeInternal*>(box->ChildAt(index))));
  }

  std::vector<ComPtr<host::THostProject>> projects;
};

bool Contains(const std::vector<GUID>& keys, const GUID& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// ---- Actions

TEST_F(ContainerServicesTest, TheItemActionsAreRegisteredOnlyForAnOwnerOfKind3AndGoAtFinalize) {
  const GUID save = project::NodeActions()[2].Key;
  struct Case {
    std::int32_t kind;
    bool registered;
  };
  for (const Case c : {Case{3, true}, Case{0, false}, Case{7, false}}) {
    SCOPED_TRACE(c.kind);
    host.Projects().SetOwnerKind(c.kind);
    WriteBoxFile("box.pwb", {});
    auto box = OpenBox("box.pwb");
    ASSERT_TRUE(box);
    const GUID context = box->InstanceKey();
    auto keys = ActionsRegisteredFor(context);
    EXPECT_EQ(Contains(keys, project::kNewItemAction), c.registered);
    EXPECT_EQ(Contains(keys, project::kExistingItemAction), c.registered);
    EXPECT_TRUE(Contains(keys, save));
    OleCheck(box->Finalize());
    boxes.pop_back();
    EXPECT_TRUE(ActionsRegisteredFor(context).empty());
  }
}

TEST_F(ContainerServicesTest, ARegisteredNewItemActionAddsAChildWhenTheHostRunsIt) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(
      host.Actions().Execute(project::kNewItemAction, box->InstanceKey(), OleVariant(GuidToWideString(kPartType))), 0);
  EXPECT_EQ(box->ChildCount(), 1);
  EXPECT_EQ(host.Actions().Execute(project::kExistingItemAction, box->InstanceKey(), OleVariant(u"")), 2);
}

TEST_F(ContainerServicesTest, UpdateEnablesTheItemActionsAsTheContainerAndTheHostAllow) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto newItem = MakeAction(project::kNewItemAction);
  auto existingItem = MakeAction(project::kExistingItemAction);
  struct Case {
    const char* name;
    std::function<void()> set, reset;
    bool enabled;
  };
  auto dialogs = ComPtr<IUnknown>(static_cast<IpwDialogService*>(&host.Dialogs()));
  const Case cases[] = {
      {"as opened", [] {}, [] {}, true},
      {"owner busy", [&] { host.State().SetAnswer(project::kHostModeQuestion, project::kHostModeRunning); },
       [&] { host.State().SetAnswer(project::kHostModeQuestion, GUID_NULL); }, false},
      {"no item service", [&] { host.SetService(host::services::kDialogs, nullptr); },
       [&] { host.SetService(host::services::kDialogs, dialogs.Get()); }, false},
      {"children hidden", [&] { box->BeginHideChildren(); }, [&] { box->EndHideChildren(); }, false},
      {"outside-change reload", [&] { box->SetReloadCount(1); }, [&] { box->SetReloadCount(0); }, false},
      {"no child types", [&] { host.Projects().RemoveItemTypes(types.Get()); },
       [&] { host.Projects().AddItemTypes(types.Get()); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OleCheck(newItem->SetProperty(0, OleVariant(!c.enabled).Get()));
    OleCheck(existingItem->SetProperty(0, OleVariant(!c.enabled).Get()));
    c.set();
    box->UpdateAction(project::kNewItemAction);
    box->UpdateAction(project::kExistingItemAction);
    c.reset();
    EXPECT_EQ(Property(newItem.Get(), 0).AsBool(), c.enabled);
    EXPECT_EQ(Property(existingItem.Get(), 0).AsBool(), c.enabled);
    EXPECT_EQ(Property(newItem.Get(), 3).AsString(), u"Add Child Item");
    EXPECT_TRUE(Property(existingItem.Get(), 3).IsEmpty());
  }
  // The node's own actions are still the persistent node's.
  auto save = MakeAction(project::NodeActions()[2].Key);
  box->UpdateAction(project::NodeActions()[2].Key);
  EXPECT_EQ(Property(save.Get(), 0).Type(), VT_BOOL);
}

// ---- File drops

TEST_F(ContainerServicesTest, ADropTakesOnlyTheFilesOfTypesTheContainerMayHold) {
  auto project = OpenProject("p.pwp");
  ASSERT_TRUE(project);
  WriteItemFile("Thing.pwi", u"v");
  const WideString thing = dir.File("Thing.pwi"), text = dir.File("notes.txt");
  struct Case {
    WideString names;
    bool accepted;
  };
  const Case cases[] = {
      {text, false}, {text + u"\r\n" + thing, true}, {u"/somewhere/OTHER.PWI", true},
      {u"", false},  {u"/a.dir/noextension", false},
  };
  for (const auto& c : cases) EXPECT_EQ(project->CanAcceptFiles(c.names), c.accepted) << WideToUtf8(c.names);
  // A box holds no file-kept types.
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_FALSE(box->CanAcceptFiles(thing));
  // Nothing is taken while the owner is busy.
  host.State().SetAnswer(project::kHostModeQuestion, project::kHostModeRunning);
  EXPECT_FALSE(project->CanAcceptFiles(thing));
  host.State().SetAnswer(project::kHostModeQuestion, GUID_NULL);

  project->AcceptFiles(text + u"\r\n" + thing);
  ASSERT_EQ(project->ChildCount(), 1);
  EXPECT_EQ(project::NodeTypeKey(project->ChildAt(0)), host::kItemNodeType);
  // The text file was never offered to the add: no report names it.
  for (const auto& m : Messages()) EXPECT_EQ(m.find(u"notes.txt"), WideString::npos) << WideToUtf8(m);
  // Only files of other types: nothing is added and nothing reported.
  const auto before = Messages().size();
  project->AcceptFiles(text);
  EXPECT_EQ(project->ChildCount(), 1);
  EXPECT_EQ(Messages().size(), before);
}

TEST_F(ContainerServicesTest, AnAddOfSeveralFilesAddsEachAndAnswersAllTheirKeys) {
  auto project = OpenProject("p.pwp");
  ASSERT_TRUE(project);
  WriteItemFile("One.pwi", u"1");
  WriteItemFile("Two.pwi", u"2");
  auto added = project->AddExistingChild(dir.File("One.pwi") + u"\r\n" + dir.File("missing.pwi") + u"\r\n" +
                                         dir.File("Two.pwi"));
  ASSERT_TRUE(added);
  EXPECT_EQ(project->ChildCount(), 2);
  auto keys = QueryAs<project::IpwGUIDIterator>(added.Get());
  ASSERT_TRUE(keys);
  std::vector<GUID> got;
  while (keys->HasNext()) {
    GUID key{};
    keys->Next(key);
    got.push_back(key);
  }
  EXPECT_EQ(got, (std::vector<GUID>{project::NodeKey(project->ChildAt(0)), project::NodeKey(project->ChildAt(1))}));
  EXPECT_EQ(Reports().back(), u"The '" + dir.File("missing.pwi") + u"' file does not exist.");
}

// ---- Configurations

TEST_F(ContainerServicesTest, ConfigurationCallsReachTheChildrenThatHaveThem) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item0000000002", kKeyC, kPartType, 2, u"c"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  TPart *a = PartAt(box.Get(), 0), *b = PartAt(box.Get(), 1), *c = PartAt(box.Get(), 2);
  ASSERT_TRUE(a && b && c);
  a->configKeys = b->configKeys = {kConfig};
  b->modifiedConfigs = {kConfig};
  // c has no such configuration but says it is modified: it is never asked to save it.
  c->modifiedConfigs = {kConfig};

  VARIANT_BOOL modified = VARIANT_FALSE;
  OleCheck(box->IsConfigKeyModified(kConfig, &modified));
  EXPECT_TRUE(modified);
  box->BeginHideChildren();
  OleCheck(box->IsConfigKeyModified(kConfig, &modified));
  EXPECT_FALSE(modified);
  box->EndHideChildren();

  OleCheck(box->SaveConfigKey(kConfig));
  EXPECT_TRUE(a->storedConfigs.empty());
  EXPECT_EQ(b->storedConfigs, std::vector<GUID>{kConfig});
  EXPECT_TRUE(c->storedConfigs.empty());
  c->modifiedConfigs.clear();
  OleCheck(box->IsConfigKeyModified(kConfig, &modified));
  EXPECT_FALSE(modified);

  OleCheck(box->LoadConfigKey(kConfig));
  for (TPart* part : {a, b, c}) EXPECT_EQ(part->readConfigs, std::vector<GUID>{kConfig});

  // Each child gets the sub-store named by its key; none without a store of the container.
  auto store = CreateOptionsBuilder();
  OleCheck(box->SetConfig(store->GetRoot().Get()));
  for (TPart* part : {a, b, c}) {
    auto childStore = QueryAs<IcvOptionsNode>(part->GetConfig());
    ASSERT_TRUE(childStore);
    WideString name;
    SafeCallCheck(childStore->GetName(&name));
    EXPECT_TRUE(SameTextIgnoringCase(name, GuidToWideString(project::NodeKey(part->AsNode()))));
  }
  // A child leaving the container is handed no store.
  ComPtr<TPart> held(a);
  OleCheck(box->RemoveChild(a->AsNode(), VARIANT_FALSE));
  EXPECT_FALSE(held->GetConfig());
  OleCheck(box->SetConfig(nullptr));
  EXPECT_FALSE(b->GetConfig());
}

// A box that lists one configuration of its own.
class TConfigBox final : public TpwProjectItem {
 public:
  explicit TConfigBox(const GUID& key) : TpwProjectItem(nullptr, kBoxType, key) {}
  std::vector<GUID> GetConfigKeys() override { return {kConfig}; }
};

TEST_F(ContainerServicesTest, AChildSavedWithTheContainerSavesItsModifiedConfigurationsOfTheContainersKeys) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item0000000002", kKeyC, kPartType, 2, u"save:2"}});
  auto box = MakeObject<TConfigBox>(NewTestKey());
  OleCheck(box->Initialize(host.Manager()));
  boxes.emplace_back(box.Get());
  ASSERT_TRUE(box->ReloadFromFileName(dir.File("box.pwb"), false));
  TPart *a = PartAt(box.Get(), 0), *b = PartAt(box.Get(), 1), *c = PartAt(box.Get(), 2);
  ASSERT_TRUE(a && b && c);
  for (TPart* part : {a, b, c}) part->configKeys = {kConfig};
  b->modifiedConfigs = c->modifiedConfigs = {kConfig};
  box->Changed(true);
  // The third child cancels the save: its configuration is not stored.
  EXPECT_EQ(box->SaveToOwnFileResult(), 2);
  EXPECT_TRUE(a->storedConfigs.empty());
  EXPECT_EQ(b->storedConfigs, std::vector<GUID>{kConfig});
  EXPECT_TRUE(c->storedConfigs.empty());
}

// ---- Attribute 7

TEST_F(ContainerServicesTest, AContainerInItsParentsDataAnswersAttribute7FromItsChildren) {
  auto folder = MakeObject<project::TpwProjectNodeContainer>(nullptr, host::kProjectNodeType, NewTestKey(), true);
  OleCheck(folder->Initialize(host.Manager()));
  auto data = CreateOptionsBuilder();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  OleCheck(folder->LoadFromDataNode(data->GetRoot().Get(), &loaded));
  ASSERT_TRUE(loaded);
  auto attribute7 = [](IpwProjectNode* node) {
    OleVariant value;
    OleCheck(node->GetAttribute(7, value.Put()));
    return value.AsBool();
  };
  EXPECT_FALSE(attribute7(folder->AsNode()));
  ComPtr<IpwProjectNode> unavailable;
  OleCheck(host.Projects().CreateUnavailableNode(kGadgetType, BString(u"Gadget").Get(), BString(u"").Get(), kKeyA,
                                                 folder->AsNode(), unavailable.Put()));
  ASSERT_TRUE(folder->AddChildNode(unavailable.Get()));
  EXPECT_FALSE(attribute7(folder->AsNode()));
  WriteItemFile("Thing.pwi", u"v");
  auto item = host::LoadHostNode(host.Manager(), folder->AsNode(), dir.File("Thing.pwi"));
  ASSERT_TRUE(item);
  ASSERT_TRUE(folder->AddChildNode(item.Get()));
  EXPECT_TRUE(attribute7(folder->AsNode()));
  // A container with a file of its own answers True as every file node does.
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_TRUE(attribute7(box->AsNode()));
  OleCheck(folder->Finalize());
}

// ---- File-reload batches

TEST_F(ContainerServicesTest, ChildOperationsRunInsideOneFileReloadBatch) {
  auto recorder = MakeObject<TReloadRecorder>();
  host.SetService(host::services::kFileReload, static_cast<IpwFileReloadManager*>(recorder.Get()));
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kPartType, 1, u"throw"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  struct Case {
    const char* name;
    std::function<void()> run;
  };
  const Case cases[] = {
      {"new item", [&] { box->AddChild(kPartType, nullptr); }},
      {"refused new item", [&] { box->AddChild(GUID_NULL, nullptr); }},
      {"existing item", [&] { box->AddExistingChild(dir.File("none.pwi")); }},
      {"remove", [&] { OleCheck(box->RemoveChild(box->ChildAt(0), VARIANT_FALSE)); }},
      {"remove that raises", [&] { EXPECT_TRUE(Failed(box->RemoveChild(box->ChildAt(0), VARIANT_FALSE))); }},
      {"reload", [&] { EXPECT_TRUE(box->Reload()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recorder->calls.clear();
    c.run();
    ASSERT_FALSE(recorder->calls.empty());
    EXPECT_EQ(recorder->calls.front(), "begin");
    EXPECT_EQ(recorder->depth, 0);
  }
  host.SetService(host::services::kFileReload, static_cast<IpwFileReloadManager*>(&host.FileReloads()));
}

// ---- Unsaved data of a removed child

TEST_F(ContainerServicesTest, RemovingAChildWhoseFilesStayAsksBeforeItsUnsavedDataGoes) {
  struct Case {
    const char* name;
    bool modified, interactive;
    int queued;  // -1 none, 0 no, 1 yes
    bool deleteFiles, removed, asked;
  };
  const Case cases[] = {
      {"unmodified", false, true, -1, false, true, true},
      {"modified, the user agrees", true, true, 1, false, true, true},
      {"modified, the user refuses", true, true, 0, false, false, true},
      {"modified, no dialogs", true, false, -1, false, false, true},
      {"files go", true, true, -1, true, true, false},
  };
  int round = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "Item" + std::to_string(++round);
    auto project = ProjectWithItem(name);
    ASSERT_TRUE(project);
    ASSERT_EQ(project->ChildCount(), 1);
    ComPtr<IpwProjectNode> item(project->ChildAt(0));
    auto persistent = QueryAs<IpwPersistentProjectNode>(item.Get());
    ASSERT_TRUE(persistent);
    if (c.modified) OleCheck(persistent->SetModified(VARIANT_TRUE));
    VARIANT_BOOL modified = VARIANT_FALSE;
    OleCheck(persistent->GetModified(&modified));
    ASSERT_EQ(modified != VARIANT_FALSE, c.modified);
    host.SetInteractive(c.interactive);
    if (c.queued >= 0) host.ProjectService().QueueDropAnswer(c.queued == 1);
    host.ProjectService().ClearNotices();
    OleCheck(project->RemoveChild(item.Get(), ToWordBool(c.deleteFiles)));
    host.SetInteractive(true);
    EXPECT_EQ(project->ChildCount(), c.removed ? 0 : 1);
    const auto notices = host.ProjectService().Notices();
    EXPECT_EQ(std::count(notices.begin(), notices.end(), u"MayDropData " + project::NodeName(item.Get())),
              c.asked ? 1 : 0);
    // A refused removal keeps the entry: the saved project still lists the item.
    project->Changed(true);
    EXPECT_EQ(project->SaveToOwnFileResult(), 0);
    EXPECT_EQ(std::filesystem::exists(WideToUtf8(dir.File(name + ".pwi"))), !(c.removed && c.deleteFiles));
    OleCheck(project->Finalize());
    projects.pop_back();
    auto reopened = OpenProject("p.pwp");
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->ChildCount(), c.removed ? 0 : 1);
    OleCheck(reopened->Finalize());
    projects.pop_back();
    std::filesystem::remove(WideToUtf8(dir.File("p.pwp")));
  }
}

// ---- After an add

TEST_F(ContainerServicesTest, AnAddAsksForTheProviderOfTheNewNodesTypeThenTellsTheRegistry) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  const WideString type = GuidToWideString(kPartType);
  auto provider = CreateOptionsBuilder();
  struct Case {
    const char* name;
    std::function<void()> set;
    std::vector<WideString> requests;
  };
  const Case cases[] = {
      {"nothing registered", [] {}, {u"IsRegistered " + type}},
      {"registered",
       [&] { OleCheck(host.Providers().RegisterObject(kPartType, provider->GetRoot().Get())); },
       {u"IsRegistered " + type, u"IsAvailable " + type, u"GetRegisteredObject " + type + u" -1"}},
      {"not available",
       [&] { host.Providers().SetAvailable(kPartType, false); },
       {u"IsRegistered " + type, u"IsAvailable " + type}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.set();
    const auto before = host.Providers().Requests().size();
    ASSERT_TRUE(box->AddChild(kPartType, nullptr));
    auto requests = host.Providers().Requests();
    EXPECT_EQ(std::vector<WideString>(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end()),
              c.requests);
  }
  // A refused add asks for nothing; the registry hears of every attempt once.
  host.Projects().SetAddAllowed(false);
  const auto before = host.Providers().Requests().size();
  EXPECT_FALSE(box->AddChild(kPartType, nullptr));
  EXPECT_EQ(host.Providers().Requests().size(), before);
  host.Projects().SetAddAllowed(true);
  auto records = host.Projects().AddRecords();
  EXPECT_EQ(std::count_if(records.begin(), records.end(), [](const WideString& r) { return r.starts_with(u"after"); }),
            3);
}

// ---- New items through the host's item service

// The user-level add of a new child goes to the host's New Item dialog: the name typed makes the
// child and its file; a cancel, a name the type's creation parameters refuse and a host without
// the item service add nothing and leave no file. Each attempt is one before-add question with
// the list and one after-add notice.
TEST_F(ContainerServicesTest, ANewChildComesFromTheItemServiceWithTheNameTyped) {
  auto project = OpenProject("p.pwp");
  ASSERT_TRUE(project);
  auto dialogs = ComPtr<IUnknown>(static_cast<IpwDialogService*>(&host.Dialogs()));
  struct Case {
    const char* name;
    std::optional<host::NewItemAnswer> answer;
    bool withService;
    WideString added;  // the child's name; empty: nothing added
    std::vector<WideString> records;
  };
  const Case cases[] = {
      {"a name typed",
       host::NewItemAnswer{true, u"Orders"},
       true,
       u"Orders",
       {u"before p (none)", u"before p Orders", u"after Orders -1"}},
      {"cancelled", host::NewItemAnswer{false, {}}, true, {}, {u"before p (none)", u"after  -1"}},
      {"a name the parameters refuse", host::NewItemAnswer{true, u"con"}, true, {}, {u"before p (none)", u"after  -1"}},
      {"the same name again", host::NewItemAnswer{true, u"orders"}, true, {}, {u"before p (none)", u"after  -1"}},
      {"no item service", std::nullopt, false, {}, {u"before p (none)", u"after  -1"}},
      {"the name proposed", std::nullopt, true, u"Item1", {u"before p (none)", u"before p Item1", u"after Item1 -1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recordsBefore = host.Projects().AddRecords().size();
    const auto runsBefore = host.Dialogs().NewItems().size();
    const auto childrenBefore = project->ChildCount();
    if (c.answer) host.Dialogs().QueueNewItem(*c.answer);
    if (!c.withService) host.SetService(host::services::kDialogs, nullptr);
    const bool added = project->AddChild(host::kItemNodeType, nullptr);
    if (!c.withService) host.SetService(host::services::kDialogs, dialogs.Get());
    EXPECT_EQ(added, !c.added.empty());
    EXPECT_EQ(project->ChildCount(), childrenBefore + (added ? 1 : 0));
    auto records = host.Projects().AddRecords();
    EXPECT_EQ(std::vector<WideString>(records.begin() + static_cast<std::ptrdiff_t>(recordsBefore), records.end()),
              c.records);
    const auto runs = host.Dialogs().NewItems();
    ASSERT_EQ(runs.size(), runsBefore + (c.withService ? 1 : 0));
    if (!c.withService) continue;
    EXPECT_EQ(runs.back().typeKey, host::kItemNodeType);
    EXPECT_EQ(runs.back().made, added);
    if (added) {
      auto child = project::FindChildItemByName(project->AsNode(), c.added);
      ASSERT_TRUE(child);
      EXPECT_EQ(runs.back().file, dir.File(WideToUtf8(c.added) + ".pwi"));
      EXPECT_TRUE(std::filesystem::exists(WideToUtf8(runs.back().file)));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(WideToUtf8(dir.File("con.pwi"))));
  EXPECT_EQ(project->ChildCount(), 2);
}

// ---- The project's record of the nodes below it

TEST_F(ContainerServicesTest, TheProjectHearsOfEveryChildThatJoinsOrLeavesIt) {
  auto project = ProjectWithItem("First");
  ASSERT_TRUE(project);
  EXPECT_EQ(project->Tracking(), std::vector<WideString>{u"attached First"});
  WriteItemFile("Second.pwi", u"v");
  ASSERT_TRUE(project->AddExistingChild(dir.File("Second.pwi")));
  ASSERT_EQ(project->ChildCount(), 2);
  // A refused add (the key is a child's already) tells nothing.
  VARIANT_BOOL added = VARIANT_TRUE;
  OleCheck(project->AddChild(project->ChildAt(1), &added));
  EXPECT_FALSE(added);
  EXPECT_EQ(project->Tracking(), (std::vector<WideString>{u"attached First", u"attached Second"}));

  // A replacement by an Unavailable node and back: the item leaves, then the restored one joins
  // (the Unavailable node has no file of its own to tell of).
  ComPtr<IpwProjectNode> fake, real;
  VARIANT_BOOL replaced = VARIANT_FALSE;
  OleCheck(project->ReplaceOnFake(project->ChildAt(1), fake.Put(), &replaced));
  ASSERT_TRUE(replaced);
  auto asFake = QueryAs<IpwFakeProjectNode>(fake.Get());
  ASSERT_TRUE(asFake);
  OleCheck(project->ReplaceOnReal(asFake.Get(), real.Put(), &replaced));
  ASSERT_TRUE(replaced);
  auto tracking = project->Tracking();
  EXPECT_EQ(std::vector<WideString>(tracking.begin() + 2, tracking.end()),
            (std::vector<WideString>{u"detached Second", u"attached Second"}));

  OleCheck(project->RemoveChild(project->ChildAt(0), VARIANT_FALSE));
  EXPECT_EQ(project->Tracking().back(), u"detached First");
  project->Changed(true);
  ASSERT_EQ(project->SaveToOwnFileResult(), 0);

  // Opened again, the project hears of the child it loads.
  auto reopened = OpenProject("p.pwp");
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->Tracking(), std::vector<WideString>{u"attached Second"});
}

// ---- The project's file-deletion veto

TEST_F(ContainerServicesTest, TheProjectKeepsTheFilesItVetoes) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep);
    auto project = ProjectWithItem(keep ? "Kept" : "Gone");
    ASSERT_TRUE(project);
    const WideString file = dir.File(keep ? "Kept.pwi" : "Gone.pwi");
    if (keep) project->KeepFile(file);
    OleCheck(project->RemoveChild(project->ChildAt(0), VARIANT_TRUE));
    EXPECT_EQ(project->ChildCount(), 0);
    EXPECT_EQ(std::filesystem::exists(WideToUtf8(file)), keep);
    auto questions = project->RemovalQuestions();
    if (keep) EXPECT_EQ(questions, (std::vector<WideString>{u"checks yes", u"may remove " + file + u" no"}));
    else EXPECT_EQ(questions, std::vector<WideString>{u"checks no"});
    OleCheck(project->Finalize());
    projects.pop_back();
    std::filesystem::remove(WideToUtf8(dir.File("p.pwp")));
  }
}

}  // namespace

}  // namespace pw::test
