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
//
// Writes into the mapping (Data()) are plain memory writes that nobody is told of; Write goes
// through the object's descriptor, so a TSharedMemoryWatch wakes up. A writer that publishes
// something writes the part that tells a reader it is complete last, with Write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
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
  // Writes the bytes at the offset through the descriptor (the mapping sees them at once);
  // false, nothing written, when they do not fit in Size() or the system refuses.
  bool Write(std::size_t offset, std::span<const std::uint8_t> bytes);
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

// Tells of changes of the named shared memory objects of this machine: one made, written with
// Write, resized or removed (any name: the reader looks again at what it waits for). Made before
// the first look, so that no change between that look and the wait is missed. Over inotify on
// the folder the system keeps the objects in; where that cannot be watched, Wait tells nothing
// and returns false when the time is up.
class TSharedMemoryWatch {
 public:
  TSharedMemoryWatch();
  ~TSharedMemoryWatch();
  TSharedMemoryWatch(const TSharedMemoryWatch&) = delete;
  TSharedMemoryWatch& operator=(const TSharedMemoryWatch&) = delete;

  // Whether changes are told at all.
  bool Watching() const { return fd_ >= 0; }
  // Waits until an object changed since the last wait (or the watch was made): true; false when
  // the time passed first. Changes that came together are told once.
  bool Wait(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

}  // namespace pw
