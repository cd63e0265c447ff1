// The host's event sets (IpwActiveXEventManager): a plug-in registers the IDispatch of an event
// set under the set's interface id and a name, and raises its events. The test host has no
// project handlers to call: it records every raised event (the set, its name, the DISPID, the
// member's name read from the set's type information, the arguments in declared order) and
// prints it through the host's printer as "<set name>.<member>(<arguments>)".
// Registering an id again replaces the set; unregistering an unknown id or raising on one fails
// with E_INVALIDARG; an argument block that is not a one-dimensional array of variants fails
// with DISP_E_TYPEMISMATCH. Safe from any thread (events come on worker threads).
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

struct TRaisedEvent {
  GUID eventSet{};
  WideString setName;
  DISPID dispId = 0;
  WideString member;                  // empty when the set's type information does not name the DISPID
  std::vector<OleVariant> arguments;  // in declared order
};

class TActiveXEventManager final : public Implements<ComObject, IpwActiveXEventManager> {
 public:
  using Printer = std::function<void(const WideString& line)>;
  explicit TActiveXEventManager(Printer printer = {}) : printer_(std::move(printer)) {}

  HRESULT RegisterEventSet(IDispatch* eventSet, const GUID& iid, BSTR name, std::int32_t reserved) override;
  HRESULT UnregisterEventSet(const GUID& iid) override;
  HRESULT RaiseEvent(const GUID& iid, std::int32_t dispId, const VARIANT& arguments) override;

  // The sets registered now, by name.
  std::vector<WideString> RegisteredSets() const;
  bool IsRegistered(const GUID& iid) const;
  std::vector<TRaisedEvent> Raised() const;
  void ClearRaised();
  // Called (outside the lock) after each raised event is recorded.
  void SetOnRaised(std::function<void(const TRaisedEvent&)> handler);

 private:
  struct Set {
    ComPtr<IDispatch> dispatch;
    WideString name;
  };
  mutable std::mutex lock_;
  Printer printer_;
  std::function<void(const TRaisedEvent&)> onRaised_;
  std::map<GUID, Set> sets_;
  std::vector<TRaisedEvent> raised_;
};

// The text of an argument in a printed event: texts quoted, nil and empty as "nil", objects as
// "object", other values as their text.
WideString EventArgumentText(const OleVariant& value);

}  // namespace pw::host
