#include "host/module_loader.h"

#include <dlfcn.h>

#include "platform/rtl/exceptions.h"
#include "platform/kernel/library.h"
#include "platform/kernel/modules.h"
#include "platform/rtl/strings.h"

namespace pw::host {

LoadedModule::LoadedModule(const std::string& path) : path_(path) {
  // A module whose start fails is unloaded again by the loader, which then tells why.
  handle_ = LoadLibrary(path);
  if (!handle_) {
    throw Exception(u"Unable to load the module '" + Utf8ToWide(path) + u"': " + LibraryErrorMessage(GetLastError()));
  }
}

LoadedModule::~LoadedModule() { Unload(); }

void* LoadedModule::Export(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

bool LoadedModule::Unload() {
  if (!handle_) return true;
  FreeLibrary(handle_);
  handle_ = nullptr;
  // Still mapped when something else holds it open.
  void* again = dlopen(path_.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (again) {
    dlclose(again);
    return false;
  }
  return true;
}

std::string HostFolder() {
  std::string exe = ProgramFile();
  auto slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

std::string DefaultModulePath() { return HostFolder() + "/pwOpenApps2.so"; }

}  // namespace pw::host
