// The line storage: line breaks, ranges, reports batched in brackets, rows and revisions.
#include <gtest/gtest.h>

#include <set>

#include "editor/source/editor_source.h"
#include "editor/text/text_encoding.h"
#include "platform/rtl/strings.h"
#include "stand_in_editor.h"

namespace pw::editor {
namespace {

struct Report {
  std::int32_t from, to;
};

class LineStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.AddNotifier({this, [](void* o, void* s, std::intptr_t) {
                          auto* self = static_cast<LineStorageTest*>(o);
                          auto* src = static_cast<TateEditorSource*>(s);
                          self->reports.push_back({src->ChangedFrom(), src->ChangedTo()});
                        }});
  }
  TateStrings& strings() { return source.Strings(); }
  TateEditorSource source;
  std::vector<Report> reports;
};

TEST_F(LineStorageTest, LineBreaks) {
  struct {
    const char16_t* text;
    std::vector<WideString> lines;
  } cases[] = {
      {u"a\r\nb", {u"a", u"b"}},      {u"a\n", {u"a", u""}}, {u"a\r", {u"a"}},
      {u"a\r\rb", {u"a", u"", u"b"}}, {u"", {u""}},          {u"a\r\n\r\n", {u"a", u"", u""}},
  };
  const auto lines = [&] {
    std::vector<WideString> out;
    for (std::int32_t i = 0; i < strings().GetCount(); ++i) out.push_back(strings().Get(i));
    return out;
  };
  for (const auto& c : cases) {
    strings().SetText(c.text);
    EXPECT_EQ(lines(), c.lines);
    // A UTF-16 file is cut into lines from its bytes: the same lines, an odd last byte left out.
    ASSERT_TRUE(strings().LoadFromBytes(EncodeText(c.text, teUtf16) + "\x41"));
    EXPECT_EQ(lines(), c.lines);
  }
  // Breaks at every offset of the blocks the scan looks at several units at a time, beside
  // characters just above and below CR and LF.
  std::uint32_t seed = 7;
  WideString text;
  std::vector<WideString> expected(1);
  bool afterCr = false;
  for (int i = 0; i < 400; ++i) {
    seed = seed * 1103515245u + 12345u;
    // A lone CR and an empty line's LF would be one break: such lines get a character.
    const int len = static_cast<int>((seed >> 16) % 19) + (afterCr ? 1 : 0);
    for (int k = 0; k < len; ++k) expected.back().push_back(u"\t\x0b\x0c\x0e\x8d\u0d0a\u0a0dx"[(seed >> (k % 8)) % 8]);
    text += expected.back();
    const char16_t* breaks[] = {u"\r\n", u"\n", u"\r"};
    const unsigned b = (seed >> 4) % 3;
    text += breaks[b];
    afterCr = b == 2;
    expected.emplace_back();
  }
  text += u"end";
  expected.back() = u"end";
  strings().SetText(text);
  EXPECT_EQ(lines(), expected);
  ASSERT_TRUE(strings().LoadFromBytes(EncodeText(text, teUtf16)));
  EXPECT_EQ(lines(), expected);

  strings().SetText(u"a\nb");
  EXPECT_EQ(strings().GetText(), u"a\r\nb");
  EXPECT_EQ(strings().GetTextLength(), 6);
}

TEST_F(LineStorageTest, Ranges) {
  strings().SetText(u"one\r\ntwo\r\nthree");
  EXPECT_EQ(strings().GetTextRange(1, 0, 2, 2), u"ne\r\ntwo\r\nth");
  EXPECT_EQ(strings().GetTextRange(2, 2, 1, 0), u"ne\r\ntwo\r\nth");
  EXPECT_EQ(strings().GetTextRange(1, 1, 1, 1), u"");
  EXPECT_EQ(strings().GetTextRange(1, 1, 0, 9), u"wo\r\nthree");
  // Display columns: the tail starts at the character at column X2.
  strings().SetText(u"a\tbc\r\nxyz");
  strings().ReplaceText(4, 0, 5, 0, u"Q");
  EXPECT_EQ(strings().Get(0), u"a\tQc");
  strings().ReplaceText(0, 0, 1, 1, u"1\r\n2\r\n");
  EXPECT_EQ(strings().GetText(), u"1\r\n2\r\nyz");
  TPoint p;
  strings().OffsetToPos(3, p);
  EXPECT_EQ(p, (TPoint{0, 1}));
}

