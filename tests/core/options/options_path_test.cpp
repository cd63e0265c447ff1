#include "core/options/options_path.h"

#include <gtest/gtest.h>

#include "core/options/options_xml_storage.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

std::string Joined(const std::vector<WideString>& names) {
  std::string out;
  for (const WideString& n : names) out += (out.empty() ? "" : "|") + WideToUtf8(n);
  return out;
}

TEST(OptionsPath, SplitsOnUnescapedSlashesAndResolvesEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"Settings/Count", "Settings|Count"},
      {"/Flag", "Flag"},
      {"A\\/B/x", "A/B|x"},
      {"a\\\\b/c\\td\\ne\\r", "a\\b|c\td\ne\r"},
      {"x\\x01y/\\x1F\\x41",
       "x\x01y|\x1F"
       "A"},
      {"trailing\\", "trailing\\"},
      {"\xC3\xA9/\xE4\xB8\xAD", "\xC3\xA9|\xE4\xB8\xAD"},
  };
  for (const auto& [path, names] : cases) EXPECT_EQ(Joined(SplitOptionsPath(path)), names) << path;
}

// A name printed into a path splits back to the same name, control characters included.
TEST(OptionsPath, PrintedNamesSplitBackToThemselves) {
  const std::vector<WideString> names = {u"a/b",
                                         u"back\\slash",
                                         u"tab\there",
                                         u"\x01\x1F"
                                         u"x",
                                         u"\u00E9\U0001F600",
                                         u"quote\"d"};
  std::string path;
  for (const WideString& n : names) path += (path.empty() ? "" : "/") + EscapeOptionsText(n, true);
  EXPECT_EQ(path, "a\\/b/back\\\\slash/tab\\there/\\x01\\x1Fx/\xC3\xA9\xF0\x9F\x98\x80/quote\"d");
  EXPECT_EQ(SplitOptionsPath(path), names);
  EXPECT_EQ(EscapeOptionsText(u"say \"a/b\"", false), "say \\\"a/b\\\"");
}

TEST(OptionsPath, BadPathsAreRefusedWithTheReason) {
  const std::string deep = [] {
    std::string s;
    for (int i = 0; i < kMaxOptionsNodeDepth; ++i) s += "n/";
    return s + "p";
  }();
  const std::pair<std::string, std::string> cases[] = {
      {"", "has an empty name in it"},
      {"a//b", "has an empty name in it"},
      {"a/", "has an empty name in it"},
      {"a\\x4", "without two hexadecimal digits"},
      {"a\\xC3", "without two hexadecimal digits"},
      {"bad\xFFutf8", "a name in the path is not valid UTF-8 text"},
      {std::string(kMaxOptionsNameLength + 1, 'x'), "a name in the path is longer than 255 characters"},
      {deep, "nested more than 1000 levels deep"},
  };
  for (const auto& [path, reason] : cases) {
    try {
      SplitOptionsPath(path);
      ADD_FAILURE() << "accepted " << path.substr(0, 40);
    } catch (const EcvOptionsPathError& e) {
      EXPECT_NE(WideToUtf8(e.Message()).find(reason), std::string::npos) << WideToUtf8(e.Message());
    }
  }
  // The deepest path that a file can hold: 999 nodes below the root and the property.
  EXPECT_EQ(SplitOptionsPath(deep.substr(2)).size(), static_cast<std::size_t>(kMaxOptionsNodeDepth));
}

}  // namespace
}  // namespace pw
