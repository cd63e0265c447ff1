#include "platform/automation/bstr.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace pw {

namespace {
constexpr std::size_t kPrefix = sizeof(std::uint32_t);
}

BSTR SysAllocStringLen(const char16_t* s, std::uint32_t len) {
  const std::size_t bytes = std::size_t{len} * sizeof(char16_t);
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (!block) return nullptr;
  const std::uint32_t byteLen = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLen, kPrefix);
  auto* text = reinterpret_cast<char16_t*>(block + kPrefix);
  if (s && len) std::memcpy(text, s, bytes);
  text[len] = 0;
  return text;
}

BSTR SysAllocString(const char16_t* s) {
  if (!s) return nullptr;
  std::uint32_t n = 0;
  while (s[n]) ++n;
  return SysAllocStringLen(s, n);
}

BSTR SysAllocString(WideStringView s) {
  BSTR b = SysAllocStringLen(s.data(), static_cast<std::uint32_t>(s.size()));
  if (!b) throw std::bad_alloc();
  return b;
}

void SysFreeString(BSTR s) {
  if (s) std::free(reinterpret_cast<unsigned char*>(s) - kPrefix);
}

std::uint32_t SysStringByteLen(BSTR s) {
  if (!s) return 0;
  std::uint32_t n;
  std::memcpy(&n, reinterpret_cast<unsigned char*>(s) - kPrefix, kPrefix);
  return n;
}

std::uint32_t SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(char16_t); }

bool SysReAllocString(BSTR* p, WideStringView s) {
  BSTR n = SysAllocStringLen(s.data(), static_cast<std::uint32_t>(s.size()));
  if (!n) return false;
  SysFreeString(*p);
  *p = n;
  return true;
}

}  // namespace pw
