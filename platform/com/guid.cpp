#include "platform/com/guid.h"

#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/rtl/exceptions.h"

namespace pw {

std::optional<GUID> GuidFromString(std::string_view text) { return detail::ParseGuid(text); }
std::optional<GUID> GuidFromString(std::u16string_view text) { return detail::ParseGuid(text); }

GUID StringToGuid(std::u16string_view text) {
  if (auto g = detail::ParseGuid(text)) return *g;
  throw EOleSysError(u"Invalid class string", MakeHResult(0x800401F3));  // CO_E_CLASSSTRING
}

namespace {
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hex, written in place (keys are
// formatted for every child entry a project reads or writes, so this is not left to printf).
template <class String>
String FormatGuid(const GUID& g) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  String text(38, typename String::value_type('-'));
  std::size_t at = 0;
  auto put = [&](std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
      text[at++] = static_cast<typename String::value_type>(kHex[(value >> shift) & 0xF]);
  };
  text[at++] = '{';
  put(g.Data1, 8);
  ++at;
  put(g.Data2, 4);
  ++at;
  put(g.Data3, 4);
  ++at;
  put(g.Data4[0], 2);
  put(g.Data4[1], 2);
  ++at;
  for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
  text[at] = '}';
  return text;
}
}  // namespace

std::string GuidToString(const GUID& g) { return FormatGuid<std::string>(g); }

WideString GuidToWideString(const GUID& g) { return FormatGuid<WideString>(g); }

namespace {

// Bytes taken from the kernel's random source a block at a time and handed out 16 at a time:
// every GUID still consists of fresh kernel bytes (no generator is seeded from them), but a node
// that makes three keys costs one system call in sixteen GUIDs, not three. A forked child drops
// the bytes its parent had taken (the handler below runs in the child's only thread, the one
// that forked), so it never repeats its parent's GUIDs; threads made later start empty.
struct RandomBlock {
  std::uint8_t bytes[256];
  std::size_t used = sizeof bytes;
};
thread_local RandomBlock tRandom;

void DropRandomBlock() { tRandom.used = sizeof tRandom.bytes; }

bool TakeRandom(std::uint8_t* out, std::size_t size) {
  static const int registered = ::pthread_atfork(nullptr, nullptr, &DropRandomBlock);
  if (registered != 0) return false;
  RandomBlock& block = tRandom;
  if (sizeof block.bytes - block.used < size) {
    for (std::size_t done = 0; done < sizeof block.bytes;) {
      const ssize_t n = ::getrandom(block.bytes + done, sizeof block.bytes - done, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;  // no randomness to be had
      }
      done += static_cast<std::size_t>(n);
    }
    block.used = 0;
  }
  std::memcpy(out, block.bytes + block.used, size);
  // Bytes handed out are not kept.
  std::memset(block.bytes + block.used, 0, size);
  block.used += size;
  return true;
}

}  // namespace

HRESULT CreateGuid(GUID& out) {
  std::uint8_t bytes[16];
  if (!TakeRandom(bytes, sizeof bytes)) return E_FAIL;
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
