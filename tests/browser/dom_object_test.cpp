// DOM objects against the scripted engine: how names become DISPIDs, what one Invoke sends,
// how results become variants, and how failures surface.
#include "host/browser/objects/dom_object.h"

#include <gtest/gtest.h>

#include "host/browser/fake_engine.h"
#include "platform/automation/safearray.h"
#include "platform/com/apartment.h"
#include "tests/browser/dispatch_call.h"

namespace pw::host {
namespace {

using browser::FakeEngine;
using Json = FakeEngine::Json;
using test::Get;
using test::IdOf;
using test::InvokeId;

struct DomObjectTest : ::testing::Test {
  FakeEngine engine;
  std::unique_ptr<browser::Browser> browser;
  std::shared_ptr<browser::Page> page;
  std::shared_ptr<DomNames> names = std::make_shared<DomNames>();
  Json nextResult = {{"type", "undefined"}};
  std::mutex mutex;

  void SetUp() override {
    engine.On("Runtime.evaluate", [](const Json&) {
      return FakeEngine::Result(
          {{"result", {{"type", "object"}, {"subtype", "node"}, {"className", "HTMLDocument"}, {"objectId", "doc"}}}});
    });
    engine.On("Runtime.callFunctionOn", [this](const Json& call) {
      const std::string f = call["params"]["functionDeclaration"];
      if (f.find("toLowerCase") != std::string::npos && f.find("for (const k in this)") != std::string::npos) {
        // The name check: "title" and "getElementById" exist; "TITLE" resolves ignoring case.
        const std::string n = call["params"]["arguments"][0]["value"];
        const std::string resolved = n == "title" || n == "TITLE" ? "title"
                                     : n == "getElementById"      ? "getElementById"
                                                                  : "";
        return FakeEngine::Result({{"result", {{"type", "string"}, {"value", resolved}}}});
      }
      std::lock_guard lock(mutex);
      return FakeEngine::Result({{"result", nextResult}});
    });
    browser = browser::Browser::Attach(engine.TakeClientEnd());
    page = browser->Pages().front();
  }
  void TearDown() override {
    page.reset();
    browser.reset();
  }
  void Answer(Json result) {
    std::lock_guard lock(mutex);
    nextResult = std::move(result);
  }
  Json LastInvoke() {
    return engine.WaitForCall("Runtime.callFunctionOn", static_cast<int>(engine.CountCalls("Runtime.callFunctionOn")));
  }
};

TEST_F(DomObjectTest, NamesAreCheckedOncePerClassAndShareOneTable) {
  auto document = DocumentObject(page, names);
  auto other = DocumentObject(page, names);
  const DISPID title = IdOf(document.Get(), u"title");
  EXPECT_GE(title, kFirstNameDispId);
  EXPECT_EQ(IdOf(other.Get(), u"title"), title);
  EXPECT_EQ(IdOf(document.Get(), u"TITLE"), title);  // the fallback ignoring case, to the same member
  HRESULT hr = S_OK;
  EXPECT_EQ(IdOf(document.Get(), u"nope", &hr), DISPID_UNKNOWN);
  EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
  IdOf(other.Get(), u"nope", &hr);
  EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
  // title, TITLE and nope: three checks, however often they are asked.
  EXPECT_EQ(engine.CountCalls("Runtime.callFunctionOn"), 3u);
}

TEST_F(DomObjectTest, OneInvokeIsOneCallOfTheHelper) {
  auto document = DocumentObject(page, names);
  Answer({{"type", "string"}, {"value", "Caf\xC3\xA9"}});
  auto r = Get(document.Get(), u"title");
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.value.Ptr()->vt, VT_BSTR);
  EXPECT_EQ(BstrView(r.value.Ptr()->bstrVal), u"Caf\u00e9");
  const auto before = engine.CountCalls("Runtime.callFunctionOn");
  Answer({{"type", "undefined"}});
  auto put = test::Put(document.Get(), u"title", OleVariant(u"New"));
  ASSERT_EQ(put.hr, S_OK);
  EXPECT_EQ(engine.CountCalls("Runtime.callFunctionOn"), before + 1);
  const Json call = LastInvoke();
  EXPECT_EQ(call["params"]["objectId"], "doc");
  EXPECT_EQ(call["params"]["arguments"][0]["value"], 2);  // put
  EXPECT_EQ(call["params"]["arguments"][1]["value"], "title");
  EXPECT_EQ(call["params"]["arguments"][2]["value"], "New");
  EXPECT_EQ(call["params"]["returnByValue"], false);
}

TEST_F(DomObjectTest, ResultsBecomeVariants) {
  auto document = DocumentObject(page, names);
  const DISPID title = IdOf(document.Get(), u"title");
  struct Case {
    Json remote;
    VARTYPE vt;
  };
  const Case cases[] = {
      {{{"type", "undefined"}}, VT_EMPTY},
      {{{"type", "object"}, {"subtype", "null"}, {"value", nullptr}}, VT_NULL},
      {{{"type", "boolean"}, {"value", true}}, VT_BOOL},
      {{{"type", "number"}, {"value", 42}}, VT_I4},
      {{{"type", "number"}, {"value", 3.0}}, VT_I4},
      {{{"type", "number"}, {"value", 2.5}}, VT_R8},
      {{{"type", "number"}, {"value", 5000000000LL}}, VT_R8},
      {{{"type", "number"}, {"unserializableValue", "NaN"}}, VT_R8},
      {{{"type", "string"}, {"value", ""}}, VT_BSTR},
      {{{"type", "object"}, {"subtype", "node"}, {"className", "HTMLDivElement"}, {"objectId", "el"}}, VT_DISPATCH},
      {{{"type", "function"}, {"className", "Function"}, {"objectId", "fn"}}, VT_DISPATCH},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.remote.dump());
    Answer(c.remote);
    auto r = InvokeId(document.Get(), title, DISPATCH_PROPERTYGET);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.Ptr()->vt, c.vt);
  }
  // An object result is an object of this layer: passed back, it goes as a reference.
  Answer({{"type", "object"}, {"className", "HTMLDivElement"}, {"objectId", "el7"}});
  auto element = InvokeId(document.Get(), title, DISPATCH_PROPERTYGET);
  EXPECT_EQ(RemoteObjectId(element.value.Ptr()->pdispVal), "el7");
  Answer({{"type", "undefined"}});
  ASSERT_EQ(InvokeId(document.Get(), title, DISPATCH_METHOD, {element.value, OleVariant(7), OleVariant(true)}).hr,
            S_OK);
  const Json args = LastInvoke()["params"]["arguments"];
  EXPECT_EQ(args[0]["value"], 3);  // a method call
  EXPECT_EQ(args[2]["objectId"], "el7");
  EXPECT_EQ(args[3]["value"], 7);
  EXPECT_EQ(args[4]["value"], true);
}

