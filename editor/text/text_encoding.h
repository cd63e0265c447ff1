// The editor's text-file encodings and the byte work shared by its two loaders: decoding and
// encoding UTF-16 little-endian, UTF-8 (bad sequences become U+FFFD) and ANSI (the system code
// page, Windows-1252), the plain-text sniff, and whole-file reads and safe writes. Each loader
// keeps its own detection rules (wide_strings.h, strings.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/types.h"
#include "platform/rtl/rtl_stream.h"

namespace pw::editor {

// 0 UTF-16 little-endian with the mark FF FE; 1 UTF-8 with the mark EF BB BF; 2 ANSI, no mark;
// 3 as a save format: keep the encoding found by the last load; as a detection result: not
// recognised.
enum TateTextEncoding : std::uint8_t { teUtf16 = 0, teUtf8 = 1, teAnsi = 2, teKeep = 3 };

// How many bytes after the first two the plain-text sniff looks at.
inline constexpr std::size_t kSniffWindow = 10000;

// True when no byte of [from, from + kSniffWindow) is below 32 except tab, LF, CR and 26.
bool IsPlainTextWindow(std::string_view bytes, std::size_t from);

// The units of `bytes` read as UTF-16 little-endian; an odd last byte is dropped.
WideString DecodeUtf16Le(std::string_view bytes);
WideString DecodeUtf8(std::string_view bytes);
WideString DecodeAnsi(std::string_view bytes);

// Appends the units of `text` to `out` as UTF-16 little-endian bytes (no mark).
void AppendUtf16Le(std::string& out, WideStringView text);
// The bytes of a text file: the mark (UTF-16, UTF-8) and the text. `encoding` is 0..2.
std::string EncodeText(WideStringView text, TateTextEncoding encoding);

// Everything from the stream's start to its end (the position is left at the end).
std::string ReadAllBytes(TStream& stream);
// The whole file; raises the file stream's errors (EFOpenError naming the file).
std::string ReadFileBytes(WideStringView fileName);
// Replaces the file only once the new bytes are complete on the disk; raises EFCreateError.
void WriteFileBytes(WideStringView fileName, std::string_view bytes);
void WriteAllBytes(TStream& stream, std::string_view bytes);

// A name for messages and the command line: "utf-16", "utf-8", "ansi".
const char* EncodingName(TateTextEncoding encoding);

}  // namespace pw::editor
