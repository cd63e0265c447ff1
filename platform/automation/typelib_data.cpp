#include "platform/automation/typelib_data.h"

#include <cstring>
#include <stdexcept>

namespace pw::tlb {

namespace {

class Writer {
 public:
  void U8(std::uint8_t v) { out.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Str(const std::u16string& s) {
    U32(static_cast<std::uint32_t>(s.size()));
    for (char16_t c : s) U16(c);
  }
  void Guid(const GUID& g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    for (auto b : g.Data4) U8(b);
  }
  void Type(const TypeSpec& t) {
    U8(static_cast<std::uint8_t>(t.chain.size()));
    for (auto vt : t.chain) U16(vt);
    if (!t.chain.empty() && t.chain.back() == 29) Guid(t.ref);
  }
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  // The count (a u16 or u32), then each item.
  template <class CountType, class T, class Each>
  void Items(const std::vector<T>& items, std::size_t, Each each) {
    if constexpr (sizeof(CountType) == 2) U16(static_cast<std::uint16_t>(items.size()));
    else U32(static_cast<std::uint32_t>(items.size()));
    for (const T& item : items) each(item);
  }
  std::vector<std::uint8_t> out;
};

struct Damaged {};

class Reader {
 public:
  Reader(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
  std::uint8_t U8() {
    Need(1);
    return d_[pos_++];
  }
  std::uint16_t U16() {
    std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
  }
  std::uint32_t U32() {
    std::uint32_t lo = U16();
    return lo | (std::uint32_t{U16()} << 16);
  }
  std::u16string Str() {
    std::uint32_t len = U32();
    Need(std::size_t{len} * 2);
    std::u16string s(len, u'\0');
    for (auto& c : s) c = static_cast<char16_t>(U16());
    return s;
  }
  GUID Guid() {
    GUID g;
    g.Data1 = U32();
    g.Data2 = U16();
    g.Data3 = U16();
    for (auto& b : g.Data4) b = U8();
    return g;
  }
  TypeSpec Type() {
    TypeSpec t;
    std::uint8_t n = U8();
    if (n == 0) throw Damaged{};
    for (std::uint8_t i = 0; i < n; ++i) t.chain.push_back(U16());
    if (t.chain.back() == 29) t.ref = Guid();
    return t;
  }

  // The same fields read into their place, for the walk shared with the Writer.
  void U8(std::uint8_t& v) { v = U8(); }
  void U16(std::uint16_t& v) { v = U16(); }
  void I16(std::int16_t& v) { v = static_cast<std::int16_t>(U16()); }
  void I32(std::int32_t& v) { v = static_cast<std::int32_t>(U32()); }
  void Str(std::u16string& v) { v = Str(); }
  void Guid(GUID& v) { v = Guid(); }
  void Type(TypeSpec& v) { v = Type(); }
  // The count is checked against what is left, so a damaged count cannot ask for huge memory.
  template <class CountType, class T, class Each>
  void Items(std::vector<T>& items, std::size_t minItemSize, Each each) {
    const std::size_t n = sizeof(CountType) == 2 ? std::size_t{U16()} : std::size_t{U32()};
    Need(n * minItemSize);
    items.resize(n);
    for (T& item : items) each(item);
  }

 private:
  void Need(std::size_t k) {
    if (k > n_ - pos_) throw Damaged{};
  }
  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

// The records of the file in their order, walked by the Writer (over const records) and by the
// Reader (filling them). The numbers are the fewest bytes an item takes in the file, which the
// Reader checks a count against.
template <class Io, class Param>
void WalkParam(Io& io, Param& p) {
  io.Str(p.name);
  io.U16(p.flags);
  io.Type(p.type);
}

template <class Io, class Func>
void WalkFunc(Io& io, Func& f) {
  io.I32(f.memid);
  io.U8(f.invkind);
  io.U16(f.flags);
  io.I16(f.slot);
  io.Str(f.name);
  io.Str(f.doc);
  io.Type(f.result);
  io.template Items<std::uint16_t>(f.params, 9, [&](auto& p) { WalkParam(io, p); });
}

template <class Io, class Type>
void WalkType(Io& io, Type& t) {
  io.U8(t.kind);
  io.U16(t.flags);
  io.Guid(t.guid);
  io.Str(t.name);
  io.Str(t.doc);
  io.Str(t.baseName);
  io.template Items<std::uint32_t>(t.funcs, 22, [&](auto& f) { WalkFunc(io, f); });
}

template <class Io, class Library>
void WalkLibrary(Io& io, Library& lib) {
  io.Guid(lib.guid);
  io.U16(lib.major);
  io.U16(lib.minor);
  io.Str(lib.name);
  io.Str(lib.doc);
  io.template Items<std::uint32_t>(lib.types, 33, [&](auto& t) { WalkType(io, t); });
}

}  // namespace

std::vector<std::uint8_t> Serialize(const LibraryData& lib) {
  Writer w;
  for (char c : kMagic) w.U8(static_cast<std::uint8_t>(c));
  w.U16(kFormatVersion);
  w.U16(0);
  w.U32(0);  // total size, patched below
  WalkLibrary(w, lib);
  auto size = static_cast<std::uint32_t>(w.out.size());
  for (int i = 0; i < 4; ++i) w.out[8 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  return std::move(w.out);
}

ReadResult Deserialize(const std::uint8_t* data, std::size_t size, LibraryData& lib) {
  if (size < 12 || std::memcmp(data, kMagic, 4) != 0) return ReadResult::NotALibrary;
  try {
    Reader head(data, size);
    for (int i = 0; i < 4; ++i) head.U8();
    std::uint16_t version = head.U16();
    if (version > kFormatVersion) return ReadResult::NewerFormat;
    if (version == 0) return ReadResult::Damaged;
    head.U16();
    std::uint32_t total = head.U32();
    if (total > size || total < 12) return ReadResult::Damaged;
    Reader r(data + 12, total - 12);
    LibraryData out;
    WalkLibrary(r, out);
    lib = std::move(out);
    return ReadResult::Ok;
  } catch (const Damaged&) {
    return ReadResult::Damaged;
  }
}

}  // namespace pw::tlb
