// The lookup slices on stub nodes of the test host: XPath and CSS selectors over a page object
// that answers by DISPID, Browser and WaitBrowser on the Sys node, Page and WaitPage on browser
// nodes and on the browser proxy. Waits run on the stepping clock.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>

#include "core/host/invoke_expressions.h"
#include "host/node_context.h"
#include "interfaces/pwOpenAppServices.h"
#include "platform/automation/safearray.h"
#include "openapps/extensions/node_utils.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/lookups/browser_methods.h"
#include "web/lookups/node_selectors.h"
#include "web/lookups/page_find_methods.h"

namespace pw::web::test {
namespace {

// A dispatch object whose Invoke answers by a function of (DISPID, arguments in call order); an
// exception of the function is the call's DISP_E_EXCEPTION.
class TStubDispatch final : public Implements<ComObject, IDispatch> {
 public:
  using Handler = std::function<OleVariant(DISPID, std::vector<OleVariant>&)>;
  explicit TStubDispatch(Handler handler) : handler_(std::move(handler)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    std::vector<OleVariant> args;
    for (std::uint32_t i = params ? params->cArgs : 0; i-- > 0;) args.emplace_back(params->rgvarg[i]);
    try {
      OleVariant answer = handler_(id, args);
      if (result) *result = answer.Detach();
      return S_OK;
    } catch (const EOleSysError& e) {
      if (excepInfo) {
        *excepInfo = EXCEPINFO{};
        excepInfo->bstrDescription = SysAllocString(e.Message());
        excepInfo->scode = e.ErrorCode();
      }
      return DISP_E_EXCEPTION;
    }
  }

 private:
  Handler handler_;
};

OleVariant Array(std::vector<OleVariant> items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
  OleVariant v;
  VARIANT* raw = v.Put();
  raw->vt = VT_ARRAY | VT_VARIANT;
  raw->parray = array;
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i)
    OleCheck(SafeArrayPutElement(array, &i, items[static_cast<std::size_t>(i)].Ptr()));
  return v;
}

std::vector<OleVariant> Elements(const OleVariant& v) {
  std::vector<OleVariant> out;
  if (!(v.Type() & VT_ARRAY)) return out;
  std::int32_t low = 0, high = -1;
  SafeArrayGetLBound(v.Get().parray, 1, &low);
  SafeArrayGetUBound(v.Get().parray, 1, &high);
  for (std::int32_t i = low; i <= high; ++i) {
    OleVariant item;
    SafeArrayGetElement(v.Get().parray, &i, item.Put());
    out.push_back(std::move(item));
  }
  return out;
}

class LookupsTest : public NavTest {
 protected:
  LookupsTest() {
    // The host's library of open-applications services lies beside the module's.
    std::string path = PW_MODULE_TYPELIB;
    path = path.substr(0, path.rfind('/') + 1) + "pwOpenAppServices.tlb";
    OleCheck(LoadTypeLib(Utf8ToWide(path), servicesLib.Put()));
    TypeLibraries()->Add(servicesLib.Get());
  }
  ~LookupsTest() override { servicesLib = nullptr; }

