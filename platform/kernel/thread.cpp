#include "platform/kernel/thread.h"

#include <future>

namespace pw {

class KernelThread::EndSignal final : public WaitableObject {
 public:
  void Signal() {
    std::lock_guard lock(WaitLock());
    ended_ = true;
    NotifyWaitersLocked();
  }
  bool Ended() const {
    std::lock_guard lock(WaitLock());
    return ended_;
  }

 protected:
  bool IsSignaledLocked() const override { return ended_; }

 private:
  bool ended_ = false;
};

KernelThread::KernelThread(std::function<void()> body) : ended_(std::make_shared<EndSignal>()) {
  std::promise<DWORD> started;
  auto id = started.get_future();
  // The thread keeps its end signal alive itself: it may outlive this object when detached. It
  // owns the promise too: this constructor may go on while set_value is still returning.
  thread_ = std::thread([ended = ended_, started = std::move(started), body = std::move(body)]() mutable {
    started.set_value(GetCurrentThreadId());
    body();
    ended->Signal();
  });
  threadId_ = id.get();
}

KernelThread::~KernelThread() { Join(); }

WaitableObject& KernelThread::Handle() { return *ended_; }

bool KernelThread::HasEnded() const { return ended_->Ended(); }

void KernelThread::Join() {
  std::lock_guard g(joinLock_);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace pw
