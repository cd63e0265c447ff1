// Node names as code, invoke-expression text and lookups by key, against the test host's
// object tree, code model and project registry.
#include <gtest/gtest.h>

#include "core/host/invoke_expressions.h"
#include "core/host/node_names.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

using host::TSysNode;

// Sys > Process("notepad") > Window("Notepad", "Untitled - Notepad", 1) > Button("OK")
class NodeNames : public ::testing::Test {
 protected:
  void SetUp() override {
    process = host.Sys().AddChild(u"Process", {OleVariant(u"notepad")});
    window = process->AddChild(u"Window", {OleVariant(u"Notepad"), OleVariant(u"Untitled - Notepad"), OleVariant(1)});
    button = window->AddChild(u"Button", {OleVariant(u"OK")});
  }
  WideString FullName(TSysNode* node, bool preferMapped = false) {
    return GenerateSysNodeFullName(host.Manager(), static_cast<IpwSysNode*>(node), preferMapped);
  }
  void UseLanguage(const char16_t* name) {
    host.Settings().FindSetting(host::kCurrentLanguageSetting)->put_Value(OleVariant(name).Get());
  }

  host::TestHost host;
  ComPtr<TSysNode> process, window, button;
};

TEST_F(NodeNames, NestedObjectsAreQualifiedByTheirAncestors) {
  EXPECT_EQ(FullName(button.Get()), u"Sys.Process(\"notepad\").Window(\"Notepad\", \"Untitled - Notepad\", 1).Button(\"OK\")");
  EXPECT_EQ(FullName(&host.Sys()), u"Sys");
  EXPECT_EQ(FullName(nullptr), u"");
  EXPECT_EQ(GenerateSysNodeFullName(nullptr, button.Get(), false), u"");
  // The host's own names are not changed by the chains built from them.
  EXPECT_EQ(button->FullNameText(), FullName(button.Get()));
  EXPECT_EQ(FullName(window.Get()), u"Sys.Process(\"notepad\").Window(\"Notepad\", \"Untitled - Notepad\", 1)");
}

TEST_F(NodeNames, TheLanguageSettingIsMatchedIgnoringCase) {
  UseLanguage(u"vbscript");
  EXPECT_EQ(GetCurrentLanguageKey(host.Manager()), host::kVBScriptLanguageKey);
  process->SetProperty(kFirstNamePropertyKey, OleVariant(static_cast<IUnknown*>(
      host::MakeInvokeExpression(u"Process", {OleVariant(u"say \"hi\"")}).Get())));
  EXPECT_EQ(FullName(process.Get()), u"Sys.Process(\"say \"\"hi\"\"\")");
  UseLanguage(u"COBOL");
  EXPECT_EQ(GetCurrentLanguageKey(host.Manager()), GUID_NULL);
  EXPECT_EQ(FindLanguageKeyByName(host.Manager(), u"JAVASCRIPT"), host::kJavaScriptLanguageKey);
  EXPECT_EQ(FindLanguageKeyByName(host.Manager(), u""), GUID_NULL);
  host.SetService(host::services::kSyntax, nullptr);
  EXPECT_EQ(FindLanguageKeyByName(host.Manager(), u"JavaScript"), GUID_NULL);
  EXPECT_EQ(FullName(button.Get()), u"");
}

TEST_F(NodeNames, AMappedAncestorEndsTheWalk) {
  window->SetMappedName(u"Aliases.notepad.wndNotepad");
  EXPECT_EQ(FullName(button.Get(), true), u"Aliases.notepad.wndNotepad.Button(\"OK\")");
  EXPECT_EQ(FullName(button.Get(), false),
            u"Sys.Process(\"notepad\").Window(\"Notepad\", \"Untitled - Notepad\", 1).Button(\"OK\")");
  // The node's own mapped name stands alone.
  button->SetMappedName(u"Aliases.ok");
  EXPECT_EQ(FullName(button.Get(), true), u"Aliases.ok");
}

TEST_F(NodeNames, LevelsWithoutANameAreSkipped) {
  window->ClearName();
  EXPECT_EQ(FullName(button.Get()), u"Sys.Process(\"notepad\").Button(\"OK\")");
  host.Sys().ClearName();
  process->ClearName();
  window->ClearName();
  button->ClearName();
  EXPECT_FALSE(CreateNodeNameSyntax(button.Get(), false, false));
  EXPECT_EQ(FullName(button.Get()), u"");
}

TEST_F(NodeNames, SecondNameChain) {
  process->SetSecondName(u"Proc", {OleVariant(2)});
  auto e = CreateNodeNameSyntax(process.Get(), true, false);
  ASSERT_TRUE(e);
  BString text;
  ASSERT_EQ(host.Syntax().RenderElement(e.Get(), host::kJavaScriptLanguageKey, text.Put()), S_OK);
  EXPECT_EQ(text.Str(), u"Proc(2)");  // the root has no second name
}

