// The word-wrap row index: order, look-up, both conversions, and the bookkeeping after edits.
#include <gtest/gtest.h>

#include "editor/control/wrap_list.h"

namespace pw::editor {
namespace {

// Line 0 in two rows (columns 0..9, 10..end), line 1 in one, line 3 in three (0..9, 10..19,
// 20..end), line 2 none. The end argument is the 1-based position of the next row's first
// character.
void Fill(TateWrapList& w) {
  w.AddRow(3, 21, 10);
  w.AddRow(0, 11, 0);
  w.AddRow(3, MaxInt, 20);
  w.AddRow(1, MaxInt, 0);
  w.AddRow(0, MaxInt, 10);
  w.AddRow(3, 11, 0);
}

TEST(WrapListTest, RowsInOrder) {
  TateWrapList w;
  Fill(w);
  ASSERT_EQ(w.GetCount(), 6);
  const std::int32_t expected[][3] = {{0, 10, 0}, {0, MaxInt, 10}, {1, MaxInt, 0},
                                      {3, 10, 0}, {3, 20, 10},     {3, MaxInt, 20}};
  for (std::int32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(w.GetRow(i)->Line, expected[i][0]);
    EXPECT_EQ(w.GetRow(i)->Last, expected[i][1]);
    EXPECT_EQ(w.GetRow(i)->First, expected[i][2]);
  }
  EXPECT_THROW(w.GetRow(6), EListError);
  // A second row of the same line and end takes the place of the first.
  w.AddRow(1, MaxInt, 5);
  ASSERT_EQ(w.GetCount(), 6);
  EXPECT_EQ(w.GetRow(2)->First, 5);
  w.Clear();
  EXPECT_EQ(w.GetCount(), 0);
}

TEST(WrapListTest, Conversions) {
  TateWrapList w;
  TPoint r;
  // No rows: unchanged, a negative line raised to 0.
  w.RealToWrap({5, -2}, false, r);
  EXPECT_EQ(r, (TPoint{5, 0}));
  w.WrapToReal({5, 7}, r);
  EXPECT_EQ(r, (TPoint{5, 7}));
  EXPECT_EQ(w.FindRow({0, 0}), -1);

  Fill(w);
  struct {
    TPoint text, screen;
  } cases[] = {
      {{0, 0}, {0, 0}},           {{9, 0}, {9, 0}}, {{10, 0}, {0, 1}}, {{15, 0}, {5, 1}},
      {{4, 1}, {4, 2}},           {{0, 3}, {0, 3}}, {{12, 3}, {2, 4}}, {{25, 3}, {5, 5}},
      {{MaxInt, 3}, {MaxInt, 5}}, {{2, 5}, {2, 7}}, {{0, 4}, {0, 6}},
  };
  for (const auto& c : cases) {
    w.RealToWrap(c.text, true, r);
    EXPECT_EQ(r, c.screen) << c.text.X << "," << c.text.Y;
  }
  // Back again (the screen row's line and First; MaxInt unchanged; past the rows one line each).
  struct {
    TPoint screen, text;
  } back[] = {
      {{5, 1}, {15, 0}}, {{2, 4}, {12, 3}}, {{MaxInt, 4}, {MaxInt, 3}},
      {{0, -1}, {0, 0}}, {{2, 7}, {2, 5}},  {{1, 6}, {1, 4}},
  };
  for (const auto& c : back) {
    w.WrapToReal(c.screen, r);
    EXPECT_EQ(r, c.text) << c.screen.X << "," << c.screen.Y;
  }
  // Line 2 has no row of its own: the look-up lands on line 3's first row, which does not
  // cover column 12.
  EXPECT_EQ(w.FindRow({12, 2}), -1);
  EXPECT_EQ(w.FindRow({5, 2}), 3);
}

TEST(WrapListTest, LinesChanged) {
  {  // Delta 0: only the rows of the changed lines go.
    TateWrapList w;
    Fill(w);
    w.LinesChanged(0, 1, 0, 4);
    ASSERT_EQ(w.GetCount(), 3);
    EXPECT_EQ(w.GetRow(0)->Line, 3);
  }
  {  // Three lines inserted after line 0: later rows move down by three.
    TateWrapList w;
    Fill(w);
    w.LinesChanged(0, 3, 3, 7);
    ASSERT_EQ(w.GetCount(), 4);
    EXPECT_EQ(w.GetRow(0)->Line, 4);
    EXPECT_EQ(w.GetRow(1)->Line, 6);
    EXPECT_EQ(w.GetRow(3)->Line, 6);
  }
  {  // Two lines removed after line 0: later rows move up, rows past the text go.
    TateWrapList w;
    Fill(w);
    w.LinesChanged(0, 0, -2, 2);
    ASSERT_EQ(w.GetCount(), 3);
    EXPECT_EQ(w.GetRow(0)->Line, 1);
    EXPECT_EQ(w.GetRow(2)->Line, 1);
  }
  {  // The text emptied.
    TateWrapList w;
    Fill(w);
    w.LinesChanged(0, 3, 0, 0);
    EXPECT_EQ(w.GetCount(), 0);
  }
}

}  // namespace
}  // namespace pw::editor
