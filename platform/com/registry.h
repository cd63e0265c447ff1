// The registry stand-in: a process-wide tree of keys per root key, each key with string
// (REG_SZ) and DWORD (REG_DWORD) values (the unnamed one is the key's default value). Key and
// value names compare ignoring case.
//
// By default everything lives in memory and starts empty in every process. When the host turns
// the registry files on (SetRegistryFilesEnabled), HKEY_CURRENT_USER is read at its first use
// from "HKCU.reg" in RegistryFolder() and that file is rewritten (a temporary file, then a
// rename) after each change; HKEY_LOCAL_MACHINE is read from "HKLM.reg" beside it and never
// written (changes to it stay in memory). The files are in the registry editor's text form
// (platform/com/registry_file.h). A file that does not exist is an empty hive. A file that
// cannot be read or parsed makes every use of its root raise an Exception naming the file and
// the fault; the file is left untouched and read again at the next use. ClassesRoot always
// lives in memory.
//
// TRegistry is the runtime's access object: a root key, at most one open key, and reads and
// writes relative to it. Reading a value with another type than the one stored raises
// "Invalid data type for '<name>'".
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/com/types.h"

namespace pw {

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine };

enum class TRegDataType { rdUnknown, rdString, rdInteger };

struct RegistryNode;

// "$XDG_CONFIG_HOME/probewright/registry" ($HOME/.config when XDG_CONFIG_HOME is unset, empty
// or not absolute). Raises when neither names a folder.
std::filesystem::path RegistryFolder();
// Turns the files on or off and forgets what HKCU and HKLM held in memory, so that their next
// use reads the files again (with the files on) or starts empty (off).
void SetRegistryFilesEnabled(bool enabled);
bool RegistryFilesEnabled();

class TRegistry {
 public:
  explicit TRegistry(RootKey root = RootKey::CurrentUser) : root_(root) {}

  RootKey Root() const { return root_; }
  // Paths use '\' between key names; a leading '\' is ignored.
  // Opens a key for reading; false when it does not exist.
  bool OpenKeyReadOnly(WideStringView path);
  // Opens a key, creating it (and the keys above it) when `canCreate`; false when absent.
  bool OpenKey(WideStringView path, bool canCreate);
  void CloseKey() { current_.reset(); }
  bool KeyExists(WideStringView path) const;
  // Deletes a key with everything below it; false when it does not exist.
  bool DeleteKey(WideStringView path);

  // Values of the open key. An empty name is the default value. Reading a missing string value
  // gives an empty text (ValueExists tells them apart); reading a missing integer raises.
  bool ValueExists(WideStringView name) const;
  TRegDataType GetDataType(WideStringView name) const;
  WideString ReadString(WideStringView name) const;
  void WriteString(WideStringView name, WideStringView value);
  std::int32_t ReadInteger(WideStringView name) const;
  void WriteInteger(WideStringView name, std::int32_t value);
  // False when the value does not exist.
  bool DeleteValue(WideStringView name);
  // The names of the open key's subkeys, in the order they were created.
  std::vector<WideString> GetKeyNames() const;

 private:
  RootKey root_;
  std::shared_ptr<RegistryNode> current_;
};

}  // namespace pw
