// The text form of a registry hive that the registry stand-in keeps on disk: the registry
// editor's export format.
//
//   Windows Registry Editor Version 5.00      (or "REGEDIT4")
//
//   [HKEY_CURRENT_USER\Software\Example]
//   "Name"="text with \"quotes\" and \\ backslashes"
//   "Count"=dword:0000002a
//   @="the key's default value"
//
// Reading: UTF-8 (a byte-order mark is skipped) or UTF-16 little-endian with its mark; lines end
// with LF or CR LF; blank lines and lines starting with ';' are skipped. Every key line names
// the file's root key (the full name, e.g. "HKEY_CURRENT_USER"), then its path. Only string
// values ("...") and DWORD values (dword: one to eight hexadecimal digits) are understood;
// anything else (another type, a value before the first key, an unended quote, text after a
// value, a missing header) is refused with a RegistryFileError naming the line. A key listed
// twice is merged; a value listed twice keeps the last.
//
// Writing: UTF-8 without mark, the header, then each key that has values or no subkeys (so that
// empty keys survive), in tree order, LF line ends.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/types.h"

namespace pw {

enum class RegistryValueType { String, DWord };

struct RegistryFileValue {
  WideString name;  // empty: the key's default value
  RegistryValueType type = RegistryValueType::String;
  WideString text;
  std::uint32_t number = 0;
  bool operator==(const RegistryFileValue&) const = default;
};

struct RegistryFileKey {
  WideString path;  // below the root, names joined by '\'; empty for the root itself
  std::vector<RegistryFileValue> values;
  bool operator==(const RegistryFileKey&) const = default;
};

class RegistryFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The keys of a file in the order they first appear. `rootName` is the only root key the file
// may name.
std::vector<RegistryFileKey> ParseRegistryText(std::string_view bytes, std::string_view rootName);

// The text of the keys (see above).
std::string FormatRegistryText(const std::vector<RegistryFileKey>& keys, std::string_view rootName);

}  // namespace pw
