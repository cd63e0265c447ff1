// Mapping test objects into the name mapping: chains, names, aliases, property paths,
// templates, identification and the collision search.
#include <gmock/gmock.h>

#include "openapps/namemapping/name_mapping.h"
#include "platform/com/comobject.h"
#include "tests/openapps/name_mapping_fixture.h"
#include "tests/openapps/openapps_fixture.h"

namespace pw {
namespace {

using ::testing::ElementsAre;

class TProgress final : public Implements<ComObject, IpwMapProgressHandler> {
 public:
  int cancelAt = -1;  // the call of CheckCancel that answers True (0 the first)
  int checks = 0, ends = 0;
  HRESULT CheckCancel(VARIANT_BOOL* cancel) override {
    *cancel = checks++ == cancelAt ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT EndProgress() override {
    ++ends;
    return S_OK;
  }
};

std::vector<WideString> Names(const std::vector<ComPtr<host::TNameMappingItem>>& items) {
  std::vector<WideString> out;
  for (auto& i : items) out.push_back(i->Path());
  return out;
}

TEST_F(NameMappingTest, ChainAndItemsForAnUnmappedTree) {
  auto repo = Publish();
  auto process = Add(host->Sys(), u"Process", {{u"ProcessName", OleVariant(u"app")}}, {u"ProcessName"});
  auto window = Add(*process, u"Window", {{u"WndCaption", OleVariant(u"Main")}}, {u"WndCaption"});
  auto button = Add(*window, u"Button", {{u"WndCaption", OleVariant(u"OK")}}, {u"WndCaption"});

  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(button.Get()), chain, nullptr));
  // The button, the window, the process, and the root "Sys" (every level unmapped).
  ASSERT_EQ(chain.size(), 4u);
  EXPECT_EQ(chain[0].Name, u"Button");
  EXPECT_THAT(chain[0].PropertyNames, ElementsAre(u"WndCaption"));
  EXPECT_FALSE(chain[0].UnderSearchRoot);

  ASSERT_TRUE(MapNodeChain(host->Manager(), &repo->Root(), &repo->Aliases(), chain));
  EXPECT_THAT(Names(repo->Items()),
              ElementsAre(u"Sys", u"Sys.Process", u"Sys.Process.Window", u"Sys.Process.Window.Button"));
  auto items = repo->Items();
  auto props = items[3]->Identification().Properties();
  ASSERT_EQ(props.size(), 1u);
  EXPECT_EQ(props[0].name, u"WndCaption");
  EXPECT_EQ(props[0].value.AsString(), u"OK");
  EXPECT_TRUE(chain[0].Mapped);
  EXPECT_EQ(chain[0].Item.Get(), static_cast<IpwNameMappingRepositoryItem*>(items[3].Get()));
  // The top of the object tree gets no alias; the levels below it are aliased from the top.
  EXPECT_FALSE(chain[3].Alias);
  auto top = repo->Aliases().Children();
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0]->Name(), u"Process");
  EXPECT_EQ(top[0]->Children()[0]->Children()[0]->Name(), u"Button");
  EXPECT_EQ(repo->UpdatesBegun(), 1);
  EXPECT_EQ(repo->UpdatesEnded(), 1);
  // Each new item's recorder heard the walk of its node's type information.
  for (const auto& item : items) {
    SCOPED_TRACE(Narrow(item->Path()));
    EXPECT_THAT(item->Recorder().Recorded(), ElementsAre(u"IpwScriptSysNode", u"IDispatch", u"IUnknown"));
  }

  // Mapped now: the same node gives no chain and makes nothing.
  TpwNodeMapInfoArray again;
  EXPECT_FALSE(BuildNodeMapChain(host->Manager(), AsNode(button.Get()), again, nullptr));
  EXPECT_TRUE(again.empty());
  EXPECT_EQ(repo->Items().size(), 4u);
}

