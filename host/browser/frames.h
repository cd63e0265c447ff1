// The engine's wire format: messages are JSON texts, each ended by a NUL byte.
//
// FrameSplitter cuts a byte stream into messages, whatever the chunking of the reads, and
// refuses a message longer than its limit: the bytes up to the next NUL are dropped and the
// caller is told, with the call id when the message starts like an answer. ParseMessage reads a
// message with the engine's one known fault repaired: a lone UTF-16 surrogate escape inside a
// string (which strict JSON readers reject) becomes U+FFFD, so no message is dropped for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw::browser {

// The default limit of one message: large enough for a full-page screenshot of a long page.
inline constexpr std::size_t kDefaultMaxMessageBytes = 256u << 20;

struct Frame {
  std::string text;                // the message without its NUL (empty when oversized)
  bool oversized = false;          // the message exceeded the limit and was dropped
  std::optional<std::int64_t> id;  // for an oversized message: the call it answered, when known
};

class FrameSplitter {
 public:
  explicit FrameSplitter(std::size_t maxMessageBytes = kDefaultMaxMessageBytes) : max_(maxMessageBytes) {}
  // Appends bytes and moves every completed message to `out`.
  void Feed(std::string_view bytes, std::vector<Frame>& out);
  // Bytes of an unfinished message held back.
  std::size_t Pending() const { return buffer_.size(); }

 private:
  std::size_t max_;
  std::string buffer_;
  bool discarding_ = false;
  std::optional<std::int64_t> discardedId_;
};

// The call id at the start of a message text (`{"id":N`), when there is one.
std::optional<std::int64_t> LeadingCallId(std::string_view text);

// Replaces every lone surrogate escape (\uD800-\uDFFF not forming a pair) inside JSON strings
// with \uFFFD; other text is copied unchanged. True when something was replaced.
bool RepairLoneSurrogates(std::string_view text, std::string& out);

// Parses a message, repairing lone surrogates when the plain parse fails. Throws
// nlohmann::json::exception when the text is not JSON even after the repair.
nlohmann::json ParseMessage(std::string_view text);

}  // namespace pw::browser
