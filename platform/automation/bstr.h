// BSTR: a UTF-16 string with a 32-bit byte-length prefix and a terminating zero, owned by
// whoever receives it. A nil BSTR is the empty string.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/com/types.h"

namespace pw {

using BSTR = char16_t*;

BSTR SysAllocString(const char16_t* s);
BSTR SysAllocStringLen(const char16_t* s, std::uint32_t len);  // s may be nil: uninitialised content
BSTR SysAllocString(WideStringView s);
void SysFreeString(BSTR s);
std::uint32_t SysStringLen(BSTR s);
std::uint32_t SysStringByteLen(BSTR s);
// Replaces *p with a copy of s; false when out of memory.
bool SysReAllocString(BSTR* p, WideStringView s);

inline WideStringView BstrView(BSTR s) { return s ? WideStringView(s, SysStringLen(s)) : WideStringView(); }

// Owns one BSTR.
class BString {
 public:
  BString() noexcept = default;
  explicit BString(WideStringView s) : s_(SysAllocString(s)) {}
  BString(const BString& o) : s_(o.s_ ? SysAllocString(o.View()) : nullptr) {}
  BString(BString&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  BString& operator=(BString o) noexcept {
    std::swap(s_, o.s_);
    return *this;
  }
  ~BString() { SysFreeString(s_); }

  static BString Attach(BSTR s) noexcept {
    BString b;
    b.s_ = s;
    return b;
  }
  BSTR Detach() noexcept { return std::exchange(s_, nullptr); }
  BSTR Get() const noexcept { return s_; }
  BSTR* Put() noexcept {
    SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }
  WideStringView View() const noexcept { return BstrView(s_); }
  WideString Str() const { return WideString(View()); }
  std::uint32_t Length() const noexcept { return SysStringLen(s_); }

 private:
  BSTR s_ = nullptr;
};

}  // namespace pw