TEST_F(NameMappingTest, ChainStopsAtTheFirstMappedAncestor) {
  auto repo = Publish();
  auto process = Add(host->Sys(), u"Process", {{u"ProcessName", OleVariant(u"app")}}, {u"ProcessName"});
  auto window = Add(*process, u"Window", {{u"WndCaption", OleVariant(u"Main")}}, {u"WndCaption"});
  auto edit = Add(*window, u"Edit", {{u"WndCaption", OleVariant(u"text")}}, {u"WndCaption"});
  ComPtr<IpwNameMappingRepositoryItem> made;
  repo->Root().AddChild(BString(u"Main").Get(), made.Put());
  auto* mainItem = static_cast<host::TNameMappingItem*>(made.Get());
  ComPtr<IpwLogicalNameMappingItem> alias;
  repo->Aliases().AddAlias(BString(u"Main").Get(), made.Get(), alias.Put());
  repo->MapNode(window->Key(), mainItem, static_cast<host::TAliasItem*>(alias.Get()));

  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(edit.Get()), chain, nullptr));
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_TRUE(chain[1].Mapped);
  EXPECT_TRUE(chain[1].PropertyNames.empty());  // a mapped level gets no identification
  ASSERT_TRUE(MapNodeChain(host->Manager(), &repo->Root(), &repo->Aliases(), chain));
  EXPECT_THAT(Names(repo->Items()), ElementsAre(u"Main", u"Main.Edit"));
  EXPECT_EQ(chain[0].Alias.Get(),
            static_cast<IpwLogicalNameMappingItem*>(static_cast<host::TAliasItem*>(alias.Get())->Children()[0].Get()));
}

TEST_F(NameMappingTest, UniqueNamesUnderTheParent) {
  struct Case {
    std::vector<const char16_t*> present;
    const char16_t* nodeName;
    const char16_t* expected;
  } cases[] = {
      {{u"Button", u"Button2"}, u"Button", u"Button3"},
      {{u"Button2"}, u"Button", u"Button"},
      {{u"Item"}, u"", u"Item2"},
      {{}, u"", u"Item"},
      {{}, u"1 OK button!", u"OK_button_"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.expected));
    auto repo = MakeObject<host::TNameMappingRepository>();
    for (auto* name : c.present) {
      ComPtr<IpwNameMappingRepositoryItem> child;
      repo->Root().AddChild(BString(name).Get(), child.Put());
    }
    auto node = host->Sys().AddChild(u"Thing", {});
    node->SetProperty(kNodeNameTextProperty, OleVariant(c.nodeName));
    TpwNodeMapInfo level;
    level.Node = ComPtr<IpwSysNode>(AsNode(node.Get()));
    MakeUniqueItemName(level.Node.Get(), nullptr, level.Name);
    TpwNodeMapInfo top;
    top.Node = ComPtr<IpwSysNode>(AsNode(&host->Sys()));
    top.Mapped = true;  // the root stands for the repository itself
    top.Item = ComPtr<IpwNameMappingRepositoryItem>(&repo->Root());
    TpwNodeMapInfoArray chain{level, top};
    ASSERT_TRUE(MapNodeChain(host->Manager(), &repo->Root(), &repo->Aliases(), chain));
    EXPECT_EQ(chain[0].Name, c.expected);
    host->Sys().RemoveChild(node.Get());
  }
}

TEST_F(NameMappingTest, CancelEmptiesTheChainAndEndsTheProgress) {
  Publish();
  auto process = Add(host->Sys(), u"Process", {}, {});
  auto window = Add(*process, u"Window", {}, {});
  for (int at : {0, 1, 2}) {
    auto progress = MakeObject<TProgress>();
    progress->cancelAt = at;
    TpwNodeMapInfoArray chain;
    EXPECT_FALSE(BuildNodeMapChain(host->Manager(), AsNode(window.Get()), chain, progress.Get()));
    EXPECT_TRUE(chain.empty());
    EXPECT_EQ(progress->ends, 1);
  }
}

