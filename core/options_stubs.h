// The value objects of option properties: one stub per property, remembering its storage
// identity, whether it is present or deleted, and both its current value and the value last
// read from or written to the storage, so that a save sends only what changed.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>

#include "core/options_intf.h"
#include "platform/rtl.h"

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

// Integer, String, Double, Int64 (the Long stub) and Boolean values.
template <class T, TcvPropertyType Code>
class TcvScalarPropertyStub final : public TcvPropertyStub {
 public:
  using ValueType = T;
  static constexpr TcvPropertyType kType = Code;
  TcvScalarPropertyStub(TcvCookie cookie, T value) : TcvPropertyStub(cookie), Stored(value), Current(std::move(value)) {}

  T Stored;
  T Current;

  bool IsModified() const override { return TcvPropertyStub::IsModified() || !Same(Current, Stored); }
  void SaveTo(IcvOptionsReader* reader) override {
    if constexpr (Code == ptInteger) reader->SetInteger(Cookie, Current);
    else if constexpr (Code == ptString) reader->SetString(Cookie, Current);
    else if constexpr (Code == ptDouble) reader->SetDouble(Cookie, Current);
    else if constexpr (Code == ptInt64) reader->SetInt64(Cookie, Current);
    else reader->SetBoolean(Cookie, Current != 0);
    Stored = Current;
  }
  TcvPropertyType GetType() const override { return Code; }

 private:
  // Doubles compare by their bits: an unchanged NaN is unchanged, and -0 differs from 0.
  static bool Same(const T& a, const T& b) {
    if constexpr (std::is_same_v<T, double>) return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    else return a == b;
  }
};

using TcvIntegerPropertyStub = TcvScalarPropertyStub<std::int32_t, ptInteger>;
using TcvStringPropertyStub = TcvScalarPropertyStub<WideString, ptString>;
using TcvDoublePropertyStub = TcvScalarPropertyStub<double, ptDouble>;
using TcvLongPropertyStub = TcvScalarPropertyStub<std::int64_t, ptInt64>;
using TcvBooleanPropertyStub = TcvScalarPropertyStub<std::uint8_t, ptBoolean>;

}  // namespace pw