  // The node's object context: its object, identifier and type.
  static void SetContext(const ComPtr<host::TSysNode>& node, ComPtr<IDispatch> object, WideStringView identifier,
                         WideStringView type = u"", OleVariant value = {}) {
    auto context = MakeObject<host::TNodeObjectContext>([object] { return object; }, WideString(identifier),
                                                        WideString(type), std::move(value));
    node->SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(context.Get()));
  }
  // An element of a result: its identifier (nothing: reading it fails) and its own test object
  // (nil: reading it fails).
  static ComPtr<IDispatch> Element(std::optional<WideString> identifier, IDispatch* testObject = nullptr) {
    ComPtr<IDispatch> own(testObject);
    return ComPtr<IDispatch>(MakeObject<TStubDispatch>([identifier, own](DISPID id, std::vector<OleVariant>&) {
      if (id == kDispElementIdentifier && identifier) return OleVariant(*identifier);
      if (id == kDispElementTestObject && own) return OleVariant(own.Get());
      throw EOleSysError(u"no such member", DISP_E_MEMBERNOTFOUND);
    }));
  }
  // A page node whose page object answers the XPath and CSS calls with `answer`, recording them.
  ComPtr<host::TSysNode> SelectorPage(std::function<OleVariant()> answer) {
    auto page = host.Sys().AddChild(u"Page", {OleVariant(u"http://a/")});
    auto object = MakeObject<TStubDispatch>([this, answer](DISPID id, std::vector<OleVariant>& args) {
      calls.push_back(IntToWide(id) + u" " + args.at(0).AsString() + u" " + (args.at(1).AsBool() ? u"1" : u"0"));
      return answer();
    });
    SetContext(page, ComPtr<IDispatch>(object), u"");
    AttachSelectors(page);
    return page;
  }
  static void AttachSelectors(const ComPtr<host::TSysNode>& node) {
    Attach(node, MakeObject<TpwEvaluateXPath>(), IpwEvaluateXPathAction::iid);
    Attach(node, MakeObject<TpwCssSelectorMethods>(), IpwCssSelectorMethods::iid);
  }
  // A node below Parent whose context reports Identifier.
  static ComPtr<host::TSysNode> Known(const ComPtr<host::TSysNode>& parent, WideStringView identifier) {
    auto node = parent->AddChild(u"Panel", {OleVariant(WideString(identifier))});
    SetContext(node, nullptr, identifier, u"div");
    return node;
  }

  ComPtr<ITypeLib> servicesLib;
  std::vector<WideString> calls;
};

// ---- XPath and CSS ----------------------------------------------------------------------------

TEST_F(LookupsTest, ANodeWithoutPageObjectAnswersEmptyOrNilWithoutError) {
  auto node = host.Sys().AddChild(u"Panel", {OleVariant(u"x")});
  AttachSelectors(node);
  EXPECT_TRUE(CallNode(node, u"EvaluateXPath", {OleVariant(u"//li"), OleVariant(false)}).IsEmpty());
  OleVariant child = CallNode(node, u"FindChildByXPath", {OleVariant(u"//li"), OleVariant(false)});
  EXPECT_EQ(Identity(child), nullptr);
  EXPECT_TRUE(CallNode(node, u"QuerySelector", {OleVariant(u"li")}).IsEmpty());
  EXPECT_TRUE(CallNode(node, u"QuerySelectorAll", {OleVariant(u"li")}).IsEmpty());
}

TEST_F(LookupsTest, ScalarResultsComeBackUnchangedAndFindChildGivesNil) {
  OleVariant answer;
  auto page = SelectorPage([&] { return answer; });
  const OleVariant scalars[] = {OleVariant(3), OleVariant(2.5), OleVariant(u"text"), OleVariant(true)};
  for (const auto& scalar : scalars) {
    answer = scalar;
    OleVariant result = CallNode(page, u"EvaluateXPath", {OleVariant(u"count(//li)"), OleVariant(true)});
    EXPECT_EQ(result.Type(), scalar.Type());
    EXPECT_EQ(result.AsString(), scalar.AsString());
    EXPECT_EQ(Identity(CallNode(page, u"FindChildByXPath", {OleVariant(u"x"), OleVariant(false)})), nullptr);
  }
  // The expression and the frames flag reach the page object as given (a flag left out is False).
  calls.clear();
  CallNode(page, u"EvaluateXPath", {OleVariant(u"//b")});
  CallNode(page, u"QuerySelector", {OleVariant(u"#a")});
  CallNode(page, u"QuerySelectorAll", {OleVariant(u"p")});
  EXPECT_EQ(calls, (std::vector<WideString>{u"69413 //b 0", u"69416 #a 1", u"69416 p 0"}));
}

