// The runtime's component stream: TWriter writes an object's published properties and the
// properties it defines itself in the binary component format, TReader reads them back.
//
// Format (little-endian). A stream starts with the signature "TPF0", then the object: its class
// name and its name (short strings: a length byte and that many bytes), its properties, a
// vaNull byte, its children (none here) and another vaNull. A property is its name (a short
// string; a sub-object's properties carry the dotted path "Gutter.Visible") and one value: a
// value-kind byte (TValueType) and its data:
//   vaInt8 / vaInt16 / vaInt32  the integer in 1, 2 or 4 bytes (the smallest that holds it)
//   vaFalse / vaTrue            a Boolean
//   vaIdent                     a short string: an enumeration or colour name
//   vaSet                       short strings of the members, ended by an empty one
//   vaString / vaLString        a length byte / a 32-bit length, then system code page bytes
//   vaWString                   a 32-bit count of UTF-16 units and the units
//   vaUTF8String                a 32-bit length and UTF-8 bytes
//   vaList                      values up to a vaNull
//   vaCollection                items up to a vaNull, each vaList, properties, vaNull
// A wide string is written as UTF-8 when that is shorter than its UTF-16 form, else as
// vaWString. A published property equal to its declared default (without an ancestor), or to
// the ancestor's value, is not written; a property declared without a default always is.
//
// TReader reads only what the data holds: every length is checked against the bytes left,
// names, kinds and values against the object, nesting is bounded. Anything else raises
// EReadError with a message naming the fault (and the property), never reading past the end;
// an error that a setter raises comes as EReadError "Error reading Class.Property: message".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/persistent.h"
#include "platform/rtl/rtl_stream.h"

namespace pw {

class TCollection;
class TReader;
class TWriter;

enum TValueType : std::uint8_t {
  vaNull = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaExtended = 5,
  vaString = 6,
  vaIdent = 7,
  vaFalse = 8,
  vaTrue = 9,
  vaBinary = 10,
  vaSet = 11,
  vaLString = 12,
  vaNil = 13,
  vaCollection = 14,
  vaSingle = 15,
  vaCurrency = 16,
  vaDate = 17,
  vaWString = 18,
  vaInt64 = 19,
  vaUTF8String = 20,
  vaDouble = 21,
};

inline constexpr char kFilerSignature[4] = {'T', 'P', 'F', '0'};

// What a published property is: its value kind decides how it is written and read.
enum class TPropKind : std::uint8_t {
  Boolean,
  Integer,
  Colour,       // an integer, written as its name when it has one (clBtnFace)
  Enumeration,  // an ordinal written as the name of its value
  Set,          // a bit set (bit N = Names[N]) written as its members' names
  WideString,
  Object,      // a persistent sub-object: its properties, or a collection's items
  Collection,  // items that a class keeps itself, streamed as a collection (the callbacks below)
};

struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  // Ordinal kinds: a value equal to it is not written; none: always written. Wide strings are
  // always written.
  std::optional<std::int32_t> Default;
  std::span<const std::string_view> Names;  // enumeration and set members
  std::function<std::int32_t()> GetOrd;
  std::function<void(std::int32_t)> SetOrd;
  std::function<WideString()> GetString;
  std::function<void(const WideString&)> SetString;
  std::function<TPersistent*()> GetObject;
  // Written only when this answers true (none: by the default rules).
  std::function<bool()> Stored;
  // Collection: the items, emptying, a new item at the end, and a bracket around a read.
  std::function<std::int32_t()> ItemCount;
  std::function<TPersistent*(std::int32_t)> ItemAt;
  std::function<void()> ClearItems;
  std::function<TPersistent*()> AddItem;
  std::function<void()> BeginRead;
  std::function<void()> EndRead;
};

class TPropList {
 public:
  void Add(TPropInfo info) { items_.push_back(std::move(info)); }
  const std::vector<TPropInfo>& Items() const { return items_; }
  const TPropInfo* Find(std::string_view name) const;

  // Declaring helpers (default: the declared default, nullopt for none).
  void AddBoolean(std::string name, std::optional<bool> def, std::function<bool()> get, std::function<void(bool)> set);
  void AddInteger(std::string name, std::optional<std::int32_t> def, std::function<std::int32_t()> get,
                  std::function<void(std::int32_t)> set);
  void AddColour(std::string name, std::optional<std::uint32_t> def, std::function<std::uint32_t()> get,
                 std::function<void(std::uint32_t)> set);
  void AddEnumeration(std::string name, std::span<const std::string_view> names, std::optional<std::int32_t> def,
                      std::function<std::int32_t()> get, std::function<void(std::int32_t)> set);
  void AddSet(std::string name, std::span<const std::string_view> names, std::optional<std::int32_t> def,
              std::function<std::int32_t()> get, std::function<void(std::int32_t)> set);
  void AddWideString(std::string name, std::function<WideString()> get, std::function<void(const WideString&)> set);
  void AddObject(std::string name, std::function<TPersistent*()> get);
  // Items a class keeps itself; `endRead` also runs when a read fails.
  void AddCollection(std::string name, std::function<std::int32_t()> count,
                     std::function<TPersistent*(std::int32_t)> at, std::function<void()> clear,
                     std::function<TPersistent*()> add, std::function<void()> beginRead, std::function<void()> endRead);
  // Sets the stored predicate of the property added last.
  void SetStored(std::function<bool()> stored) { items_.back().Stored = std::move(stored); }

