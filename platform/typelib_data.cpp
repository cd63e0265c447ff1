#include "platform/typelib_data.h"

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
  // Counts are checked against what is left, so a damaged count cannot ask for huge memory.
  std::uint32_t Count(std::size_t minItemSize) {
    std::uint32_t n = U32();
    Need(std::size_t{n} * minItemSize);
    return n;
  }
  std::uint16_t Count16(std::size_t minItemSize) {
    std::uint16_t n = U16();
    Need(std::size_t{n} * minItemSize);
    return n;
  }

 private:
  void Need(std::size_t k) {
    if (k > n_ - pos_) throw Damaged{};
  }
  const std::uint8_t* d_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::uint8_t> Serialize(const LibraryData& lib) {
  Writer w;
  for (char c : kMagic) w.U8(static_cast<std::uint8_t>(c));
  w.U16(kFormatVersion);
  w.U16(0);
  w.U32(0);  // total size, patched below
  w.Guid(lib.guid);
  w.U16(lib.major);
  w.U16(lib.minor);
  w.Str(lib.name);
  w.Str(lib.doc);
  w.U32(static_cast<std::uint32_t>(lib.types.size()));
  for (const auto& t : lib.types) {
    w.U8(t.kind);
    w.U16(t.flags);
    w.Guid(t.guid);
    w.Str(t.name);
    w.Str(t.doc);
    w.Str(t.baseName);
    w.U32(static_cast<std::uint32_t>(t.funcs.size()));
    for (const auto& f : t.funcs) {
      w.U32(static_cast<std::uint32_t>(f.memid));
      w.U8(f.invkind);
      w.U16(f.flags);
      w.U16(static_cast<std::uint16_t>(f.slot));
      w.Str(f.name);
      w.Str(f.doc);
      w.Type(f.result);
      w.U16(static_cast<std::uint16_t>(f.params.size()));
      for (const auto& p : f.params) {
        w.Str(p.name);
        w.U16(p.flags);
        w.Type(p.type);
      }
    }
  }
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
    out.guid = r.Guid();
    out.major = r.U16();
    out.minor = r.U16();
    out.name = r.Str();
    out.doc = r.Str();
    std::uint32_t types = r.Count(33);
    out.types.resize(types);
    for (auto& t : out.types) {
      t.kind = r.U8();
      t.flags = r.U16();
      t.guid = r.Guid();
      t.name = r.Str();
      t.doc = r.Str();
      t.baseName = r.Str();
      std::uint32_t funcs = r.Count(22);
      t.funcs.resize(funcs);
      for (auto& f : t.funcs) {
        f.memid = static_cast<std::int32_t>(r.U32());
        f.invkind = r.U8();
        f.flags = r.U16();
        f.slot = static_cast<std::int16_t>(r.U16());
        f.name = r.Str();
        f.doc = r.Str();
        f.result = r.Type();
        std::uint16_t params = r.Count16(9);
        f.params.resize(params);
        for (auto& p : f.params) {
          p.name = r.Str();
          p.flags = r.U16();
          p.type = r.Type();
        }
      }
    }
    lib = std::move(out);
    return ReadResult::Ok;
  } catch (const Damaged&) {
    return ReadResult::Damaged;
  }
}

}  // namespace pw::tlb
