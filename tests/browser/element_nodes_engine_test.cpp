// Element test objects under page nodes, the windows' input actions and the list window of a
// drop-down select, on the real engine (run by the CTest test "browser_engine" only).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>

#include "host/browser/objects/element_nodes.h"
#include "host/browser/objects/input_actions.h"
#include "host/test_host.h"
#include "platform/kernel/processes.h"
#include "platform/ui/window_system.h"
#include "tests/browser/dispatch_call.h"
#include "tests/support/scratch_dir.h"

namespace pw::host {
namespace {

using browser::Json;

constexpr const char* kForm = R"(<!DOCTYPE html>
<html><head><title>Form</title><style>body { margin: 0; font: 16px sans-serif; }</style></head><body>
<div id="main"><a href="#x">Link</a><input id="in"><input type="checkbox" name="agree"><div>one</div><div>two</div>
<button id="go" style="width:200px;height:40px">Go</button></div>
<select id="pick" style="height:24px;width:150px"><option>Apple</option><option disabled>Banana</option>
<option>Cherry</option></select>
<iframe id="fr" srcdoc="<p id=inner>framed</p>" style="height:40px"></iframe>
<script>
  window.seen = [];
  const note = (e) => seen.push(e.type + ':' + (e.target.id || e.target.tagName));
  document.getElementById('go').addEventListener('click', note);
  document.getElementById('main').addEventListener('mouseover', note);
  document.getElementById('pick').addEventListener('change', note);
  document.getElementById('pick').addEventListener('input', note);
  document.addEventListener('click', (e) => { window.lastClick = [e.clientX, e.clientY]; });
</script></body></html>)";

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

std::u16string TextOfValue(const OleVariant& v) {
  return v.Ptr()->vt == VT_BSTR ? std::u16string(BstrView(v.Ptr()->bstrVal)) : u"<not a text>";
}

std::u16string NameOf(TSysNode& node) {
  BSTR name = nullptr;
  node.get_Name(&name);
  std::u16string text(BstrView(name));
  SysFreeString(name);
  return text;
}

std::vector<std::u16string> ChildNames(TSysNode& node) {
  std::int32_t count = 0;
  node.GetChildCount(&count);
  std::vector<std::u16string> names;
  for (const auto& c : node.Children()) names.push_back(NameOf(*c));
  return names;
}

ComPtr<TSysNode> ChildNamed(TSysNode& node, const std::u16string& name) {
  std::int32_t count = 0;
  node.GetChildCount(&count);
  for (const auto& c : node.Children())
    if (NameOf(*c) == name) return c;
  return nullptr;
}

class RealEngineElements : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test browser_engine";
    std::ofstream(dir_.Utf8File("form.html")) << kForm;
    TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<TestHost>(options);
    tested_ = host_->Browsers().Launch(BrowserKind::InternetExplorer, "file://" + dir_.Utf8File("form.html"));
  }
  std::string Text(const std::string& expression) {
    return tested_->page->Evaluate(expression).object.value("value", std::string());
  }
  test::ScratchDir dir_;
  std::unique_ptr<TestHost> host_;
  std::shared_ptr<TestedBrowser> tested_;
};

