// Writing a file so that a crash or a full disk never leaves it truncated: the bytes go to a
// new temporary file beside the target, which replaces the target only once it is complete.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw {

// The file that a save of `path` replaces: symbolic links are followed, also a dangling one,
// whose target is then created (up to 40 links; a loop is answered as it is).
std::string ResolveSaveTarget(const std::string& path);

// Refuses, raising EFCreateError, a target that a save by temporary file and rename cannot
// replace without changing what it is: one that is not a regular file, or that has more than
// one hard link (the rename would split them). A missing target is fine.
void CheckReplaceableTarget(const std::string& target);

// Checks, without creating anything, that a missing `target` could be created: its folder
// exists and takes new files. Raises EFCreateError with the system's reason otherwise.
void CheckCreatableTarget(const std::string& target);

// An advisory lock held across a read-modify-write of `target`: an exclusive lock on the lock
// file beside it ("." + name + ".lock", made when missing and removed when the lock is let
// go), so that writers of the same file that take it serialise. Waits for the lock. Where the
// lock file cannot be made (a missing or read-only folder) no lock is held: a save there fails
// on its own, naming the file.
class TcvFileUpdateLock {
 public:
  explicit TcvFileUpdateLock(const std::string& target);
  ~TcvFileUpdateLock();
  TcvFileUpdateLock(const TcvFileUpdateLock&) = delete;
  TcvFileUpdateLock& operator=(const TcvFileUpdateLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  std::string lock_;
  int fd_ = -1;
};

class TcvSafeFileWriter {
 public:
  // Creates the temporary file beside `target` (a UTF-8 path resolved by ResolveSaveTarget, so
  // the file a link names is replaced); while the target exists, only its maker may read the
  // temporary file. Raises EFCreateError "Cannot create file ..." on failure, and for a target
  // that CheckReplaceableTarget refuses.
  explicit TcvSafeFileWriter(std::string target);
  // Without Commit the temporary file is removed and the target stays as it was.
  ~TcvSafeFileWriter();
  TcvSafeFileWriter(const TcvSafeFileWriter&) = delete;
  TcvSafeFileWriter& operator=(const TcvSafeFileWriter&) = delete;

  void Write(std::string_view bytes);
  // Writes out what is buffered, flushes it to the disk and puts the file in place of the
  // target, keeping the target's permissions, owner and group; when the owner or group cannot
  // be kept (a process that may not give files away), the target stays as it was and
  // EFCreateError says so. Raises EFCreateError on any failure.
  void Commit();

  const std::string& Target() const { return target_; }
  const std::string& TempName() const { return temp_; }

 private:
  void Flush();
  [[noreturn]] void Fail(int error);

  std::string target_;
  std::string temp_;
  std::string buffer_;
  int fd_ = -1;
};

}  // namespace pw
