// The content of a type library and its file format, shared by the library loader and the
// build's interface generator.
//
// File format (all numbers little-endian; a string is a u32 count of UTF-16 code units and
// the units; a GUID is u32, u16, u16 and 8 bytes):
//   header  "PWTL", u16 format version (1), u16 0, u32 total size in bytes, GUID, u16 major,
//           u16 minor, string name, string documentation, u32 type count
//   type    u8 TYPEKIND, u16 type flags, GUID, string name, string documentation,
//           string base interface name, u32 function count, functions
//   function  i32 member id, u8 INVOKEKIND, u16 function flags, i16 method-table slot,
//           string name, string documentation, type of the result, u16 parameter count,
//           parameters (string name, u16 parameter flags, type)
//   type    u8 n, n x u16 VARTYPE (outermost first: VT_PTR, VT_I4), and a GUID when the last
//           one is VT_USERDEFINED (the referenced interface)
// A dispatch type lists its functions as the dispatch view: IUnknown's three and IDispatch's
// four first, then the interface's own in method-table order, inherited ones included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/guid.h"

namespace pw::tlb {

inline constexpr char kMagic[4] = {'P', 'W', 'T', 'L'};
inline constexpr std::uint16_t kFormatVersion = 1;

struct TypeSpec {
  std::vector<std::uint16_t> chain;  // VT_PTR, VT_SAFEARRAY wrap the next entry
  GUID ref{};                        // for a final VT_USERDEFINED
};

struct ParamData {
  std::u16string name;
  std::uint16_t flags = 0;
  TypeSpec type;
};

struct FuncData {
  std::int32_t memid = 0;
  std::uint8_t invkind = 1;
  std::uint16_t flags = 0;
  std::int16_t slot = 0;
  std::u16string name, doc;
  TypeSpec result;
  std::vector<ParamData> params;
};

struct TypeData {
  std::uint8_t kind = 4;
  std::uint16_t flags = 0;
  GUID guid{};
  std::u16string name, doc, baseName;
  std::vector<FuncData> funcs;
};

struct LibraryData {
  GUID guid{};
  std::uint16_t major = 1, minor = 0;
  std::u16string name, doc;
  std::vector<TypeData> types;
};

std::vector<std::uint8_t> Serialize(const LibraryData& lib);

enum class ReadResult { Ok, NotALibrary, Damaged, NewerFormat };
// Reads one library from the start of `data`.
ReadResult Deserialize(const std::uint8_t* data, std::size_t size, LibraryData& lib);

}  // namespace pw::tlb
