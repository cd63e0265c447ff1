// Reaching the host's services: the manager's lookup by GUID, asked at each use, and the cast
// of what it answers to the interface needed.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/safecall.h"

namespace pw {

// The runtime's interface-cast error: an object that does not support the interface asked for.
[[noreturn]] void RaiseInterfaceCastError();

// The object as interface I: nil for nil; raises the interface-cast error when it does not
// support I.
template <Interface I>
ComPtr<I> CastHostObject(IUnknown* object) {
  if (!object) return nullptr;
  ComPtr<I> r;
  if (Failed(object->QueryInterface(I::iid, r.PutVoid())) || !r) RaiseInterfaceCastError();
  return r;
}

// The host service registered under a GUID as interface I: nil for a nil manager or a service
// the host does not have; a failing lookup and an answer that does not support I raise.
template <Interface I>
ComPtr<I> GetHostService(IcvBaseManager* manager, const GUID& service) {
  if (!manager) return nullptr;
  ComPtr<IUnknown> answer;
  SafeCallCheck(manager->GetService(service, answer.Put()));
  return CastHostObject<I>(answer.Get());
}

// The host's diagnostic log: where failures go that have no caller to answer to.
inline constexpr GUID kDiagnosticLogService = MakeGuid("{2A39924A-C72A-4254-B8FD-B7F63B8553C2}");

// Writes a line to the host's diagnostic log. Never raises: without a manager or the service,
// or when the write fails, the line is dropped.
void WriteHostDiagnostic(IcvBaseManager* manager, WideStringView text) noexcept;

// Hands F each item of a host iterator (HasNext, then Next as Item); a failing call raises.
template <Interface Item, class Iterator, class F>
void ForEachHostItem(Iterator* items, F&& f) {
  for (;;) {
    VARIANT_BOOL more = VARIANT_FALSE;
    SafeCallCheck(items->HasNext(&more));
    if (!more) return;
    ComPtr<Item> item;
    SafeCallCheck(items->Next(item.Put()));
    f(item.Get());
  }
}

}  // namespace pw
