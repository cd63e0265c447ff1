// A sink of a dispatch event interface for the browser tests: records "DISPID argument" lines
// (an integer first argument, or the URL second argument of the navigation events) and the
// dispatch object passed first; and advising it on a source's connection point.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"
#include "platform/com/connection_points.h"
#include "platform/rtl/strings.h"

namespace pw::test {

// A sink of a dispatch event interface: records "DISPID first-argument-text" per event, and the
// dispatch object passed first (where the event has one).
class RecordingSink final : public Implements<ComObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    std::string line = std::to_string(id);
    IUnknown* first = nullptr;
    if (params && params->cArgs > 0) {
      const VARIANT& a = params->rgvarg[params->cArgs - 1];
      if (a.vt == VT_DISPATCH) first = a.pdispVal;
      if (a.vt == (VT_BYREF | VT_DISPATCH)) first = *static_cast<IDispatch**>(a.byref);
      if (a.vt == VT_I4) line += " " + std::to_string(a.lVal);
    }
    if (params && params->cArgs >= 2 && (id == 250 || id == 252 || id == 259)) {
      line += " " + WideToUtf8(VariantDeref(params->rgvarg[params->cArgs - 2]).bstrVal);
    }
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    ComPtr<IUnknown> identity;  // the object's identity, compared as such
    if (first) first->QueryInterface(IUnknown::iid, identity.PutVoid());
    firsts_.push_back(identity);
    return S_OK;
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  ComPtr<IUnknown> First(std::size_t i) {
    std::lock_guard lock(mutex_);
    return firsts_.at(i);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<ComPtr<IUnknown>> firsts_;
};

inline DWORD Advise(IUnknown* source, const IID& events, IDispatch* sink) {
  ComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(source->QueryInterface(IConnectionPointContainer::iid, container.PutVoid()), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(events, point.Put()), S_OK);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}

}  // namespace pw::test
