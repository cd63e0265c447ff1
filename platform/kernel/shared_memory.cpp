#include "platform/kernel/shared_memory.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <thread>

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

bool TNamedSharedMemory::Write(std::size_t offset, std::span<const std::uint8_t> bytes) {
  if (offset > size_ || bytes.size() > size_ - offset) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {
// Where the system keeps the objects that shm_open makes.
constexpr char kSharedMemoryFolder[] = "/dev/shm";
}  // namespace

TSharedMemoryWatch::TSharedMemoryWatch() {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  if (inotify_add_watch(fd_, kSharedMemoryFolder, IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_DELETE | IN_MOVED_TO) < 0) {
    close(fd_);
    fd_ = -1;
  }
}

TSharedMemoryWatch::~TSharedMemoryWatch() {
  if (fd_ >= 0) close(fd_);
}

bool TSharedMemoryWatch::Wait(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  if (fd_ < 0) {
    std::this_thread::sleep_until(deadline);  // nothing can be told: the time passes
    return false;
  }
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    // Drain what came together: one wake-up for all of it.
    alignas(inotify_event) char buffer[4096];
    while (read(fd_, buffer, sizeof buffer) > 0) {
    }
    return true;
  }
}

TNamedSharedMemory::~TNamedSharedMemory() {
  if (data_) munmap(data_, size_);
  if (owner_) shm_unlink(name_.c_str());
  close(fd_);  // releases the lock
}

}  // namespace pw
