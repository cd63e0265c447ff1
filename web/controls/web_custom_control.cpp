#include "web/controls/web_custom_control.h"

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/window_helpers.h"

namespace pw::web {

bool CallGetLineRect(IDispatch* native, std::int32_t index, bool activate, std::int32_t& window, TRect& rect) {
  std::int32_t values[5] = {};
  VARIANT args[7];
  for (auto& a : args) VariantInit(&a);
  args[6].vt = VT_I4, args[6].lVal = index;  // call order: Index, Activate, Window, Left, Top, Right, Bottom
  args[5].vt = VT_BOOL, args[5].boolVal = activate ? VARIANT_TRUE : VARIANT_FALSE;
  for (int i = 0; i < 5; ++i) {
    args[4 - i].vt = VT_BYREF | VT_I4;
    args[4 - i].byref = &values[i];
  }
  DISPPARAMS params{args, nullptr, 7, 0};
  VARIANT result;
  VariantInit(&result);
  OleCheck(native->Invoke(0x9001, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
  OleVariant answer = OleVariant::Attach(result);
  OleVariant given;
  if (Failed(VariantChangeType(given.Ptr(), answer.Ptr(), 0, VT_BOOL)) || given.Get().boolVal == VARIANT_FALSE) {
    return false;
  }
  window = values[0];
  rect = {values[1], values[2], values[3], values[4]};
  return true;
}

void CallPointAction(IDispatch* actions, DISPID action, std::int32_t x, std::int32_t y, std::int32_t shift) {
  VARIANT args[3];
  for (auto& a : args) VariantInit(&a);
  args[2].vt = VT_I4, args[2].lVal = x;  // call order: ClientX, ClientY, Shift
  args[1].vt = VT_I4, args[1].lVal = y;
  args[0].vt = VT_I4, args[0].lVal = shift;
  DISPPARAMS params{args, nullptr, 3, 0};
  OleCheck(actions->Invoke(action, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
}

ComPtr<IDispatch> WindowActionsOf(IcvBaseManager* manager, std::int32_t window) {
  ComPtr<IUnknown> service;
  SafeCallCheck(manager->GetService(MakeGuid("{10989D82-BE71-4BD3-BE80-30B785CD1009}"), service.Put()));
  auto input = QueryAs<IpwInputService>(service.Get());
  if (!input) throw EOleSysError(u"The host has no input service.", E_NOINTERFACE);
  ComPtr<IDispatch> actions;
  SafeCallCheck(input->GetWindowObject(window, actions.Put()));
  if (!actions) throw EOleSysError(u"The host gave no actions object for the window.", E_FAIL);
  return actions;
}

ComPtr<IDispatch> TpwWebCustomControl::GetWindowActionObject(std::int32_t window) {
  auto node = GetSliceNode();
  if (!node) {
    WideString name;
    if (auto reference = NodeReference()) GetObjectFullName(manager_.Get(), reference.Get(), name);
    throw EOleSysError(WideFormat(kObjectNotFoundText, {name}), E_FAIL);
  }
  GUID key = GUID_NULL;
  if (auto item = QueryAs<IcvKeyItem>(node.Get())) SafeCallCheck(item->GetKey(&key));
  ComPtr<IUnknown> service;
  SafeCallCheck(manager_->GetService(MakeGuid("{10989D82-BE71-4BD3-BE80-30B785CD1009}"), service.Put()));
  auto input = QueryAs<IpwInputService>(service.Get());
  if (!input) throw EOleSysError(u"The host has no input service.", E_NOINTERFACE);
  ComPtr<IDispatch> actions;
  SafeCallCheck(input->GetActionObject(key, window, actions.Put()));
  if (!actions) throw EOleSysError(u"The host gave no action object for the window.", E_FAIL);
  return actions;
}

TpwWebCustomControl::TpwWebCustomControl(IcvBaseManager* manager, IpwObjectContext2* context, std::vector<IID> iids)
    : TpwNodeSlice(std::move(iids)), manager_(manager), context_(context) {}

ComPtr<IDispatch> TpwWebCustomControl::GetNativeObject() {
  ComPtr<IDispatch> object;
  if (context_) SafeCallCheck(context_->GetObject(object.Put()));
  return object;
}

HRESULT TpwWebCustomControl::Click(std::int32_t x, std::int32_t y, std::int32_t shift) {
  return SafeCall([&] {
    auto node = GetSliceNode();
    if (!node) return;
    auto target = DispatchOf(node.Get());
    if (!target) throw EOleSysError(u"The control's node has no script members.", E_NOINTERFACE);
    const OleVariant args[] = {OleVariant(x), OleVariant(y), OleVariant(shift)};  // by reference
    DispInvoke(target.Get(), u"Click", args, DISPATCH_METHOD);
  });
}

void TpwWebCustomControl::ActivateWindow() {
  if (auto node = GetSliceNode()) ActivateNodeWindow(manager_.Get(), node.Get());
}

void TpwWebCustomControl::ReportActionTarget() {
  auto sink = QueryAs<IpwActionPointSink>(GetActionPointSink(manager_.Get()).Get());
  if (!sink) return;
  GUID key = GUID_NULL;
  try {
    if (auto item = QueryAs<IcvKeyItem>(GetSliceNode().Get())) SafeCallCheck(item->GetKey(&key));
  } catch (const std::exception&) {
    key = GUID_NULL;  // a key that cannot be read reports nothing
  }
  if (key != GUID_NULL) SafeCallCheck(sink->ReportKey(key));
}

void TpwWebCustomControl::ControlCentreAction() {
  auto native = GetNativeObject();
  if (!native) return;
  const OleVariant centre[] = {OleVariant(-1), OleVariant(-1)};
  DispCallMethodByID(native.Get(), 0x0200000B, centre, OleVariant());
}

IcvWindowsManager* TpwWebCustomControl::WindowsManager() {
  if (!windows_) {
    ComPtr<IUnknown> service;
    SafeCallCheck(manager_->GetService(kWindowsManagerService, service.Put()));
    windows_ = QueryAs<IcvWindowsManager>(service.Get());
    if (!windows_) throw EOleSysError(u"The host has no windows manager.", E_NOINTERFACE);
  }
  return windows_.Get();
}

void TpwWebCustomControl::ReportActionPoint(std::int32_t window, std::int32_t x, std::int32_t y, std::int32_t flag) {
  auto sink = QueryAs<IpwActionPointSink>(GetActionPointSink(manager_.Get()).Get());
  if (!sink) return;
  std::int32_t left = 0, top = 0;
  if (x != -1 && y != -1) {
    std::int32_t right = 0, bottom = 0;
    SafeCallCheck(WindowsManager()->GetWindowRect(window, &left, &top, &right, &bottom));
  }
  SafeCallCheck(sink->ReportPoint(window, x + left, y + top, flag));
}

bool TpwWebCustomControl::CheckEnabled() {
  OleVariant enabled = DispGetProperty(GetNativeObject().Get(), u"Enabled", OleVariant(true));
  OleVariant asBool;
  if (Succeeded(VariantChangeType(asBool.Ptr(), enabled.Ptr(), 0, VT_BOOL)) && asBool.Get().boolVal == VARIANT_FALSE) {
    PostLog(kWebControlDisabledText, {}, u"", {}, TpwWebLogKind::Error);
    return false;
  }
  return true;
}

void TpwWebCustomControl::PostLog(WideStringView message, TpwLogArgs messageArgs, WideStringView details,
                                  TpwLogArgs detailsArgs, TpwWebLogKind kind) {
  if (!IsLogEnabled() && kind != TpwWebLogKind::Error) return;
  auto node = GetSliceNode();
  if (!node) return;
  LogNodeMessage(manager_.Get(), node.Get(), message, messageArgs, details, detailsArgs, kind);
}

void TpwWebCustomControl::PrepareLogEntry(WideStringView message, TpwLogArgs messageArgs, WideStringView details,
                                          TpwLogArgs detailsArgs, TpwWebLogKind kind) {
  auto node = GetSliceNode();
  if (!node) return;
  WideString name;
  GetSysNodeFullName(manager_.Get(), node.Get(), name);
  pending_.message = WideFormat(message, messageArgs);
  pending_.details = WideFormat(details, detailsArgs);
  if (!pending_.details.empty()) pending_.details += u"\r\n\r\n";
  pending_.details += name;
  pending_.kind = static_cast<std::uint8_t>(kind);
}

void TpwWebCustomControl::WriteLogEntry() {
  if (IsLogEnabled()) {
    auto log = GetLogObject(manager_.Get());
    if (!log) return;  // the entry stays pending
    // The details already end with the node's full name: they go as the object name, the
    // message as the one argument of a bare format.
    const PendingEntry entry = pending_;
    pending_ = {};
    WriteWebLogTo(log.Get(), entry.details, u"%s", {entry.message}, u"", {}, static_cast<TpwWebLogKind>(entry.kind),
                  nullptr);
    return;
  }
  pending_ = {};
}

}  // namespace pw::web
