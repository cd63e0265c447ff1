// The runtime's general lists, as small as the module needs them: TList (pointers), TStrings
// and TStringList (8-bit strings), IInterfaceList and TInterfaceList (interface references).
// Reading a bad index raises the runtime's list errors with "List index out of bounds (%d)".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"

namespace pw {

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

// "List index out of bounds (%d)" for `index`.
WideString ListIndexErrorMessage(std::int32_t index);

class TList : public TObject {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // Raises EListError for an index outside 0 .. Count - 1.
  void* Get(std::int32_t index) const;
  std::int32_t Add(void* item);
  void Delete(std::int32_t index);
  void Clear() { items_.clear(); }

 private:
  std::vector<void*> items_;
};

class TStrings : public TObject {
 public:
  virtual std::int32_t Count() const = 0;
  // Raises EStringListError for an index outside 0 .. Count - 1.
  virtual std::string Get(std::int32_t index) const = 0;
  virtual std::int32_t Add(std::string s) = 0;
};

class TStringList : public TStrings {
 public:
  std::int32_t Count() const override { return static_cast<std::int32_t>(items_.size()); }
  std::string Get(std::int32_t index) const override;
  std::int32_t Add(std::string s) override;

 private:
  std::vector<std::string> items_;
};

// A list of interface references; it holds one reference to each item.
struct IInterfaceList : IUnknown {
  static constexpr IID iid = MakeGuid("{2961F83E-2C2C-4184-89CF-54F88F6D7B93}");
  virtual std::int32_t Count() = 0;
  // Raises EListError for an index outside 0 .. Count - 1.
  virtual ComPtr<IUnknown> Get(std::int32_t index) = 0;
  virtual std::int32_t Add(IUnknown* item) = 0;
  virtual void Clear() = 0;
};

class TInterfaceList : public Implements<ComObject, IInterfaceList> {
 public:
  std::int32_t Count() override { return static_cast<std::int32_t>(items_.size()); }
  ComPtr<IUnknown> Get(std::int32_t index) override;
  std::int32_t Add(IUnknown* item) override;
  void Clear() override { items_.clear(); }

 private:
  std::vector<ComPtr<IUnknown>> items_;
};

}  // namespace pw
