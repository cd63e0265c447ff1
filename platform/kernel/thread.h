// A kernel thread whose handle is a waitable object, signalled once the thread's function has
// returned. Threads are never killed: their owner asks them to stop and joins them.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/kernel/kernel.h"

namespace pw {

class KernelThread {
 public:
  // Starts the thread at once.
  explicit KernelThread(std::function<void()> body);
  // Joins the thread (detaches it when the destructor runs on the thread itself).
  ~KernelThread();
  KernelThread(const KernelThread&) = delete;
  KernelThread& operator=(const KernelThread&) = delete;

  DWORD ThreadId() const { return threadId_; }
  // Signalled once the thread's function has returned.
  WaitableObject& Handle();
  bool HasEnded() const;
  // Waits for the end and joins; from the thread itself it only detaches. Safe to call from
  // several threads and more than once.
  void Join();

 private:
  class EndSignal;
  std::shared_ptr<EndSignal> ended_;
  std::mutex joinLock_;
  std::thread thread_;
  DWORD threadId_ = 0;
};

}  // namespace pw
