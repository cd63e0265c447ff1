// The RTF tokenizer: token kinds and texts, the word tables and the unit conversions.
#include "editor/rtf/rtf_parser.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/rtl/strings.h"

namespace pw::editor {
namespace {

std::string Tokens(WideStringView text) {
  TateRTF_Parser p;
  p.Lines().SetTextStr(text);
  p.Reset();
  std::string out;
  while (TateSyntaxStyle* s = p.NextToken()) {
    if (!out.empty()) out += ' ';
    out += std::to_string(s->TokenKind) + "[" + WideToUtf8(p.TokenText()) + "]";
  }
  return out;
}

TEST(RtfParser, Tokens) {
  struct {
    const char16_t* text;
    const char* tokens;
  } cases[] = {
      {u"{\\b bold}", "1[{] 4[\\b] 3[ bold] 2[}]"},
      {u"\\par\\pard", "4[\\par] 4[\\pard]"},
      {u"\\'e9t x", "4[\\'e9t] 3[ x]"},
      {u"a\\\\b\\{c\\}d|e", "3[a\\\\b\\{c\\}d|e]"},
      {u"|x", "3[|] 3[x]"},
      {u"\\\\x\\fs20 y", "3[\\\\x] 4[\\fs20] 3[ y]"},
      {u"\\*\\pn-1", "4[\\*] 4[\\pn-1]"},
      {u"ab\r\ncd}", "3[ab] 3[cd] 2[}]"},
      {u"x\\", "3[x] 3[\\]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << WideToUtf8(c.text);
}

TEST(RtfParser, WordTablesAndUnits) {
  EXPECT_TRUE(std::is_sorted(kRtfControlWords.begin(), kRtfControlWords.end()));
  EXPECT_TRUE(std::is_sorted(kRtfPictureWords.begin(), kRtfPictureWords.end()));
  EXPECT_EQ(RtfControlCode("author"), 0);
  EXPECT_EQ(RtfControlCode("par"), 26);
  EXPECT_EQ(RtfControlCode("v"), 55);
  EXPECT_EQ(RtfControlCode("nope"), -1);
  EXPECT_EQ(RtfPictureCode("wmetafile"), 12);
  EXPECT_EQ(PixelsToTwips(100), 1500);
  EXPECT_EQ(PixelsToTwips(1), 16);
  EXPECT_EQ(TwipsToPixels(1500), 100);
  EXPECT_EQ(PixelsToTwips(std::int64_t{1} << 40), 2147483647);
  EXPECT_EQ(TwipsToPixels(-(std::int64_t{1} << 50)), -2147483647 - 1);
}

}  // namespace
}  // namespace pw::editor
