// Runs test scripts (JavaScript, on the embedded Duktape engine) the way the host does: the
// script sees the host's runtime objects under their names and calls their members late-bound
// through IDispatch, with IDispatch's results and errors.
//
// Bridging: a JS value becomes a VARIANT (undefined Empty, null Null, booleans, numbers as
// 32-bit integers when they are whole and fit, else doubles, strings, wrapped objects as their
// IDispatch); a VARIANT becomes a JS value the other way round. An object is a proxy: reading
// a member asks for it as a property; a member that is a method (or a property with arguments)
// comes back as a function that calls it. A failed call throws an Error with the callee's
// message (EXCEPINFO) and `number`, the HRESULT.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/com/types.h"

namespace pw::host {

class TRuntimeObjectService;

struct ScriptError {
  std::string fileName;
  std::int32_t line = 0;  // 0 when unknown
  WideString message;
  // "FILE:LINE: MESSAGE"
  std::string Text() const;
};

// What a script may take. A script that runs past its time, or is stopped (Stop, or the
// `shouldStop` question answering true), ends with the error "The script was stopped"; one
// whose heap would grow past `heapBytes` ends with an error saying so, both at the line it had
// reached.
struct ScriptLimits {
  std::uint64_t timeoutMs = 0;  // on the host's clock; 0: no limit
  std::size_t heapBytes = std::size_t{256} << 20;
  std::function<bool()> shouldStop;  // asked while the script runs (its own thread)
};

class ScriptEngine {
 public:
  // The scripts' global objects are the runtime objects registered with the service when a
  // script starts.
  explicit ScriptEngine(TRuntimeObjectService& objects, ScriptLimits limits = {});
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Runs the source; false with the error when it does not compile or throws.
  bool Run(const std::string& fileName, const std::string& source, ScriptError& error);
  // Reads and runs a file (a file that cannot be read is an error without a line).
  bool RunFile(const std::string& fileName, ScriptError& error);
  // Reads a script file and decodes it (UTF-8 with or without mark, UTF-16 with mark) into the
  // UTF-8 source that Run takes; false with an error without a line when it is a folder, cannot
  // be read or is not such text.
  static bool ReadFile(const std::string& fileName, std::string& source, ScriptError& error);
  // Ends the running script at its next check; from any thread, also from a signal handler.
  // The request holds until the run it ends (or the next one) is over.
  void Stop() noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pw::host
