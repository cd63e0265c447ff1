#include "host/script/script_source.h"

#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    char32_t min, cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, min = 0x10000, cp = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= n) return false;  // the sequence runs past the end
    for (std::size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::optional<std::string> FromUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t k = 0; k < text.size(); ++k) {
    const auto a = static_cast<unsigned char>(bytes[2 * k]), b = static_cast<unsigned char>(bytes[2 * k + 1]);
    text[k] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char16_t u = text[k];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (k + 1 >= text.size() || text[k + 1] < 0xDC00 || text[k + 1] > 0xDFFF) return std::nullopt;
      ++k;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return std::nullopt;
    }
  }
  return WideToUtf8(text);
}

}  // namespace

std::optional<std::string> DecodeScriptSource(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  else if (bytes.starts_with("\xFF\xFE")) return FromUtf16(bytes.substr(2), false);
  else if (bytes.starts_with("\xFE\xFF")) return FromUtf16(bytes.substr(2), true);
  if (!IsUtf8(bytes)) return std::nullopt;
  return std::string(bytes);
}

}  // namespace pw::host
