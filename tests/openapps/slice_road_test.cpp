// The road from a script call to a slice: a builder extends a node with a slice, and a script
// calls the slice's members on the node, and on a proxy standing in for the node.
#include "host/script/script_engine.h"
#include "openapps/extensions/node_builder.h"
#include "platform/rtl/strings.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

class SliceRoadTest : public ExtensionTest {
 protected:
  void SetUp() override {
    builder = MakeObject<TTestBuilder>(Manager(), GUID_NULL, GUID_NULL);
    host->ObjectTree().AddBuilder(builder.Get());
    // Sys was there before the builder; the nodes added after are offered as they join.
    EXPECT_TRUE(host->ObjectTree().OfferNode(host->Sys()).empty());
    window = host->Sys()
                 .AddChild(u"Process", {OleVariant(u"app")})
                 ->AddChild(u"Window", {OleVariant(u"Main")}, GUID_NULL, [](host::TSysNode& node) {
                   node.SetNativeObject(kTestNativeKind, MakeObject<TTestSlice>()->Identity());  // any object
                 });
    plain = host->Sys().AddChild(u"Plain");
    EXPECT_TRUE(host->ObjectTree().BuilderFailures().empty());
  }
  void TearDown() override { host->ObjectTree().ClearBuilders(); }

  std::vector<WideString> Run(const std::string& source, bool expectOk = true) {
    host::ScriptEngine engine(host->RuntimeObjects());
    host::ScriptError error;
    bool ok = engine.Run("road.js", source, error);
    EXPECT_EQ(ok, expectOk) << error.Text();
    std::vector<WideString> texts;
    for (const auto& e : host->Log().Entries()) texts.push_back(e.text);
    return texts;
  }

  ComPtr<TTestBuilder> builder;
  ComPtr<host::TSysNode> window, plain;
};

TEST_F(SliceRoadTest, BuilderAddsTheSliceOnlyWhereItsNativeObjectIs) {
  EXPECT_EQ(builder->extended, 4);  // Sys, the process, the window, Plain
  ASSERT_EQ(window->Slices().size(), 1u);
  EXPECT_EQ(window->Slices()[0].iid, IpwTestSlice::iid);
  EXPECT_EQ(window->Slices()[0].group, kTestSliceGroup);
  EXPECT_TRUE(plain->Slices().empty());
}

// A builder that fails on every node.
class TFailingBuilder final : public TpwSysNodeBuilder {
 public:
  using TpwSysNodeBuilder::TpwSysNodeBuilder;

 protected:
  void DoExtendNode(IpwSysNode*) override { OleError(E_ACCESSDENIED); }
  bool DoOperation7(IUnknown*) override { return false; }
};

// A node that joins the tree after the builders came is offered to each of them once, as it
// joins (a child of the window, a process of the process model); the failures of those offers
// are kept in order; after the builders are cleared, nothing is offered.
TEST_F(SliceRoadTest, NodesAddedLaterAreOfferedAsTheyJoin) {
  auto failing = MakeObject<TFailingBuilder>(Manager(), GUID_NULL, GUID_NULL);
  host->ObjectTree().AddBuilder(failing.Get());
  auto late = window->AddChild(u"Button", {OleVariant(u"OK")}, GUID_NULL, [](host::TSysNode& node) {
    node.SetNativeObject(kTestNativeKind, MakeObject<TTestSlice>()->Identity());
  });
  EXPECT_EQ(builder->extended, 5);
  ASSERT_EQ(late->Slices().size(), 1u);
  EXPECT_EQ(late->Slices()[0].iid, IpwTestSlice::iid);
  plain->AddChild(u"Bare");
  EXPECT_EQ(builder->extended, 6);
  auto failures = host->ObjectTree().BuilderFailures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].rfind(u"Sys.Process(\"app\").Window(\"Main\").Button(\"OK\"): ", 0), 0u)
      << WideToUtf8(failures[0]);
  EXPECT_EQ(failures[1].rfind(u"Sys.Plain.Bare: ", 0), 0u) << WideToUtf8(failures[1]);
  host->ObjectTree().ClearBuilders();
  plain->AddChild(u"Unseen");
  EXPECT_EQ(builder->extended, 6);
  EXPECT_EQ(host->ObjectTree().BuilderFailures().size(), 2u);
}