TEST_F(LineStorageTest, ReportsOnceForABracket) {
  strings().SetText(u"a\r\nb\r\nc");
  reports.clear();
  strings().BeginUpdate();
  strings().Put(1, u"x");
  strings().Put(2, u"y");
  strings().EndUpdate(5, 9, true);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].from, 5);
  EXPECT_EQ(reports[0].to, 9);
}

TEST_F(LineStorageTest, IndexErrors) {
  strings().SetText(u"a");
  EXPECT_THROW(strings().Get(1), EStringListError);
  EXPECT_THROW(strings().Put(-1, u"x"), EStringListError);
  EXPECT_THROW(strings().Delete(3), EListError);
  EXPECT_THROW(strings().GetRow(3), EListError);
}

TEST_F(LineStorageTest, RowsShareDefaultDataUntilTheirFirstChange) {
  testing::StandInEditor editor;
  source.SetEditor(&editor);
  strings().Clear();
  auto* source2 = new TateTextSource();
  source2->Lines().SetTextStr(u"x\r\ny");
  strings().SetTextSource(source2);
  ASSERT_EQ(strings().GetCount(), 2);
  EXPECT_EQ(strings().GetRow(0)->LineData, strings().GetRow(1)->LineData);
  strings().Put(0, u"z");
  EXPECT_NE(strings().GetRow(0)->LineData, strings().GetRow(1)->LineData);
  EXPECT_GT(strings().GetRow(0)->GetRevision(), 0);
  EXPECT_EQ(strings().GetRow(1)->GetRevision(), 0);
  EXPECT_EQ(strings().GetRow(1)->GetEntry(5), nullptr);
}

TEST_F(LineStorageTest, EqualsAndAssign) {
  strings().SetText(u"a\r\nb");
  TateEditorSource other;
  other.Strings().Assign(&strings());
  EXPECT_TRUE(other.Strings().Equals(strings()));
  other.Strings().Put(1, u"B");
  EXPECT_FALSE(other.Strings().Equals(strings()));
}

// Lines inserted at once get their rows together; each row still lives and goes on its own:
// rows taken out of the middle and the ends, rows given data of their own, new rows among the
// old, and the rest freed with the text (the sanitizer build checks the memory).
TEST_F(LineStorageTest, RowsMadeTogetherLiveAndGoOneByOne) {
  WideString text;
  for (int i = 0; i < 50; ++i) text += u"line " + IntToWide(i) + u"\r\n";
  ASSERT_TRUE(strings().LoadFromBytes(EncodeText(text, teUtf16)));
  ASSERT_EQ(strings().GetCount(), 51);
  std::set<TateHLRow*> rows;
  for (std::int32_t i = 0; i < strings().GetCount(); ++i) rows.insert(strings().GetRow(i));
  EXPECT_EQ(rows.size(), 51u);
  strings().GetRow(7)->SetRevision(3);
  strings().GetRow(8)->SetData2(5);
  strings().ReplaceText(0, 10, 0, 20, u"");          // ten rows out of the middle
  strings().ReplaceText(0, 0, 0, 2, u"a\r\nb\r\n");  // two out, two new at the top
  strings().Delete(strings().GetCount() - 1);
  ASSERT_EQ(strings().GetCount(), 40);
  EXPECT_EQ(strings().Get(2), u"line 2");
  EXPECT_EQ(strings().Get(10), u"line 20");
  EXPECT_EQ(strings().GetRow(7)->GetRevision(), 3);
  EXPECT_EQ(strings().GetRow(8)->GetData2(), 5);
  for (std::int32_t i = 0; i < strings().GetCount(); ++i) strings().GetRow(i)->Invalidate();
  strings().SetText(u"x\r\ny");
  EXPECT_EQ(strings().GetCount(), 2);
}
}  // namespace
}  // namespace pw::editor
