// Collapsible blocks: shifting with inserted and deleted lines, nesting, removal, collapse
// reports and visibility, as the line storage holds them.
#include <gtest/gtest.h>

#include "editor/source/editor_source.h"
#include "stand_in_editor.h"

namespace pw::editor {
namespace {

using testing::BlockShape;
using testing::Outline;
using testing::OutlineConsistent;

class BlocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WideString text;
    for (int i = 0; i < 40; ++i) text += u"line\r\n";
    strings().SetText(text);
  }
  TateStrings& strings() { return source.Strings(); }
  TateCollapseBlock* Block(std::int32_t index) { return strings().RootBlock()->Children()->GetItem(index); }
  TateEditorSource source;
};

struct ShiftCase {
  std::int32_t line, count;
  std::int32_t start, end;  // -1: removed
};

class ShiftLinesTest : public BlocksTest, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(ShiftLinesTest, BlockFiveToTen) {
  const ShiftCase& c = GetParam();
  strings().AddBlock(5, 10);
  strings().RootBlock()->ShiftLines(c.line, c.count);
  if (c.start < 0) {
    EXPECT_TRUE(Outline(strings()).empty());
  } else {
    EXPECT_EQ(Outline(strings()), (std::vector<BlockShape>{{c.start, c.end, false, 1}}));
  }
  EXPECT_TRUE(OutlineConsistent(strings()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ShiftLinesTest,
                         ::testing::Values(ShiftCase{4, 1, 6, 11}, ShiftCase{5, 1, 5, 11}, ShiftCase{10, 1, 5, 11},
                                           ShiftCase{10, 2, 5, 10}, ShiftCase{11, 1, 5, 10},
                                           // Several lines inside the block extend it; above it, move it whole.
                                           ShiftCase{9, 2, 5, 12}, ShiftCase{2, 9, 14, 19},
                                           // Deletions: (Line, -N) means lines Line-N .. Line-1 went.
                                           ShiftCase{11, -1, 5, 9}, ShiftCase{20, -1, 5, 10}, ShiftCase{5, -1, 4, 9},
                                           ShiftCase{6, -1, 5, 9}, ShiftCase{7, -3, 4, 7}, ShiftCase{12, -4, 5, 7},
                                           ShiftCase{11, -5, -1, -1}, ShiftCase{11, -6, -1, -1}));

TEST_F(BlocksTest, ShiftMovesChildrenAndRemovesThoseLeftWithOneLine) {
  strings().AddBlock(5, 20);
  strings().AddBlock(6, 8);
  strings().AddBlock(10, 12);
  strings().RootBlock()->ShiftLines(9, -2);  // lines 7 and 8 went
  EXPECT_EQ(Outline(strings()), (std::vector<BlockShape>{{5, 18, false, 1}, {8, 10, false, 2}}));
  EXPECT_TRUE(OutlineConsistent(strings()));
}

TEST_F(BlocksTest, AddBlockAdoptsTheBlocksInsideAndRefusesBadRanges) {
  strings().AddBlock(6, 8);
  strings().AddBlock(10, 12);
  strings().AddBlock(5, 20);
  EXPECT_EQ(Outline(strings()), (std::vector<BlockShape>{{5, 20, false, 1}, {6, 8, false, 2}, {10, 12, false, 2}}));
  EXPECT_TRUE(OutlineConsistent(strings()));
  EXPECT_THROW(strings().AddBlock(7, 11), Exception);  // crosses two blocks
  EXPECT_THROW(strings().AddBlock(5, 20), Exception);  // the same range again
  EXPECT_THROW(strings().AddBlock(3, 3), Exception);
  EXPECT_EQ(Outline(strings()).size(), 3u);
}

TEST_F(BlocksTest, RemoveWithoutChildrenKeepsThemInTheParent) {
  strings().AddBlock(5, 20);
  strings().AddBlock(6, 8);
  strings().AddBlock(10, 12);
  Block(0)->Remove(false);
  EXPECT_EQ(Outline(strings()), (std::vector<BlockShape>{{6, 8, false, 1}, {10, 12, false, 1}}));
  EXPECT_TRUE(OutlineConsistent(strings()));
}

TEST_F(BlocksTest, RecursiveCollapseReportsEachChangedBlockOnceInnermostFirst) {
  strings().AddBlock(5, 20);
  strings().AddBlock(6, 8);
  strings().AddBlock(10, 12);
  Block(0)->Children()->GetItem(1)->Collapse(false);
  std::vector<std::int32_t> reported;
  strings().OnCollapse = [&](TateCollapseBlock* b) { reported.push_back(b->StartLine()); };
  strings().RootBlock()->Collapse(true);
  EXPECT_EQ(reported, (std::vector<std::int32_t>{6, 5}));
}

TEST_F(BlocksTest, VisibilityFollowsTheParents) {
  strings().AddBlock(5, 20);
  strings().AddBlock(5, 10);
  strings().AddBlock(7, 9);
  TateCollapseBlock* outer = Block(0);
  TateCollapseBlock* sameStart = outer->FirstChild();
  TateCollapseBlock* inner = sameStart->FirstChild();
  outer->Collapse(false);
  // A child that starts on its collapsed parent's line follows the parent's own visibility.
  EXPECT_TRUE(sameStart->HeaderVisible());
  EXPECT_FALSE(inner->HeaderVisible());
  EXPECT_EQ(sameStart->CollapsedOuterBlock(), outer);
  outer->Expand(false);
  EXPECT_EQ(inner->CollapsedOuterBlock(), nullptr);
  EXPECT_EQ(sameStart->OuterBlock(), outer);
  EXPECT_EQ(strings().RootBlock()->DeepestBlock(), inner);
  inner->MakeVisible();
  EXPECT_TRUE(inner->ContentVisible());
}

TEST_F(BlocksTest, RemoveBlocksAndEmptyTextDropTheOutline) {
  strings().AddBlock(5, 20);
  strings().AddBlock(6, 8);
  strings().AddBlock(25, 30);
  strings().RemoveBlocks(0, 22);
  EXPECT_EQ(Outline(strings()), (std::vector<BlockShape>{{6, 8, false, 1}, {25, 30, false, 1}}));
  strings().Clear();
  EXPECT_TRUE(Outline(strings()).empty());
  strings().SetText(u"a\r\nb\r\nc");
  strings().AddBlock(0, 2);
  strings().SetText(u"");
  EXPECT_TRUE(Outline(strings()).empty());
}

}  // namespace
}  // namespace pw::editor
