// The XPath and CSS selector slices of native web objects: TpwEvaluateXPath
// (IpwEvaluateXPathAction: EvaluateXPath, FindChildByXPath) and TpwCssSelectorMethods
// (IpwCssSelectorMethods: QuerySelector, QuerySelectorAll), both on TpwNodeSelector.
//
// A search hands the expression to the browser side: the slice's node must answer
// IpwNativeContext and hold an object context (IpwObjectContext2 under the context-item key),
// whose object is the page-side dispatch object; it is called by DISPID (0x10F25 XPath with
// (expression, search in frames), 0x10F28 CSS with (selector, single)). Without any of these the
// answer is Empty (FindChildByXPath: nil) and the call succeeds; a failing browser-side call is
// the call's failure.
//
// Converting a result (ConvertSelectorResult): with Single set, Empty or Null becomes a dispatch
// Variant holding nil. A non-array comes back as it came (numbers, texts, Booleans, single
// objects). In an array each non-nil dispatch element is replaced by the test object of the node
// whose identifier (the context's GetIdentifier, exact comparison) equals the element's (page-side
// DISPID 0x01000005; a failing read gives an empty one), else by the element's own test object
// (0x01000002; a failing read gives nil); elements for which nothing is found stay. With Single
// the first object found is the whole result.
//
// The node's subtree is indexed once per conversion, and only when some element has an
// identifier: the node is updated (IpwSysNode::Update) once, then its children are walked without
// a refresh from the last child to the first, each child before its subtree, and each identifier
// keeps the first node met in that walk. So a conversion costs one walk of the tree plus one
// lookup per element, whatever the number of elements.
#pragma once

#include <map>

#include "interfaces/pwOpenAppServices.h"
#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr DISPID kDispEvaluateXPath = 0x10F25;
inline constexpr DISPID kDispQueryCssSelector = 0x10F28;
inline constexpr DISPID kDispElementIdentifier = 0x01000005;
inline constexpr DISPID kDispElementTestObject = 0x01000002;

// The object context of a node (it must answer IpwNativeContext); nil when it has none.
ComPtr<IpwObjectContext2> NodeObjectContext(IUnknown* node);
// The page-side dispatch object of a node: its object context's object; nil when any step is
// missing.
ComPtr<IDispatch> NodePageObject(IUnknown* node);
// The identifier of a node's object context; empty when it has none.
WideString NodeContextIdentifier(IUnknown* node);

// The identifier -> first node met index of a node's subtree, in the order described above
// (the node updated first).
using TpwIdentifierIndex = std::map<WideString, ComPtr<IpwSysNode>>;
void IndexSubtree(IpwSysNode* node, TpwIdentifierIndex& index);
// The converted result of a browser-side search below Node.
OleVariant ConvertSelectorResult(IpwSysNode* node, const VARIANT& result, bool single);

class TpwNodeSelector : public TpwNodeSlice {
 protected:
  explicit TpwNodeSelector(std::vector<IID> iids) : TpwNodeSlice(std::move(iids)) {}
  // Invokes a page-side member with (text, flag) on the slice node's page object. Empty, and
  // Node nil, when the node or its page object is missing.
  OleVariant CallPageSide(DISPID id, const char16_t* name, BSTR text, bool flag, ComPtr<IpwSysNode>& node);
};

class TpwEvaluateXPath final : public AutoImplements<TpwNodeSelector, IpwEvaluateXPathAction> {
 public:
  TpwEvaluateXPath() : AutoImplements(std::vector<IID>{IpwEvaluateXPathAction::iid}) {}

  // SearchInFrames: optional, False when left out.
  HRESULT EvaluateXPath(BSTR xpath, const VARIANT& searchInFrames, VARIANT* value) override;
  // The first object of an array result that is a node, else its first object; nil for a result
  // that is no array.
  HRESULT FindChildByXPath(BSTR xpath, const VARIANT& searchInFrames, IDispatch** value) override;
};

class TpwCssSelectorMethods final : public AutoImplements<TpwNodeSelector, IpwCssSelectorMethods> {
 public:
  // The host object is kept for nothing yet; the builders pass it.
  explicit TpwCssSelectorMethods(IcvBaseManager* host = nullptr)
      : AutoImplements(std::vector<IID>{IpwCssSelectorMethods::iid}), host_(host) {}

  HRESULT QuerySelector(BSTR selector, VARIANT* value) override;
  HRESULT QuerySelectorAll(BSTR selector, VARIANT* value) override;

 private:
  ComPtr<IcvBaseManager> host_;
};

}  // namespace pw::web
