#include "web/controls/web_custom_control.h"

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw::web {

TpwWebCustomControl::TpwWebCustomControl(IcvBaseManager* manager, IpwObjectContext2* context, std::vector<IID> iids)
    : TpwNodeSlice(std::move(iids)), manager_(manager), context_(context) {}

ComPtr<IDispatch> TpwWebCustomControl::GetNativeObject() {
  ComPtr<IDispatch> object;
  if (context_) SafeCallCheck(context_->GetObject(object.Put()));
  return object;
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