TEST_F(DomObjectTest, FailuresAreExceptionsWithTheirText) {
  auto document = DocumentObject(page, names);
  const DISPID title = IdOf(document.Get(), u"title");
  engine.On("Runtime.callFunctionOn", [](const Json&) {
    return FakeEngine::Result(
        {{"result", {{"type", "object"}}},
         {"exceptionDetails", {{"exception", {{"description", "TypeError: x is not a function"}}}}}});
  });
  auto r = InvokeId(document.Get(), title, DISPATCH_METHOD);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.error, "TypeError: x is not a function");
  EXPECT_EQ(InvokeId(document.Get(), 999999, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
  // The element's test object is asked of the page too: its failure is the call's exception.
  r = InvokeId(document.Get(), kDispElementTestObject, DISPATCH_PROPERTYGET);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.error, "TypeError: x is not a function");
  // After a navigation the old document's objects answer without asking the engine.
  page->Navigate("file:///next.html");
  const auto calls = engine.CountCalls("Runtime.callFunctionOn");
  r = InvokeId(document.Get(), title, DISPATCH_PROPERTYGET);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(r.error, "The object no longer exists");
  EXPECT_EQ(engine.CountCalls("Runtime.callFunctionOn"), calls);
}

TEST_F(DomObjectTest, AnArrayOfResultsIsReadInAConstantNumberOfRoundTrips) {
  auto document = DocumentObject(page, names);
  Answer({{"type", "object"}, {"subtype", "array"}, {"className", "Array"}, {"objectId", "arr"}});
  static constexpr int kCount = 50;
  engine.On("Runtime.getProperties", [](const Json&) {
    Json props = Json::array();
    for (int i = kCount - 1; i >= 0; --i) {
      props.push_back(
          {{"name", std::to_string(i)},
           {"value", {{"type", "object"}, {"className", "HTMLLIElement"}, {"objectId", "li" + std::to_string(i)}}}});
    }
    props.push_back({{"name", "length"}, {"value", {{"type", "number"}, {"value", kCount}}}});
    return FakeEngine::Result({{"result", props}});
  });
  const auto before = engine.Calls().size();
  auto r = InvokeId(document.Get(), kDispEvaluateXPath, DISPATCH_METHOD, {OleVariant(u"//li"), OleVariant(false)});
  ASSERT_EQ(r.hr, S_OK);
  ASSERT_EQ(r.value.Ptr()->vt, VT_ARRAY | VT_VARIANT);
  std::int32_t upper = -1;
  SafeArrayGetUBound(r.value.Ptr()->parray, 1, &upper);
  EXPECT_EQ(upper, kCount - 1);
  for (std::int32_t i : {0, kCount - 1}) {
    VARIANT element;
    VariantInit(&element);
    SafeArrayGetElement(r.value.Ptr()->parray, &i, &element);
    OleVariant owned = OleVariant::Attach(element);
    EXPECT_EQ(RemoteObjectId(owned.Ptr()->pdispVal), "li" + std::to_string(i));
  }
  // The evaluation, the handles, the elements' identifiers, and the release of the array: four
  // messages for fifty elements.
  engine.WaitForCall("Runtime.releaseObject");
  EXPECT_LE(engine.Calls().size() - before, 4u);
}

}  // namespace
}  // namespace pw::host