TEST_F(LookupsTest, ElementsKnownToTheTreeBecomeTheirTestObjects) {
  auto own = MakeObject<TStubDispatch>([](DISPID, std::vector<OleVariant>&) { return OleVariant(); });
  std::vector<OleVariant> items{OleVariant(Element(u"a").Get()), OleVariant(Element(u"b").Get()),
                                OleVariant(Element(std::nullopt).Get())};
  auto page = SelectorPage([&] { return Array(items); });
  auto list = Known(page, u"list");
  auto known = Known(list, u"b");
  auto result = Elements(CallNode(page, u"EvaluateXPath", {OleVariant(u"//li"), OleVariant(false)}));
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(Identity(result[0]), Identity(items[0]));  // unknown, no test object: as it came
  EXPECT_EQ(Identity(result[1]), Identity(known));
  EXPECT_EQ(Identity(result[2]), Identity(items[2]));
  EXPECT_EQ(page->RefreshCount(), 1);  // updated once for the whole conversion
  EXPECT_EQ(Identity(CallNode(page, u"FindChildByXPath", {OleVariant(u"//li"), OleVariant(false)})), Identity(known));
  EXPECT_EQ(Identity(CallNode(page, u"QuerySelector", {OleVariant(u"li")})), Identity(known));

  // An element the tree does not know gives its own test object; FindChildByXPath prefers a node.
  items = {OleVariant(Element(u"z", own.Get()).Get())};
  result = Elements(CallNode(page, u"QuerySelectorAll", {OleVariant(u"li")}));
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(Identity(result[0]), QueryAs<IUnknown>(own.Get()).Get());
  EXPECT_EQ(Identity(CallNode(page, u"FindChildByXPath", {OleVariant(u"//li"), OleVariant(false)})),
            QueryAs<IUnknown>(own.Get()).Get());
}

TEST_F(LookupsTest, IdentifiersMatchExactlyAndTheFirstNodeMetInTheWalkWins) {
  std::vector<OleVariant> items;
  auto page = SelectorPage([&] { return Array(items); });
  auto first = Known(page, u"x");       // met last: the walk starts at the last child
  auto second = Known(page, u"other");  // met first, then its subtree
  auto inner = Known(second, u"x");
  items = {OleVariant(Element(u"x").Get()), OleVariant(Element(u"OTHER").Get())};
  auto result = Elements(CallNode(page, u"EvaluateXPath", {OleVariant(u"//*"), OleVariant(false)}));
  ASSERT_EQ(result.size(), 2u);
  EXPECT_EQ(Identity(result[0]), Identity(inner));
  EXPECT_EQ(Identity(result[1]), Identity(items[1]));  // "OTHER" is not "other"
  // No element with an identifier: the node is not updated.
  items = {OleVariant(Element(std::nullopt).Get()), OleVariant(3)};
  const int before = page->RefreshCount();
  EXPECT_EQ(Elements(CallNode(page, u"EvaluateXPath", {OleVariant(u"//*"), OleVariant(false)})).size(), 2u);
  EXPECT_EQ(page->RefreshCount(), before);
  (void)first;
}

TEST_F(LookupsTest, CssSingleGivesANilObjectForNoMatchAndAllKeepsWhatCame) {
  OleVariant answer;
  auto page = SelectorPage([&] { return answer; });
  for (const auto& none : {OleVariant(), OleVariant::Null()}) {
    answer = none;
    OleVariant single = CallNode(page, u"QuerySelector", {OleVariant(u"#nothing")});
    EXPECT_EQ(single.Type(), VT_DISPATCH);
    EXPECT_EQ(single.Get().pdispVal, nullptr);
    EXPECT_EQ(CallNode(page, u"QuerySelectorAll", {OleVariant(u"#nothing")}).Type(), none.Type());
  }
}

