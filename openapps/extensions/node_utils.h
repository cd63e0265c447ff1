// Small services around the host's test objects that builders, slices and waits share: whether
// a test runs, the time-out counter of a wait (with its indicator text), a node's children, the
// node behind a node reference, a node's native object made callable late-bound, a web node's
// object type, and full names of objects for log texts.
//
// Every host call that answers a failure raises (EOleSysError); the interface methods of the
// counter turn exceptions back into failure results.
#pragma once

#include <vector>

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"
#include "platform/com/comptr.h"
#include "platform/kernel/clock.h"

namespace pw {

inline constexpr GUID kTestEngineStateService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kStopRequestService = MakeGuid("{A0CC50ED-072D-4512-8E65-C5A63D307263}");
inline constexpr GUID kRunStateRunning = MakeGuid("{3DACEED8-213B-43BB-9443-511B441BACDF}");
inline constexpr GUID kRunStateRunningAlternate = MakeGuid("{E0583945-014B-4BFC-B8C3-0F5B419797F4}");

// True while the test engine is in one of its two running states and no stop is requested.
bool IsTestRunning(IcvBaseManager* manager);

// The deadline of one wait, on the injectable clock. Expired when more than Timeout ms passed
// since creation (32-bit tick arithmetic, so the tick wrap is harmless; kNoTimeLimit never
// expires) or when a test run started or stopped since creation. While the wait lasts it shows
// Text in the host's indicator: at once without a time limit, otherwise as a progress bar once
// 500 ms have passed. The indicator is cleared when the counter expires or is destroyed.
class TpwTimeoutCounter final : public Implements<TcvInterfacedObject, IpwTimeoutCounter> {
 public:
  static constexpr DWORD kNoTimeLimit = 0xFFFFFFFF;
  TpwTimeoutCounter(IcvBaseManager* manager, DWORD timeout, WideStringView text);
  ~TpwTimeoutCounter() override;

  // Answers True (the preset) also when a host call fails on the way.
  HRESULT IsExpired(VARIANT_BOOL* expired) override;
  // Waits Interval ms on the clock, then refreshes the indicator.
  HRESULT Wait(std::int32_t interval) override;

 private:
  DWORD Elapsed() const;
  ComPtr<IpwIndicatorInternal> Indicator();
  void Refresh();
  void Hide() noexcept;

  ComPtr<IcvBaseManager> manager_;
  bool runningAtStart_;
  DWORD start_;
  DWORD timeout_;
  WideString text_;
  bool shown_ = false;
  std::int32_t progress_ = 0;
};

using TpwSysNodeChildren = std::vector<ComPtr<IpwSysNode>>;

// The node's children in iterator order (refreshed first when Refresh is set and the node has
// any); empty for a nil node or one without IpwSysNodeEx.
void GetSysNodeChildren(IpwSysNode* node, bool refresh, TpwSysNodeChildren& children);
// The node that a reference holds; nil for a nil reference or a node that is gone.
ComPtr<IpwSysNode> GetReferencedNode(IpwNodeReference* reference);
// The IDispatch of a node whose native object is callable late-bound (IpwSysNodeInvoke): name
// look-ups and Invoke go to the node's two calls with all their arguments; no type information
// (E_NOTIMPL). QueryInterface answers the wrapper's own interfaces, then the wrapped object's,
// except the marshalling interfaces, which stay the wrapper's.
class TpwSysNodeSafeUnwrapper final : public Implements<TcvInterfacedObject, IDispatch> {
 public:
  explicit TpwSysNodeSafeUnwrapper(IpwSysNodeInvoke* wrapped) : wrapped_(wrapped) {}

  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  ComPtr<IpwSysNodeInvoke> wrapped_;
};

// The object itself as IDispatch, or a TpwSysNodeSafeUnwrapper round it when it answers
// IpwSysNodeInvoke; nil for nil.
ComPtr<IDispatch> SafeUnwrapSysNode(IUnknown* object);
// The object type of a web node ("page", "frame" ...): the type name in the call information
// (IpwObjectCallInformation, first flag set) of the native web object that the node's entry of
// the context table holds; empty when any of these is missing. A failing host call raises.
WideString GetWebObjectType(IUnknown* node);
// The node's full name as script code of the current language, mapped names preferred; empty
// for a nil node.
void GetSysNodeFullName(IcvBaseManager* manager, IpwSysNode* node, WideString& name);
// The full name of any object for log texts: an object's own name, a node's full name, a
// name-mapping item's dotted path; empty otherwise.
void GetObjectFullName(IcvBaseManager* manager, IUnknown* object, WideString& name);

}  // namespace pw
