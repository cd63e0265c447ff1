// What the web slices read of the host's test objects, and the raising late-bound call.
//
// A node's facts are its script members, read late-bound through its IDispatch (the host
// answers them on the node or through its slices):
// - NodeExists: "Exists" (False for nil; a node whose dispatch lacks the member counts as there);
// - GetNodeObjectType: "ObjectType" as text ("Page", "Browser", "Login" ...; empty without one);
// - NodeIsVisible: "Visible" equal to True (default as given).
// OptionalIntArgument and IntSetting read an integer that may be missing (a script argument, a
// host setting); TpwZeroWaitTimeout makes a node answer at once while it is held.
// DispInvoke calls a member by name and raises what the callee raised: an EOleException with
// the callee's code and message (E_FAIL stays E_FAIL), or EOleSysError for a missing member.
// Integer arguments go by reference, as the host's members take them.
#pragma once

#include <span>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

ComPtr<IDispatch> DispatchOf(IUnknown* object);
bool NodeExists(IUnknown* node);
WideString GetNodeObjectType(IUnknown* node);
bool NodeIsVisible(IUnknown* node, bool defaultValue);
// A late-bound property as text (empty when missing or failing).
WideString NodeText(IUnknown* node, const char16_t* name);

OleVariant DispInvoke(IDispatch* object, const char16_t* name, std::span<const OleVariant> args,
                      WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET);
// The node a node's reference holds (the reference may answer the node itself or another
// reference object, which then answers it); nil when there is none.
ComPtr<IpwSysNode> ReferencedNodeOf(IUnknown* node);
bool SameObject(IUnknown* a, IUnknown* b);
// The node above a node; nil for an object that is no node or a node without a parent.
ComPtr<IpwSysNode> ParentOf(IUnknown* node);

// The same by DISPID; Name only names the member in the error text.
OleVariant DispInvokeId(IDispatch* object, DISPID id, const char16_t* name, std::span<const OleVariant> args,
                        WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET);
// An optional integer argument of a script call (also by reference); Missing when it was left out.
std::int32_t OptionalIntArgument(const VARIANT& v, std::int32_t missing);
// A host setting as an integer (the default wait and the page-loading time-out are read so);
// Missing when there is no such setting.
std::int32_t IntSetting(IcvBaseManager* manager, const GUID& key, std::int32_t missing);

// Sets a node's wait time-out to 0 for the life of the guard and puts the kept value back
// (nothing for a node without a wait time-out). Reading or clearing the value raises.
class TpwZeroWaitTimeout {
 public:
  explicit TpwZeroWaitTimeout(IUnknown* node);
  ~TpwZeroWaitTimeout();
  TpwZeroWaitTimeout(const TpwZeroWaitTimeout&) = delete;
  TpwZeroWaitTimeout& operator=(const TpwZeroWaitTimeout&) = delete;

 private:
  ComPtr<IpwWaitTimeoutValue> value_;
  std::int32_t saved_ = 0;
};

}  // namespace pw::web
