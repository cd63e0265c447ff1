// The value objects of option properties: one stub per property, remembering its storage
// identity, whether it is present or deleted, and both its current value and the value last
// read from or written to the storage, so that a save sends only what changed.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <type_traits>

#include "core/options/options_intf.h"
#include "platform/rtl/rtl.h"

namespace pw {

class TcvPropertyStub : public TObject {
 public:
  TcvCookie Cookie = 0;
  std::uint8_t State = 1;  // 1 present, 0 deleted

  // Deleted but still stored, present but not stored yet, or a changed value.
  virtual bool IsModified() const { return (State == 0 && Cookie != 0) || (State == 1 && Cookie == 0); }
  // Writes the current value through the storage's typed setter; it becomes the stored one.
  virtual void SaveTo(IcvOptionsReader* reader) = 0;
  virtual TcvPropertyType GetType() const = 0;

 protected:
  explicit TcvPropertyStub(TcvCookie cookie) : Cookie(cookie) {}
};

// Integer, String, Double, Int64 (the Long stub) and Boolean values. The stored value is kept
// apart only while the current one differs from it, so an unchanged string is held once.
template <class T, TcvPropertyType Code>
class TcvScalarPropertyStub final : public TcvPropertyStub {
 public:
  using ValueType = T;
  static constexpr TcvPropertyType kType = Code;
  TcvScalarPropertyStub(TcvCookie cookie, T value) : TcvPropertyStub(cookie), current_(std::move(value)) {}

  const T& Value() const { return current_; }
  void Assign(T value) {
    if (!stored_) stored_ = std::move(current_);
    current_ = std::move(value);
    if (Same(*stored_, current_)) stored_.reset();
  }

  bool IsModified() const override { return TcvPropertyStub::IsModified() || stored_.has_value(); }
  void SaveTo(IcvOptionsReader* reader) override {
    if constexpr (Code == ptInteger) reader->SetInteger(Cookie, current_);
    else if constexpr (Code == ptString) reader->SetString(Cookie, current_);
    else if constexpr (Code == ptDouble) reader->SetDouble(Cookie, current_);
    else if constexpr (Code == ptInt64) reader->SetInt64(Cookie, current_);
    else reader->SetBoolean(Cookie, current_ != 0);
    stored_.reset();
  }
  TcvPropertyType GetType() const override { return Code; }

 private:
  // Doubles compare by their bits: an unchanged NaN is unchanged, and -0 differs from 0.
  static bool Same(const T& a, const T& b) {
    if constexpr (std::is_same_v<T, double>) return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    else return a == b;
  }

  T current_;
  std::optional<T> stored_;  // the stored value while it differs from the current one
};

using TcvIntegerPropertyStub = TcvScalarPropertyStub<std::int32_t, ptInteger>;
using TcvStringPropertyStub = TcvScalarPropertyStub<WideString, ptString>;
using TcvDoublePropertyStub = TcvScalarPropertyStub<double, ptDouble>;
using TcvLongPropertyStub = TcvScalarPropertyStub<std::int64_t, ptInt64>;
using TcvBooleanPropertyStub = TcvScalarPropertyStub<std::uint8_t, ptBoolean>;

}  // namespace pw
