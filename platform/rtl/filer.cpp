#include "platform/rtl/filer.h"

#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/rtl/codepage.h"
#include "platform/rtl/collection.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr std::int32_t kMaxDepth = 64;

struct ColourName {
  std::uint32_t Value;
  std::string_view Name;
};

constexpr std::array<ColourName, 52> kColourNames{{
    {0x000000, "clBlack"},
    {0x000080, "clMaroon"},
    {0x008000, "clGreen"},
    {0x008080, "clOlive"},
    {0x800000, "clNavy"},
    {0x800080, "clPurple"},
    {0x808000, "clTeal"},
    {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},
    {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},
    {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},
    {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {0xFF00000A, "clActiveBorder"},
    {0xFF000002, "clActiveCaption"},
    {0xFF00000C, "clAppWorkSpace"},
    {0xFF000001, "clBackground"},
    {0xFF00000F, "clBtnFace"},
    {0xFF000014, "clBtnHighlight"},
    {0xFF000010, "clBtnShadow"},
    {0xFF000012, "clBtnText"},
    {0xFF000009, "clCaptionText"},
    {0x20000000, "clDefault"},
    {0xFF00001B, "clGradientActiveCaption"},
    {0xFF00001C, "clGradientInactiveCaption"},
    {0xFF000011, "clGrayText"},
    {0xFF00000D, "clHighlight"},
    {0xFF00000E, "clHighlightText"},
    {0xFF00001A, "clHotLight"},
    {0xFF00000B, "clInactiveBorder"},
    {0xFF000003, "clInactiveCaption"},
    {0xFF000013, "clInactiveCaptionText"},
    {0xFF000018, "clInfoBk"},
    {0xFF000017, "clInfoText"},
    {0xFF000004, "clMenu"},
    {0xFF00001E, "clMenuBar"},
    {0xFF00001D, "clMenuHighlight"},
    {0xFF000007, "clMenuText"},
    {0x1FFFFFFF, "clNone"},
    {0xFF000000, "clScrollBar"},
    {0xFF000015, "cl3DDkShadow"},
    {0xFF000016, "cl3DLight"},
    {0xFF000005, "clWindow"},
    {0xFF000006, "clWindowFrame"},
    {0xFF000008, "clWindowText"},
}};

bool SameAscii(std::string_view a, std::string_view b) { return SameTextIgnoringCase(a, b); }

WideString W(std::string_view s) { return AsciiToWide(s); }

// 32-bit little-endian values: integers and lengths.
void StoreLE32(std::uint8_t (&b)[4], std::uint32_t u) {
  b[0] = static_cast<std::uint8_t>(u);
  b[1] = static_cast<std::uint8_t>(u >> 8);
  b[2] = static_cast<std::uint8_t>(u >> 16);
  b[3] = static_cast<std::uint8_t>(u >> 24);
}

std::uint32_t LoadLE32(const std::uint8_t (&b)[4]) {
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// One more level of objects inside objects for as long as it lives; the reader refuses to go
// deeper than kMaxDepth.
class NestingLevel {
 public:
  explicit NestingLevel(std::int32_t& depth) : depth_(depth) {
    if (depth_ >= kMaxDepth) throw EReadError(u"Invalid stream format: objects nest too deeply");
    ++depth_;
  }
  ~NestingLevel() { --depth_; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

 private:
  std::int32_t& depth_;
};

}  // namespace

std::optional<std::string_view> ColorToIdent(std::uint32_t color) {
  for (const auto& c : kColourNames)
    if (c.Value == color) return c.Name;
  return std::nullopt;
}

std::optional<std::uint32_t> IdentToColor(std::string_view name) {
  for (const auto& c : kColourNames)
    if (SameAscii(c.Name, name)) return c.Value;
  return std::nullopt;
}

// ---- TPropList

namespace {
TPropInfo Ordinal(std::string name, TPropKind kind, std::optional<std::int32_t> def,
                  std::span<const std::string_view> names, std::function<std::int32_t()> get,
                  std::function<void(std::int32_t)> set) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = kind;
  p.Default = def;
  p.Names = names;
  p.GetOrd = std::move(get);
  p.SetOrd = std::move(set);
  return p;
}
}  // namespace

const TPropInfo* TPropList::Find(std::string_view name) const {
  for (const auto& p : items_)
    if (SameAscii(p.Name, name)) return &p;
  return nullptr;
}

void TPropList::AddBoolean(std::string name, std::optional<bool> def, std::function<bool()> get,
                           std::function<void(bool)> set) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TPropKind::Boolean;
  if (def) p.Default = *def ? 1 : 0;
  p.GetOrd = [get = std::move(get)] { return get() ? 1 : 0; };
  p.SetOrd = [set = std::move(set)](std::int32_t v) { set(v != 0); };
  Add(std::move(p));
}

