#include "host/browser/frames.h"

#include <cstring>

namespace pw::browser {

void FrameSplitter::Feed(std::string_view bytes, std::vector<Frame>& out) {
  while (!bytes.empty()) {
    const std::size_t nul = bytes.find('\0');
    const std::string_view part = bytes.substr(0, nul);
    if (discarding_) {
      if (nul == std::string_view::npos) return;
      Frame frame;
      frame.oversized = true;
      frame.id = discardedId_;
      out.push_back(std::move(frame));
      discarding_ = false;
      discardedId_.reset();
      bytes.remove_prefix(nul + 1);
      continue;
    }
    if (buffer_.size() + part.size() > max_) {
      // Keep enough of the start to name the call, then drop the rest up to the next NUL.
      std::string head = buffer_;
      head.append(part.substr(0, std::min<std::size_t>(part.size(), 64)));
      discardedId_ = LeadingCallId(head);
      buffer_.clear();
      buffer_.shrink_to_fit();
      discarding_ = true;
      bytes.remove_prefix(part.size());
      continue;
    }
    if (nul == std::string_view::npos) {
      buffer_.append(part);
      return;
    }
    Frame frame;
    if (buffer_.empty()) {
      frame.text.assign(part);
    } else {
      buffer_.append(part);
      frame.text = std::move(buffer_);
      buffer_.clear();
    }
    out.push_back(std::move(frame));
    bytes.remove_prefix(nul + 1);
  }
}

std::optional<std::int64_t> LeadingCallId(std::string_view text) {
  constexpr std::string_view prefix = "{\"id\":";
  if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
  text.remove_prefix(prefix.size());
  std::int64_t id = 0;
  std::size_t digits = 0;
  while (digits < text.size() && digits < 18 && text[digits] >= '0' && text[digits] <= '9') {
    id = id * 10 + (text[digits] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return id;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of a \uXXXX escape starting at text[i] (the backslash), or -1.
int EscapedUnit(std::string_view text, std::size_t i) {
  if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return -1;
  int value = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    const int h = HexValue(text[k]);
    if (h < 0) return -1;
    value = value * 16 + h;
  }
  return value;
}

}  // namespace

bool RepairLoneSurrogates(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  bool inString = false;
  bool replaced = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (!inString) {
      if (c == '"') inString = true;
      out.push_back(c);
      ++i;
      continue;
    }
    if (c == '"') {
      inString = false;
      out.push_back(c);
      ++i;
      continue;
    }
    if (c != '\\') {
      out.push_back(c);
      ++i;
      continue;
    }
    const int unit = EscapedUnit(text, i);
    if (unit < 0) {
      // Another escape (or a broken one): copy the backslash and the escaped character.
      out.append(text.substr(i, std::min<std::size_t>(2, text.size() - i)));
      i += 2;
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const int next = EscapedUnit(text, i + 6);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        out.append(text.substr(i, 12));
        i += 12;
        continue;
      }
      out.append("\\uFFFD");
      replaced = true;
      i += 6;
      continue;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      out.append("\\uFFFD");
      replaced = true;
      i += 6;
      continue;
    }
    out.append(text.substr(i, 6));
    i += 6;
  }
  return replaced;
}

nlohmann::json ParseMessage(std::string_view text) {
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error&) {
    std::string repaired;
    if (!RepairLoneSurrogates(text, repaired)) throw;
    return nlohmann::json::parse(repaired);
  }
}

}  // namespace pw::browser
