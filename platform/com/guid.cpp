#include "platform/com/guid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

#include "platform/rtl/exceptions.h"

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
  // Every GUID takes fresh bytes from the kernel's random source: a generator kept per thread
  // would be seeded from far fewer bits than a GUID holds, and a forked child would repeat its
  // parent's sequence.
  std::uint8_t bytes[16];
  for (std::size_t done = 0; done < sizeof bytes;) {
    const ssize_t n = ::getrandom(bytes + done, sizeof bytes - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return E_FAIL;  // no randomness to be had
    }
    done += static_cast<std::size_t>(n);
  }
  out.Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
              static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  out.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  out.Data3 = static_cast<std::uint16_t>(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);  // version 4
  for (std::size_t i = 0; i < 8; ++i) out.Data4[i] = bytes[8 + i];
  out.Data4[0] = static_cast<std::uint8_t>((out.Data4[0] & 0x3F) | 0x80);  // variant 1
  return S_OK;
}

std::size_t GuidHash::operator()(const GUID& g) const noexcept {
  std::uint64_t h = (std::uint64_t{g.Data1} << 32) ^ (std::uint64_t{g.Data2} << 16) ^ g.Data3;
  for (auto b : g.Data4) h = h * 1099511628211ull ^ b;
  return static_cast<std::size_t>(h);
}

}  // namespace pw
