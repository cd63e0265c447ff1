// A late-bound call resolved ahead of time: the functions of a dual interface prepared for
// Invoke (the generated thunk and how each argument is handed over), the map from DISPID and
// invoke flags to those functions, and the call itself.
//
// A type information builds one map for its interface; the automation base merges the maps of
// an object's interfaces once per class. A call by DISPID is then an array index (a binary
// search for DISPIDs far beyond the member count), one table entry for the flags, and the
// thunk; a call without arguments goes straight to the thunk.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/dispatch_thunks.h"

namespace pw {

// How Invoke hands an argument to a parameter.
enum class ParamMode : std::uint8_t {
  Variant,    // VARIANT: as the caller gave it
  Value,      // a scalar, string or object: converted to the type
  ByRef,      // VT_PTR to a scalar or VARIANT: the caller's reference of exactly that type, or a
              // value, which the callee gets in a temporary (what it writes there is dropped)
  Interface,  // VT_PTR to an interface: the object queried for that interface
  Array,      // SAFEARRAY: the caller's array of that element type
};

struct DispatchParam {
  ParamMode mode = ParamMode::Value;
  VARTYPE vt = VT_EMPTY;  // Value: the type; ByRef, Array: the element type
  bool optional = false;
  GUID iid{};         // Interface
  bool input = true;  // ByRef: the callee reads the value ([in] or [in, out]), not only writes it
};

// One function of a dual interface, ready to be called.
struct DispatchFunction {
  DispatchThunk thunk = nullptr;  // nil when the interface has no C++ binding
  DispatchThunk direct = nullptr;  // the thunk when the function has no parameters
  std::uint16_t index = 0;        // its index in the type information
  std::vector<DispatchParam> params;
};

// The functions of one DISPID, by the invoke flags that reach them (one cache line).
struct alignas(64) DispatchMember {
  // 1 the method, 2 the property get, 3 the method, else the get; 4 the put, 5 the putref,
  // 6 the put, else the putref. Entry 0 stays nil: flags that reach no function.
  const DispatchFunction* byFlags[7] = {};
  std::int32_t owner = -1;  // index of the object's interface that serves the DISPID; -1: none

  // The function a call with these flags reaches; nil when there is none. A call or read
  // (method 1, get 2, either 3) looks at the two low bits; with put (4) or putref (8) among
  // the flags it is a write of that kind.
  const DispatchFunction* For(WORD flags) const noexcept {
    static constexpr std::uint8_t kEntry[16] = {0, 1, 2, 3, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6};
    return byFlags[kEntry[flags & 15]];
  }
  // As For, with put and putref taken as one: a write reaches the put, else the putref.
  const DispatchFunction* ForAnyWrite(WORD flags) const noexcept {
    static constexpr std::uint8_t kEntry[16] = {0, 1, 2, 3, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6};
    return byFlags[kEntry[flags & 15]];
  }
  // The first function of the member: its method, else get, put, putref.
  const DispatchFunction* First() const noexcept { return byFlags[3] ? byFlags[3] : byFlags[6]; }
  const DispatchFunction* Method() const noexcept { return byFlags[1]; }
  const DispatchFunction* Get() const noexcept { return byFlags[2]; }
  const DispatchFunction* Put() const noexcept { return byFlags[4]; }
  const DispatchFunction* PutRef() const noexcept { return byFlags[5]; }
  // Enters a function of the given INVOKEKIND; the first one of each kind wins.
  void Add(std::int32_t invokeKind, const DispatchFunction* f) noexcept;
};

// DISPID -> member. Built with Add, then Finish; read-only (and safe to share) after.
class DispatchMap {
 public:
  // The member of a DISPID, made on first use (owner -1 until the caller sets it).
  DispatchMember& Add(DISPID id);
  bool Contains(DISPID id) const;
  // Lays out the lookup: an array for the DISPIDs 0 .. n (n a few times the member count at
  // the most), a sorted list for the others.
  void Finish();

  // The member of a DISPID; nil when there is none.
  const DispatchMember* Find(DISPID id) const noexcept {
    const DispatchMember& m = Lookup(id);
    return m.owner >= 0 ? &m : nullptr;
  }
  // The member of a DISPID, or a member without functions when there is none.
  const DispatchMember& Lookup(DISPID id) const noexcept {
    const auto i = static_cast<std::uint32_t>(id);
    return i < denseCount_ ? dense_[i] : LookupSparse(id);
  }
  // The array of the DISPIDs 0 .. ArrayCount() - 1 (a member without functions where none
  // has the DISPID); Lookup finds the others.
  const DispatchMember* Array() const noexcept { return dense_.data(); }
  std::uint32_t ArrayCount() const noexcept { return denseCount_; }
  std::size_t Size() const noexcept { return size_; }

 private:
  const DispatchMember& LookupSparse(DISPID id) const noexcept;

  std::vector<std::pair<DISPID, DispatchMember>> building_;  // in the order added, until Finish
  std::unordered_map<DISPID, std::size_t> buildIndex_;
  std::uint32_t denseCount_ = 0;
  std::vector<DispatchMember> dense_;  // owner -1 where no member has the DISPID
  std::vector<std::pair<DISPID, DispatchMember>> sparse_;
  std::size_t size_ = 0;
};

// The map of a type information of this system; nil for any other implementation of
// ITypeInfo, whose own Invoke then serves the calls.
const DispatchMap* DispatchMapOf(ITypeInfo* info) noexcept;

// A failure of the implementation: its error information becomes the exception record and
// stays the thread's error information. Answers DISP_E_EXCEPTION.
HRESULT FailedCall(HRESULT hr, EXCEPINFO* excepInfo) noexcept;

// The common call, a property read or a method without arguments, goes straight to the
// thunk: a function without parameters, no arguments, and a result of a plain type (the
// thunk writes it only when it succeeds).
inline bool IsDirectCall(const DispatchFunction& f, const DISPPARAMS* params, const VARIANT* result) noexcept {
  constexpr std::uint32_t kOwning = (1u << VT_BSTR) | (1u << VT_DISPATCH) | (1u << VT_UNKNOWN);
  return f.direct && (!params || params->cArgs == 0) && result && result->vt < 32 && !((kOwning >> result->vt) & 1);
}
// (Out of line: a caller that reaches it by a jump needs no registers saved for the call.)
HRESULT InvokeDirect(DispatchThunk direct, void* instance, VARIANT* result, EXCEPINFO* excepInfo);
// Every other call: maps and converts the arguments; E_NOTIMPL without a C++ binding.
HRESULT InvokeGeneral(const DispatchFunction& f, void* instance, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, std::uint32_t* argErr);

// Calls f on `instance` (a pointer to the function's interface): maps and converts the
// arguments, calls the thunk, and leaves the [out, retval] value in result, whose old value
// is freed. A failed call leaves the result as it was; a failing HRESULT of the
// implementation answers DISP_E_EXCEPTION with excepInfo filled.
inline HRESULT InvokeFunction(const DispatchFunction& f, void* instance, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (IsDirectCall(f, params, result)) return InvokeDirect(f.direct, instance, result, excepInfo);
  return InvokeGeneral(f, instance, flags, params, result, excepInfo, argErr);
}

}  // namespace pw
