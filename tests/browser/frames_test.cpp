#include "host/browser/frames.h"

#include <gtest/gtest.h>

namespace pw::browser {
namespace {

std::vector<Frame> FeedInChunks(FrameSplitter& splitter, const std::string& bytes, std::size_t chunk) {
  std::vector<Frame> frames;
  for (std::size_t i = 0; i < bytes.size(); i += chunk) splitter.Feed(std::string_view(bytes).substr(i, chunk), frames);
  return frames;
}

TEST(FrameSplitter, CutsMessagesWhateverTheChunking) {
  const std::string stream = std::string("{\"a\":1}") + '\0' + std::string("{}") + '\0' + std::string("") + '\0' +
                             std::string("{\"b\":\"xyz\"}") + '\0' + "{\"rest";
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
    SCOPED_TRACE(chunk);
    FrameSplitter splitter;
    const auto frames = FeedInChunks(splitter, stream, chunk);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].text, "{\"a\":1}");
    EXPECT_EQ(frames[1].text, "{}");
    EXPECT_EQ(frames[2].text, "");
    EXPECT_EQ(frames[3].text, "{\"b\":\"xyz\"}");
    EXPECT_EQ(splitter.Pending(), 6u);
  }
}

TEST(FrameSplitter, DropsAnOversizedMessageAndGoesOnAfterItsEnd) {
  const std::string big = "{\"id\":42,\"result\":\"" + std::string(100, 'x') + "\"}";
  const std::string stream = big + '\0' + "{\"ok\":1}" + '\0' + "{\"method\":\"" + std::string(100, 'y') + '\0';
  for (std::size_t chunk : {1u, 5u, 1000u}) {
    SCOPED_TRACE(chunk);
    FrameSplitter splitter(40);
    const auto frames = FeedInChunks(splitter, stream, chunk);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(frames[0].oversized);
    EXPECT_EQ(frames[0].id, 42);
    EXPECT_FALSE(frames[1].oversized);
    EXPECT_EQ(frames[1].text, "{\"ok\":1}");
    EXPECT_TRUE(frames[2].oversized);
    EXPECT_FALSE(frames[2].id.has_value());
    EXPECT_EQ(splitter.Pending(), 0u);
  }
}

TEST(LeadingCallId, ReadsOnlyAnAnswersLeadingId) {
  EXPECT_EQ(LeadingCallId("{\"id\":17,\"result\":{}}"), 17);
  EXPECT_EQ(LeadingCallId("{\"id\":0"), 0);
  EXPECT_FALSE(LeadingCallId("{\"method\":\"x\",\"id\":3}"));
  EXPECT_FALSE(LeadingCallId("{\"id\":\"3\"}"));
  EXPECT_FALSE(LeadingCallId(""));
}

TEST(RepairLoneSurrogates, ReplacesOnlyLoneSurrogatesInsideStrings) {
  struct Case {
    std::string in, out;
    bool replaced;
  };
  const Case cases[] = {
      {R"({"a":"\ud800"})", R"({"a":"\uFFFD"})", true},
      {R"({"a":"x\udc00y"})", R"({"a":"x\uFFFDy"})", true},
      {R"({"a":"\ud83d\ude00"})", R"({"a":"\ud83d\ude00"})", false},             // a pair stays
      {R"({"a":"\ud83d\ud83d\ude00"})", R"({"a":"\uFFFD\ud83d\ude00"})", true},  // lone, then a pair
      {R"({"a":"\\ud800"})", R"({"a":"\\ud800"})", false},                       // an escaped backslash
      {R"({"a":"\u0041\n\""})", R"({"a":"\u0041\n\""})", false},
      {R"({"a":"\ud800)", R"({"a":"\uFFFD)", true},  // unterminated: still repaired
      {R"({"\udfff":1})", R"({"\uFFFD":1})", true},  // keys too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string out;
    EXPECT_EQ(RepairLoneSurrogates(c.in, out), c.replaced);
    EXPECT_EQ(out, c.out);
  }
}

TEST(ParseMessage, RepairsLoneSurrogatesAndRefusesWhatIsNoJson) {
  EXPECT_EQ(ParseMessage(R"({"v":"a\ud800b"})")["v"].get<std::string>(),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ParseMessage(R"({"v":"\ud83d\ude00"})")["v"].get<std::string>(), "\xF0\x9F\x98\x80");
  EXPECT_THROW(ParseMessage("{\"v\":"), nlohmann::json::exception);
  EXPECT_THROW(ParseMessage("{\"v\":\"\\ud800\""), nlohmann::json::exception);
}

}  // namespace
}  // namespace pw::browser
