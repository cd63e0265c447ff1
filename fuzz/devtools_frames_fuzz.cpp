// The engine's wire format: cut the bytes into messages in chunks whose sizes come from the
// input, and as one piece: the same messages. Each message is read with the surrogate repair:
// it either parses or fails with a JSON error; a repaired text has nothing left to repair.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/browser/frames.h"

using namespace pw::browser;

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "devtools_frames_fuzz: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the chunk size and the message limit.
  const std::size_t chunk = 1 + data[0] % 17;
  const std::size_t limit = 16 + data[0] * 8;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  FrameSplitter whole(limit);
  std::vector<Frame> one;
  whole.Feed(bytes, one);
  FrameSplitter pieces(limit);
  std::vector<Frame> many;
  for (std::size_t i = 0; i < bytes.size(); i += chunk) pieces.Feed(std::string_view(bytes).substr(i, chunk), many);
  Check(one.size() == many.size(), "chunking changed the number of messages");
  Check(whole.Pending() == pieces.Pending(), "chunking changed what is held back");
  for (std::size_t i = 0; i < one.size(); ++i) {
    Check(one[i].text == many[i].text && one[i].oversized == many[i].oversized && one[i].id == many[i].id,
          "chunking changed a message");
    Check(one[i].oversized || one[i].text.size() <= limit, "a message over the limit was kept");
    Check(one[i].text.find('\0') == std::string::npos, "a message holds its terminator");
  }

  for (const Frame& frame : one) {
    std::string repaired;
    RepairLoneSurrogates(frame.text, repaired);
    std::string again;
    Check(!RepairLoneSurrogates(repaired, again) && again == repaired, "a repaired text needs repair again");
    try {
      (void)ParseMessage(frame.text);
    } catch (const nlohmann::json::exception&) {
    }
  }
  return 0;
}
