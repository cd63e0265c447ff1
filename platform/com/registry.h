// The registry stand-in: a process-wide tree of keys, each with string values (the unnamed
// one is the key's default value). Key and value names compare ignoring case. Nothing is
// persisted: the tree starts empty in every process.
//
// TRegistry is the runtime's access object: a root key, at most one open key, and reads and
// writes relative to it.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/com/types.h"

namespace pw {

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine };

struct RegistryNode;

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

  // Values of the open key. An empty name is the default value. Reading a missing value
  // gives an empty text (ValueExists tells them apart).
  bool ValueExists(WideStringView name) const;
  WideString ReadString(WideStringView name) const;
  void WriteString(WideStringView name, WideStringView value);
  // The names of the open key's subkeys, in the order they were created.
  std::vector<WideString> GetKeyNames() const;

 private:
  RootKey root_;
  std::shared_ptr<RegistryNode> current_;
};

}  // namespace pw
