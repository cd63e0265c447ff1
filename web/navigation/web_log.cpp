#include "web/navigation/web_log.h"

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::web {

void WriteWebLogTo(IpwTestLog* log, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                   WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind, IUnknown* picture) {
  if (!log) return;
  auto k = static_cast<std::uint8_t>(kind);
  if (k < 1 || k > 4) return;
  WideString message = WideFormat(text, textArgs);
  WideString additional = WideFormat(additionalText, additionalArgs);
  if (!additional.empty()) additional += u"\r\n\r\n";
  additional += objectName;

  auto extended = QueryAs<IpwExtendedTestLog>(log);
  if (extended && (picture || kind == TpwWebLogKind::Event)) {
    OleVariant m(message), a(additional), none(0);
    OleVariant shown = picture ? OleVariant(picture) : OleVariant(0);
    HRESULT (IpwExtendedTestLog::*write)
    (const VARIANT&, const VARIANT&, std::int32_t, const VARIANT&, const VARIANT&, std::int32_t) = nullptr;
    switch (kind) {
      case TpwWebLogKind::Message: write = &IpwExtendedTestLog::Message; break;
      case TpwWebLogKind::Error: write = &IpwExtendedTestLog::Error; break;
      case TpwWebLogKind::Warning: write = &IpwExtendedTestLog::Warning; break;
      case TpwWebLogKind::Event: write = &IpwExtendedTestLog::Event; break;
    }
    SafeCallCheck((extended.Get()->*write)(m.Get(), a.Get(), kWebLogPriority, none.Get(), shown.Get(), -1));
    return;
  }
  BString a(additional);
  switch (kind) {
    case TpwWebLogKind::Message: SafeCallCheck(log->Message(BString(message).Get(), a.Get(), kWebLogPriority)); break;
    case TpwWebLogKind::Error: SafeCallCheck(log->Error(BString(message).Get(), a.Get(), kWebLogPriority)); break;
    case TpwWebLogKind::Warning: SafeCallCheck(log->Warning(BString(message).Get(), a.Get(), kWebLogPriority)); break;
    case TpwWebLogKind::Event:
      SafeCallCheck(log->Message(BString(u"[Event] " + message).Get(), a.Get(), kWebLogEventFallbackPriority));
      break;
  }
}

void WriteWebLog(IcvBaseManager* manager, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                 WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind, IUnknown* picture) {
  ComPtr<IpwTestLog> log;
  try {
    log = GetLogObject(manager);
  } catch (const Exception&) {
    return;  // a host without the runtime-object service has no log to write to
  }
  WriteWebLogTo(log.Get(), objectName, text, textArgs, additionalText, additionalArgs, kind, picture);
}

void LogNamedMessage(IcvBaseManager* manager, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                     WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind) {
  WriteWebLog(manager, objectName, text, textArgs, additionalText, additionalArgs, kind, nullptr);
}

void LogNodeMessageWithPicture(IcvBaseManager* manager, IUnknown* node, WideStringView text, TpwLogArgs textArgs,
                               WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind,
                               IUnknown* picture) {
  if (!node) return;
  WideString name;
  GetObjectFullName(manager, node, name);
  WriteWebLog(manager, name, text, textArgs, additionalText, additionalArgs, kind, picture);
}

void LogNodeMessage(IcvBaseManager* manager, IUnknown* node, WideStringView text, TpwLogArgs textArgs,
                    WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind) {
  LogNodeMessageWithPicture(manager, node, text, textArgs, additionalText, additionalArgs, kind, nullptr);
}

}  // namespace pw::web
