#include "platform/com/errorinfo.h"

#include "platform/com/comobject.h"

namespace pw {

namespace {

class TErrorInfo final : public Implements<ComObject, IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_POINTER;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* s) override { return Copy(source_, s); }
  HRESULT GetDescription(BSTR* s) override { return Copy(description_, s); }
  HRESULT GetHelpFile(BSTR* s) override { return Copy(helpFile_, s); }
  HRESULT GetHelpContext(DWORD* c) override {
    if (!c) return E_POINTER;
    *c = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(const GUID& g) override {
    guid_ = g;
    return S_OK;
  }
  HRESULT SetSource(const char16_t* s) override { return Assign(source_, s); }
  HRESULT SetDescription(const char16_t* s) override { return Assign(description_, s); }
  HRESULT SetHelpFile(const char16_t* s) override { return Assign(helpFile_, s); }
  HRESULT SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  static HRESULT Copy(const WideString& v, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(v.data(), static_cast<std::uint32_t>(v.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Assign(WideString& v, const char16_t* s) {
    v = s ? WideString(s) : WideString();
    return S_OK;
  }

  GUID guid_{};
  WideString source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

thread_local ComPtr<IErrorInfo> tCurrentError;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_POINTER;
  try {
    auto obj = MakeObject<TErrorInfo>();
    *out = static_cast<ICreateErrorInfo*>(obj.Detach());
    return S_OK;
  } catch (...) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
}

HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  tCurrentError = info;
  return S_OK;
}

HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** out) {
  if (reserved != 0) return E_INVALIDARG;
  if (!out) return E_POINTER;
  *out = tCurrentError.Detach();
  return *out ? S_OK : S_FALSE;
}

}  // namespace pw
