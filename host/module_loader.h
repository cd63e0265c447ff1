// Loads the module the way the host does: the shared object by path, its exports by name.
#pragma once

#include <string>

#include "platform/com/types.h"

namespace pw::host {

class LoadedModule {
 public:
  // Raises pw::Exception with the loader's message when the file cannot be loaded.
  explicit LoadedModule(const std::string& path);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  const std::string& Path() const { return path_; }
  // The export's address, or nil.
  void* Export(const char* name) const;
  template <class Fn>
  Fn ExportAs(const char* name) const {
    return reinterpret_cast<Fn>(Export(name));
  }
  // Unloads now (the destructor does it otherwise); true when the object left the process.
  bool Unload();

 private:
  std::string path_;
  void* handle_ = nullptr;
};

// The folder of the running pwhost: the host folder, where the module and "Extensions" live.
std::string HostFolder();
// The module's file in the host folder.
std::string DefaultModulePath();

}  // namespace pw::host