TEST_F(NameMappingTest, AbortKeepsWhatWasMadeAndEndsTheUpdate) {
  auto repo = Publish();
  auto process = Add(host->Sys(), u"Process", {}, {});
  auto window = Add(*process, u"Window", {}, {});
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(window.Get()), chain, nullptr));
  ASSERT_EQ(chain.size(), 3u);
  TpwNodeMapInfoArray refused = chain;
  repo->SetItemLimit(2);  // Sys and Process are made, Window is refused
  EXPECT_FALSE(MapNodeChain(host->Manager(), &repo->Root(), &repo->Aliases(), chain));
  EXPECT_THAT(Names(repo->Items()), ElementsAre(u"Sys", u"Sys.Process"));
  EXPECT_TRUE(chain[2].Mapped);
  EXPECT_TRUE(chain[1].Mapped);
  EXPECT_FALSE(chain[0].Mapped);
  EXPECT_EQ(repo->UpdatesBegun(), 1);
  EXPECT_EQ(repo->UpdatesEnded(), 1);
  // A refused update makes nothing; no repository is no mapping.
  repo->SetRefuseUpdate(true);
  EXPECT_FALSE(MapNodeChain(host->Manager(), &repo->Root(), &repo->Aliases(), refused));
  EXPECT_EQ(repo->UpdatesEnded(), 1);
  EXPECT_FALSE(MapNodeChain(host->Manager(), nullptr, nullptr, refused));
  EXPECT_FALSE(refused[2].Mapped);
}

TEST_F(NameMappingTest, PropertyPaths) {
  auto parent = Add(host->Sys(), u"Panel", {{u"Count", OleVariant(7)}, {u"Label", OleVariant(u"P")}});
  auto child = Add(*parent, u"Button", {{u"Caption", OleVariant(u"OK")}});
  IpwSysNode* node = AsNode(child.Get());
  struct Case {
    const char16_t* path;
    bool has;
    bool read;
    const char16_t* text;
  } cases[] = {
      {u"Parent.Name", true, true, u"Panel"}, {u"Parent.Label", true, true, u"P"},
      {u"Caption", true, true, u"OK"},        {u"Parent.Count.Name", false, false, u""},  // a number midway
      {u"Missing", false, false, u""},        {u"Parent.Missing", false, false, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.path));
    EXPECT_EQ(HasPropertyByPath(node, c.path), c.has);
    OleVariant value;
    EXPECT_EQ(GetPropertyByPath(node, c.path, value), c.read);
    if (c.read) {
      EXPECT_EQ(value.AsString(), c.text);
    }
    OleVariant read;
    EXPECT_EQ(ReadPropertyValue(node, c.path, read), c.read);
    if (c.read) {
      EXPECT_EQ(read.AsString(), c.text);
    }
  }
  // A value that is an object reads as its default value.
  OleVariant parentValue;
  ASSERT_TRUE(ReadPropertyValue(node, u"Parent", parentValue));
  EXPECT_NE(parentValue.Type(), VT_DISPATCH);
}

TEST_F(NameMappingTest, PropertyReaderReadsWithoutWaiting) {
  auto node = Add(host->Sys(), u"Button", {{u"Caption", OleVariant(u"OK")}});
  node->SetWaitTimeout(5000);
  auto reader = MakeObject<host::THostPropertyReader>(static_cast<IpwScriptSysNode*>(node.Get()));
  reader->failing = {u"Broken"};
  node->SetInterfaceObject(IpwNodePropertyReader::iid, static_cast<IpwNodePropertyReader*>(reader.Get()));
  OleVariant value;
  ASSERT_TRUE(ReadProperty(AsNode(node.Get()), u"Caption", value));
  EXPECT_EQ(value.AsString(), u"OK");
  EXPECT_FALSE(ReadProperty(AsNode(node.Get()), u"Missing", value));
  EXPECT_ANY_THROW(ReadProperty(AsNode(node.Get()), u"Broken", value));
  // Every read ran with no wait time, and the node's own came back, also after the failure.
  EXPECT_THAT(reader->TimeoutsSeen(), ElementsAre(0, 0, 0));
  EXPECT_EQ(node->WaitTimeout(), 5000);
}

TEST_F(NameMappingTest, TemplatesMatchByRegularExpression) {
  auto node = Add(host->Sys(), u"Button", {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"")}});
  IpwSysNode* n = AsNode(node.Get());
  struct Case {
    std::vector<WideString> paths, expressions, required;
    bool matches;
  } cases[] = {
      {{u"WndClass"}, {u"^But{to}n$"}, {u"Caption"}, true},
      {{u"WndClass"}, {u"^Edit$"}, {}, false},
      {{u"WndClass"}, {u"Button"}, {u"Missing"}, false},  // a required name is missing
      {{u"Caption"}, {u".*"}, {}, false},                 // an empty value never applies
      {{u"Missing"}, {u".*"}, {}, false},
      {{}, {}, {}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchIdentificationRegExpr(n, c.paths, c.expressions, c.required), c.matches);
  try {
    MatchIdentificationRegExpr(n, {u"WndClass"}, {u"[unclosed"}, {});
    FAIL() << "an invalid pattern was taken";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Invalid regular expression.");
  }
}