// A property the node does not hold comes from the builders that serve it (those whose
// ExtendNode added a slice), the node's own properties first; a node no builder serves, and
// every node once the builders are gone, answers Null.
TEST_F(SliceRoadTest, StandardPropertiesComeFromTheBuildersThatServeTheNode) {
  namespace p = node_properties;
  const GUID type = MakeGuid("{7A7A7A7A-0000-0000-0000-000000000002}");
  host->ObjectTree().RegisterType(type, u"Test window");
  window->SetObjectType(type);
  auto property = [](const ComPtr<host::TSysNode>& node, const GUID& key) {
    OleVariant v;
    EXPECT_EQ(Node(node)->GetPropertyValue(key, v.Ptr()), S_OK);
    return v;
  };
  EXPECT_EQ(property(window, p::kTypeName).AsString(), u"Test window");
  EXPECT_EQ(property(window, p::kIntegerA).AsInt(), -1);
  EXPECT_EQ(property(window, p::kNullA).Type(), VT_NULL);
  EXPECT_EQ(property(window, MakeGuid("{7A7A7A7A-0000-0000-0000-000000000003}")).Type(),
            VT_NULL);  // no one's: Unassigned becomes Null
  // The node's own name, not the builder's default Child(n).
  EXPECT_NE(property(window, p::kNameSyntax).Type(), VT_NULL);
  EXPECT_EQ(Node(window)->GetPropertyValue(p::kNameSyntax, nullptr), E_POINTER);
  EXPECT_EQ(property(plain, p::kTypeName).Type(), VT_NULL);
  host->ObjectTree().ClearBuilders();
  EXPECT_EQ(property(window, p::kTypeName).Type(), VT_NULL);
}

TEST_F(SliceRoadTest, AScriptCallsTheSliceThroughTheNode) {
  auto texts =
      Run("var w = Sys.Child(0).Child(0);\n"
          "Log.Message(String(w.Ping(41)));\n"
          "Log.Message(w.NodeName);\n"
          "Log.Message(w.Name);\n");  // the node's own members still answer first
  EXPECT_EQ(texts, (std::vector<WideString>{u"42", u"Window(\"Main\")", u"Window(\"Main\")"}));
  // A member no one has fails; a slice's error reaches the script.
  Run("Sys.Child(1).Ping(1);", false);
  Run("Sys.Child(0).Child(0).Fail();", false);
}

TEST_F(SliceRoadTest, AScriptCallsTheSliceThroughAProxy) {
  auto proxy = MakeObject<TPlainProxy>(static_cast<IpwSysNodeEx*>(window.Get()));
  host->RuntimeObjects().Register(u"Proxy", proxy->Dispatch());
  auto texts = Run("Log.Message(String(Proxy.Ping(1)) + ' ' + Proxy.NodeName);");
  EXPECT_EQ(texts, (std::vector<WideString>{u"2 Window(\"Main\")"}));
}

TEST_F(SliceRoadTest, TheSliceLosesItsNodeWithTheTree) {
  auto slice = window->Slices()[0].dispatch;
  auto process = window->Parent();
  host->Sys().RemoveChild(process.Get());
  // The node's slices stay with it, but a slice reaches no node that left the tree.
  DISPID id = 0;
  ASSERT_EQ(IdOf(slice.Get(), u"NodeName", &id), S_OK);
  OleVariant result;
  EXPECT_EQ(Call(slice.Get(), id, DISPATCH_PROPERTYGET, {}, result.Put()), DISP_E_EXCEPTION);
}

}  // namespace
}  // namespace pw
