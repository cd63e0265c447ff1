// What every service of one test host shares: how the host runs and where its output goes.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/com/types.h"

namespace pw::host {

// IcvBaseManager::GetHostMode values.
inline constexpr std::int32_t kHostInteractive = 0;
inline constexpr std::int32_t kHostWithoutDialogs = 3;

class HostConfig {
 public:
  std::int32_t Mode() const { return mode_.load(); }
  void SetMode(std::int32_t mode) { mode_.store(mode); }
  bool Interactive() const { return Mode() == kHostInteractive; }

  // Where the host prints what it shows (log entries, messages, raised events); nothing when
  // unset. Lines come from any thread (events are raised on worker threads); they reach the
  // printer one at a time, whole.
  using Printer = std::function<void(const WideString& line)>;
  void SetPrinter(Printer printer) {
    std::lock_guard guard(lock_);
    printer_ = std::move(printer);
  }
  void Print(const WideString& line) const {
    Printer p;
    {
      std::lock_guard guard(lock_);
      p = printer_;
    }
    if (!p) return;
    std::lock_guard printing(printing_);
    p(line);
  }

 private:
  std::atomic<std::int32_t> mode_{kHostInteractive};
  mutable std::mutex lock_;
  mutable std::recursive_mutex printing_;  // a printer that prints again does not wait for itself
  Printer printer_;
};

}  // namespace pw::host
