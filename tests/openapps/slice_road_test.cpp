// The road from a script call to a slice: a builder extends a node with a slice, and a script
// calls the slice's members on the node, and on a proxy standing in for the node.
#include "host/script/script_engine.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

class SliceRoadTest : public ExtensionTest {
 protected:
  void SetUp() override {
    builder = MakeObject<TTestBuilder>(Manager(), GUID_NULL, GUID_NULL);
    host->ObjectTree().AddBuilder(builder.Get());
    window = host->Sys().AddChild(u"Process", {OleVariant(u"app")})->AddChild(u"Window", {OleVariant(u"Main")});
    window->SetNativeObject(kTestNativeKind, MakeObject<TTestSlice>()->Identity());  // any object will do
    plain = host->Sys().AddChild(u"Plain");
    EXPECT_TRUE(host->ObjectTree().OfferNode(host->Sys(), true).empty());
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
