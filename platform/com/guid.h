// GUIDs: constant parsing from registry form, formatting, comparison and hashing.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/com/types.h"

namespace pw {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
  friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces required); nullopt when malformed.
template <class Char>
constexpr std::optional<GUID> ParseGuid(std::basic_string_view<Char> s) {
  if (s.size() != 38 || s[0] != '{' || s[37] != '}') return std::nullopt;
  if (s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-') return std::nullopt;
  auto hex = [&](std::size_t pos, std::size_t count, std::uint64_t& out) {
    out = 0;
    for (std::size_t i = 0; i < count; ++i) {
      Char c = s[pos + i];
      int d = (c > 0x7F) ? -1 : HexDigit(static_cast<char>(c));
      if (d < 0) return false;
      out = out * 16 + static_cast<std::uint64_t>(d);
    }
    return true;
  };
  GUID g;
  std::uint64_t v = 0;
  if (!hex(1, 8, v)) return std::nullopt;
  g.Data1 = static_cast<std::uint32_t>(v);
  if (!hex(10, 4, v)) return std::nullopt;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!hex(15, 4, v)) return std::nullopt;
  g.Data3 = static_cast<std::uint16_t>(v);
  const std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!hex(bytePos[i], 2, v)) return std::nullopt;
    g.Data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
  }
  return g;
}
}  // namespace detail

// A GUID written in registry form, checked at compile time: MakeGuid("{...}").
consteval GUID MakeGuid(const char* text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  auto g = detail::ParseGuid(std::string_view(text, n));
  if (!g) throw std::logic_error("malformed GUID literal");
  return *g;
}

inline constexpr GUID GUID_NULL{};

std::optional<GUID> GuidFromString(std::string_view text);
std::optional<GUID> GuidFromString(std::u16string_view text);
// Raises EOleSysError(CO_E_CLASSSTRING-like E_INVALIDARG) when the text is not a GUID.
GUID StringToGuid(std::u16string_view text);
// Registry form with braces and upper-case hexadecimal digits.
std::string GuidToString(const GUID& g);
WideString GuidToWideString(const GUID& g);

inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

// A new random (version 4) GUID; returns S_OK, or a failure code when no randomness is available.
HRESULT CreateGuid(GUID& out);

struct GuidHash {
  std::size_t operator()(const GUID& g) const noexcept;
};

}  // namespace pw

template <>
struct std::hash<pw::GUID> : pw::GuidHash {};
