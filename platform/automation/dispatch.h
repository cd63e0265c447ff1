// IDispatch and the records of a late-bound call.
#pragma once

#include "platform/automation/variant.h"

namespace pw {

struct ITypeInfo;

// Invoke flags.
inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID MEMBERID_NIL = -1;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// The arguments of a call: rgvarg holds them in reverse order (rgvarg[cArgs - 1] is the first
// argument); the first cNamedArgs entries are the named ones, whose parameter DISPIDs are in
// rgdispidNamedArgs.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  std::uint32_t cArgs;
  std::uint32_t cNamedArgs;
};

// What a failed call reports when it answers DISP_E_EXCEPTION. The strings belong to the
// caller, who frees them (ClearExcepInfo).
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

// Frees the strings of an exception record and zeroes it.
void ClearExcepInfo(EXCEPINFO& info) noexcept;

struct IDispatch : IUnknown {
  static constexpr IID iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) = 0;
  virtual HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                                DISPID* dispIds) = 0;
  virtual HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, std::uint32_t* argErr) = 0;
};

inline constexpr IID IID_IEnumVARIANT = MakeGuid("{00020404-0000-0000-C000-000000000046}");

}  // namespace pw
