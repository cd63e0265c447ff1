// A late-bound call for the browser tests: the result code, the value and the exception text.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/rtl/strings.h"

namespace pw::test {

struct DispatchResult {
  HRESULT hr = S_OK;
  OleVariant value;
  std::string error;  // the exception record's description
};

inline DISPID IdOf(IDispatch* object, const char16_t* name, HRESULT* hr = nullptr) {
  DISPID id = DISPID_UNKNOWN;
  const HRESULT r = object->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id);
  if (hr) *hr = r;
  return id;
}

// Arguments in call order.
inline DispatchResult InvokeId(IDispatch* object, DISPID id, WORD flags, std::vector<OleVariant> args = {}) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Ptr());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), (flags & DISPATCH_PROPERTYPUT) ? &put : nullptr,
                    static_cast<std::uint32_t>(reversed.size()), (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
  DispatchResult r;
  EXCEPINFO info{};
  VARIANT result;
  VariantInit(&result);
  r.hr = object->Invoke(id, GUID_NULL, 0, flags, &params, &result, &info, nullptr);
  r.value = OleVariant::Attach(result);
  if (info.bstrDescription) r.error = WideToUtf8(BstrView(info.bstrDescription));
  ClearExcepInfo(info);
  return r;
}

inline DispatchResult Get(IDispatch* object, const char16_t* name, std::vector<OleVariant> args = {}) {
  HRESULT hr = S_OK;
  const DISPID id = IdOf(object, name, &hr);
  if (Failed(hr)) return {hr, {}, {}};
  return InvokeId(object, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
}

inline DispatchResult Put(IDispatch* object, const char16_t* name, OleVariant value) {
  HRESULT hr = S_OK;
  const DISPID id = IdOf(object, name, &hr);
  if (Failed(hr)) return {hr, {}, {}};
  return InvokeId(object, id, DISPATCH_PROPERTYPUT, {std::move(value)});
}

}  // namespace pw::test