 private:
  std::vector<TPropInfo> items_;
};

// The name of a colour value (clBtnFace, clRed ...), or nullopt; and the value of a name.
std::optional<std::string_view> ColorToIdent(std::uint32_t color);
std::optional<std::uint32_t> IdentToColor(std::string_view name);

class TFiler {
 public:
  using TReaderProc = std::function<void(TReader&)>;
  using TWriterProc = std::function<void(TWriter&)>;

  explicit TFiler(TStream& stream) : stream_(stream) {}
  virtual ~TFiler() = default;
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;

  // The object the one being written is compared with (nil: none), as DefineProperties sees it.
  TPersistent* Ancestor() const { return ancestor_; }
  void SetAncestor(TPersistent* ancestor) { ancestor_ = ancestor; }
  // A property the object streams itself: a writer writes it when `hasData`, a reader reads it
  // when the stream names it.
  virtual void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write,
                              bool hasData) = 0;

 protected:
  TStream& stream_;
  TPersistent* ancestor_ = nullptr;
};

class TWriter : public TFiler {
 public:
  using TFiler::TFiler;

  void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write, bool hasData) override;

  void WriteSignature();
  // The signature, `root` named `name`, its properties and an empty list of children.
  void WriteRootObject(TPersistent& root, std::string_view name);
  // The published properties (sub-objects with dotted names), then the defined ones.
  void WriteProperties(TPersistent& instance);
  void WriteCollection(TCollection& collection);

  void WriteValue(TValueType value);
  void WriteBoolean(bool value);
  void WriteInteger(std::int32_t value);
  void WriteIdent(std::string_view ident);
  // A string of system code page bytes: vaString up to 255 bytes, else vaLString.
  void WriteString(std::string_view bytes);
  void WriteWideString(WideStringView value);
  void WriteUTF8Str(std::string_view utf8);
  void WriteListBegin() { WriteValue(vaList); }
  void WriteListEnd() { WriteValue(vaNull); }
  // The property's name with the path of the sub-object being written.
  void WritePropName(std::string_view name);

 private:
  void WriteShortString(std::string_view s);
  // A vaCollection of `count` items (at(i): item i), each a list of its properties.
  void WriteItems(std::int32_t count, const std::function<TPersistent*(std::int32_t)>& at);
  // `ancestorProp`: the ancestor's property of the same name and kind, if any.
  void WriteProperty(const TPropInfo& prop, bool hasAncestor, const TPropInfo* ancestorProp);
  void Write(const void* data, std::int32_t count) { stream_.WriteBuffer(data, count); }

  std::string prefix_;
};

class TReader : public TFiler {
 public:
  using TFiler::TFiler;

  void DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc& write, bool hasData) override;

  void ReadSignature();
  // Reads an object written by WriteRootObject into `root` (its class name must match) and
  // answers its name.
  std::string ReadRootObject(TPersistent& root);
  // Properties up to the end of the list, which is taken.
  void ReadProperties(TPersistent& instance);
  void ReadProperty(TPersistent& instance);
  void ReadCollection(TCollection& collection);

  TValueType ReadValue();
  // The next byte, not taken (a value kind, or the length of the next property's name).
  TValueType NextValue();
  bool EndOfList() { return NextValue() == vaNull; }
  void ReadListBegin() { CheckValue(vaList); }
  void ReadListEnd() { CheckValue(vaNull); }
  bool ReadBoolean();
  std::int32_t ReadInteger();
  std::string ReadIdent();
  // vaWString, vaUTF8String, vaString or vaLString (the last two through the system code page).
  WideString ReadWideString();
  // A list of wide strings, read whole (a damaged list raises before the caller changes anything).
  std::vector<WideString> ReadWideStringList();

 private:
  void CheckValue(TValueType expected);
  std::string ReadShortString();
  // A 32-bit little-endian value: an integer or a length.
  std::int32_t ReadInt32();
  void Read(void* data, std::int32_t count);
  // Raises unless `count` bytes are left.
  void Need(std::int64_t count);
  void ReadPropValue(const TPropInfo& prop);
  // A vaCollection: `clear`, then each item into a new `add()`. `begin` and `end` (either may
  // be empty) bracket the read; `end` also runs when it fails.
  void ReadItems(const std::function<void()>& begin, const std::function<void()>& clear,
                 const std::function<TPersistent*()>& add, const std::function<void()>& end);
  [[noreturn]] void Invalid() const;

  std::string propName_;  // the defined property being looked for
  std::int32_t depth_ = 0;
};

// Whole objects to and from streams (WriteRootObject / ReadRootObject).
void WriteObjectToStream(TStream& stream, TPersistent& object, std::string_view name);
std::string ReadObjectFromStream(TStream& stream, TPersistent& object);

}  // namespace pw