void TPropList::AddInteger(std::string name, std::optional<std::int32_t> def, std::function<std::int32_t()> get,
                           std::function<void(std::int32_t)> set) {
  Add(Ordinal(std::move(name), TPropKind::Integer, def, {}, std::move(get), std::move(set)));
}

void TPropList::AddColour(std::string name, std::optional<std::uint32_t> def, std::function<std::uint32_t()> get,
                          std::function<void(std::uint32_t)> set) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TPropKind::Colour;
  if (def) p.Default = static_cast<std::int32_t>(*def);
  p.GetOrd = [get = std::move(get)] { return static_cast<std::int32_t>(get()); };
  p.SetOrd = [set = std::move(set)](std::int32_t v) { set(static_cast<std::uint32_t>(v)); };
  Add(std::move(p));
}

void TPropList::AddEnumeration(std::string name, std::span<const std::string_view> names,
                               std::optional<std::int32_t> def, std::function<std::int32_t()> get,
                               std::function<void(std::int32_t)> set) {
  Add(Ordinal(std::move(name), TPropKind::Enumeration, def, names, std::move(get), std::move(set)));
}

void TPropList::AddSet(std::string name, std::span<const std::string_view> names, std::optional<std::int32_t> def,
                       std::function<std::int32_t()> get, std::function<void(std::int32_t)> set) {
  Add(Ordinal(std::move(name), TPropKind::Set, def, names, std::move(get), std::move(set)));
}

void TPropList::AddWideString(std::string name, std::function<WideString()> get,
                              std::function<void(const WideString&)> set) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TPropKind::WideString;
  p.GetString = std::move(get);
  p.SetString = std::move(set);
  Add(std::move(p));
}

void TPropList::AddObject(std::string name, std::function<TPersistent*()> get) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TPropKind::Object;
  p.GetObject = std::move(get);
  Add(std::move(p));
}

void TPropList::AddCollection(std::string name, std::function<std::int32_t()> count,
                              std::function<TPersistent*(std::int32_t)> at, std::function<void()> clear,
                              std::function<TPersistent*()> add, std::function<void()> beginRead,
                              std::function<void()> endRead) {
  TPropInfo p;
  p.Name = std::move(name);
  p.Kind = TPropKind::Collection;
  p.ItemCount = std::move(count);
  p.ItemAt = std::move(at);
  p.ClearItems = std::move(clear);
  p.AddItem = std::move(add);
  p.BeginRead = std::move(beginRead);
  p.EndRead = std::move(endRead);
  Add(std::move(p));
}

// ---- TWriter

void TWriter::DefineProperty(std::string_view name, const TReaderProc&, const TWriterProc& write, bool hasData) {
  if (!hasData || !write) return;
  WritePropName(name);
  write(*this);
}

void TWriter::WriteSignature() { Write(kFilerSignature, 4); }

void TWriter::WriteRootObject(TPersistent& root, std::string_view name) {
  WriteSignature();
  WriteShortString(WideToUtf8(root.ClassName()));
  WriteShortString(name);
  WriteProperties(root);
  WriteListEnd();
  WriteListEnd();  // no children
}

