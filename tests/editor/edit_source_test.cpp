// The edit source: text operations, their undo groups, blocks kept in step, and a seeded
// random edit script whose undo restores text and blocks exactly.
#include <gtest/gtest.h>

#include <random>

#include "editor/source/editor_source.h"
#include "platform/rtl/strings.h"
#include "stand_in_editor.h"

namespace pw::editor {
namespace {

using testing::BlockShape;
using testing::Lines;
using testing::Outline;
using testing::OutlineConsistent;
using testing::StandInEditor;

constexpr char16_t kTyping[] = u"{3C5E4E0A-6E1B-4F43-9F55-1B1C3F1A2B01}";

class EditSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { source.SetEditor(&editor); }
  void Load(WideStringView text) {
    source.Strings().SetText(text);
    source.ClearUndo();
  }
  void Type(std::int32_t x, std::int32_t y, const WideString& text) {
    editor.caret = {x, y};
    source.UndoManager().BeginGroup(kTyping);
    source.InsertText(text, 0);
    source.UndoManager().EndGroup();
  }
  WideString Text() { return source.Strings().GetText(); }

  StandInEditor editor;
  TateEditorSource source;
};

TEST_F(EditSourceTest, TypingInsideALineAndUndoingIt) {
  Load(u"abcd\r\nxyz");
  Type(2, 0, u"12");
  EXPECT_EQ(Text(), u"ab12cd\r\nxyz");
  source.Undo();
  EXPECT_EQ(Text(), u"abcd\r\nxyz");
  source.Redo();
  EXPECT_EQ(Text(), u"ab12cd\r\nxyz");
}

TEST_F(EditSourceTest, TypingBeyondTheEndPadsAndRecordsTheWholeLine) {
  source.SourceProperties().SetUseTabChar(false);
  Load(u"abcd");
  Type(10, 0, u"X");
  EXPECT_EQ(Text(), u"abcd      X");
  // One buffer item holds the old line: undo restores it without the padding.
  source.Undo();
  EXPECT_EQ(Text(), u"abcd");
}

TEST_F(EditSourceTest, TypingBeyondTheEndWithTabCharFillsWithTabs) {
  Load(u"ab");
  Type(8, 0, u"X");
  EXPECT_EQ(Text(), u"ab\t\tX");
  source.Undo();
  EXPECT_EQ(Text(), u"ab");
}

TEST_F(EditSourceTest, DeleteBreakAndJoinUndoExactly) {
  Load(u"one two\r\nthree");
  editor.caret = {3, 0};
  source.DeleteText(1);
  EXPECT_EQ(Text(), u"onetwo\r\nthree");
  editor.caret = {3, 0};
  source.NewLine();
  EXPECT_EQ(Text(), u"one\r\ntwo\r\nthree");
  editor.caret = {1, 1};
  source.JoinLines(0);
  EXPECT_EQ(Text(), u"one\r\ntwothree");
  source.Undo();
  EXPECT_EQ(Text(), u"one\r\ntwo\r\nthree");
  source.Undo();
  EXPECT_EQ(Text(), u"onetwo\r\nthree");
  source.Undo();
  EXPECT_EQ(Text(), u"one two\r\nthree");
  EXPECT_FALSE(source.CanUndo());
  source.Redo();
  source.Redo();
  source.Redo();
  EXPECT_EQ(Text(), u"one\r\ntwothree");
}

TEST_F(EditSourceTest, DeleteToTheEndJoinsTheNextLine) {
  Load(u"abc\r\ndef");
  editor.caret = {1, 0};
  source.DeleteText(MaxInt);
  EXPECT_EQ(Text(), u"adef");
  source.Undo();
  EXPECT_EQ(Text(), u"abc\r\ndef");
}

TEST_F(EditSourceTest, JoinWithTheCaretBeyondTheEndPadsAndUndoRestores) {
  Load(u"ab\r\ncd");
  editor.caret = {5, 0};
  source.JoinLines(0);
  EXPECT_EQ(Text(), u"ab   cd");
  source.Undo();
  EXPECT_EQ(Text(), u"ab\r\ncd");
}

TEST_F(EditSourceTest, BreakTrimsTrailingBlanksOfTheLineLeftBehind) {
  Load(u"ab   cd");
  editor.caret = {5, 0};
  source.NewLine();
  EXPECT_EQ(Text(), u"ab\r\ncd");
  source.Undo();
  EXPECT_EQ(Text(), u"ab   cd");
}

TEST_F(EditSourceTest, VerticalCaretMoveTrimsWithoutUndo) {
  Load(u"ab  \r\ncd");
  editor.caret = {0, 0};
  source.SetCaretXY(0, 1);
  EXPECT_EQ(Text(), u"ab\r\ncd");
  // Only the caret move was recorded.
  ASSERT_EQ(source.UndoManager().UndoList().Groups.size(), 1u);
  EXPECT_FALSE(source.UndoManager().UndoList().Groups[0]->ChangesText());
  source.SetOptions(SourceOption(srLeaveTrailSpaces));
  Load(u"ab  \r\ncd");
  editor.caret = {0, 0};
  source.SetCaretXY(0, 1);
  EXPECT_EQ(Text(), u"ab  \r\ncd");
}

TEST_F(EditSourceTest, CaretMovesFollowTheOptions) {
  Load(u"abc\r\nde\r\nf");
  editor.caret = {0, 1};
  source.MoveCaretBy(0, 5);
  EXPECT_EQ(editor.caret, (TPoint{0, 2}));
  source.SourceProperties().SetBeyoundEOL(false);
  editor.caret = {3, 0};
  source.CaretRight();
  EXPECT_EQ(editor.caret, (TPoint{3, 0}));
  source.SetOptions(SourceOption(srMoveDownAtLineEnd));
  source.CaretRight();
  EXPECT_EQ(editor.caret, (TPoint{0, 1}));
  Load(u"a\tb");
  editor.caret = {4, 0};
  source.CaretLeft();
  EXPECT_EQ(editor.caret, (TPoint{1, 0}));
}

TEST_F(EditSourceTest, BackSpaceUnindentsToTheLineAbove) {
  source.SourceProperties().SetUseTabChar(false);
  Load(u"    x\r\n        ");
  editor.caret = {8, 1};
  source.BackSpace();
  EXPECT_EQ(Text(), u"    x\r\n    ");
  Load(u"x\r\n        ");
  editor.caret = {8, 1};
  source.BackSpace();
  EXPECT_EQ(Text(), u"x\r\n");
  Load(u"x\r\nabc");
  editor.caret = {0, 1};
  source.BackSpace();
  EXPECT_EQ(Text(), u"x\r\nabc");
}

TEST_F(EditSourceTest, UndoWithNothingToUndoReportsNothing) {
  Load(u"abc");
  int notices = 0;
  source.AddNotifier({&notices, [](void* o, void*, std::intptr_t) { ++*static_cast<int*>(o); }});
  source.Undo();
  EXPECT_EQ(notices, 0);
  Type(0, 0, u"x");
  EXPECT_GT(notices, 0);
}

TEST_F(EditSourceTest, ResetModifiedAnswersOnce) {
  Load(u"abc");
  Type(0, 0, u"x");
  EXPECT_TRUE(source.ResetModified());
  EXPECT_FALSE(source.ResetModified());
}

TEST_F(EditSourceTest, ReplaceRangeOverLinesAndUndo) {
  Load(u"alpha\r\nbeta\r\ngamma\r\ndelta");
  source.ReplaceRange(2, 1, 3, 2, u"X\r\nY\r\nZ");
  EXPECT_EQ(Text(), u"alpha\r\nbeX\r\nY\r\nZma\r\ndelta");
  source.Undo();
  EXPECT_EQ(Text(), u"alpha\r\nbeta\r\ngamma\r\ndelta");
  source.Redo();
  EXPECT_EQ(Text(), u"alpha\r\nbeX\r\nY\r\nZma\r\ndelta");
}

TEST_F(EditSourceTest, BreakAtTheStartOfABlockMovesItDown) {
  Load(Lines({u"0", u"1", u"2", u"3", u"4", u"5"}));
  source.Strings().AddBlock(2, 4);
  editor.caret = {0, 2};
  source.NewLine();
  EXPECT_EQ(Outline(source.Strings()), (std::vector<BlockShape>{{3, 5, false, 1}}));
  EXPECT_TRUE(OutlineConsistent(source.Strings()));
  source.Undo();
  EXPECT_EQ(Outline(source.Strings()), (std::vector<BlockShape>{{2, 4, false, 1}}));
}

TEST_F(EditSourceTest, JoiningATwoLineBlockRemovesItAndUndoBringsItBack) {
  Load(Lines({u"0", u"1", u"2", u"3"}));
  source.Strings().AddBlock(1, 2);
  source.Strings().RootBlock()->FirstChild()->Collapse(false);
  editor.caret = {1, 1};
  source.JoinLines(0);
  EXPECT_TRUE(Outline(source.Strings()).empty());
  source.Undo();
  EXPECT_EQ(Outline(source.Strings()), (std::vector<BlockShape>{{1, 2, true, 1}}));
  EXPECT_TRUE(OutlineConsistent(source.Strings()));
}

TEST_F(EditSourceTest, WordBoundsStopAtBreakCharactersAndQuotes) {
  EXPECT_EQ(source.BreakChars().size(), 32u);
  EXPECT_TRUE(source.IsBreakChar(0));
  EXPECT_FALSE(source.IsBreakChar(1));
  EXPECT_TRUE(source.IsBreakChar(u'"'));
  Load(u"foo bar'baz");
  std::int32_t start = 0, end = 0;
  source.GetWordBounds({5, 0}, 0, false, start, end);
  EXPECT_EQ(start, 5);  // "bar": the 1-based first and last character
  EXPECT_EQ(end, 7);
  source.GetWordBounds({1, 0}, 1, false, start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 4);  // "foo" and one following space
  source.GetWordBounds({0, 3}, 0, false, start, end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 0);
}

TEST_F(EditSourceTest, ReadOnlySourceChangesNothing) {
  Load(u"abc");
  source.SetReadOnly(true);
  Type(0, 0, u"x");
  editor.caret = {0, 0};
  source.DeleteText(1);
  source.NewLine();
  source.ReplaceRange(0, 0, 1, 0, u"zz");
  EXPECT_EQ(Text(), u"abc");
  EXPECT_FALSE(source.CanUndo());
}

// A seeded random script of edits; undoing all of it restores text and blocks exactly, and
// redoing all of it returns to where the script ended.
class RandomScript : public EditSourceTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RandomScript, UndoAllRestoresTextAndBlocksRedoAllReturns) {
  std::mt19937 rng(GetParam());
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char16_t* words[] = {u"a", u"bc", u"  ", u"\t", u"def ", u"x\ty", u"{", u"}"};
  WideString initial;
  for (int i = 0; i < 30; ++i) {
    if (i) initial += u"\r\n";
    initial += u"line" + IntToWide(i) + (i % 3 ? u"  text" : u"\tmore");
  }
  Load(initial);
  auto& strings = source.Strings();
  strings.AddBlock(2, 12);
  strings.AddBlock(4, 8);
  strings.AddBlock(4, 6);
  strings.AddBlock(15, 20);
  strings.AddBlock(22, 29);
  strings.RootBlock()->Children()->GetItem(1)->Collapse(false);
  ASSERT_TRUE(OutlineConsistent(strings));
  const WideString startText = Text();
  const auto startOutline = Outline(strings);
  source.ClearUndo();

