#include "core/platform_utils.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/kernel/processes.h"

#include "platform/kernel/kernel.h"
#include "platform/rtl/strings.h"

namespace pw {

SecurityAttributes* GetGlobalSecurityAttributes() { return nullptr; }

std::string MakeGlobalObjectName(WideStringView name, bool perSession) {
  static constexpr std::string_view kGlobal = "Global\\";
  std::string result = WideToUtf8(name);
  if (!result.starts_with(kGlobal)) result.insert(0, kGlobal);
  if (perSession) result += "_" + std::to_string(GetProcessSessionId(GetCurrentProcessId()));
  return result;
}

std::int32_t GetProcessSessionId(DWORD processId) {
  if (processId == 0) return -1;  // no process has id 0 (getsid would answer the caller's session)
  const pid_t sid = ::getsid(static_cast<pid_t>(processId));
  return sid < 0 ? -1 : static_cast<std::int32_t>(sid);
}

bool WideCopyFile(WideStringView source, WideStringView target, bool failIfExists) {
  namespace fs = std::filesystem;
  // A zero character would end a name early, so another file would be read or replaced.
  if (source.find(u'\0') != WideStringView::npos || target.find(u'\0') != WideStringView::npos) {
    errno = EINVAL;
    return false;
  }
  std::error_code ec;
  const auto options = failIfExists ? fs::copy_options::none : fs::copy_options::overwrite_existing;
  const bool copied = fs::copy_file(fs::path(WideToUtf8(source)), fs::path(WideToUtf8(target)), options, ec);
  if (ec) {
    errno = ec.value();
    return false;
  }
  return copied;
}

std::int32_t WidePosEx(WideStringView sub, WideStringView s, std::int32_t offset) {
  if (sub.empty() || offset < 1 || static_cast<std::size_t>(offset) > s.size()) return 0;
  const std::size_t found = s.find(sub, static_cast<std::size_t>(offset - 1));
  return found == WideStringView::npos ? 0 : static_cast<std::int32_t>(found + 1);
}

bool WideMatchesMask(WideStringView mask, WideStringView text) {
  const std::size_t maskLength = mask.size(), textLength = text.size();
  std::size_t m = 0, t = 0;
  // Where to resume after the most recent lone "*": the mask after it, and the first text
  // position it has not yet absorbed.
  std::size_t starMask = WideStringView::npos, starText = 0;
  for (;;) {
    bool matched = false;
    if (m < maskLength) {
      const char16_t c = mask[m];
      if (c == u'*' && m + 1 < maskLength && mask[m + 1] == u'*') {
        if (t < textLength && text[t] == u'*') {
          m += 2;
          ++t;
          matched = true;
        }
      } else if (c == u'*') {
        starMask = ++m;
        starText = t;
        matched = true;
      } else if (c == u'?') {
        ++m;
        if (t < textLength) ++t;  // at the end of the text "?" matches nothing
        matched = true;
      } else if (t < textLength && text[t] == c) {
        ++m;
        ++t;
        matched = true;
      }
    } else if (t == textLength) {
      return true;
    }
    if (matched) continue;
    // Let the most recent "*" absorb one more character and try again from there.
    if (starMask == WideStringView::npos || starText >= textLength) return false;
    m = starMask;
    t = ++starText;
  }
}

namespace {

// The count and the window system's call change together, so an unlock can never overtake the
// lock it ends.
std::mutex gWindowUpdateLock;
std::int32_t gWindowUpdateLocks = 0;

}  // namespace

void BeginLockWindowUpdate(HWND wnd) {
  std::lock_guard lock(gWindowUpdateLock);
  if (++gWindowUpdateLocks == 1) LockWindowUpdate(wnd);
}

void EndLockWindowUpdate() {
  std::lock_guard lock(gWindowUpdateLock);
  if (gWindowUpdateLocks <= 0) return;
  if (--gWindowUpdateLocks == 0) LockWindowUpdate(0);
}

std::int32_t WindowUpdateLockCount() {
  std::lock_guard lock(gWindowUpdateLock);
  return gWindowUpdateLocks;
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* buffer, std::int32_t length) {
  if (length < 1) return crc;
  // zlib inverts before and after; this value carries no inversion, so undo both.
  const auto* p = static_cast<const Bytef*>(buffer);
  return ~static_cast<std::uint32_t>(::crc32(~crc, p, static_cast<uInt>(length)));
}

WideString WideGetClassName(HWND wnd) { return GetWindowClassName(wnd); }

void ProcessPaintMessages() { DispatchPaintMessages(); }

}  // namespace pw