TEST_F(LookupsTest, AFailingPageSideCallIsTheCallsFailure) {
  auto page = SelectorPage([]() -> OleVariant { throw EOleSysError(u"bad expression", E_FAIL); });
  try {
    CallNode(page, u"EvaluateXPath", {OleVariant(u"//["), OleVariant(false)});
    FAIL() << "no failure";
  } catch (const EOleSysError& e) {
    EXPECT_NE(WideString(e.Message()).find(u"bad expression"), WideString::npos);
  }
}

// ---- Browser and WaitBrowser ---------------------------------------------------------------------

class BrowserLookupsTest : public LookupsTest {
 protected:
  BrowserLookupsTest() {
    slice = MakeObject<TpwBrowserMethods>(SysManager());
    Attach(ComPtr<host::TSysNode>(&host.Sys()), slice, IpwBrowserMethods::iid);
  }
  IpwSysManager* SysManager() { return static_cast<IpwSysManager*>(&host.ObjectTree()); }
  ComPtr<host::TSysNode> AddBrowser(std::int32_t pid, WideStringView name, std::int32_t index = 1) {
    auto p = AddProcess(pid, name);
    SetContext(p, nullptr, u"", u"browser", host::OneTextArray(name));
    p->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
    p->SetMemberValue(u"BrowserIndex", OleVariant(index));
    return p;
  }
  ComPtr<host::TSysNode> SysNode() { return ComPtr<host::TSysNode>(&host.Sys()); }
  std::vector<host::LogEntry> Entries() { return EntriesFrom(0); }

  ComPtr<TpwBrowserMethods> slice;
};

TEST_F(BrowserLookupsTest, TheLegacySettingRefusesBoth) {
  host.Settings().DefineSetting(kLegacyWebTestingSetting, host::kSettingBoolean, u"Legacy", OleVariant(true));
  AddBrowser(10, u"chrome");
  for (auto call : {std::vector<OleVariant>{OleVariant(u"chrome")},
                    std::vector<OleVariant>{OleVariant(u"chrome"), OleVariant(0)}}) {
    try {
      CallNode(SysNode(), call.size() == 1 ? u"Browser" : u"WaitBrowser", call);
      FAIL() << "not refused";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(WideString(e.Message()), kLegacyBrowserText);
    }
  }
}

TEST_F(BrowserLookupsTest, WithoutARunAWaitLooksOnceAndAnswersThePlaceholder) {
  const auto before = clock.NowMs();
  OleVariant found = CallNode(SysNode(), u"WaitBrowser", {OleVariant(u"firefox"), OleVariant(5000)});
  EXPECT_EQ(clock.NowMs(), before);
  ASSERT_NE(Identity(found), nullptr);
  EXPECT_FALSE(NodeExists(VarToDispatch(found.Get()).Get()));
  EXPECT_TRUE(Entries().empty());
  // Browser posts the error with the call text.
  SetDefaultWait(2000);
  CallNode(SysNode(), u"Browser", {OleVariant(u"firefox"), OleVariant(2)});
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text,
            u"Unable to find the object Sys.Browser(\"firefox\", 2). See Additional Information for details.");
  EXPECT_EQ(entries[0].additionalText, kBrowserNotFoundDetails);
}

TEST_F(BrowserLookupsTest, CallTextNamesTheIndexOnlyWhenItIsNotOne) {
  EXPECT_EQ(BrowserCallText(Manager(), u"chrome", 1), u"Sys.Browser(\"chrome\")");
  EXPECT_EQ(BrowserCallText(Manager(), u"chrome", 2), u"Sys.Browser(\"chrome\", 2)");
}