TEST_F(NameMappingTest, FirstMatchingTemplateGivesTheIdentification) {
  auto repo = Publish();
  mappings->Templates().Add({u"WndClass"}, {u"^Edit$"}, {u"Caption"});
  mappings->Templates().Add({u"WndClass"}, {u"^Button$"}, {u"WndClass", u"Caption"});
  mappings->Templates().Add({u"WndClass"}, {u"Butt"}, {u"Index"});
  auto node =
      Add(host->Sys(), u"Button", {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"OK")}}, {u"Own"});
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(node.Get()), chain, nullptr));
  EXPECT_THAT(chain[0].PropertyNames, ElementsAre(u"WndClass", u"Caption"));
}

// ---- The collision search ----------------------------------------------------------------------

// Two alike buttons under two panels of one window; the window is the search root.
struct AlikeButtons {
  ComPtr<host::TSysNode> process, window, left, right, first, second;
};

class CollisionTest : public NameMappingTest {
 protected:
  AlikeButtons Build(bool windowIsRoot = true) {
    AlikeButtons t;
    t.process = Add(host->Sys(), u"Process", {{u"ProcessName", OleVariant(u"app")}});
    t.window = Add(*t.process, u"Window", {{u"WndClass", OleVariant(u"Form")}});
    t.left = Add(*t.window, u"Panel", {{u"WndClass", OleVariant(u"Panel")}, {u"Index", OleVariant(1)}});
    t.right = Add(*t.window, u"Panel", {{u"WndClass", OleVariant(u"Panel")}, {u"Index", OleVariant(2)}});
    t.first = Add(*t.left, u"Button",
                  {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"OK")}, {u"Id", OleVariant(11)}});
    t.second = Add(*t.right, u"Button",
                   {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"OK")}, {u"Id", OleVariant(12)}});
    Provide(*t.window, {u"WndClass"}, {}, false, windowIsRoot);
    Provide(*t.process, {u"ProcessName"}, {}, false, true);
    return t;
  }
};

TEST_F(CollisionTest, SettingOffMapsUnderTheDirectParent) {
  auto repo = Publish();
  auto t = Build();
  Provide(*t.first, {u"WndClass", u"Caption"}, {u"Id"});
  SetProviders(false);
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, nullptr));
  EXPECT_FALSE(chain[0].UnderSearchRoot);
  EXPECT_TRUE(chain[0].PropertyNames.empty());  // no provider, no own identification
  EXPECT_EQ(chain.size(), 5u);                  // every level up to Sys
  EXPECT_EQ(host->ObjectTree().VisitedCount(), 0u);
}

TEST_F(CollisionTest, ExtraPropertyTellsTheCollisionApart) {
  Publish();
  auto t = Build();
  Provide(*t.first, {u"WndClass", u"Caption"}, {u"Id"});
  SetProviders(true);
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, nullptr));
  EXPECT_TRUE(chain[0].UnderSearchRoot);
  EXPECT_THAT(chain[0].PropertyNames, ElementsAre(u"WndClass", u"Caption", u"Id"));
  // The chain goes on with the search root: the panel between is not mapped.
  ASSERT_GE(chain.size(), 2u);
  EXPECT_EQ(GetNodeKey(chain[1].Node.Get()), t.window->Key());
}

TEST_F(CollisionTest, CollisionWithoutExtraPropertyGoesDownToTheParent) {
  Publish();
  auto t = Build();
  Provide(*t.first, {u"WndClass", u"Caption"}, {});
  SetProviders(true);
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, nullptr));
  // The twin is under the other panel: the root moves down to the left panel, where the button
  // is unique.
  EXPECT_TRUE(chain[0].UnderSearchRoot);
  EXPECT_EQ(GetNodeKey(chain[1].Node.Get()), t.left->Key());
}

