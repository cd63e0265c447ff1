#include "platform/kernel/shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/rtl/strings.h"

namespace pw {

std::string SharedMemorySystemName(std::u16string_view name) {
  constexpr std::u16string_view kGlobal = u"Global\\";
  std::u16string n;
  if (name.starts_with(kGlobal)) {
    n = u"Global.";
    name.remove_prefix(kGlobal.size());
  }
  for (char16_t c : name) n += (c == u'/' || c == u'\\') ? u'.' : c;
  return "/" + WideToUtf8(n);
}

namespace {

// Opens or makes the object; -1 with errno set when the system refuses.
int OpenExclusive(const std::string& name) { return shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600); }

}  // namespace

std::unique_ptr<TNamedSharedMemory> TNamedSharedMemory::Create(std::u16string_view name, std::size_t size,
                                                               Outcome* outcome, int* error) {
  const std::string system = SharedMemorySystemName(name);
  Outcome result = Outcome::Created;
  auto refuse = [&](int e) {
    if (outcome) *outcome = Outcome::Refused;
    if (error) *error = e;
    return nullptr;
  };
  int fd = OpenExclusive(system);
  if (fd < 0 && errno == EEXIST) {
    // Someone made it: stale when nobody holds its lock.
    const int other = shm_open(system.c_str(), O_RDWR, 0);
    if (other < 0) return refuse(errno);
    const bool free = flock(other, LOCK_EX | LOCK_NB) == 0;
    close(other);
    if (!free) {
      if (outcome) *outcome = Outcome::ExistsLive;
      return nullptr;
    }
    shm_unlink(system.c_str());
    result = Outcome::ReplacedStale;
    fd = OpenExclusive(system);
  }
  if (fd < 0) return refuse(errno);
  // Made but not usable: the object goes again.
  auto discard = [&] {
    const int e = errno;
    close(fd);
    shm_unlink(system.c_str());
    return refuse(e);
  };
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) return discard();
  void* data = size ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : nullptr;
  if (data == MAP_FAILED) return discard();
  if (outcome) *outcome = result;
  return std::unique_ptr<TNamedSharedMemory>(new TNamedSharedMemory(system, fd, data, size));
}

std::unique_ptr<TNamedSharedMemory> TNamedSharedMemory::Open(std::u16string_view name, std::size_t size, int* error) {
  const std::string system = SharedMemorySystemName(name);
  auto fail = [&](int e) {
    if (error) *error = e;
    return nullptr;
  };
  const int fd = shm_open(system.c_str(), O_RDWR, 0);
  if (fd < 0) return fail(errno);
  auto closeAndFail = [&](int e) {
    close(fd);
    return fail(e);
  };
  struct stat st {};
  if (fstat(fd, &st) != 0) return closeAndFail(errno);
  if (static_cast<std::uint64_t>(st.st_size) < size) return closeAndFail(EINVAL);
  void* data = size ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : nullptr;
  if (data == MAP_FAILED) return closeAndFail(errno);
  return std::unique_ptr<TNamedSharedMemory>(new TNamedSharedMemory(system, fd, data, size, false));
}

TNamedSharedMemory::~TNamedSharedMemory() {
  if (data_) munmap(data_, size_);
  if (owner_) shm_unlink(name_.c_str());
  close(fd_);  // releases the lock
}

}  // namespace pw