TEST_F(BrowserLookupsTest, AMaskOfTwoBrowsersGivesTheFirstAndTheAmbiguityWarning) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  auto first = AddBrowser(10, u"chrome");
  auto second = AddBrowser(11, u"chromium");
  AddBrowser(12, u"chrome", 2);  // another index: not a candidate
  OleVariant found = CallNode(SysNode(), u"Browser", {OleVariant(u"chr*")});
  EXPECT_EQ(Identity(found), Identity(first));
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Warning);
  EXPECT_EQ(entries[0].text, kAmbiguousBrowserText);
  EXPECT_EQ(entries[0].additionalText,
            AmbiguousBrowserDetails(first->FullNameText() + u"<br>" + second->FullNameText()));
  // The exact name: the first, no entry.
  found = CallNode(SysNode(), u"Browser", {OleVariant(u"CHROME")});
  EXPECT_EQ(Identity(found), Identity(first));
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(BrowserLookupsTest, ANegativeWaitLastsUntilTheBrowserComes) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  int turns = 0;
  ComPtr<host::TSysNode> late;
  host.Sys().SetChildLoader([&](host::TSysNode&, bool refresh) {
    if (refresh && ++turns == 50) late = AddBrowser(20, u"firefox");
  });
  OleVariant found = CallNode(SysNode(), u"WaitBrowser", {OleVariant(u"firefox"), OleVariant(-1)});
  host.Sys().SetChildLoader(nullptr);
  EXPECT_EQ(Identity(found), Identity(late));
  EXPECT_EQ(turns, 50);
  EXPECT_GE(clock.Slept(), 49u * kBrowserWaitStepMs);
}

TEST_F(BrowserLookupsTest, TheIdentificationLookupReadsOnlyTheFirstPair) {
  auto browser = AddBrowser(10, u"chrome");
  struct Case {
    std::vector<OleVariant> names, values;
    bool handled;
  };
  const Case cases[] = {
      {{OleVariant(u"objecttype")}, {OleVariant(u"browser")}, true},
      {{OleVariant(u"ObjectType"), OleVariant(u"Name")}, {OleVariant(u"Browser"), OleVariant(u"x")}, true},
      {{OleVariant(u"Name"), OleVariant(u"ObjectType")}, {OleVariant(u"x"), OleVariant(u"Browser")}, false},
      {{OleVariant(u"ObjectType")}, {OleVariant(u"Page")}, false},
  };
  for (const auto& c : cases) {
    ComPtr<IDispatch> object;
    VARIANT_BOOL handled = VARIANT_FALSE;
    OleVariant names = c.names.size() == 1 ? c.names[0] : Array(c.names);
    OleVariant values = c.values.size() == 1 ? c.values[0] : Array(c.values);
    ASSERT_EQ(slice->FindByIdentification(names.Get(), values.Get(), object.Put(), &handled), S_OK);
    EXPECT_EQ(handled != VARIANT_FALSE, c.handled);
    if (!c.handled) {
      EXPECT_EQ(object.Get(), nullptr);
      continue;
    }
    ASSERT_NE(object.Get(), nullptr);
    EXPECT_NE(QueryAs<IpwBrowserProxyMarker>(object.Get()).Get(), nullptr);
    EXPECT_EQ(DispInvoke(object.Get(), u"FullName", {}).AsString(), browser->FullNameText());
  }
}

TEST_F(BrowserLookupsTest, AProxyWrappedTwiceIsOneObject) {
  auto browser = AddBrowser(10, u"chrome");
  auto proxy = WrapBrowserProxy(static_cast<IpwSysNodeEx*>(browser.Get()), SysManager());
  ASSERT_NE(QueryAs<IpwBrowserProxyMarker>(proxy.Get()).Get(), nullptr);
  EXPECT_EQ(WrapBrowserProxy(proxy.Get(), SysManager()).Get(), proxy.Get());
  auto plain = MakeObject<TStubDispatch>([](DISPID, std::vector<OleVariant>&) { return OleVariant(); });
  EXPECT_EQ(WrapBrowserProxy(static_cast<IDispatch*>(plain.Get()), SysManager()).Get(),
            static_cast<IUnknown*>(static_cast<IDispatch*>(plain.Get())));
  // Browser("*") answers the proxy, which forwards the node's own members.
  OleVariant found = CallNode(SysNode(), u"Browser", {OleVariant(u"*")});
  auto dispatch = VarToDispatch(found.Get());
  ASSERT_NE(QueryAs<IpwBrowserProxyMarker>(dispatch.Get()).Get(), nullptr);
  EXPECT_EQ(DispInvoke(dispatch.Get(), u"ObjectType", {}).AsString(), u"Browser");
}

