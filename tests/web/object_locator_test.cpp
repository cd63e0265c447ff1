// Find over a node that searches below itself (IpwSysNodeElementSearch), on stub nodes: the
// candidates are tested with Find's own rule, and the walk decides whenever the node did not.
#include "core/automation/dispatch_helpers.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/object_locator.h"

namespace pw::web::test {
namespace {

class ObjectLocatorSearch : public NavTest {};

TEST_F(ObjectLocatorSearch, CandidatesAreTestedAndTheWalkDecidesTheRest) {
  auto page = AddPage(AddProcess(100), u"http://a/", 100, true);
  Attach(page, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);
  auto element = [&](WideStringView id) {
    auto e = page->AddChild(u"Element", {OleVariant(WideString(id))});
    e->SetMemberValue(u"tagName", OleVariant(u"DIV"));
    e->SetMemberValue(u"id", OleVariant(WideString(id)));
    return e;
  };
  auto a = element(u"a1"), b = element(u"b1"), c = element(u"b2");
  enum Answer { Listed, NotAnswered, Raises };
  struct Case {
    const char* what;
    Answer answer;
    std::vector<host::TSysNode*> candidates;
    bool complete;
    host::TSysNode* expected;  // nil: the "item" placeholder
    bool walked;
  } cases[] = {
      {"the first candidate passes", Listed, {b.Get()}, true, b.Get(), false},
      {"a loose candidate is refused", Listed, {a.Get(), c.Get()}, true, c.Get(), false},
      {"complete and none passes", Listed, {a.Get()}, true, nullptr, false},
      {"none listed, complete", Listed, {}, true, nullptr, false},
      {"incomplete and none passes", Listed, {a.Get()}, false, b.Get(), true},
      {"a property it does not answer", NotAnswered, {}, true, b.Get(), true},
      {"the question fails", Raises, {}, true, b.Get(), true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    std::vector<std::pair<WideString, WideString>> asked;
    page->SetElementSearch([&](host::TSysNode&, WideStringView property, WideStringView text, WideStringView tag,
                               std::int32_t max) -> std::optional<host::TSysNode::ElementCandidates> {
      EXPECT_EQ(max, kSearchCandidates);
      asked.emplace_back(WideString(property), WideString(text) + u"|" + WideString(tag));
      if (k.answer == NotAnswered) return std::nullopt;
      if (k.answer == Raises) throw EOleSysError(u"The browser has closed", E_FAIL);
      host::TSysNode::ElementCandidates out;
      for (auto* n : k.candidates) out.nodes.emplace_back(n);
      out.complete = k.complete;
      return out;
    });
    const int refreshes = page->RefreshCount();
    const OleVariant found = CallNode(page, u"Find", {OleVariant(u"ID"), OleVariant(u"b*"), OleVariant(u"div")});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, u"ID");
    EXPECT_EQ(asked[0].second, u"b*|div");
    if (k.expected) {
      EXPECT_EQ(Identity(found), Identity(ComPtr<host::TSysNode>(k.expected)));
    } else {
      ASSERT_TRUE(Identity(found));
      EXPECT_FALSE(NodeExists(Identity(found)));
    }
    EXPECT_EQ(page->RefreshCount() - refreshes, k.walked ? 1 : 0);
  }
  // A key with no text form is not asked: the walk compares it.
  std::vector<int> asks;
  page->SetElementSearch([&](host::TSysNode&, WideStringView, WideStringView, WideStringView,
                             std::int32_t) -> std::optional<host::TSysNode::ElementCandidates> {
    asks.push_back(1);
    return host::TSysNode::ElementCandidates{};
  });
  SAFEARRAYBOUND bound{1, 0};
  OleVariant array;
  array.Ptr()->vt = VT_ARRAY | VT_VARIANT;
  array.Ptr()->parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
  const OleVariant found = CallNode(page, u"Find", {OleVariant(u"id"), array});
  EXPECT_FALSE(NodeExists(Identity(found)));
  EXPECT_TRUE(asks.empty());
}

// A live member (read from the element at each call, written by a property put) answers scripts,
// but Find does not look at it: the walk passes over it, and reads it not at all.
TEST_F(ObjectLocatorSearch, LiveMembersAnswerScriptsButNotFind) {
  auto page = AddPage(AddProcess(100), u"http://a/", 100, true);
  Attach(page, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);
  auto field = page->AddChild(u"Element", {OleVariant(u"name")});
  field->SetMemberValue(u"tagName", OleVariant(u"INPUT"));
  WideString held = u"Ann";
  int reads = 0;
  field->SetLiveMember(u"value", [&](std::vector<OleVariant>& args) {
    if (!args.empty()) {
      held = args.back().AsString();
      return OleVariant();
    }
    ++reads;
    return OleVariant(held);
  });
  field->SetMemberValue(u"title", OleVariant(u"Ann"));  // an ordinary member of the same text

  auto dispatch = QueryAs<IDispatch>(static_cast<IpwSysNodeEx*>(field.Get()));
  EXPECT_EQ(DispGetProperty(dispatch.Get(), u"VALUE", OleVariant()).AsString(), u"Ann");
  // A property put writes through the member.
  const char16_t* names[1] = {u"value"};
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
  OleVariant written(u"Bob");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{written.Ptr(), &named, 1, 1};
  ASSERT_EQ(dispatch->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(held, u"Bob");
  OleVariant listed;
  ASSERT_EQ(field->GetPropertyValue(host::kLiveMembersProperty, listed.Ptr()), S_OK);
  EXPECT_EQ(listed.AsString(), u"value;");

  reads = 0;
  struct Case {
    const char16_t* property;
    const char16_t* text;
    bool found;
  } cases[] = {{u"value", u"Bob", false}, {u"Value", u"B*", false}, {u"title", u"ann", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.property));
    const OleVariant found =
        CallNode(page, u"Find", {OleVariant(WideString(c.property)), OleVariant(WideString(c.text))});
    EXPECT_EQ(NodeExists(Identity(found)), c.found);
  }
  EXPECT_EQ(reads, 0);  // Find never read the live member
  // Set again as an ordinary member, the name is searched.
  field->SetMemberValue(u"value", OleVariant(u"Bob"));
  EXPECT_TRUE(NodeExists(Identity(CallNode(page, u"Find", {OleVariant(u"value"), OleVariant(u"Bob")}))));
}

}  // namespace
}  // namespace pw::web::test
