#include "host/browser/transport.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace pw::browser {

Transport::Transport(int fd, std::size_t maxMessageBytes, FrameHandler onFrame, ClosedHandler onClosed)
    : fd_(fd), maxMessageBytes_(maxMessageBytes), onFrame_(std::move(onFrame)), onClosed_(std::move(onClosed)) {
  reader_ = std::thread([this] { ReadLoop(); });
}

Transport::~Transport() { Close(); }

bool Transport::Send(std::string_view message) {
  std::lock_guard lock(writeLock_);
  if (closing_.load()) return false;
  const char terminator = '\0';
  auto writeAll = [this](const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  };
  return writeAll(message.data(), message.size()) && writeAll(&terminator, 1);
}

void Transport::Close() {
  std::lock_guard lock(closeLock_);
  if (closed_) return;
  closed_ = true;
  {
    std::lock_guard writer(writeLock_);
    closing_.store(true);
  }
  shutdown(fd_, SHUT_RDWR);
  if (reader_.joinable()) reader_.join();
  close(fd_);
  fd_ = -1;
}

void Transport::ReadLoop() {
  FrameSplitter splitter(maxMessageBytes_);
  std::vector<char> buffer(1 << 16);
  std::vector<Frame> frames;
  for (;;) {
    const ssize_t n = read(fd_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    splitter.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), frames);
    for (auto& frame : frames) onFrame_(std::move(frame));
    frames.clear();
  }
  onClosed_();
}

}  // namespace pw::browser