// ---- Page and WaitPage ---------------------------------------------------------------------------

class PageLookupsTest : public BrowserLookupsTest {
 protected:
  ComPtr<host::TSysNode> BrowserWithPages(std::int32_t pid, WideStringView name) {
    auto browser = AddBrowser(pid, name);
    Attach(browser, MakeObject<TpwPageFindMethods>(SysManager()), IpwPageFindMethods::iid);
    return browser;
  }
  static ComPtr<host::TSysNode> PageUnder(const ComPtr<host::TSysNode>& browser, WideStringView url) {
    auto page = AddPage(browser, url, 1, true, url);
    page->SetMemberValue(u"ObjectGroupIndex", OleVariant(0));
    return page;
  }
};

TEST_F(PageLookupsTest, PageFindsByMaskAndWaitPageCompletesItsArguments) {
  auto browser = BrowserWithPages(10, u"chrome");
  auto page = PageUnder(browser, u"file:///a/find.html");
  EXPECT_EQ(Identity(CallNode(browser, u"Page", {OleVariant(u"*find.html")})), Identity(page));
  EXPECT_EQ(Identity(CallNode(browser, u"WaitPage", {OleVariant(u"*find*")})), Identity(page));

  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  struct Case {
    std::vector<OleVariant> args;
    std::uint64_t waited;
  };
  const Case cases[] = {
      {{OleVariant(u"*nosuch*")}, 10},                                   // one look (one step)
      {{OleVariant(u"*nosuch*"), OleVariant(3000)}, 3000},               // the second is the wait time
      {{OleVariant(u"*nosuch*"), OleVariant(0), OleVariant(500)}, 500},  // all three given
  };
  for (const auto& c : cases) {
    const auto before = clock.Slept();
    OleVariant missing = CallNode(browser, u"WaitPage", c.args);
    EXPECT_GE(clock.Slept() - before, c.waited);
    EXPECT_LE(clock.Slept() - before, c.waited + kPageWaitStepMs);
    EXPECT_FALSE(NodeExists(VarToDispatch(missing.Get()).Get()));
  }
  try {
    CallNode(browser, u"WaitPage", {});
    FAIL() << "no failure";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), DISP_E_BADPARAMCOUNT);
  }
}

TEST_F(PageLookupsTest, APageOfAnotherBrowserIsNamedOnlyWhileATestRuns) {
  auto chrome = BrowserWithPages(10, u"chrome");
  auto firefox = BrowserWithPages(11, u"firefox");
  PageUnder(firefox, u"http://elsewhere/");
  SetDefaultWait(0);
  EXPECT_EQ(Identity(CallNode(chrome, u"Page", {OleVariant(u"http://elsewhere/")})), nullptr);
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"The page 'http://elsewhere/' was not found.");
  EXPECT_EQ(entries[0].additionalText,
            u"The " + chrome->FullNameText() + u" does not contain Page(\"http://elsewhere/\").");

  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  EXPECT_EQ(Identity(CallNode(chrome, u"Page", {OleVariant(u"http://elsewhere/")})), nullptr);
  entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].additionalText, u"The " + chrome->FullNameText() +
                                           u" does not contain Page(\"http://elsewhere/\"), but it was found in the " +
                                           firefox->FullNameText() + u".");
  // WaitPage posts only the "found elsewhere" entry, and answers the placeholder.
  OleVariant missing = CallNode(chrome, u"WaitPage", {OleVariant(u"http://elsewhere/")});
  EXPECT_FALSE(NodeExists(VarToDispatch(missing.Get()).Get()));
  EXPECT_EQ(Entries().size(), 3u);
  CallNode(chrome, u"WaitPage", {OleVariant(u"http://nowhere/")});
  EXPECT_EQ(Entries().size(), 3u);
}

