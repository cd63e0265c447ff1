#include "platform/kernel/library.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/kernel/modules.h"
#include "platform/rtl/exceptions.h"
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

// Why the ELF file's headers do not fit the file (a truncated or damaged copy, which the system
// loader would map past its end and fault on), or empty when they fit or the file is no ELF
// file at all (the loader says what is wrong with that).
std::string DamagedLibraryReason(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::string reason;
  struct stat st {};
  Elf64_Ehdr header{};
  if (::fstat(fd, &st) != 0) {
    reason = {};
  } else if (!S_ISREG(st.st_mode)) {
    reason = "it is not a regular file";
  } else if (::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    reason = std::memcmp(&header, ELFMAG, SELFMAG) == 0 ? "it breaks off inside its ELF header" : "";
  } else if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t programEnd = header.e_phoff + static_cast<std::uint64_t>(header.e_phnum) * header.e_phentsize;
    const std::uint64_t sectionEnd = header.e_shoff + static_cast<std::uint64_t>(header.e_shnum) * header.e_shentsize;
    if (header.e_phentsize != sizeof(Elf64_Phdr) || programEnd > size) {
      reason = "its program headers lie beyond its end";
    } else if (header.e_shoff != 0 && sectionEnd > size) {
      reason = "its section headers lie beyond its end";
    } else {
      for (std::uint16_t i = 0; i < header.e_phnum && reason.empty(); ++i) {
        Elf64_Phdr segment{};
        if (::pread(fd, &segment, sizeof segment, static_cast<off_t>(header.e_phoff + i * sizeof segment)) !=
            static_cast<ssize_t>(sizeof segment))
          reason = "its program headers cannot be read";
        else if (segment.p_type != PT_NULL && segment.p_offset + segment.p_filesz > size)
          reason = "its segments need " + std::to_string(segment.p_offset + segment.p_filesz) +
                   " bytes, but it holds only " + std::to_string(size);
      }
    }
  }
  ::close(fd);
  return reason;
}

}  // namespace

HMODULE LoadLibrary(const std::string& fileName) {
  const std::string path = BesideProgram(fileName);
  if (path.find('/') != std::string::npos) {
    const std::string damaged = DamagedLibraryReason(path);
    if (!damaged.empty()) {
      Fail(ERROR_BAD_EXE_FORMAT, Utf8ToWide("The file " + path + " is damaged: " + damaged + "."));
      return nullptr;
    }
  }
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