TEST_F(CollisionTest, SameParentCollisionMapsUnderTheParent) {
  Publish();
  auto t = Build();
  auto twin = Add(*t.left, u"Button", {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"OK")}});
  Provide(*t.first, {u"WndClass", u"Caption"}, {});
  SetProviders(true);
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, nullptr));
  EXPECT_FALSE(chain[0].UnderSearchRoot);
  EXPECT_EQ(GetNodeKey(chain[1].Node.Get()), t.left->Key());
}

// The object tree, with the visits asked of it recorded: root, depth and the other arguments.
class TRecordedVisits final : public TForwardingSysManager {
 public:
  using TForwardingSysManager::TForwardingSysManager;
  struct Visit {
    GUID root;
    std::int32_t reserved1, depth, reserved2;
    bool hasData;
  };
  std::vector<Visit> visits;
  HRESULT VisitNodes(IpwSysNode* root, IpwSysNodeVisitor* visitor, std::uint8_t* data, std::int32_t a,
                     std::int32_t depth, std::int32_t b) override {
    visits.push_back({GetNodeKey(root), a, depth, b, data != nullptr});
    return TForwardingSysManager::VisitNodes(root, visitor, data, a, depth, b);
  }
};

TEST_F(CollisionTest, FirstSearchHasNoDepthLimit) {
  Publish();
  auto t = Build();
  Provide(*t.first, {u"WndClass", u"Caption"}, {});  // collides with the twin: the root moves down
  Provide(*t.left, {u"WndClass"}, {u"Index"});       // the next level searches too
  SetProviders(true);
  auto recorded = MakeObject<TRecordedVisits>(&host->ObjectTree());
  host->SetService(kSysManagerService, static_cast<IpwSysManager*>(recorded.Get()));
  TpwNodeMapInfoArray chain;
  ASSERT_TRUE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, nullptr));
  struct Expected {
    host::TSysNode* root;
    std::int32_t depth;
  } expected[] = {
      {t.window.Get(), 2147483647},  // the first search of the chain: no limit
      {t.left.Get(), 2147483647},    // the same level, the root moved down: still none
      {t.window.Get(), 2},           // the next level: down to the depth of the node searched before
  };
  ASSERT_EQ(recorded->visits.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    const auto& v = recorded->visits[i];
    EXPECT_EQ(v.root, expected[i].root->Key());
    EXPECT_EQ(v.depth, expected[i].depth);
    EXPECT_EQ(v.reserved1, 0);
    EXPECT_EQ(v.reserved2, 0);
    EXPECT_TRUE(v.hasData);
  }

  // The depth itself: unlimited without a node searched before, else the node's depth below the
  // root.
  EXPECT_EQ(GetNodeDepth(AsNode(t.window.Get()), nullptr), INT32_MAX);
  EXPECT_EQ(GetNodeDepth(AsNode(t.window.Get()), AsNode(t.first.Get())), 2);
  EXPECT_EQ(GetNodeDepth(AsNode(t.left.Get()), AsNode(t.first.Get())), 1);
  // Not above: the node's ancestors (left, window, process, Sys) plus 2.
  EXPECT_EQ(GetNodeDepth(AsNode(t.right.Get()), AsNode(t.first.Get())), 6);
}

TEST_F(CollisionTest, CommonAncestorWithUnequalDepths) {
  auto t = Build();
  auto deep = Add(*t.first, u"Inner", {});
  auto deeper = Add(*deep, u"Innermost", {});
  struct Case {
    host::TSysNode* a;
    host::TSysNode* b;
    host::TSysNode* expected;
  } cases[] = {
      {t.first.Get(), t.second.Get(), t.window.Get()},
      {deeper.Get(), t.second.Get(), t.window.Get()},  // unequal depths, either order
      {t.second.Get(), deeper.Get(), t.window.Get()},
      {deeper.Get(), t.first.Get(), t.left.Get()},  // B above A
      {t.left.Get(), t.right.Get(), t.window.Get()},
      {&host->Sys(), t.first.Get(), nullptr},  // the top has no strict ancestor
  };
  for (const auto& c : cases) {
    auto found = FindCommonAncestor(AsNode(c.a), AsNode(c.b));
    if (!c.expected) {
      EXPECT_FALSE(found);
    } else {
      ASSERT_TRUE(found);
      EXPECT_EQ(GetNodeKey(found.Get()), c.expected->Key());
    }
  }
  auto towards = GetChildTowards(AsNode(t.window.Get()), AsNode(deeper.Get()));
  ASSERT_TRUE(towards);
  EXPECT_EQ(GetNodeKey(towards.Get()), t.left->Key());
  EXPECT_FALSE(GetChildTowards(AsNode(t.right.Get()), AsNode(deeper.Get())));
}