TEST_F(PageLookupsTest, TheProxyFindsPagesOfItsTargetAndRetargetsOnALookup) {
  auto chrome = BrowserWithPages(10, u"chrome");
  auto firefox = BrowserWithPages(11, u"firefox");
  auto own = PageUnder(chrome, u"http://own/");
  auto other = PageUnder(firefox, u"http://other/");
  auto proxy = WrapBrowserProxy(static_cast<IpwSysNodeEx*>(chrome.Get()), SysManager());
  auto dispatch = QueryAs<IDispatch>(proxy.Get());
  const std::vector<OleVariant> url{OleVariant(u"http://own/")};
  EXPECT_EQ(Identity(DispInvoke(dispatch.Get(), u"Page", url)), Identity(own));
  EXPECT_EQ(Identity(DispInvoke(dispatch.Get(), u"WaitPage", url)), Identity(own));
  // Not under the target: nil, and no look into other browsers.
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  const std::vector<OleVariant> otherUrl{OleVariant(u"http://other/")};
  EXPECT_EQ(Identity(DispInvoke(dispatch.Get(), u"Page", otherUrl)), nullptr);

  auto lookup = QueryAs<IpwIdentificationLookup>(proxy.Get());
  ComPtr<IDispatch> found;
  VARIANT_BOOL handled = VARIANT_FALSE;
  OleVariant names = Array({OleVariant(u"ObjectType"), OleVariant(u"URL")});
  OleVariant values = Array({OleVariant(u"Page"), OleVariant(u"http://other/")});
  ASSERT_EQ(lookup->FindByIdentification(names.Get(), values.Get(), found.Put(), &handled), S_OK);
  EXPECT_NE(handled, VARIANT_FALSE);
  EXPECT_EQ(QueryAs<IUnknown>(found.Get()).Get(), Identity(other));
  // The proxy now stands for the other browser.
  EXPECT_EQ(DispInvoke(dispatch.Get(), u"FullName", {}).AsString(), firefox->FullNameText());
}

}  // namespace
}  // namespace pw::web::test

// ---- The real engine ---------------------------------------------------------------------------

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

// The steps of examples/web-find.js on examples/web/find.html, with the slices attached by hand:
// Browser and WaitBrowser on Sys, Page and WaitPage on the browser's process, the XPath and CSS
// slices on the page.
class RealEngineLookups : public PageLookupsTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    SetDefaultWait(3000);
  }
  host::TestedBrowser& Open(const std::string& url) {
    tested = host.Browsers().Launch(host::BrowserKind::Chrome, url);
    process = tested->node->Parent();
    Attach(process, MakeObject<TpwPageFindMethods>(SysManager()), IpwPageFindMethods::iid);
    AttachSelectors(tested->node);
    return *tested;
  }
  static WideString IdOf(const OleVariant& v) { return DispInvoke(VarToDispatch(v.Get()).Get(), u"id", {}).AsString(); }

  std::shared_ptr<host::TestedBrowser> tested;
  ComPtr<host::TSysNode> process;
};

