// The one error type of the browser client: what failed and, for the engine's own errors, its
// code. Messages are whole sentences meant for the test log.
#pragma once

#include <stdexcept>
#include <string>

namespace pw::browser {

enum class ErrorKind {
  Closed,       // the engine has closed (or was never started): "The browser has closed"
  Timeout,      // no answer before the call's deadline
  Protocol,     // the engine answered with an error
  Script,       // a script threw; the message is its text
  StaleObject,  // the object belonged to a document that is gone: "The object no longer exists"
  Dialog,       // a dialog of the page is open and blocks the page
  Login,        // a login of the page's document is open: the engine holds the page's calls
  TooLarge,     // the answer exceeded the message limit
  Malformed,    // the answer was not JSON
  Launch,       // the engine could not be started
  Navigation,   // a navigation failed (the engine's error text)
};

class BrowserError : public std::runtime_error {
 public:
  BrowserError(ErrorKind kind, const std::string& message, int code = 0)
      : std::runtime_error(message), kind_(kind), code_(code) {}
  ErrorKind Kind() const { return kind_; }
  int Code() const { return code_; }

 private:
  ErrorKind kind_;
  int code_;
};

inline constexpr const char* kClosedMessage = "The browser has closed";
inline constexpr const char* kStaleObjectMessage = "The object no longer exists";

}  // namespace pw::browser
