// Stand-ins for the objects a builder or plug-in reads off a node, shared by the web tests and
// benchmarks: an element's control information, a request of call information, and the window
// object's class.
#pragma once

#include <cstdint>
#include <utility>

#include "core/automation/automation.h"
#include "interfaces/pwWebTesting.h"
#include "platform/rtl/strings.h"

namespace pw::web::test {

// The control information of an element: ControlType by DISPID 0xC001.
class TControlInfo final : public Implements<ComObject, IDispatch> {
 public:
  explicit TControlInfo(WideString type) : type_(std::move(type)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    if (id != 0xC001) return DISP_E_MEMBERNOTFOUND;
    if (result) *result = OleVariant(type_).Detach();
    return S_OK;
  }

 private:
  WideString type_;
};

// A request of call information: the node's kind and its object of that kind.
class TCallRequest final : public Implements<ComObject, IpwObjectCallInfoRequest> {
 public:
  GUID kind{};
  ComPtr<IUnknown> object;
  HRESULT Reserved3() override { return E_NOTIMPL; }
  HRESULT Reserved4() override { return E_NOTIMPL; }
  HRESULT GetTypeKey(GUID* k) override {
    *k = kind;
    return S_OK;
  }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT Reserved7() override { return E_NOTIMPL; }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved9() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved11() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }
  HRESULT GetObjectOfKind(const GUID& k, IUnknown** o) override {
    *o = k == kind ? ComPtr<IUnknown>(object).Detach() : nullptr;
    return S_OK;
  }
};

// A window object answering only its class.
class TWindowObject final : public Implements<ComObject, IpwWindowObjectInfo> {
 public:
  explicit TWindowObject(WideString cls) : class_(std::move(cls)) {}
  // clang-format off
#define PW_STUB_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }
  PW_STUB_RESERVED(3) PW_STUB_RESERVED(4) PW_STUB_RESERVED(5) PW_STUB_RESERVED(6) PW_STUB_RESERVED(7)
  PW_STUB_RESERVED(8) PW_STUB_RESERVED(9) PW_STUB_RESERVED(10) PW_STUB_RESERVED(11) PW_STUB_RESERVED(12)
  PW_STUB_RESERVED(13) PW_STUB_RESERVED(14) PW_STUB_RESERVED(15) PW_STUB_RESERVED(16) PW_STUB_RESERVED(17)
  PW_STUB_RESERVED(18) PW_STUB_RESERVED(19) PW_STUB_RESERVED(20) PW_STUB_RESERVED(21)
#undef PW_STUB_RESERVED
  // clang-format on
  HRESULT GetWndClass(BSTR* c) override {
    *c = SysAllocString(class_.c_str());
    return S_OK;
  }

 private:
  WideString class_;
};

}  // namespace pw::web::test