TEST_F(NodeNames, ProjectLanguageComesFromTheProjectOfTheRunOrCurrentNode) {
  auto& projects = host.Projects();
  auto suite = MakeObject<host::THostProjectNode>(nullptr, MakeGuid("{22222222-0000-0000-0000-000000000001}"), u"Suite");
  auto vbProject = MakeObject<host::THostProjectNode>(suite.Get(), host::kProjectNodeType, u"VB");
  vbProject->SetLanguageKey(host::kVBScriptLanguageKey);
  auto jsProject = MakeObject<host::THostProjectNode>(suite.Get(), host::kProjectNodeType, u"JS");
  jsProject->SetLanguageKey(host::kJavaScriptLanguageKey);
  auto vbItem = MakeObject<host::THostProjectNode>(vbProject.Get(), MakeGuid("{22222222-0000-0000-0000-000000000002}"), u"Unit1");
  auto jsItem = MakeObject<host::THostProjectNode>(jsProject.Get(), MakeGuid("{22222222-0000-0000-0000-000000000002}"), u"Unit2");
  for (auto* n : {suite.Get(), vbProject.Get(), jsProject.Get(), vbItem.Get(), jsItem.Get()}) projects.AddNode(n);

  // No suite open: the host setting decides.
  projects.SetCurrentNode(vbItem.Get());
  EXPECT_EQ(GetProjectLanguageKey(host.Manager()), host::kJavaScriptLanguageKey);
  projects.SetSuiteOpen(true);
  EXPECT_EQ(GetProjectLanguageKey(host.Manager()), host::kVBScriptLanguageKey);
  EXPECT_EQ(FullName(process.Get()), u"Sys.Process(\"notepad\")");
  // The item the run works on wins over the current node.
  projects.SetRunItem(jsItem.Get());
  EXPECT_EQ(GetProjectLanguageKey(host.Manager()), host::kJavaScriptLanguageKey);
  // No project above: the setting again.
  projects.SetRunItem(nullptr);
  projects.SetCurrentNode(suite.Get());
  UseLanguage(u"VBScript");
  EXPECT_EQ(GetProjectLanguageKey(host.Manager()), host::kVBScriptLanguageKey);
}

TEST_F(NodeNames, ExtensionsByKeyAndHighlightReset) {
  constexpr GUID kOther = MakeGuid("{22222222-0000-0000-0000-0000000000E1}");
  auto other = button->AddExtension(kOther);
  auto ext = button->AddExtension(kNodeExtensionKey);
  EXPECT_EQ(IdentityOf(FindNodeExtensionByGuid(button.Get()).Get()), ext->Identity());
  EXPECT_EQ(IdentityOf(FindNodeExtension(button.Get(), kOther).Get()), other->Identity());
  EXPECT_FALSE(FindNodeExtensionByGuid(window.Get()));
  EXPECT_FALSE(FindNodeExtension(nullptr, kOther));

  auto second = host.Sys().AddChild(u"Process", {OleVariant(u"calc")});
  process->Highlight();
  second->Highlight();
  window->Highlight();
  ResetSysNodeHighlights(host.Manager());
  EXPECT_FALSE(process->Highlighted());
  EXPECT_FALSE(second->Highlighted());
  EXPECT_TRUE(window->Highlighted());  // only the top-level objects
  ResetSysNodeHighlights(nullptr);
}

// A call record as IDispatch::Invoke gets it: arguments last first.
struct CallRecord {
  std::vector<OleVariant> reversed;
  DISPPARAMS params{};
  explicit CallRecord(std::vector<OleVariant> callOrder) : reversed(callOrder.rbegin(), callOrder.rend()) {
    params = {reversed.empty() ? nullptr : reversed[0].Ptr(), nullptr, static_cast<std::uint32_t>(reversed.size()), 0};
  }
};

TEST(InvokeExpressions, ArgumentsInCallOrderAndTheLastOneLeftOut) {
  host::TestHost host;
  CallRecord call({OleVariant(u"https://example.org/a?b=\"c\""), OleVariant(2), OleVariant(true)});
  auto* m = host.Manager();
  EXPECT_EQ(BuildInvokeExpressionText(m, u"ToUrl", call.params, 0, false), u"ToUrl");
  EXPECT_EQ(BuildInvokeExpressionText(m, u"ToUrl", call.params, 2, false),
            u"ToUrl(\"https://example.org/a?b=\\\"c\\\"\", 2)");
  EXPECT_EQ(BuildInvokeExpressionText(m, u"ToUrl", call.params, 3, false),
            u"ToUrl(\"https://example.org/a?b=\\\"c\\\"\", 2, true)");
  EXPECT_EQ(BuildInvokeExpressionText(m, u"ToUrl", call.params, 3, true),
            u"ToUrl(\"https://example.org/a?b=\\\"c\\\"\", 2)");
  // A count above the record's arguments renders what the record has.
  CallRecord one({OleVariant(1.5)});
  EXPECT_EQ(BuildInvokeExpressionText(m, u"Wait", one.params, 3, false), u"Wait(1.5)");

  EXPECT_EQ(GetRegistryLanguageKey(m), host::kJavaScriptLanguageKey);
  host.Projects().SetCurrentLanguage(host::kVBScriptLanguageKey);
  EXPECT_EQ(BuildInvokeExpressionText(m, u"Navigate", call.params, 3, false),
            u"Navigate(\"https://example.org/a?b=\"\"c\"\"\", 2, True)");
  host.Projects().SetCurrentLanguage(GUID_NULL);
  EXPECT_THROW(BuildInvokeExpressionText(m, u"Navigate", call.params, 1, false), EOleException);
  EXPECT_EQ(BuildInvokeExpressionText(nullptr, u"Navigate", call.params, 1, false), u"");
}

