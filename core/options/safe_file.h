// Writing a file so that a crash or a full disk never leaves it truncated: the bytes go to a
// new temporary file beside the target, which replaces the target only once it is complete.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw {

class TcvSafeFileWriter {
 public:
  // Creates the temporary file beside `target` (a UTF-8 path; a symbolic link is followed, so
  // the file it names is replaced). Raises EFCreateError "Cannot create file ..." on failure.
  explicit TcvSafeFileWriter(std::string target);
  // Without Commit the temporary file is removed and the target stays as it was.
  ~TcvSafeFileWriter();
  TcvSafeFileWriter(const TcvSafeFileWriter&) = delete;
  TcvSafeFileWriter& operator=(const TcvSafeFileWriter&) = delete;

  void Write(std::string_view bytes);
  // Writes out what is buffered, flushes it to the disk and puts the file in place of the
  // target (keeping the target's permissions). Raises EFCreateError on failure.
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
