#include "host/node_context.h"

#include "host/name_mapping.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw::host {

HRESULT TNodeObjectContext::IsValid(VARIANT_BOOL* valid) {
  return SafeCall([&] { SetOutBool(valid, true); });
}

HRESULT TNodeObjectContext::Renew(IUnknown** lock, GUID* key, IpwObjectContext2** context, VARIANT_BOOL* renewed) {
  return SafeCall([&] {
    SetOut(lock, ComPtr<IUnknown>());
    SetOutValue(key, GUID_NULL);
    SetOut(context, ComPtr<IpwObjectContext2>());
    SetOutBool(renewed, false);
  });
}

HRESULT TNodeObjectContext::GetObject(IDispatch** object) {
  return SafeCall([&] { SetOut(object, object_ ? object_() : ComPtr<IDispatch>()); });
}

HRESULT TNodeObjectContext::GetIdentifier(BSTR* identifier) {
  return SafeCall([&] { SetOut(identifier, identifier_); });
}

HRESULT TNodeObjectContext::GetObjectType(BSTR* typeText, VARIANT* value, VARIANT_BOOL* found) {
  return SafeCall([&] {
    SetOut(typeText, typeText_);
    SetOut(value, typeValue_);
    SetOutBool(found, !typeText_.empty());
  });
}

namespace {

class TObjectKind final : public Implements<ComObject, IpwObjectKindInfo> {
 public:
  TObjectKind(const GUID& key, std::int32_t tag) : key_(key), tag_(tag) {}
  HRESULT GetKindKey(GUID* key) override {
    return SafeCall([&] { SetOutValue(key, key_); });
  }
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) HRESULT GetKindTag(std::int32_t* tag) override {
    return SafeCall([&] { SetOutValue(tag, tag_); });
  }

 private:
  GUID key_;
  std::int32_t tag_;
};

}  // namespace

HRESULT TNodeObjectContext::GetKindObject(IUnknown** kind) {
  return SafeCall([&] {
    auto object = MakeObject<TObjectKind>(kindKey_, kindTag_);
    SetOut(kind, ComPtr<IUnknown>(static_cast<IpwObjectKindInfo*>(object.Get())));
  });
}

HRESULT TNodeObjectContext::GetCapability(BSTR name, VARIANT* value, VARIANT_BOOL* found) {
  return SafeCall([&] {
    const WideStringView text = BstrView(name);
    bool held = false;
    for (const auto& c : capabilities_)
      if (SameTextIgnoringCase(GuidToWideString(c), text)) held = true;
    SetOut(value, held ? OleVariant(true) : OleVariant());
    SetOutBool(found, held);
  });
}

OleVariant OneTextArray(WideStringView text) { return MakeNamesVariant({WideString(text)}); }

}  // namespace pw::host