TEST(InvokeExpressions, HostObjectsByKeyAndContextItems) {
  host::TestHost host;
  auto process = host.Sys().AddChild(u"Process", {OleVariant(u"notepad")});
  auto window = process->AddChild(u"Window", {});
  EXPECT_EQ(IdentityOf(GetSysNodeByKey(host.Manager(), window->Key()).Get()), window->Identity());
  EXPECT_FALSE(GetSysNodeByKey(host.Manager(), MakeGuid("{22222222-0000-0000-0000-0000000000F1}")));
  auto registered = host.Sys().AddExtension(GUID_NULL);
  constexpr GUID kKey = MakeGuid("{22222222-0000-0000-0000-0000000000F2}");
  host.HostObjects().RegisterObject(kKey, registered->Identity());
  EXPECT_EQ(IdentityOf(GetSysNodeByKey(host.Manager(), kKey).Get()), registered->Identity());
  EXPECT_FALSE(GetSysNodeByKey(nullptr, kKey));

  class TContext : public Implements<ComObject, IpwOpenAppContextItem> {
   public:
    HRESULT GetNativeObject(IUnknown** object) override {
      *object = nullptr;
      return S_OK;
    }
  };
  auto context = MakeObject<TContext>();
  window->SetContextObject(kContextItemKey, context->Identity());
  EXPECT_EQ(IdentityOf(GetNodeContextItem(window->Identity()).Get()), context->Identity());
  // Something that is no context item under the key, or nothing at all.
  process->SetContextObject(kContextItemKey, window->Identity());
  EXPECT_FALSE(GetNodeContextItem(process->Identity()));
  EXPECT_FALSE(GetNodeContextItem(host.Log().Identity()));
  EXPECT_FALSE(GetNodeContextItem(nullptr));
}

TEST(CodeModel, ConstantsInBothLanguages) {
  host::TestHost host;
  struct Case {
    OleVariant value;
    const char16_t* js;
    const char16_t* vb;
  } cases[] = {
      {OleVariant(u"a\"b\\c\nd"), u"\"a\\\"b\\\\c\\nd\"", u"\"a\"\"b\\c\" & Chr(10) & \"d\""},
      {OleVariant(u""), u"\"\"", u"\"\""},
      {OleVariant(-7), u"-7", u"-7"},
      {OleVariant(0.1), u"0.1", u"0.1"},
      {OleVariant(false), u"false", u"False"},
      {OleVariant::Null(), u"null", u"Null"},
      {OleVariant(), u"null", u"Empty"},
      {OleVariant::Of(VT_CY, 25000), u"2.5", u"2.5"},
  };
  for (const auto& c : cases) {
    auto e = host::MakeInvokeExpression(u"F", {c.value});
    EXPECT_EQ(host::RenderSyntaxElement(e.Get(), host::kJavaScriptLanguageKey), WideString(u"F(") + c.js + u")");
    EXPECT_EQ(host::RenderSyntaxElement(e.Get(), host::kVBScriptLanguageKey), WideString(u"F(") + c.vb + u")");
  }
}

TEST(CodeModel, ObjectsByInterfaceAndElementsThatQualifyThemselves) {
  host::TestHost host;
  ComPtr<IUnknown> made;
  ASSERT_EQ(host.Syntax().CreateObject(IcvSyntaxConstantExpression::iid, made.Put()), S_OK);
  EXPECT_TRUE(QueryAs<IcvSyntaxConstantExpression>(made.Get()));
  EXPECT_EQ(host.Syntax().CreateObject(IpwSysNode::iid, made.Put()), E_NOINTERFACE);

  auto e = host::MakeInvokeExpression(u"Loop", {});
  e->put_Qualifier(e.Get());
  BString text;
  EXPECT_EQ(host.Syntax().RenderElement(e.Get(), host::kJavaScriptLanguageKey, text.Put()), E_INVALIDARG);
  e->put_Qualifier(nullptr);  // the cycle is broken so the element can go
}

}  // namespace
}  // namespace pw