void TWriter::WriteProperties(TPersistent& instance) {
  TPropList props;
  instance.PublishedProperties(props);
  TPersistent* ancestor = ancestor_;
  TPropList ancestorProps;
  if (ancestor) ancestor->PublishedProperties(ancestorProps);
  for (const auto& p : props.Items()) {
    const TPropInfo* a = ancestor ? ancestorProps.Find(p.Name) : nullptr;
    if (p.Stored && !p.Stored()) continue;
    if (p.Kind == TPropKind::Collection) {
      const std::int32_t count = p.ItemCount();
      if (count == 0 && !ancestor) continue;
      WritePropName(p.Name);
      WriteItems(count, p.ItemAt);
      continue;
    }
    if (p.Kind != TPropKind::Object) {
      WriteProperty(p, ancestor != nullptr, a && a->Kind == p.Kind ? a : nullptr);
      continue;
    }
    TPersistent* sub = p.GetObject();
    if (!sub) continue;
    TPersistent* subAncestor = a && a->Kind == TPropKind::Object ? a->GetObject() : nullptr;
    if (auto* collection = dynamic_cast<TCollection*>(sub)) {
      auto* other = dynamic_cast<TCollection*>(subAncestor);
      if (collection->Count() == 0 && (!ancestor || !other || other->Count() == 0)) continue;
      WritePropName(p.Name);
      WriteCollection(*collection);
      continue;
    }
    const std::string saved = prefix_;
    prefix_ += p.Name + ".";
    ancestor_ = subAncestor;
    WriteProperties(*sub);
    ancestor_ = ancestor;
    prefix_ = saved;
  }
  instance.DefineProperties(*this);
}

void TWriter::WriteProperty(const TPropInfo& p, bool hasAncestor, const TPropInfo* a) {
  if (p.Kind == TPropKind::WideString) {
    const WideString value = p.GetString();
    if (a && a->GetString() == value) return;
    WritePropName(p.Name);
    WriteWideString(value);
    return;
  }
  const std::int32_t value = p.GetOrd();
  if (hasAncestor) {
    if (a && a->GetOrd() == value) return;
  } else if (p.Default && *p.Default == value) {
    return;
  }
  WritePropName(p.Name);
  switch (p.Kind) {
    case TPropKind::Boolean: WriteBoolean(value != 0); break;
    case TPropKind::Integer: WriteInteger(value); break;
    case TPropKind::Colour:
      if (auto ident = ColorToIdent(static_cast<std::uint32_t>(value))) WriteIdent(*ident);
      else WriteInteger(value);
      break;
    case TPropKind::Enumeration:
      if (value < 0 || static_cast<std::size_t>(value) >= p.Names.size())
        throw EWriteError(u"The property " + W(p.Name) + u" holds no value of its type");
      WriteIdent(p.Names[static_cast<std::size_t>(value)]);
      break;
    case TPropKind::Set:
      WriteValue(vaSet);
      for (std::size_t i = 0; i < p.Names.size() && i < 32; ++i)
        if ((static_cast<std::uint32_t>(value) >> i) & 1u) WriteShortString(p.Names[i]);
      WriteShortString("");
      break;
    default: break;
  }
}

void TWriter::WriteCollection(TCollection& collection) {
  WriteItems(collection.Count(), [&collection](std::int32_t i) -> TPersistent* { return collection.Items(i); });
}

void TWriter::WriteItems(std::int32_t count, const std::function<TPersistent*(std::int32_t)>& at) {
  WriteValue(vaCollection);
  const std::string saved = prefix_;
  TPersistent* ancestor = ancestor_;
  prefix_.clear();
  ancestor_ = nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    WriteListBegin();
    WriteProperties(*at(i));
    WriteListEnd();
  }
  prefix_ = saved;
  ancestor_ = ancestor;
  WriteListEnd();
}

void TWriter::WriteValue(TValueType value) {
  const auto b = static_cast<std::uint8_t>(value);
  Write(&b, 1);
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vaTrue : vaFalse); }