TEST_F(RealEngineElements, APagesElementsAreTestObjectsReadALevelAtATime) {
  auto& connection = host_->Browsers().Engine().Conn();
  const auto before = connection.CallsSent();
  EXPECT_EQ(ChildNames(*tested_->node),
            (std::vector<std::u16string>{u"Panel(\"main\")", u"Select(\"pick\")", u"Frame(\"fr\")"}));
  EXPECT_EQ(connection.CallsSent() - before, 1);  // the whole level in one read; the script is left out
  auto main = ChildNamed(*tested_->node, u"Panel(\"main\")");
  ASSERT_TRUE(main);
  const auto level = connection.CallsSent();
  EXPECT_EQ(ChildNames(*main), (std::vector<std::u16string>{u"Link(0)", u"Textbox(\"in\")", u"Checkbox(\"agree\")",
                                                            u"Panel(0)", u"Panel(1)", u"Button(\"go\")"}));
  EXPECT_EQ(connection.CallsSent() - level, 1);
  ChildNames(*main);
  EXPECT_EQ(connection.CallsSent() - level, 1);  // read once until a refresh

  // The script members and the element behind the node.
  auto input = ChildNamed(*main, u"Textbox(\"in\")");
  ASSERT_TRUE(input);
  EXPECT_EQ(input->MemberValue(u"ObjectType").AsString(), u"Textbox");
  EXPECT_EQ(input->MemberValue(u"ObjectIdentifier").AsString(), u"in");
  EXPECT_EQ(input->MemberValue(u"tagName").AsString(), u"INPUT");
  ComPtr<IUnknown> native;
  ASSERT_EQ(input->GetNativeObject(GUID_NULL, native.Put()), S_OK);
  auto element = QueryAs<IDispatch>(native.Get());
  ASSERT_TRUE(element);
  EXPECT_EQ(test::Put(element.Get(), u"value", OleVariant(u"set")).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "set");

  // The element's own test object (0x01000002) is its node, also for an element not read yet.
  auto document = host_->Browsers().Document(*tested_);
  auto found = test::Get(document.Get(), u"getElementById", {OleVariant(u"in")});
  auto own = test::InvokeId(found.value.Ptr()->pdispVal, kDispElementTestObject, DISPATCH_PROPERTYGET);
  ASSERT_EQ(own.value.Ptr()->vt, VT_DISPATCH);
  EXPECT_EQ(own.value.Ptr()->pdispVal, input->Dispatch());
  tested_->page->Evaluate("document.getElementById('main').children[3].innerHTML = '<span id=deep>d</span>'");
  auto deep = test::Get(document.Get(), u"getElementById", {OleVariant(u"deep")});
  auto deepNode = test::InvokeId(deep.value.Ptr()->pdispVal, kDispElementTestObject, DISPATCH_PROPERTYGET);
  ASSERT_EQ(deepNode.value.Ptr()->vt, VT_DISPATCH);
  auto panel = ChildNamed(*main, u"Panel(0)");
  ASSERT_TRUE(panel && !panel->Children().empty());
  EXPECT_EQ(deepNode.value.Ptr()->pdispVal, panel->Children()[0]->Dispatch());
  auto head = test::Get(document.Get(), u"querySelector", {OleVariant(u"title")});
  auto none = test::InvokeId(head.value.Ptr()->pdispVal, kDispElementTestObject, DISPATCH_PROPERTYGET);
  EXPECT_EQ(none.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(none.error, "The element has no test object");
  auto frame = test::Get(document.Get(), u"getElementById", {OleVariant(u"fr")});
  auto inner = test::Get(frame.value.Ptr()->pdispVal, u"contentDocument");
  auto framed = test::Get(inner.value.Ptr()->pdispVal, u"getElementById", {OleVariant(u"inner")});
  ASSERT_EQ(framed.value.Ptr()->vt, VT_DISPATCH);
  // A srcdoc frame's element: its node below the frame's node (not the main document's element of
  // that place).
  auto framedNode = test::InvokeId(framed.value.Ptr()->pdispVal, kDispElementTestObject, DISPATCH_PROPERTYGET);
  ASSERT_EQ(framedNode.value.Ptr()->vt, VT_DISPATCH) << framedNode.error;
  auto frameNode = ChildNamed(*tested_->node, u"Frame(\"fr\")");
  ASSERT_TRUE(frameNode);
  EXPECT_EQ(ChildNames(*frameNode), (std::vector<std::u16string>{u"Panel(\"inner\")"}));
  EXPECT_EQ(framedNode.value.Ptr()->pdispVal, frameNode->Children().at(0)->Dispatch());

  // A refresh keeps the nodes of the elements still there, in the page's order.
  tested_->page->Evaluate(
      "document.getElementById('main').insertBefore(document.createElement('div'), document.getElementById('in'));"
      "document.querySelector('a').remove()");
  main->Refresh();
  EXPECT_EQ(ChildNames(*main), (std::vector<std::u16string>{u"Panel(0)", u"Textbox(\"in\")", u"Checkbox(\"agree\")",
                                                            u"Panel(1)", u"Panel(2)", u"Button(\"go\")"}));
  EXPECT_EQ(ChildNamed(*main, u"Textbox(\"in\")").Get(), input.Get());

  // A new document drops the element nodes; a node kept from before fails clearly.
  tested_->page->Navigate("file://" + dir_.Utf8File("form.html"));
  EXPECT_FALSE(input->InTree());
  auto stale = test::Get(input->Dispatch(), u"Click");
  EXPECT_EQ(stale.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(stale.error, "The object no longer exists");
  EXPECT_EQ(ChildNames(*tested_->node).size(), 3u);
}

// Each element node offers its element object under the web element kind (its object context
// and its control type, so the web builders attach control slices), and value, checked and
// Enabled are live members: read from the element at each call, written to it by a put, and
// listed as live so that Find leaves them out.
TEST_F(RealEngineElements, ElementObjectsAndLiveMembers) {
  const GUID elementKind = MakeGuid("{85B7275D-2E99-4A15-8D21-821BCA3D04A1}");
  auto main = ChildNamed(*tested_->node, u"Panel(\"main\")");
  ASSERT_TRUE(main);
  // The second div becomes an ARIA tab list before its level is read.
  tested_->page->Evaluate("document.querySelectorAll('#main > div')[1].setAttribute('role', 'tablist')");
  struct Case {
    TSysNode* parent;
    const char16_t* name;
    const char16_t* controlType;
  } cases[] = {
      {main.Get(), u"Checkbox(\"agree\")", u"input@checkbox"},
      {main.Get(), u"Textbox(\"in\")", u"input@text"},
      {main.Get(), u"Button(\"go\")", u"button"},
      {main.Get(), u"Panel(0)", u"div"},
      {main.Get(), u"Panel(1)", u"flash@tablist"},
      {tested_->node.Get(), u"Select(\"pick\")", u"select"},
      {tested_->node.Get(), u"Frame(\"fr\")", u"iframe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    auto node = ChildNamed(*c.parent, c.name);
    ASSERT_TRUE(node);
    ComPtr<IUnknown> native;
    ASSERT_EQ(node->GetNativeObject(elementKind, native.Put()), S_OK);
    auto element = QueryAs<IpwTabContext>(native.Get());
    ASSERT_TRUE(element);
    ComPtr<IDispatch> info;
    ASSERT_EQ(element->GetControlInfo(info.Put()), S_OK);
    EXPECT_EQ(TextOfValue(test::InvokeId(info.Get(), 0xC001, DISPATCH_PROPERTYGET).value), c.controlType);
    ComPtr<IUnknown> context, own;
    ASSERT_EQ(element->GetObjectContext(context.Put()), S_OK);
    ASSERT_EQ(node->GetContextObject(MakeGuid("{010C9CA9-DAD6-477B-92A5-A435CF493762}"), own.Put()), S_OK);
    EXPECT_TRUE(context && QueryAs<IUnknown>(context.Get()).Get() == QueryAs<IUnknown>(own.Get()).Get());
  }
  auto input = ChildNamed(*main, u"Textbox(\"in\")");
  auto box = ChildNamed(*main, u"Checkbox(\"agree\")");
  ASSERT_TRUE(input && box);
  IDispatch* field = input->Dispatch();
  EXPECT_EQ(TextOfValue(test::Get(field, u"value").value), u"");
  tested_->page->Evaluate("document.getElementById('in').value = 'typed'");
  EXPECT_EQ(TextOfValue(test::Get(field, u"VALUE").value), u"typed");  // no cached copy
  EXPECT_EQ(test::Put(field, u"value", OleVariant(u"put")).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "put");
  EXPECT_FALSE(test::Get(box->Dispatch(), u"checked").value.AsBool());
  EXPECT_EQ(test::Put(box->Dispatch(), u"checked", OleVariant(true)).hr, S_OK);
  EXPECT_EQ(Text("String(document.querySelector('[name=agree]').checked)"), "true");
  EXPECT_TRUE(test::Get(box->Dispatch(), u"Enabled").value.AsBool());
  tested_->page->Evaluate("document.querySelector('[name=agree]').disabled = true");
  EXPECT_FALSE(test::Get(box->Dispatch(), u"Enabled").value.AsBool());
  EXPECT_NE(test::Put(box->Dispatch(), u"Enabled", OleVariant(true)).hr, S_OK);  // read only
  OleVariant live;
  ASSERT_EQ(input->GetPropertyValue(kLiveMembersProperty, live.Ptr()), S_OK);
  EXPECT_EQ(live.AsString(), u"value;checked;Enabled;");
}

TEST_F(RealEngineElements, ARefreshReadsTheWholeTreeWithItsPropertiesInOneRound) {
  auto& connection = host_->Browsers().Engine().Conn();
  const auto before = connection.CallsSent();
  tested_->node->Refresh();
  EXPECT_EQ(connection.CallsSent() - before, 1);
  auto main = ChildNamed(*tested_->node, u"Panel(\"main\")");
  ASSERT_TRUE(main);
  auto link = ChildNamed(*main, u"Link(0)");
  auto input = ChildNamed(*main, u"Textbox(\"in\")");
  auto box = ChildNamed(*main, u"Checkbox(\"agree\")");
  ASSERT_TRUE(link && input && box);
  for (const auto& child : main->Children()) ChildNames(*child);
  EXPECT_EQ(connection.CallsSent() - before, 1);  // every level below was read with the page's
  // The properties the nodes answer from that read: those the element has, as it has them.
  EXPECT_EQ(main->MemberValue(u"id").AsString(), u"main");
  EXPECT_EQ(input->MemberValue(u"type").AsString(), u"text");
  EXPECT_EQ(box->MemberValue(u"name").AsString(), u"agree");
  EXPECT_EQ(box->MemberValue(u"type").AsString(), u"checkbox");
  EXPECT_NE(link->MemberValue(u"href").AsString().find(u"form.html#x"), std::u16string::npos);
  EXPECT_EQ(main->MemberValue(u"href").Get().vt, VT_EMPTY);  // a div has no href
  EXPECT_EQ(connection.CallsSent() - before, 1);
  // The next refresh answers what changed meanwhile, on the nodes kept.
  tested_->page->Evaluate("document.getElementById('in').type = 'password'; document.getElementById('in').title = 't'");
  tested_->node->Refresh();
  EXPECT_EQ(ChildNamed(*main, u"Textbox(\"in\")"), nullptr);  // now a PasswordBox: another node
  auto password = ChildNamed(*main, u"PasswordBox(\"in\")");
  ASSERT_TRUE(password);
  EXPECT_EQ(password->MemberValue(u"type").AsString(), u"password");
  EXPECT_EQ(password->MemberValue(u"title").AsString(), u"t");
  tested_->page->Evaluate("document.getElementById('main').className = 'wide'");
  tested_->node->Refresh();
  EXPECT_EQ(ChildNamed(*tested_->node, u"Panel(\"main\")").Get(), main.Get());
  EXPECT_EQ(main->MemberValue(u"className").AsString(), u"wide");
}

TEST_F(RealEngineElements, ElementNodesClickHoverAndTypeThroughTheEnginesInput) {
  auto main = ChildNamed(*tested_->node, u"Panel(\"main\")");
  ASSERT_TRUE(main);
  auto button = ChildNamed(*main, u"Button(\"go\")");
  auto input = ChildNamed(*main, u"Textbox(\"in\")");
  ASSERT_TRUE(button && input);
  EXPECT_EQ(test::Get(button->Dispatch(), u"Click", {OleVariant(-1), OleVariant(-1), OleVariant(0)}).hr, S_OK);
  EXPECT_EQ(Text("JSON.stringify(seen.filter(s => s.startsWith('click')))"), "[\"click:go\"]");
  const std::string corner = Text(
      "(() => { const b = document.getElementById('go').getBoundingClientRect();"
      " return JSON.stringify([b.left + 5, b.top + 7]); })()");
  EXPECT_EQ(test::Get(button->Dispatch(), u"Click", {OleVariant(5), OleVariant(7), OleVariant(0)}).hr, S_OK);
  EXPECT_EQ(Text("JSON.stringify(window.lastClick)"), corner);

  EXPECT_EQ(test::Get(main->Dispatch(), u"HoverMouse", {OleVariant(0), OleVariant(0)}).hr, S_OK);
  EXPECT_NE(Text("JSON.stringify(seen)").find("mouseover:main"), std::string::npos);

  EXPECT_EQ(test::Get(input->Dispatch(), u"Keys", {OleVariant(u"a[[b^^~~c")}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "a[b^~c");
  EXPECT_EQ(test::Get(input->Dispatch(), u"Keys", {OleVariant(u"[BS][BS]x")}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "a[b^x");
  auto refused = test::Get(input->Dispatch(), u"Keys", {OleVariant(u"zz[Nope]")});
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_NE(refused.error.find("Unknown key name [Nope]"), std::string::npos);
  EXPECT_EQ(Text("document.getElementById('in').value"), "a[b^x");  // nothing typed
}

TEST_F(RealEngineElements, TheWindowsActionsReachThePageAndTheDropDownListWindow) {
  ComPtr<IDispatch> actions;
  ASSERT_EQ(host_->Input().GetWindowObject(static_cast<std::int32_t>(tested_->window + 2), actions.Put()), S_OK);
  // -1: the centre of the client area.
  EXPECT_EQ(test::Get(actions.Get(), u"Click", {OleVariant(-1), OleVariant(-1), OleVariant(0)}).hr, S_OK);
  EXPECT_EQ(Text("JSON.stringify(window.lastClick)"),
            Text("JSON.stringify([Math.floor(innerWidth / 2), Math.floor(innerHeight / 2)])"));
  tested_->page->Evaluate("document.getElementById('in').focus()");
  EXPECT_EQ(test::Get(actions.Get(), u"Keys", {OleVariant(u"hi[Tab]")}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "hi");
  EXPECT_EQ(Text("document.activeElement.getAttribute('name')"), "agree");
  EXPECT_EQ(test::Get(actions.Get(), u"HoverMouse", {OleVariant(3), OleVariant(3)}).hr, S_OK);
  EXPECT_EQ(host_->Input().Actions().back().action, kActionHoverMouse);

  // The drop-down select: its items have rows in its list window, opened by GetLineRect.
  auto document = host_->Browsers().Document(*tested_);
  const auto found = test::Get(document.Get(), u"getElementById", {OleVariant(u"pick")});
  ASSERT_EQ(found.value.Ptr()->vt, VT_DISPATCH);
  IDispatch* pick = found.value.Ptr()->pdispVal;
  const auto lineRect = [&](std::int32_t index, bool activate, std::int32_t(&out)[5]) {
    VARIANT args[7];
    for (auto& a : args) VariantInit(&a);
    args[6].vt = VT_I4, args[6].lVal = index;
    args[5].vt = VT_BOOL, args[5].boolVal = activate ? VARIANT_TRUE : VARIANT_FALSE;
    for (int i = 0; i < 5; ++i) args[4 - i].vt = VT_BYREF | VT_I4, args[4 - i].byref = &out[i];
    DISPPARAMS params{args, nullptr, 7, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    EXPECT_EQ(pick->Invoke(kDispGetLineRect, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, &info, nullptr), S_OK)
        << (info.bstrDescription ? WideToUtf8(BstrView(info.bstrDescription)) : std::string());
    ClearExcepInfo(info);
    return result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
  };
  std::int32_t r[5] = {};
  EXPECT_FALSE(lineRect(2, false, r));  // closed
  ASSERT_TRUE(lineRect(2, true, r));
  const HWND list = static_cast<HWND>(r[0]);
  EXPECT_EQ(GetWindowClassName(list), u"ComboLBox");
  EXPECT_TRUE(IsWindow(list));
  EXPECT_EQ(r[1], 0);
  EXPECT_EQ(r[2], 2 * 24);
  EXPECT_EQ(r[3], 150);
  EXPECT_EQ(r[4], 3 * 24);
  std::int32_t again[5] = {};
  ASSERT_TRUE(lineRect(2, false, again));  // open: the same window
  EXPECT_EQ(again[0], r[0]);

  ComPtr<IDispatch> listActions;
  ASSERT_EQ(host_->Input().GetWindowObject(r[0], listActions.Put()), S_OK);
  EXPECT_EQ(test::Get(listActions.Get(), u"Click", {OleVariant(10), OleVariant(2 * 24 + 12), OleVariant(0)}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('pick').value"), "Cherry");
  EXPECT_EQ(Text("JSON.stringify(seen.filter(s => s.endsWith(':pick')))"), "[\"input:pick\",\"change:pick\"]");
  EXPECT_FALSE(IsWindow(list));  // the choice closes the list

  // A disabled item changes nothing but closes the list; so does a key.
  ASSERT_TRUE(lineRect(1, true, r));
  ComPtr<IDispatch> reopened;
  ASSERT_EQ(host_->Input().GetWindowObject(r[0], reopened.Put()), S_OK);
  EXPECT_EQ(test::Get(reopened.Get(), u"Click", {OleVariant(10), OleVariant(24 + 12), OleVariant(0)}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('pick').value"), "Cherry");
  EXPECT_FALSE(IsWindow(static_cast<HWND>(r[0])));
  ASSERT_TRUE(lineRect(0, true, r));
  ASSERT_EQ(host_->Input().GetWindowObject(r[0], reopened.Put()), S_OK);
  EXPECT_EQ(test::Get(reopened.Get(), u"HoverMouse", {OleVariant(1), OleVariant(1)}).hr, S_OK);
  EXPECT_TRUE(IsWindow(static_cast<HWND>(r[0])));  // hovering leaves it open
  EXPECT_EQ(test::Get(reopened.Get(), u"Keys", {OleVariant(u"[Esc]")}).hr, S_OK);
  EXPECT_FALSE(IsWindow(static_cast<HWND>(r[0])));
  EXPECT_EQ(Text("document.getElementById('pick').value"), "Cherry");
}

TEST_F(RealEngineElements, ABrowsersWindowsAreNodesWithTheirInputActions) {
  auto process = tested_->node->Parent();
  ASSERT_TRUE(process);
  const auto window = [](IDispatch* parent, std::vector<OleVariant> args) {
    auto r = test::Get(parent, u"Window", std::move(args));
    EXPECT_EQ(r.hr, S_OK) << r.error;
    return r;
  };
  auto frame = window(process->Dispatch(), {OleVariant(u"iefr*"), OleVariant(u"F?rm"), OleVariant(1)});
  ASSERT_EQ(frame.value.Ptr()->vt, VT_DISPATCH);
  IDispatch* frameNode = frame.value.Ptr()->pdispVal;
  EXPECT_EQ(test::Get(frameNode, u"Exists").value.Ptr()->boolVal, VARIANT_TRUE);
  EXPECT_EQ(TextOfValue(test::Get(frameNode, u"WndCaption").value), u"Form");
  EXPECT_EQ(TextOfValue(test::Get(frameNode, u"WndClass").value), u"IEFrame");
  // Asked again, the same node; another caption or index finds nothing.
  EXPECT_EQ(
      window(process->Dispatch(), {OleVariant(u"IEFrame"), OleVariant(u"*"), OleVariant(1)}).value.Ptr()->pdispVal,
      frameNode);
  auto none = window(process->Dispatch(), {OleVariant(u"IEFrame"), OleVariant(u"Other"), OleVariant(1)});
  EXPECT_EQ(test::Get(none.value.Ptr()->pdispVal, u"Exists").value.Ptr()->boolVal, VARIANT_FALSE);
  none = window(process->Dispatch(), {OleVariant(u"IEFrame"), OleVariant(u"*"), OleVariant(2)});
  EXPECT_EQ(test::Get(none.value.Ptr()->pdispVal, u"Exists").value.Ptr()->boolVal, VARIANT_FALSE);

  auto view = window(frameNode, {OleVariant(u"Shell DocObject View"), OleVariant(u""), OleVariant(1)});
  auto server = window(view.value.Ptr()->pdispVal, {OleVariant(u"Internet Explorer_Server"), OleVariant(u"*")});
  IDispatch* serverNode = server.value.Ptr()->pdispVal;
  ASSERT_EQ(test::Get(serverNode, u"Exists").value.Ptr()->boolVal, VARIANT_TRUE);
  auto windowNode = QueryAs<IpwSysObjectWindow>(serverNode);
  ASSERT_TRUE(windowNode);
  std::int32_t handle = 0;
  windowNode->GetHandle(&handle);
  EXPECT_EQ(static_cast<HWND>(handle), tested_->window + 2);

  // The actions reach the page: a click at a point, keys into the focused element, a hover.
  const std::string at = Text(
      "(() => { const b = document.getElementById('in').getBoundingClientRect();"
      " return JSON.stringify([Math.round(b.left + 4), Math.round(b.top + 4)]); })()");
  const auto point = Json::parse(at);
  EXPECT_EQ(
      test::Get(serverNode, u"Click",
                {OleVariant(point[0].get<std::int32_t>()), OleVariant(point[1].get<std::int32_t>()), OleVariant(0)})
          .hr,
      S_OK);
  EXPECT_EQ(Text("document.activeElement.id"), "in");
  EXPECT_EQ(test::Get(frameNode, u"Keys", {OleVariant(u"ok[Enter]")}).hr, S_OK);
  EXPECT_EQ(Text("document.getElementById('in').value"), "ok");
  auto addressBar = test::Get(frameNode, u"Keys", {OleVariant(u"[F4]^afile:///x[Enter]")});
  EXPECT_EQ(addressBar.hr, DISP_E_EXCEPTION);  // no address bar: nothing is typed into the page
  EXPECT_EQ(addressBar.error, "The browser has no address bar to type into");
  EXPECT_EQ(Text("document.getElementById('in').value"), "ok");
  EXPECT_EQ(test::Get(serverNode, u"HoverMouse", {OleVariant(5), OleVariant(5)}).hr, S_OK);
  auto refused = test::Get(serverNode, u"Keys", {OleVariant(u"[")});
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);

  // An open dialog is found by its class and message; closing the browser removes the frame.
  std::promise<void> opened;
  tested_->events->Listen([&](const BrowserEvent& e) {  // after the host's own listener
    if (e.kind == BrowserEventKind::DialogOpened) opened.set_value();
  });
  tested_->page->Evaluate("setTimeout(() => alert('Stop here'), 0)");
  ASSERT_EQ(opened.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  auto dialogNode = [&] { return tested_->dialogNode; };
  ASSERT_TRUE(dialogNode());
  auto dialog = window(process->Dispatch(), {OleVariant(u"#32770"), OleVariant(u"Stop*")});
  EXPECT_EQ(dialog.value.Ptr()->pdispVal, dialogNode()->Dispatch());
  host_->Browsers().CloseDialog(tested_->dialogWindow, true);
  ComPtr<IDispatch> keptFrame(frameNode);
  host_->Browsers().Close(tested_->id);
  EXPECT_EQ(test::Get(keptFrame.Get(), u"Exists").value.Ptr()->boolVal, VARIANT_FALSE);
  auto gone = test::Get(keptFrame.Get(), u"Click");
  EXPECT_EQ(gone.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(gone.error, "The browser has closed");
}

}  // namespace
}  // namespace pw::host
