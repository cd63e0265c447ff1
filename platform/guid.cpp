#include "platform/guid.h"

#include <cstdio>
#include <random>

#include "platform/exceptions.h"

namespace pw {

std::optional<GUID> GuidFromString(std::string_view text) { return detail::ParseGuid(text); }
std::optional<GUID> GuidFromString(std::u16string_view text) { return detail::ParseGuid(text); }

GUID StringToGuid(std::u16string_view text) {
  if (auto g = detail::ParseGuid(text)) return *g;
  throw EOleSysError(u"Invalid class string", MakeHResult(0x800401F3));  // CO_E_CLASSSTRING
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                g.Data4[7]);
  return buf;
}

WideString GuidToWideString(const GUID& g) {
  std::string s = GuidToString(g);
  return WideString(s.begin(), s.end());
}

HRESULT CreateGuid(GUID& out) {
  try {
    static thread_local std::mt19937_64 gen{std::random_device{}()};
    std::uint64_t a = gen(), b = gen();
    out.Data1 = static_cast<std::uint32_t>(a >> 32);
    out.Data2 = static_cast<std::uint16_t>(a >> 16);
    out.Data3 = static_cast<std::uint16_t>((a & 0x0FFF) | 0x4000);  // version 4
    for (int i = 0; i < 8; ++i) out.Data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(b >> (8 * i));
    out.Data4[0] = static_cast<std::uint8_t>((out.Data4[0] & 0x3F) | 0x80);  // variant 1
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

std::size_t GuidHash::operator()(const GUID& g) const noexcept {
  std::uint64_t h = (std::uint64_t{g.Data1} << 32) ^ (std::uint64_t{g.Data2} << 16) ^ g.Data3;
  for (auto b : g.Data4) h = h * 1099511628211ull ^ b;
  return static_cast<std::size_t>(h);
}

}  // namespace pw