// An object tree whose visits always report one node outside the root (as a host that visits
// wrongly would): the search root cannot move down. Visits past a bound fail, so a loop that
// never ends shows as a failure instead of a hang.
class TWrongVisits final : public TForwardingSysManager {
 public:
  TWrongVisits(IpwSysManager* inner, IpwSysNode* outside) : TForwardingSysManager(inner), outside_(outside) {}
  int visits = 0;
  HRESULT VisitNodes(IpwSysNode*, IpwSysNodeVisitor* visitor, std::uint8_t* data, std::int32_t, std::int32_t,
                     std::int32_t) override {
    if (++visits > 50) return E_ABORT;
    VARIANT_BOOL stop = VARIANT_FALSE;
    return visitor->Visit(outside_.Get(), data, &stop);
  }

 private:
  ComPtr<IpwSysNode> outside_;
};

TEST_F(CollisionTest, RootThatDoesNotMoveEndsTheSearch) {
  Publish();
  auto t = Build();
  auto elsewhere = Add(host->Sys(), u"Button", {{u"WndClass", OleVariant(u"Button")}, {u"Caption", OleVariant(u"OK")}});
  Provide(*t.first, {u"WndClass", u"Caption"}, {});
  SetProviders(true);
  auto wrong = MakeObject<TWrongVisits>(&host->ObjectTree(), AsNode(elsewhere.Get()));
  host->SetService(kSysManagerService, static_cast<IpwSysManager*>(wrong.Get()));
  TpwMapChainBuild build(host->Manager(), nullptr);
  TpwNodeMapInfo info;
  ComPtr<IpwSysNode> next;
  ASSERT_TRUE(build.BuildMapLevel(AsNode(t.first.Get()), info, next));
  EXPECT_FALSE(info.UnderSearchRoot);
  EXPECT_EQ(build.StuckRoots(), 1);
  EXPECT_EQ(wrong->visits, 1);
  EXPECT_EQ(GetNodeKey(next.Get()), t.left->Key());
}

TEST_F(CollisionTest, CancelDuringTheVisit) {
  Publish();
  auto t = Build();
  Provide(*t.first, {u"WndClass", u"Caption"}, {u"Id"});
  SetProviders(true);
  auto progress = MakeObject<TProgress>();
  progress->cancelAt = 1;  // the first level's check passes, the first visited node cancels
  TpwNodeMapInfoArray chain;
  EXPECT_FALSE(BuildNodeMapChain(host->Manager(), AsNode(t.first.Get()), chain, progress.Get()));
  EXPECT_TRUE(chain.empty());
  EXPECT_EQ(progress->ends, 1);
}

TEST(NameMappingValues, EqualityAndNameLists) {
  struct Case {
    OleVariant a, b;
    bool equal;
  } cases[] = {
      {OleVariant(u"OK"), OleVariant(u"ok"), true}, {OleVariant(1), OleVariant(1.0), true},
      {OleVariant(true), OleVariant(true), true},   {OleVariant(true), OleVariant(false), false},
      {OleVariant(u"12"), OleVariant(12), true},    {OleVariant(), OleVariant(), true},
      {OleVariant(), OleVariant(u""), false},       {OleVariant::Null(), OleVariant(0), false},
  };
  for (const auto& c : cases) EXPECT_EQ(ValuesEqual(c.a, c.b), c.equal);
  TNamesArray names{u"Caption"};
  EXPECT_FALSE(AddUniqueName(u"caption", names));
  EXPECT_TRUE(AddUniqueName(u"Id", names));
  EXPECT_THAT(names, ElementsAre(u"Caption", u"Id"));
  TNamesArray appended;
  AppendVariantNames(host::MakeNamesVariant({u"A", u"B"}), appended);
  AppendVariantNames(OleVariant(u"C"), appended);
  AppendVariantNames(OleVariant(3), appended);
  EXPECT_THAT(appended, ElementsAre(u"A", u"B", u"C"));
}

}  // namespace
}  // namespace pw
