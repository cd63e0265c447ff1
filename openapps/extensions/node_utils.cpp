#include "openapps/extensions/node_utils.h"

#include <algorithm>

#include "core/com/agile_objects.h"
#include "core/host/host_services.h"
#include "core/host/invoke_expressions.h"
#include "core/host/node_names.h"
#include "platform/automation/bstr.h"

namespace pw {

bool IsTestRunning(IcvBaseManager* manager) {
  auto engine = GetHostService<IpwTestEngineState>(manager, kTestEngineStateService);
  if (!engine) return false;
  GUID state{};
  SafeCallCheck(engine->GetRunState(&state));
  if (state != kRunStateRunning && state != kRunStateRunningAlternate) return false;
  auto stop = GetHostService<IpwStopRequestService>(manager, kStopRequestService);
  return !stop || stop->IsStopping() == VARIANT_FALSE;
}

TpwTimeoutCounter::TpwTimeoutCounter(IcvBaseManager* manager, DWORD timeout, WideStringView text)
    : manager_(manager),
      runningAtStart_(IsTestRunning(manager)),
      start_(GetTickCount()),
      timeout_(timeout),
      text_(text) {}

TpwTimeoutCounter::~TpwTimeoutCounter() { Hide(); }

DWORD TpwTimeoutCounter::Elapsed() const { return GetTickCount() - start_; }

HRESULT TpwTimeoutCounter::IsExpired(VARIANT_BOOL* expired) {
  if (!expired) return E_POINTER;
  *expired = VARIANT_TRUE;
  return SafeCall([&] {
    if (IsTestRunning(manager_.Get()) != runningAtStart_) return;  // a run started or stopped
    bool over = timeout_ != kNoTimeLimit && Elapsed() > timeout_;
    if (over)
      Hide();
    else
      Refresh();
    *expired = over ? VARIANT_TRUE : VARIANT_FALSE;
  });
}

HRESULT TpwTimeoutCounter::Wait(std::int32_t interval) {
  return SafeCall([&] {
    if (interval > 0) SleepMs(static_cast<DWORD>(interval));
    Refresh();
  });
}

ComPtr<IpwIndicatorInternal> TpwTimeoutCounter::Indicator() {
  auto provider = GetHostService<IpwHostObjectProvider>(manager_.Get(), kHostObjectsService);
  if (!provider) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(provider->GetIndicator(object.Put()));
  return QueryAs<IpwIndicatorInternal>(object.Get());
}

void TpwTimeoutCounter::Refresh() {
  if (!shown_) {
    if (text_.empty()) return;
    if (timeout_ == kNoTimeLimit) {
      auto indicator = Indicator();
      if (!indicator) return;
      BString text(text_);
      SafeCallCheck(indicator->PushText(text.Get()));
      shown_ = true;
      return;
    }
    if (Elapsed() <= 500) return;  // short waits never flash the indicator
    auto indicator = Indicator();
    if (!indicator) return;
    BString text(text_);
    SafeCallCheck(indicator->BeginUpdate());
    std::int32_t id = indicator->StartProgress(text.Get(), 0, static_cast<std::int32_t>(timeout_));
    SafeCallCheck(indicator->EndUpdate());
    if (id == 0 || id == -1) return;  // the indicator made no bar
    progress_ = id;
    shown_ = true;
    return;
  }
  if (progress_ != 0)
    if (auto indicator = Indicator())
      indicator->UpdateProgress(progress_, static_cast<std::int32_t>(std::min(Elapsed(), timeout_)));
}

void TpwTimeoutCounter::Hide() noexcept {
  if (!shown_) return;
  shown_ = false;
  try {
    auto indicator = Indicator();
    if (!indicator) return;
    if (progress_ != 0)
      indicator->StopProgress(std::exchange(progress_, 0));
    else
      indicator->RestoreText();
  } catch (...) {
    // The indicator cannot be reached: nothing is left to take down.
  }
}

void GetSysNodeChildren(IpwSysNode* node, bool refresh, TpwSysNodeChildren& children) {
  children.clear();
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return;
  std::int32_t count = 0;
  SafeCallCheck(ex->GetChildCount(&count));
  if (count <= 0) return;
  if (refresh) SafeCallCheck(ex->Refresh());
  ComPtr<IpwSysNodeIterator> items;
  SafeCallCheck(ex->GetChildren(items.Put()));
  if (!items) return;
  children.reserve(static_cast<std::size_t>(count));
  ForEachHostItem<IpwSysNode>(items.Get(), [&](IpwSysNode* child) { children.emplace_back(child); });
}

ComPtr<IpwSysNode> GetReferencedNode(IpwNodeReference* reference) {
  if (!reference) return nullptr;
  ComPtr<IUnknown> node;
  SafeCallCheck(reference->Resolve(node.Put()));
  return QueryAs<IpwSysNode>(node.Get());
}

HRESULT TpwSysNodeSafeUnwrapper::QueryInterface(const IID& riid, void** ppv) {
  HRESULT hr = Implements::QueryInterface(riid, ppv);
  if (hr != E_NOINTERFACE || IsMarshalInterfaceID(riid)) return hr;
  return wrapped_->QueryInterface(riid, ppv);
}

HRESULT TpwSysNodeSafeUnwrapper::GetTypeInfoCount(std::uint32_t* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT TpwSysNodeSafeUnwrapper::GetTypeInfo(std::uint32_t, LCID, ITypeInfo** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TpwSysNodeSafeUnwrapper::GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count,
                                               LCID lcid, DISPID* dispIds) {
  return wrapped_->GetNativeIDsOfNames(riid, names, count, lcid, dispIds);
}

HRESULT TpwSysNodeSafeUnwrapper::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                        VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return wrapped_->InvokeNative(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
}

ComPtr<IDispatch> SafeUnwrapSysNode(IUnknown* object) {
  if (!object) return nullptr;
  if (auto invoke = QueryAs<IpwSysNodeInvoke>(object)) return MakeObject<TpwSysNodeSafeUnwrapper>(invoke.Get());
  return QueryAs<IDispatch>(object);
}

WideString GetWebObjectType(IUnknown* node) {
  auto item = GetNodeContextItem(node);
  if (!item) return {};
  ComPtr<IUnknown> native;
  SafeCallCheck(item->GetNativeObject(native.Put()));
  auto info = QueryAs<IpwObjectCallInformation>(native.Get());
  if (!info) return {};
  VARIANT_BOOL typed = VARIANT_FALSE;
  SafeCallCheck(info->GetFirstFlag(&typed));
  if (typed == VARIANT_FALSE) return {};
  BString name;
  SafeCallCheck(info->GetName(name.Put()));
  return WideString(name.View());
}

void GetSysNodeFullName(IcvBaseManager* manager, IpwSysNode* node, WideString& name) {
  if (!node) return;
  name = GenerateSysNodeFullName(manager, node, true);
}

void GetObjectFullName(IcvBaseManager* manager, IUnknown* object, WideString& name) {
  name.clear();
  if (!object) return;
  if (auto named = QueryAs<IpwNamedObject>(object)) {
    BString own;
    SafeCallCheck(named->GetObjectName(own.Put()));
    name = WideString(own.View());
    return;
  }
  if (auto node = QueryAs<IpwSysNode>(object)) return GetSysNodeFullName(manager, node.Get(), name);
  if (auto item = QueryAs<IpwNameMappingItem>(object)) {
    // The item's path up the mapping tree, parents first.
    std::vector<WideString> names;
    for (ComPtr<IpwNameMappingItem> at = item; at;) {
      BString own;
      SafeCallCheck(at->GetItemName(own.Put()));
      names.emplace_back(own.View());
      ComPtr<IpwNameMappingItem> parent;
      SafeCallCheck(at->GetParentItem(parent.Put()));
      at = parent;
    }
    for (auto n = names.rbegin(); n != names.rend(); ++n) {
      if (!name.empty()) name += u".";
      name += *n;
    }
  }
}

}  // namespace pw