void TWriter::WriteInteger(std::int32_t value) {
  if (value >= -128 && value <= 127) {
    WriteValue(vaInt8);
    const auto v = static_cast<std::int8_t>(value);
    Write(&v, 1);
  } else if (value >= -32768 && value <= 32767) {
    WriteValue(vaInt16);
    const auto v = static_cast<std::int16_t>(value);
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF)};
    Write(b, 2);
  } else {
    WriteValue(vaInt32);
    std::uint8_t b[4];
    StoreLE32(b, static_cast<std::uint32_t>(value));
    Write(b, 4);
  }
}

void TWriter::WriteIdent(std::string_view ident) {
  if (ident == "False") return WriteValue(vaFalse);
  if (ident == "True") return WriteValue(vaTrue);
  if (ident == "nil") return WriteValue(vaNil);
  WriteValue(vaIdent);
  WriteShortString(ident);
}

namespace {
void WriteLength(TStream& s, std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EWriteError(u"A string is too long for the stream");
  std::uint8_t b[4];
  StoreLE32(b, static_cast<std::uint32_t>(n));
  s.WriteBuffer(b, 4);
}
}  // namespace

void TWriter::WriteString(std::string_view bytes) {
  if (bytes.size() <= 255) {
    WriteValue(vaString);
    WriteShortString(bytes);
  } else {
    WriteValue(vaLString);
    WriteLength(stream_, bytes.size());
    Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  }
}

