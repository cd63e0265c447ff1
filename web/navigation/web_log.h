// Test-log entries of the web slices.
//
// WriteWebLog writes one entry to the host's test log (the runtime object "Log"); without a log
// (or without the host's runtime-object service) nothing is written. Message is the text with each "%s" replaced by the
// next text argument; the additional text likewise, followed, when it is not empty, by CR LF CR LF, and then by the
// object name (so an entry without additional text carries the bare object name).
//
// By kind (any other kind writes nothing):
// - with a picture and a log that offers IpwExtendedTestLog: its Message (1), Error (2),
//   Warning (3) or Event (4) with (Message, Additional, 300, 0, the picture, -1);
// - otherwise kinds 1, 2, 3 through the basic log's Message, Error, Warning with
//   (Message, Additional, 300); kind 4 through the extended log's Event with
//   (Message, Additional, 300, 0, 0, -1), or, when the log has no extended interface, as a
//   basic message "[Event] " + Message with the priority 100.
// A failure result of the log raises (EOleException).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/types.h"

namespace pw::web {

enum class TpwWebLogKind : std::uint8_t { Message = 1, Error = 2, Warning = 3, Event = 4 };

inline constexpr std::int32_t kWebLogPriority = 300;
inline constexpr std::int32_t kWebLogEventFallbackPriority = 100;

using TpwLogArgs = std::initializer_list<WideStringView>;

// The entry written to a given log object (nil: nothing). Picture: nil for none.
void WriteWebLogTo(IpwTestLog* log, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                   WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind, IUnknown* picture);

// The entry written to the host's test log.
void WriteWebLog(IcvBaseManager* manager, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                 WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind, IUnknown* picture);

// WriteWebLog without a picture.
void LogNamedMessage(IcvBaseManager* manager, WideStringView objectName, WideStringView text, TpwLogArgs textArgs,
                     WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind);

// The entry with the node's full name as object name; nothing for a nil node.
void LogNodeMessage(IcvBaseManager* manager, IUnknown* node, WideStringView text, TpwLogArgs textArgs,
                    WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind);
void LogNodeMessageWithPicture(IcvBaseManager* manager, IUnknown* node, WideStringView text, TpwLogArgs textArgs,
                               WideStringView additionalText, TpwLogArgs additionalArgs, TpwWebLogKind kind,
                               IUnknown* picture);

}  // namespace pw::web
