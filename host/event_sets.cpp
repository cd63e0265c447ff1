#include "host/event_sets.h"

#include <algorithm>

#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/automation/typeinfo.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

WideString MemberName(IDispatch* set, DISPID dispId) {
  if (!set) return {};
  ComPtr<ITypeInfo> info;
  if (Failed(set->GetTypeInfo(0, 0, info.Put())) || !info) return {};
  BString name;
  std::uint32_t count = 0;
  if (Failed(info->GetNames(dispId, name.Put(), 1, &count)) || count == 0) return {};
  return name.Str();
}

// The elements of a one-dimensional variant array, the last one first (declared order).
std::vector<OleVariant> DeclaredArguments(const VARIANT& arguments) {
  const VARIANT* v = &arguments;
  if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
  if (v->vt != (VT_ARRAY | VT_VARIANT) || !v->parray || SafeArrayGetDim(v->parray) != 1)
    throw EOleSysError(u"The event's arguments are not an array of variants", DISP_E_TYPEMISMATCH);
  std::int32_t low = 0, high = -1;
  OleCheck(SafeArrayGetLBound(v->parray, 1, &low));
  OleCheck(SafeArrayGetUBound(v->parray, 1, &high));
  std::vector<OleVariant> result;
  for (std::int32_t i = high; i >= low; --i) {
    OleVariant element;
    OleCheck(SafeArrayGetElement(v->parray, &i, element.Put()));
    result.push_back(std::move(element));
  }
  return result;
}

}  // namespace

WideString EventArgumentText(const OleVariant& value) {
  const VARTYPE type = value.Type();
  if (type == VT_EMPTY || type == VT_NULL) return u"nil";
  if (type == VT_UNKNOWN || type == VT_DISPATCH) return value.Get().punkVal ? u"object" : u"nil";
  if (type == VT_BSTR) return u"\"" + value.AsString() + u"\"";
  try {
    return value.AsString();
  } catch (const Exception&) {
    return u"?";
  }
}

HRESULT TActiveXEventManager::RegisterEventSet(IDispatch* eventSet, const GUID& iid, BSTR name, std::int32_t) {
  return SafeCallBoundary([&] {
    if (!eventSet) throw EOleSysError(u"No event set given", E_INVALIDARG);
    std::lock_guard guard(lock_);
    sets_[iid] = Set{ComPtr<IDispatch>(eventSet), WideString(BstrView(name))};
  });
}

HRESULT TActiveXEventManager::UnregisterEventSet(const GUID& iid) {
  return SafeCallBoundary([&] {
    std::lock_guard guard(lock_);
    if (sets_.erase(iid) == 0) throw EOleSysError(u"The event set is not registered", E_INVALIDARG);
  });
}

HRESULT TActiveXEventManager::RaiseEvent(const GUID& iid, std::int32_t dispId, const VARIANT& arguments) {
  return SafeCallBoundary([&] {
    Set set;
    {
      std::lock_guard guard(lock_);
      auto at = sets_.find(iid);
      if (at == sets_.end()) throw EOleSysError(u"The event set is not registered", E_INVALIDARG);
      set = at->second;
    }
    TRaisedEvent event{iid, set.name, dispId, MemberName(set.dispatch.Get(), dispId), DeclaredArguments(arguments)};
    std::function<void(const TRaisedEvent&)> handler;
    {
      std::lock_guard guard(lock_);
      raised_.push_back(event);
      handler = onRaised_;
    }
    if (printer_) {
      WideString line = event.setName + u"." + (event.member.empty() ? IntToWide(dispId) : event.member) + u"(";
      for (std::size_t i = 0; i < event.arguments.size(); ++i)
        line += (i ? u", " : u"") + EventArgumentText(event.arguments[i]);
      printer_(line + u")");
    }
    if (handler) handler(event);
  });
}

std::vector<WideString> TActiveXEventManager::RegisteredSets() const {
  std::lock_guard guard(lock_);
  std::vector<WideString> names;
  for (const auto& [iid, set] : sets_) names.push_back(set.name);
  std::sort(names.begin(), names.end());
  return names;
}

bool TActiveXEventManager::IsRegistered(const GUID& iid) const {
  std::lock_guard guard(lock_);
  return sets_.count(iid) != 0;
}

std::vector<TRaisedEvent> TActiveXEventManager::Raised() const {
  std::lock_guard guard(lock_);
  return raised_;
}

void TActiveXEventManager::ClearRaised() {
  std::lock_guard guard(lock_);
  raised_.clear();
}

void TActiveXEventManager::SetOnRaised(std::function<void(const TRaisedEvent&)> handler) {
  std::lock_guard guard(lock_);
  onRaised_ = std::move(handler);
}

}  // namespace pw::host
