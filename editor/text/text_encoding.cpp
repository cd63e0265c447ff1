#include "editor/text/text_encoding.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "core/options/safe_file.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

bool IsPlainTextWindow(std::string_view bytes, std::size_t from) {
  if (from >= bytes.size()) return true;
  const std::size_t end = std::min(bytes.size(), from + kSniffWindow);
  for (std::size_t i = from; i < end; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 32 && b != 9 && b != 10 && b != 13 && b != 26) return false;
  }
  return true;
}

WideString DecodeUtf16Le(std::string_view bytes) {
  WideString out(bytes.size() / 2, u'\0');
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
  } else {
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8));
  }
  return out;
}

WideString DecodeUtf8(std::string_view bytes) { return Utf8ToWide(bytes); }
WideString DecodeAnsi(std::string_view bytes) { return SystemCodePageToWide(bytes); }

void AppendUtf16Le(std::string& out, WideStringView text) {
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
}

std::string EncodeText(WideStringView text, TateTextEncoding encoding) {
  std::string out;
  switch (encoding) {
    case teUtf16:
      out.reserve(2 + text.size() * 2);
      out += "\xFF\xFE";
      AppendUtf16Le(out, text);
      return out;
    case teUtf8:
      return "\xEF\xBB\xBF" + WideToUtf8(text);
    default:
      return WideToSystemCodePage(text);
  }
}

std::string ReadAllBytes(TStream& stream) {
  stream.SetPosition(0);
  std::string out;
  char buffer[65536];
  for (;;) {
    const std::int32_t n = stream.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::string ReadFileBytes(WideStringView fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyNone);
  return ReadAllBytes(file);
}

void WriteAllBytes(TStream& stream, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), INT_MAX / 2);
    stream.WriteBuffer(bytes.data(), static_cast<std::int32_t>(n));
    bytes.remove_prefix(n);
  }
}

void WriteFileBytes(WideStringView fileName, std::string_view bytes) {
  TcvSafeFileWriter writer(WideToUtf8(fileName));
  writer.Write(bytes);
  writer.Commit();
}

const char* EncodingName(TateTextEncoding encoding) {
  switch (encoding) {
    case teUtf16:
      return "utf-16";
    case teUtf8:
      return "utf-8";
    case teAnsi:
      return "ansi";
    default:
      return "unknown";
  }
}

}  // namespace pw::editor