  for (int step = 0; step < 150; ++step) {
    const std::int32_t count = strings.GetCount();
    const std::int32_t y = pick(0, count - 1);
    const std::int32_t x = pick(0, source.LineWidth(y) + 3);
    editor.caret = {x, y};
    switch (pick(0, 7)) {
      case 0:
      case 1:
        Type(x, y, words[pick(0, 7)]);
        break;
      case 2:
        source.DeleteText(pick(0, 4) == 0 ? MaxInt : pick(1, 5));
        break;
      case 3:
        source.NewLine();
        break;
      case 4:
        source.JoinLines(0);
        break;
      case 5: {
        const std::int32_t y2 = std::min(count - 1, y + pick(0, 3));
        const WideString texts[] = {u"", u"Q", u"r\r\ns", u"t\r\n\r\nu\r\n"};
        source.ReplaceRange(x, y, pick(0, source.LineWidth(y2) + 1), y2, texts[pick(0, 3)]);
        break;
      }
      case 6: {
        auto blocks = Outline(strings);
        if (!blocks.empty()) {
          const auto& b = blocks[static_cast<std::size_t>(pick(0, static_cast<int>(blocks.size()) - 1))];
          source.UndoManager().BeginGroup(kTyping);
          source.SetOutlineHidden(b.First, b.Level, !b.Collapsed);
          source.UndoManager().EndGroup();
        }
        break;
      }
      default: {
        const std::int32_t y2 = y + pick(1, 4);
        if (y2 < count && strings.CanAddBlock(y, y2) &&
            strings.LineBlock(y)->Level() == strings.LineBlock(y2)->Level()) {
          const std::int32_t level = strings.LineBlock(y)->Level() + 1;
          bool childInside = false;
          for (const auto& b : Outline(strings))
            if (b.First >= y && b.Last <= y2) childInside = true;
          if (childInside) break;
          source.UndoManager().BeginGroup(kTyping);
          source.ChangeOutline(y, level, y2, y);
          source.UndoManager().EndGroup();
        }
        break;
      }
    }
    ASSERT_TRUE(OutlineConsistent(strings)) << "after step " << step;
  }
  const WideString endText = Text();
  const auto endOutline = Outline(strings);
  int undos = 0;
  while (source.CanUndo()) {
    source.Undo();
    ASSERT_TRUE(OutlineConsistent(strings)) << "after undo " << undos;
    ASSERT_LT(++undos, 1000);
  }
  EXPECT_EQ(Text(), startText);
  EXPECT_EQ(Outline(strings), startOutline);
  while (source.CanRedo()) {
    source.Redo();
    ASSERT_TRUE(OutlineConsistent(strings));
  }
  EXPECT_EQ(Text(), endText);
  EXPECT_EQ(Outline(strings), endOutline);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomScript, ::testing::Values(1u, 2u, 3u, 17u, 2024u, 99991u));

}  // namespace
}  // namespace pw::editor
