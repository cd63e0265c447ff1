// The pipe to the engine: a socket descriptor, writes under a lock, one reader thread.
//
// Send writes a whole message and its NUL under the write lock (MSG_NOSIGNAL: a closed peer is
// an error, never a signal). The reader thread splits what it reads into frames and hands
// each to `onFrame`; at end of file (or a read error) it calls `onClosed` once and stops.
// Close shuts the socket down, joins the reader and only then closes the descriptor, so no
// other thread ever reads or writes a descriptor number that may have been reused.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "host/browser/frames.h"

namespace pw::browser {

class Transport {
 public:
  using FrameHandler = std::function<void(Frame&&)>;
  using ClosedHandler = std::function<void()>;

  // Takes over `fd`; the reader starts at once.
  Transport(int fd, std::size_t maxMessageBytes, FrameHandler onFrame, ClosedHandler onClosed);
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // False when the pipe is closed (nothing or only part was written then).
  bool Send(std::string_view message);
  // Idempotent; must not be called from the reader's handlers.
  void Close();

 private:
  void ReadLoop();

  int fd_;
  std::size_t maxMessageBytes_;
  FrameHandler onFrame_;
  ClosedHandler onClosed_;
  std::mutex writeLock_;
  std::mutex closeLock_;
  std::atomic<bool> closing_{false};
  bool closed_ = false;
  std::thread reader_;
};

}  // namespace pw::browser
