// Property containers: setters, defaults, Assign, background painting; the
// gradient.
#include "editor/properties/properties.h"

#include <gtest/gtest.h>

#include "editor/utils/gradient.h"

namespace pw::editor {
namespace {

std::uint32_t Rgb(const graphics::Bitmap& b, int x, int y) { return b.GetPixel(x, y) & 0xFFFFFF; }

TEST(GradientFill, RowsAndColumnsEndExactlyAtTheSecondColour) {
  graphics::Bitmap b(6, 6, graphics::PixelFormat::Rgb32());
  // Colours are red + green*256 + blue*65536; the bitmap reads 0xRRGGBB.
  GradientFill(b, {1, 1, 5, 3}, 0x000000, false, 0x0000FF);
  EXPECT_EQ(Rgb(b, 1, 1), 0x000000u);
  EXPECT_EQ(Rgb(b, 2, 2), 0x550000u);
  EXPECT_EQ(Rgb(b, 3, 1), 0xAA0000u);
  EXPECT_EQ(Rgb(b, 4, 2), 0xFF0000u);
  // Nothing outside the rectangle: not the row or column past it.
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(Rgb(b, 5, i), 0u);
    EXPECT_EQ(Rgb(b, i, 3), 0u);
    EXPECT_EQ(Rgb(b, i, 0), 0u);
  }
  GradientFill(b, {0, 0, 6, 6}, 0xFF000005, true,
               0x00FF00);  // the window colour (white) to green
  EXPECT_EQ(Rgb(b, 3, 0), 0xFFFFFFu);
  EXPECT_EQ(Rgb(b, 3, 5), 0x00FF00u);
  graphics::Bitmap c(4, 4, graphics::PixelFormat::Rgb32());
  GradientFill(c, {2, 2, 2, 9}, 0xFFFFFF, true, 0xFFFFFF);  // no width
  GradientFill(c, {-10, -10, 100, 100}, 0x0000FF, false,
               0x0000FF);  // clipped to the bitmap
  EXPECT_EQ(Rgb(c, 0, 0), 0xFF0000u);
  EXPECT_EQ(Rgb(c, 3, 3), 0xFF0000u);
}

TEST(PropContainers, SettersMarkModifiedOnlyOnChange) {
  TateRightMargin margin;
  EXPECT_FALSE(margin.Visible());
  margin.SetPosition(500);
  EXPECT_FALSE(margin.Modified);
  margin.SetPosition(150);
  EXPECT_EQ(margin.Position(), 200);
  EXPECT_TRUE(margin.Modified);
  margin.ResetModified();
  margin.SetPosition(200);
  EXPECT_FALSE(margin.Modified);

  TateLineNumbers numbers;
  numbers.SetStartFrom(-5);
  EXPECT_EQ(numbers.StartFrom(), 0);

  TateEditorProperties editor;
  EXPECT_TRUE(editor.OverwiteBlock());
  editor.SetPersistentBlock(true);
  EXPECT_FALSE(editor.OverwiteBlock());
  EXPECT_TRUE(editor.PersistentBlock());
  editor.SetOverwiteBlock(true);
  EXPECT_FALSE(editor.PersistentBlock());
}

TEST(PropContainers, DeclaredDefaultsAreTheConstructorsValues) {
  TateLineNumbers numbers;
  EXPECT_EQ(numbers.StartFrom(), TateLineNumbers::kDefaultStartFrom);
  EXPECT_EQ(numbers.Visible(), TateLineNumbers::kDefaultVisible);
  TateGutter gutter;
  EXPECT_EQ(gutter.IconCapasity(), TateGutter::kDefaultIconCapasity);
  TateEditorProperties editor;
  EXPECT_EQ(editor.WordSelection(), TateEditorProperties::kDefaultWordSelection);
  EXPECT_EQ(editor.OverwiteBlock(), TateEditorProperties::kDefaultOverwiteBlock);
  TateVisualProperties visual;
  EXPECT_EQ(visual.Colors().SelBackColor(), TateColors::kDefaultSelBackColor);
  EXPECT_EQ(visual.CurrentBrackets().FontStyle(), 1);
  EXPECT_EQ(visual.BackGround().StartColor(), clWindowColor);
  EXPECT_EQ(visual.Gutter().BackGround().Style(), bsHorzGradient);
  EXPECT_FALSE(visual.RightMargin().Visible());
  visual.Colors().SetChangesColor(1);
  EXPECT_TRUE(visual.Colors().Modified);
  EXPECT_FALSE(visual.Modified);
}

TEST(PropContainers, AssignCopiesTheListedValues) {
  TateLineNumbers a, b;
  a.SetColor(7);
  a.SetVisible(false);
  a.SetStartFrom(9);
  a.SetHideByIcons(true);
  b.Assign(a);
  EXPECT_EQ(b.Color(), 7u);
  EXPECT_FALSE(b.Visible());
  EXPECT_EQ(b.StartFrom(), 9);
  EXPECT_FALSE(b.HideByIcons());
  TateGutter g, h;
  g.SetIconCapasity(5);
  g.BackGround().SetStyle(bsVertGradient);
  g.LineNumbers().SetStartFrom(3);
  h.Assign(g);
  EXPECT_EQ(h.IconCapasity(), 2);
  EXPECT_EQ(h.BackGround().Style(), bsVertGradient);
  EXPECT_EQ(h.LineNumbers().StartFrom(), 3);
  TateLineDivider d, e;
  d.SetColor(1);
  d.SetSeparateLines(true);
  e.Assign(d);
  EXPECT_EQ(e.Color(), 1u);
  EXPECT_FALSE(e.SeparateLines);
}

TEST(PropContainers, BackgroundPaintsThroughItsCache) {
  TateGutterBackGround bg;
  graphics::Bitmap canvas(10, 4, graphics::PixelFormat::Rgb32());
  bg.SetStartColor(0x000000);
  bg.SetEndColor(0x0000FF);
  bg.PaintTo(canvas, {2, 0, 6, 4});
  bg.PaintTo(canvas, {2, 0, 6, 4});
  EXPECT_EQ(bg.RedrawCount(), 1);
  EXPECT_EQ(Rgb(canvas, 2, 1), 0x000000u);
  EXPECT_EQ(Rgb(canvas, 5, 1), 0xFF0000u);
  EXPECT_EQ(Rgb(canvas, 6, 1), 0u);
  bg.SetStyle(bsHorzGradientEx);  // a change frees the cache
  bg.PaintTo(canvas, {0, 0, 5, 4});
  EXPECT_EQ(bg.RedrawCount(), 2);
  EXPECT_EQ(Rgb(canvas, 0, 0), 0x000000u);
  EXPECT_EQ(Rgb(canvas, 2, 0), 0xFF0000u);  // the middle
  EXPECT_EQ(Rgb(canvas, 4, 0), 0x000000u);
  bg.PaintTo(canvas, {3, 3, 3, 9});  // empty: nothing
  EXPECT_EQ(bg.RedrawCount(), 2);
  TateContentBackGround content;
  content.PaintTo(canvas, {8, 0, 12, 2});  // the window colour, clipped
  EXPECT_EQ(Rgb(canvas, 9, 1), 0xFFFFFFu);
}

}  // namespace
}  // namespace pw::editor
