// Type libraries and type information: what the module reads of an interface's description
// (attributes, functions, names, documentation) and the generic Invoke that calls a member of
// an interface pointer by its DISPID.
//
// The type information of an interface is its dispatch view: the first seven functions are
// IUnknown's and IDispatch's (restricted), a property's get and put share one member id, the
// HRESULT of a dual method is hidden and its [out, retval] parameter is the function's result.
#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/dispatch.h"

namespace pw {

struct ITypeLib;

enum TYPEKIND : std::int32_t {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7,
};

enum INVOKEKIND : std::int32_t {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8,
};

enum FUNCKIND : std::int32_t { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL = 1, FUNC_NONVIRTUAL = 2, FUNC_STATIC = 3, FUNC_DISPATCH = 4 };
enum CALLCONV : std::int32_t { CC_STDCALL = 4 };
enum SYSKIND : std::int32_t { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

// Function flags.
inline constexpr WORD FUNCFLAG_FRESTRICTED = 0x1;
inline constexpr WORD FUNCFLAG_FSOURCE = 0x2;
inline constexpr WORD FUNCFLAG_FBINDABLE = 0x4;
inline constexpr WORD FUNCFLAG_FHIDDEN = 0x40;
inline constexpr WORD FUNCFLAG_FDEFAULTBIND = 0x20;
inline constexpr WORD FUNCFLAG_FNONBROWSABLE = 0x400;

// Type flags.
inline constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr WORD TYPEFLAG_FRESTRICTED = 0x200;
inline constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

// Parameter flags.
inline constexpr WORD PARAMFLAG_NONE = 0;
inline constexpr WORD PARAMFLAG_FIN = 0x1;
inline constexpr WORD PARAMFLAG_FOUT = 0x2;
inline constexpr WORD PARAMFLAG_FRETVAL = 0x8;
inline constexpr WORD PARAMFLAG_FOPT = 0x10;

using HREFTYPE = DWORD;

// A type: vt, and for VT_PTR / VT_SAFEARRAY the pointed-to type, for VT_USERDEFINED the
// reference of the type (an index into the referencing type information's references).
struct TYPEDESC {
  union {
    const TYPEDESC* lptdesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
};

struct PARAMDESC {
  void* pparamdescex;
  WORD wParamFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  PARAMDESC paramdesc;
};

struct FUNCDESC {
  DISPID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  std::int16_t cParams;
  std::int16_t cParamsOpt;
  std::int16_t oVft;  // byte offset of the function's slot in the interface's method table
  std::int16_t cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  DISPID memidConstructor;
  DISPID memidDestructor;
  char16_t* lpstrSchema;
  std::uint32_t cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
};

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

struct ITypeInfo : IUnknown {
  static constexpr IID iid = MakeGuid("{00020401-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetFuncDesc(std::uint32_t index, FUNCDESC** desc) = 0;
  // The member's name and then its parameters' names (at most maxNames).
  virtual HRESULT GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) = 0;
  // The first name is a member, the following ones the names of its parameters (their DISPIDs
  // are the parameters' positions). DISP_E_UNKNOWNNAME with MEMBERID_NIL for what is unknown.
  virtual HRESULT GetIDsOfNames(const char16_t* const* names, std::uint32_t count, DISPID* memids) = 0;
  // Calls the member on `instance`, a pointer to the interface this type information describes.
  virtual HRESULT Invoke(void* instance, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, std::uint32_t* argErr) = 0;
  // MEMBERID_NIL documents the type itself. Any out pointer may be nil.
  virtual HRESULT GetDocumentation(DISPID memid, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
  // The reference of the index-th implemented interface (an interface's base: index 0 only);
  // TYPE_E_ELEMENTNOTFOUND past the attributes' cImplTypes. Type information that has no bases
  // answers E_NOTIMPL.
  virtual HRESULT GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) {
    (void)index;
    if (ref) *ref = 0;
    return E_NOTIMPL;
  }
  // The type information a reference names (an implemented interface's, or a VT_USERDEFINED
  // type's). A base named IDispatch or IUnknown is the built-in type information of that
  // interface.
  virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
    (void)ref;
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
};

struct ITypeLib : IUnknown {
  static constexpr IID iid = MakeGuid("{00020402-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual std::uint32_t GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoType(std::uint32_t index, TYPEKIND* kind) = 0;
  // TYPE_E_ELEMENTNOTFOUND when the library does not describe the GUID.
  virtual HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
  // index -1 documents the library itself.
  virtual HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                   BSTR* helpFile) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;
};

inline constexpr HRESULT TYPE_E_INVDATAREAD = MakeHResult(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = MakeHResult(0x80028019);
inline constexpr HRESULT TYPE_E_BADMODULEKIND = MakeHResult(0x800288BD);

// The built-in type information of IUnknown (no base) and of IDispatch (base IUnknown), which
// the bases of a library's interfaces resolve to; the objects live as long as the process.
ITypeInfo* BuiltinTypeInfoOfIUnknown();
ITypeInfo* BuiltinTypeInfoOfIDispatch();

// Loads a type library: a library file of this system's format, or the library embedded in
// an executable or shared object (its "TYPELIB" resource 1). TYPE_E_CANTLOADLIBRARY when the
// file cannot be read or holds no library; TYPE_E_INVDATAREAD or TYPE_E_UNSUPFORMAT for a
// damaged or newer library. A library whose interfaces' bases form a cycle is damaged.
HRESULT LoadTypeLib(const std::u16string& fileName, ITypeLib** lib);
// Loads a library held in memory (the same format).
HRESULT LoadTypeLibFromMemory(const void* data, std::size_t size, ITypeLib** lib);
// Enters the library in the registry stand-in: "Typelib\{lib}\{major.minor}\0\win32" = path,
// and "Interface\{iid}\Typelib" (default = the library's GUID, "Version") for each interface.
HRESULT RegisterTypeLib(ITypeLib* lib, const std::u16string& fullPath);

// ITypeInfo::GetIDsOfNames, as the system's helper of the same name.
HRESULT DispGetIDsOfNames(ITypeInfo* info, const char16_t* const* names, std::uint32_t count, DISPID* dispIds);

}  // namespace pw
