#include "platform/kernel/modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace pw {

namespace {

struct LoadedObject {
  std::string name;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> segments;  // [begin, end) of PT_LOAD
};

std::vector<LoadedObject> LoadedObjects() {
  std::vector<LoadedObject> objects;
  // Collect first: dl_iterate_phdr holds the loader's lock while it runs.
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        LoadedObject o;
        o.name = info->dlpi_name ? info->dlpi_name : "";
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const auto& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_LOAD) continue;
          std::uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
          o.segments.emplace_back(begin, begin + ph.p_memsz);
        }
        static_cast<std::vector<LoadedObject>*>(data)->push_back(std::move(o));
        return 0;
      },
      &objects);
  return objects;
}

}  // namespace

void ForEachModuleExport(const char* name, const std::function<void(void*, const std::string&)>& visit) {
  bool mainSeen = false;
  for (const auto& object : LoadedObjects()) {
    void* handle = nullptr;
    if (object.name.empty()) {
      if (mainSeen) continue;  // the vDSO also comes without a name
      mainSeen = true;
      handle = dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    } else {
      handle = dlopen(object.name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    }
    if (!handle) continue;
    // The handle holds the object loaded while its symbol is called, even when its other users
    // let it go meanwhile.
    const std::unique_ptr<void, int (*)(void*)> hold(handle, dlclose);
    void* sym = dlsym(handle, name);
    bool own = false;
    if (sym) {
      auto a = reinterpret_cast<std::uintptr_t>(sym);
      for (auto [b, e] : object.segments) own = own || (a >= b && a < e);
    }
    if (own) visit(sym, object.name.empty() ? ProgramFile() : object.name);
  }
}

std::string ModuleFileOfAddress(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) && info.dli_fname) return info.dli_fname;
  return {};
}

std::string ProgramFile() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace pw
