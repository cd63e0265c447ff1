// The text of a script file: UTF-8 (with or without its byte-order mark), or UTF-16 little- or
// big-endian with its mark, as scripts written on other systems often are. The script engine
// takes UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw::host {

// The script's text as UTF-8 without a byte-order mark; nothing when the bytes are not UTF-8
// or UTF-16 text (invalid sequences, unpaired surrogates, an odd UTF-16 length).
std::optional<std::string> DecodeScriptSource(std::string_view bytes);

}  // namespace pw::host