void TWriter::WriteWideString(WideStringView value) {
  const std::string utf8 = WideToUtf8(value);
  if (utf8.size() < value.size() * 2) return WriteUTF8Str(utf8);
  WriteValue(vaWString);
  WriteLength(stream_, value.size());
  if (value.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2))
    throw EWriteError(u"A string is too long for the stream");
  std::string bytes(value.size() * 2, '\0');
  for (std::size_t i = 0; i < value.size(); ++i) {
    bytes[2 * i] = static_cast<char>(value[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(value[i] >> 8);
  }
  Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void TWriter::WriteUTF8Str(std::string_view utf8) {
  WriteValue(vaUTF8String);
  WriteLength(stream_, utf8.size());
  Write(utf8.data(), static_cast<std::int32_t>(utf8.size()));
}

void TWriter::WritePropName(std::string_view name) { WriteShortString(prefix_ + std::string(name)); }

void TWriter::WriteShortString(std::string_view s) {
  if (s.size() > 255) throw EWriteError(u"A name is longer than 255 bytes");
  const auto n = static_cast<std::uint8_t>(s.size());
  Write(&n, 1);
  if (n) Write(s.data(), n);
}

// ---- TReader

void TReader::DefineProperty(std::string_view name, const TReaderProc& read, const TWriterProc&, bool) {
  if (propName_.empty() || !read || !SameAscii(name, propName_)) return;
  propName_.clear();
  read(*this);
}

void TReader::Invalid() const { throw EReadError(u"Invalid property value"); }

void TReader::Need(std::int64_t count) {
  if (count < 0 || count > stream_.Size() - stream_.Position()) throw EReadError(u"Stream read error");
}

void TReader::Read(void* data, std::int32_t count) {
  Need(count);
  stream_.ReadBuffer(data, count);
}

TValueType TReader::ReadValue() {
  std::uint8_t b = 0;
  Read(&b, 1);
  if (b > vaDouble) throw EReadError(u"Invalid stream format");
  return static_cast<TValueType>(b);
}

TValueType TReader::NextValue() {
  std::uint8_t b = 0;
  Read(&b, 1);
  stream_.Seek(-1, soCurrent);
  return static_cast<TValueType>(b);  // a peek: may be a name's length byte
}

void TReader::CheckValue(TValueType expected) {
  if (ReadValue() != expected) throw EReadError(u"Invalid stream format");
}

std::string TReader::ReadShortString() {
  std::uint8_t n = 0;
  Read(&n, 1);
  std::string s(n, '\0');
  if (n) Read(s.data(), n);
  return s;
}

void TReader::ReadSignature() {
  char sig[4];
  Read(sig, 4);
  if (std::memcmp(sig, kFilerSignature, 4) != 0) throw EReadError(u"Invalid stream format");
}

std::string TReader::ReadRootObject(TPersistent& root) {
  ReadSignature();
  const auto first = static_cast<std::uint8_t>(NextValue());
  if ((first & 0xF0) == 0xF0) {  // filer flags, with a child position when bit 1 is set
    stream_.Seek(1, soCurrent);
    if (first & 0x02) ReadInteger();
  }
  const std::string className = ReadShortString();
  const std::string expected = WideToUtf8(root.ClassName());
  if (!SameAscii(className, expected))
    throw EReadError(u"The stream holds a " + Utf8ToWide(className) + u", not a " + root.ClassName());
  std::string name = ReadShortString();
  ReadProperties(root);
  if (!EndOfList()) throw EReadError(u"Invalid stream format: objects inside " + root.ClassName() + u" are not read");
  ReadListEnd();
  return name;
}

void TReader::ReadProperties(TPersistent& instance) {
  const NestingLevel level(depth_);
  while (!EndOfList()) ReadProperty(instance);
  ReadListEnd();
}

void TReader::ReadProperty(TPersistent& instance) {
  const std::string path = ReadShortString();
  TPersistent* target = &instance;
  std::string_view rest = path;
  try {
    if (path.empty()) throw EReadError(u"Invalid stream format");
    for (;;) {
      const std::size_t dot = rest.find('.');
      const std::string_view name = rest.substr(0, dot);
      TPropList props;
      target->PublishedProperties(props);
      const TPropInfo* p = props.Find(name);
      if (dot == std::string_view::npos) {
        if (p) return ReadPropValue(*p);
        propName_ = std::string(name);
        target->DefineProperties(*this);
        if (!propName_.empty()) {
          propName_.clear();
          throw EReadError(u"Property " + W(name) + u" does not exist");
        }
        return;
      }
      if (!p || p->Kind != TPropKind::Object || !p->GetObject() || dynamic_cast<TCollection*>(p->GetObject()))
        throw EReadError(u"Property " + W(name) + u" does not exist");
      target = p->GetObject();
      rest = rest.substr(dot + 1);
    }
  } catch (const Exception& e) {
    if (dynamic_cast<const EReadError*>(&e) && e.Message().starts_with(u"Error reading ")) throw;
    throw EReadError(u"Error reading " + instance.ClassName() + u"." + W(path) + u": " + e.Message());
  }
}

void TReader::ReadPropValue(const TPropInfo& p) {
  switch (p.Kind) {
    case TPropKind::Boolean: p.SetOrd(ReadBoolean() ? 1 : 0); return;
    case TPropKind::Integer: p.SetOrd(ReadInteger()); return;
    case TPropKind::Colour: {
      if (NextValue() == vaIdent) {
        const auto c = IdentToColor(ReadIdent());
        if (!c) Invalid();
        p.SetOrd(static_cast<std::int32_t>(*c));
      } else {
        p.SetOrd(ReadInteger());
      }
      return;
    }
    case TPropKind::Enumeration: {
      if (NextValue() != vaIdent) Invalid();
      const std::string ident = ReadIdent();
      for (std::size_t i = 0; i < p.Names.size(); ++i)
        if (SameAscii(p.Names[i], ident)) return p.SetOrd(static_cast<std::int32_t>(i));
      Invalid();
    }
    case TPropKind::Set: {
      if (ReadValue() != vaSet) Invalid();
      std::uint32_t bits = 0;
      for (;;) {
        const std::string ident = ReadShortString();
        if (ident.empty()) break;
        std::size_t i = 0;
        while (i < p.Names.size() && !SameAscii(p.Names[i], ident)) ++i;
        if (i == p.Names.size() || i >= 32) Invalid();
        bits |= 1u << i;
      }
      p.SetOrd(static_cast<std::int32_t>(bits));
      return;
    }
    case TPropKind::WideString: p.SetString(ReadWideString()); return;
    case TPropKind::Object: {
      auto* collection = dynamic_cast<TCollection*>(p.GetObject());
      if (!collection) Invalid();
      ReadCollection(*collection);
      return;
    }
    case TPropKind::Collection: ReadItems(p.BeginRead, p.ClearItems, p.AddItem, p.EndRead); return;
  }
  Invalid();
}

void TReader::ReadCollection(TCollection& collection) {
  ReadItems([&collection] { collection.BeginUpdate(); }, [&collection] { collection.Clear(); },
            [&collection]() -> TPersistent* { return collection.Add(); }, [&collection] { collection.EndUpdate(); });
}

void TReader::ReadItems(const std::function<void()>& begin, const std::function<void()>& clear,
                        const std::function<TPersistent*()>& add, const std::function<void()>& end) {
  if (ReadValue() != vaCollection) Invalid();
  const NestingLevel level(depth_);
  if (begin) begin();
  try {
    clear();
    while (!EndOfList()) {
      const TValueType v = NextValue();
      if (v == vaInt8 || v == vaInt16 || v == vaInt32) ReadInteger();  // the item's order: not used
      ReadListBegin();
      ReadProperties(*add());
    }
    ReadListEnd();
  } catch (...) {
    if (end) end();
    throw;
  }
  if (end) end();
}

bool TReader::ReadBoolean() {
  const TValueType v = ReadValue();
  if (v == vaTrue) return true;
  if (v == vaFalse) return false;
  Invalid();
}

std::int32_t TReader::ReadInteger() {
  switch (ReadValue()) {
    case vaInt8: {
      std::int8_t v = 0;
      Read(&v, 1);
      return v;
    }
    case vaInt16: {
      std::uint8_t b[2];
      Read(b, 2);
      return static_cast<std::int16_t>(b[0] | (b[1] << 8));
    }
    case vaInt32: return ReadInt32();
    default: Invalid();
  }
}

std::string TReader::ReadIdent() {
  switch (ReadValue()) {
    case vaIdent: return ReadShortString();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: Invalid();
  }
}

std::int32_t TReader::ReadInt32() {
  std::uint8_t b[4];
  Read(b, 4);
  return static_cast<std::int32_t>(LoadLE32(b));
}

std::vector<WideString> TReader::ReadWideStringList() {
  std::vector<WideString> items;
  ReadListBegin();
  while (!EndOfList()) items.push_back(ReadWideString());
  ReadListEnd();
  return items;
}

WideString TReader::ReadWideString() {
  const TValueType v = ReadValue();
  switch (v) {
    case vaWString: {
      const std::int32_t n = ReadInt32();
      if (n < 0) Invalid();
      Need(std::int64_t{n} * 2);
      std::string bytes(static_cast<std::size_t>(n) * 2, '\0');
      if (n) Read(bytes.data(), n * 2);
      WideString out(static_cast<std::size_t>(n), u'\0');
      for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
      return out;
    }
    case vaUTF8String:
    case vaLString: {
      const std::int32_t n = ReadInt32();
      if (n < 0) Invalid();
      Need(n);
      std::string bytes(static_cast<std::size_t>(n), '\0');
      if (n) Read(bytes.data(), n);
      return v == vaUTF8String ? Utf8ToWide(bytes) : SystemCodePageToWide(bytes);
    }
    case vaString: return SystemCodePageToWide(ReadShortString());
    default: Invalid();
  }
}

// ---- whole objects

void WriteObjectToStream(TStream& stream, TPersistent& object, std::string_view name) {
  TWriter writer(stream);
  writer.WriteRootObject(object, name);
}

std::string ReadObjectFromStream(TStream& stream, TPersistent& object) {
  TReader reader(stream);
  return reader.ReadRootObject(object);
}

}  // namespace pw
