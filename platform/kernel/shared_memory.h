// Named shared memory over POSIX shm_open/mmap, with the ownership rules a named kernel object
// needs here: shared objects outlive their creator on this system, so the creator makes the
// object exclusively (mode 0600), holds a lock on it for its life and unlinks it when it is
// destroyed. An object of the same name whose creator is gone (no lock held) is stale and is
// replaced; one whose creator lives is left alone and reported.
//
// Open maps an object that someone else made (as a reader or writer of its contents): it neither
// owns nor unlinks it.
//
// Names: "Global\X" becomes "/Global.X", any other name "/" followed by the name; "/" and "\"
// inside a name become ".". The name is UTF-8 on the way to the system.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace pw {

std::string SharedMemorySystemName(std::u16string_view name);

class TNamedSharedMemory {
 public:
  enum class Outcome {
    Created,        // new, this object its creator
    ReplacedStale,  // an object left by a dead creator was unlinked and made anew
    ExistsLive,     // a living creator holds the name: nothing made
    Refused,        // the system refused (errno kept in Error())
  };

  // Creates the object with `size` bytes (zero-filled). Nil unless the outcome is Created or
  // ReplacedStale.
  static std::unique_ptr<TNamedSharedMemory> Create(std::u16string_view name, std::size_t size, Outcome* outcome,
                                                    int* error = nullptr);
  // Maps the first `size` bytes of an existing object for reading and writing. Nil with the
  // errno kept in *error when there is none (ENOENT), when the object is smaller than `size`
  // (EINVAL: touching past its end would fault) or when the system refuses.
  static std::unique_ptr<TNamedSharedMemory> Open(std::u16string_view name, std::size_t size, int* error = nullptr);
  ~TNamedSharedMemory();
  TNamedSharedMemory(const TNamedSharedMemory&) = delete;
  TNamedSharedMemory& operator=(const TNamedSharedMemory&) = delete;

  void* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  const std::string& SystemName() const { return name_; }

 private:
  TNamedSharedMemory(std::string name, int fd, void* data, std::size_t size, bool owner = true)
      : name_(std::move(name)), fd_(fd), data_(data), size_(size), owner_(owner) {}
  std::string name_;
  int fd_;
  void* data_;
  std::size_t size_;
  bool owner_;
};

}  // namespace pw
