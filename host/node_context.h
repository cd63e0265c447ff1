// TNodeObjectContext: the object context the test host gives its browser, page and element nodes
// (IpwObjectContext2, held under the context-item key, beside IpwNativeContext of the node): it
// is always valid (Renew gives nothing new), its object is what a function answers at each ask
// (an element: the element; a page: its current document), its identifier the element's
// engine-side identifier (empty for others), and its object type a text with a value (a browser:
// "browser" and an array whose element 0 is its process name); its details name the
// capabilities the web builders look for (a page: XPath, CSS selectors, navigation) and its kind.
#pragma once

#include <functional>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

class TNodeObjectContext final : public Implements<ComObject, IpwObjectContext2, IpwObjectContextDetails> {
 public:
  using ObjectFunction = std::function<ComPtr<IDispatch>()>;
  TNodeObjectContext(ObjectFunction object, WideString identifier, WideString typeText, OleVariant typeValue)
      : object_(std::move(object)), identifier_(std::move(identifier)), typeText_(std::move(typeText)),
        typeValue_(std::move(typeValue)) {}

  HRESULT IsValid(VARIANT_BOOL* valid) override;
  HRESULT Renew(IUnknown** lock, GUID* key, IpwObjectContext2** context, VARIANT_BOOL* renewed) override;
  // The function's answer; nil without one. Its exception is the call's failure.
  HRESULT GetObject(IDispatch** object) override;
  PW_OBJECT_CONTEXT2_RESERVED
  HRESULT GetIdentifier(BSTR* identifier) override;
  // Found is False when the type text is empty.
  HRESULT GetObjectType(BSTR* typeText, VARIANT* value, VARIANT_BOOL* found) override;
  // IpwObjectContextDetails: the capabilities the context holds (each True; others not found)
  // and its kind (key and tag), set before the node joins the tree.
  void SetCapabilities(std::vector<GUID> capabilities) { capabilities_ = std::move(capabilities); }
  void SetKind(const GUID& key, std::int32_t tag) {
    kindKey_ = key;
    kindTag_ = tag;
  }
  HRESULT GetKindObject(IUnknown** kind) override;
  HRESULT GetCapability(BSTR name, VARIANT* value, VARIANT_BOOL* found) override;

 private:
  ObjectFunction object_;
  WideString identifier_;
  WideString typeText_;
  OleVariant typeValue_;
  std::vector<GUID> capabilities_;
  GUID kindKey_{};
  std::int32_t kindTag_ = 0;
};

// A one-element array of Variants holding Text (the value of a browser's object type).
OleVariant OneTextArray(WideStringView text);

}  // namespace pw::host
