// The runtime's exception classes: every exception of the module derives from Exception,
// whose message is a wide string.
#pragma once

#include <exception>
#include <string>

#include "platform/com/types.h"

namespace pw {

class Exception : public std::exception {
 public:
  explicit Exception(WideString message);
  const WideString& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }
  // Help context number shown with the message (0 when none).
  int HelpContext() const noexcept { return helpContext_; }
  void SetHelpContext(int ctx) noexcept { helpContext_ = ctx; }

 private:
  WideString message_;
  std::string utf8_;
  int helpContext_ = 0;
};

// An operating-system error with its error code (RaiseLastOSError, RaiseOSError).
class EOSError : public Exception {
 public:
  EOSError(WideString message, DWORD code) : Exception(std::move(message)), code_(code) {}
  DWORD ErrorCode() const noexcept { return code_; }

 private:
  DWORD code_;
};

// A failure code of a COM call (OleCheck).
class EOleSysError : public Exception {
 public:
  EOleSysError(WideString message, HRESULT code) : Exception(std::move(message)), code_(code) {}
  HRESULT ErrorCode() const noexcept { return code_; }

 private:
  HRESULT code_;
};

// A failure code with the callee's error information (source, help file, help context).
class EOleException : public EOleSysError {
 public:
  EOleException(WideString message, HRESULT code, WideString source, WideString helpFile, int helpContext)
      : EOleSysError(std::move(message), code), source_(std::move(source)), helpFile_(std::move(helpFile)) {
    SetHelpContext(helpContext);
  }
  const WideString& Source() const noexcept { return source_; }
  const WideString& HelpFile() const noexcept { return helpFile_; }

 private:
  WideString source_, helpFile_;
};

class EInvalidPointer : public Exception {
 public:
  EInvalidPointer() : Exception(u"Invalid pointer operation") {}
};

class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception(u"Out of memory") {}
};

// An interface cast that the object does not support.
class EIntfCastError : public Exception {
 public:
  EIntfCastError() : Exception(u"Interface not supported") {}
};

class EInvalidCast : public Exception {
 public:
  EInvalidCast() : Exception(u"Invalid class typecast") {}
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The system's text for an error code: strerror for POSIX codes, the HRESULT's own text for
// the codes of this layer.
WideString SysErrorMessage(DWORD code);
WideString HResultMessage(HRESULT hr);

// Raises EOSError for `code` ("System Error.  Code: %d.\n%s", as the runtime formats it).
[[noreturn]] void RaiseOSError(DWORD code);
// Raises EOSError for errno.
[[noreturn]] void RaiseLastOSError();
// Raises EOleSysError when hr is a failure; returns hr otherwise.
HRESULT OleCheck(HRESULT hr);
[[noreturn]] void OleError(HRESULT hr);

}  // namespace pw
