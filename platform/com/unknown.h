// IUnknown and the interface conventions of the module.
//
// An interface is an abstract struct whose virtual functions, in declaration order, are its
// operations; IUnknown's three come first, so "operation N" of an interface is vtable slot N.
// Interfaces have no virtual destructor (objects are freed through Release) and name their
// identity in a static member `iid`. An interface that extends another one names it in
// `using Inherited = ...;` so that a query for the ancestor finds it too.
#pragma once

#include <type_traits>

#include "platform/com/guid.h"
#include "platform/com/types.h"

namespace pw {

struct IUnknown {
  static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const IID& riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

template <class I>
concept Interface = std::is_base_of_v<IUnknown, I> && requires { I::iid; };

template <Interface I>
constexpr const IID& IidOf() {
  return I::iid;
}

namespace detail {
template <class I>
concept HasInherited = requires { typename I::Inherited; };
}  // namespace detail

// True when `riid` names I or one of the interfaces it extends (IUnknown excluded: the object's
// identity answers IUnknown).
template <Interface I>
constexpr bool InterfaceMatches(const IID& riid) {
  if (riid == I::iid) return true;
  if constexpr (detail::HasInherited<I>) {
    if constexpr (!std::is_same_v<typename I::Inherited, IUnknown>) return InterfaceMatches<typename I::Inherited>(riid);
  }
  return false;
}

// IExternalConnection: COM reports strong and weak external connections made by marshaling.
inline constexpr DWORD EXTCONN_STRONG = 1;
inline constexpr DWORD EXTCONN_WEAK = 2;
inline constexpr DWORD EXTCONN_CALLABLE = 4;

struct IExternalConnection : IUnknown {
  static constexpr IID iid = MakeGuid("{00000019-0000-0000-C000-000000000046}");
  virtual DWORD AddConnection(DWORD extconn, DWORD reserved) = 0;
  virtual DWORD ReleaseConnection(DWORD extconn, DWORD reserved, BOOL lastReleaseCloses) = 0;
};

}  // namespace pw
