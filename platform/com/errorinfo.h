// Error information: the per-thread error object that travels beside a failure code.
#pragma once

#include "platform/automation/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/unknown.h"

namespace pw {

struct IErrorInfo : IUnknown {
  static constexpr IID iid = MakeGuid("{1CF2B120-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  static constexpr IID iid = MakeGuid("{22F03340-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT SetGUID(const GUID& guid) = 0;
  virtual HRESULT SetSource(const char16_t* source) = 0;
  virtual HRESULT SetDescription(const char16_t* description) = 0;
  virtual HRESULT SetHelpFile(const char16_t* helpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD helpContext) = 0;
};

struct ISupportErrorInfo : IUnknown {
  static constexpr IID iid = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  virtual HRESULT InterfaceSupportsErrorInfo(const IID& riid) = 0;
};

HRESULT CreateErrorInfo(ICreateErrorInfo** out);
// Sets (or with nil clears) the calling thread's error object. `reserved` must be 0.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
// Takes the calling thread's error object and clears it; S_FALSE when there is none.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** out);

}  // namespace pw
