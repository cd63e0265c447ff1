#include "platform/kernel/library.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "platform/rtl/exceptions.h"
#include "platform/kernel/modules.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

thread_local DWORD tLastError = 0;
thread_local WideString tLastLoadMessage;
thread_local DWORD tLastLoadCode = 0;

struct InitFailures {
  std::mutex lock;
  std::map<std::string, WideString> byFile;  // canonical file -> message
};

InitFailures& Failures() {
  static InitFailures* f = new InitFailures;  // lives until the process ends
  return *f;
}

std::string Canonical(const std::string& file) {
  char* real = realpath(file.c_str(), nullptr);
  if (!real) return file;
  std::string r = real;
  free(real);
  return r;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

void Fail(DWORD code, WideString message) {
  tLastError = code;
  tLastLoadCode = code;
  tLastLoadMessage = std::move(message);
}

// A bare name is looked up beside the program first; a name with a folder, or one that is not
// there, stays as it is (the loader's search path finds it then).
std::string BesideProgram(const std::string& fileName) {
  if (fileName.find('/') != std::string::npos) return fileName;
  std::string program = ProgramFile();
  std::string beside = program.substr(0, program.rfind('/') + 1) + fileName;
  return FileExists(beside) ? beside : fileName;
}

std::string LoadedFile(HMODULE module) {
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
  return map->l_name;
}

}  // namespace

HMODULE LoadLibrary(const std::string& fileName) {
  const std::string path = BesideProgram(fileName);
  dlerror();
  HMODULE module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* error = dlerror();
    const std::string err = error ? error : "";
    const bool notFound = path.find('/') != std::string::npos
                              ? !FileExists(path)
                              : err.find("No such file or directory") != std::string::npos;
    if (notFound) {
      Fail(ERROR_MOD_NOT_FOUND, u"The specified module could not be found.");
    } else {
      Fail(ERROR_BAD_EXE_FORMAT, Utf8ToWide(err.empty() ? "The file could not be loaded." : err));
    }
    return nullptr;
  }
  // A start failure reported while the library was being loaded.
  const std::string loaded = Canonical(LoadedFile(module));
  WideString failure;
  bool failed = false;
  {
    auto& f = Failures();
    std::lock_guard g(f.lock);
    auto it = f.byFile.find(loaded);
    if (it != f.byFile.end()) {
      failure = std::move(it->second);
      f.byFile.erase(it);
      failed = true;
    }
  }
  if (failed) {
    dlclose(module);
    Fail(ERROR_DLL_INIT_FAILED, failure);
    return nullptr;
  }
  tLastError = 0;
  return module;
}

bool FreeLibrary(HMODULE module) { return module && dlclose(module) == 0; }

void* GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  void* p = dlsym(module, name);
  if (!p) tLastError = ERROR_PROC_NOT_FOUND;
  return p;
}

HMODULE GetModuleHandle(const std::string& fileName) {
  const std::string path = BesideProgram(fileName);
  HMODULE module = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!module && path != fileName) module = dlopen(fileName.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (module) dlclose(module);  // no new reference: the library stays loaded by its other users
  return module;
}

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

WideString LibraryErrorMessage(DWORD code) {
  if (code == tLastLoadCode && !tLastLoadMessage.empty()) return tLastLoadMessage;
  switch (code) {
    case ERROR_MOD_NOT_FOUND:
      return u"The specified module could not be found.";
    case ERROR_PROC_NOT_FOUND:
      return u"The specified procedure could not be found.";
    case ERROR_BAD_EXE_FORMAT:
      return u"The file is not a valid shared library.";
    case ERROR_DLL_INIT_FAILED:
      return u"A dynamic link library initialization routine failed.";
    default:
      return SysErrorMessage(code);
  }
}

void ReportModuleInitFailure(const void* address, const WideString& message) {
  std::string file = ModuleFileOfAddress(address);
  if (file.empty()) return;
  auto& f = Failures();
  std::lock_guard g(f.lock);
  f.byFile[Canonical(file)] = message;
}

}  // namespace pw