TEST_F(RealEngineLookups, TheWebFindExampleStepsOnTheRealPage) {
  Open("file://" + std::string(PW_TEST_SOURCE_DIR) + "/examples/web/find.html");
  OleVariant browser = CallNode(SysNode(), u"Browser", {OleVariant(u"chrome")});
  ASSERT_EQ(Identity(browser), Identity(process))
      << WideToUtf8(DispInvoke(VarToDispatch(browser.Get()).Get(), u"FullName", {}).AsString()) << " "
      << WideToUtf8(process->FullNameText()) << " " << WideToUtf8(NodeText(Node(process), u"ObjectType")) << " "
      << (NodeObjectContext(Node(process)) ? "context" : "no context");
  EXPECT_EQ(DispInvoke(VarToDispatch(browser.Get()).Get(), u"FullName", {}).AsString(), process->FullNameText());

  OleVariant page = CallNode(process, u"Page", {OleVariant(u"*find.html")});
  ASSERT_EQ(Identity(page), Identity(tested->node));
  EXPECT_EQ(CallNode(tested->node, u"EvaluateXPath", {OleVariant(u"count(//li)"), OleVariant(false)}).AsInt(), 3);

  auto items = Elements(CallNode(tested->node, u"EvaluateXPath", {OleVariant(u"//li"), OleVariant(false)}));
  std::vector<WideString> ids;
  for (const auto& item : items) {
    EXPECT_TRUE(QueryAs<IpwSysNode>(VarToDispatch(item.Get()).Get())) << "a test object";
    ids.push_back(IdOf(item));
  }
  EXPECT_EQ(ids, (std::vector<WideString>{u"first", u"second", u"third"}));
  auto withFrames = Elements(CallNode(tested->node, u"EvaluateXPath", {OleVariant(u"//li"), OleVariant(true)}));
  ASSERT_EQ(withFrames.size(), 4u);
  EXPECT_EQ(IdOf(withFrames[3]), u"fourth");  // in a frame: the element itself

  EXPECT_EQ(IdOf(CallNode(tested->node, u"FindChildByXPath", {OleVariant(u"//li[2]"), OleVariant(false)})), u"second");
  // The page answers a single element for a single match: it comes back as it came.
  EXPECT_EQ(IdOf(CallNode(tested->node, u"QuerySelector", {OleVariant(u"#third")})), u"third");
  for (const char16_t* none : {u"#nothing", u"#THIRD"}) {  // ids are matched exactly
    OleVariant nothing = CallNode(tested->node, u"QuerySelector", {OleVariant(none)});
    EXPECT_EQ(nothing.Type(), VT_DISPATCH);
    EXPECT_EQ(nothing.Get().pdispVal, nullptr);
  }
  EXPECT_EQ(Elements(CallNode(tested->node, u"QuerySelectorAll", {OleVariant(u"button")})).size(), 2u);
  // A string result comes back as it is.
  EXPECT_EQ(
      CallNode(tested->node, u"EvaluateXPath", {OleVariant(u"string(//li[1]/@id)"), OleVariant(false)}).AsString(),
      u"first");

  EXPECT_TRUE(NodeExists(VarToDispatch(CallNode(process, u"Page", {OleVariant(u"*find.html")}).Get()).Get()));
  EXPECT_FALSE(NodeExists(
      VarToDispatch(CallNode(process, u"WaitPage", {OleVariant(u"*nosuch*"), OleVariant(300)}).Get()).Get()));
  EXPECT_FALSE(NodeExists(
      VarToDispatch(CallNode(SysNode(), u"WaitBrowser", {OleVariant(u"firefox"), OleVariant(300)}).Get()).Get()));
}

TEST_F(RealEngineLookups, ACrossSiteFrameIsSkippedAndAGonePageIsWaitedFor) {
  pw::test::ScratchDir dir;
  std::ofstream(dir.Utf8File("outer.html"))
      << "<html><body><ul><li id='a'>A</li></ul>"
         "<iframe src=\"data:text/html,<ul><li id='b'>B</li></ul>\"></iframe></body></html>";
  Open("file://" + dir.Utf8File("outer.html"));
  auto items = Elements(CallNode(tested->node, u"EvaluateXPath", {OleVariant(u"//li"), OleVariant(true)}));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(IdOf(items[0]), u"a");

  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  auto page = tested->node;
  ASSERT_TRUE(host.Browsers().Close(tested->id));
  EXPECT_FALSE(NodeExists(static_cast<IpwSysNodeEx*>(page.Get())));
  const auto before = clock.Slept();
  OleVariant missing = CallNode(process, u"WaitPage", {OleVariant(u"*outer.html"), OleVariant(200)});
  EXPECT_FALSE(NodeExists(VarToDispatch(missing.Get()).Get()));
  EXPECT_GE(clock.Slept() - before, 200u);
}

}  // namespace
}  // namespace pw::web::test
