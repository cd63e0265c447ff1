// Text measurement on the DejaVu fonts: names map to faces, widths and line
// heights.
#include "editor/text/font_manager.h"

#include <gtest/gtest.h>

namespace pw::editor {
namespace {

TEST(TextMeasure, NamesMapToDejaVuFacesAndKeepTheirName) {
  struct Case {
    const char16_t* name;
    bool bold;
    const char* file;
  } cases[] = {
      {u"Arial", false, "DejaVuSans.ttf"},
      {u"tahoma", false, "DejaVuSans.ttf"},
      {u"Times New Roman", false, "DejaVuSerif.ttf"},
      {u"Courier New", false, "DejaVuSansMono.ttf"},
      {u"Courier New", true, "DejaVuSansMono-Bold.ttf"},
      {u"Wingdings", false, "DejaVuSans.ttf"},
  };
  for (const Case& c : cases) {
    ui::FontSpec spec;
    spec.Name = c.name;
    spec.Bold = c.bold;
    ui::MeasuredFont font(spec);
    EXPECT_EQ(font.Name(), c.name);
    const std::string& f = font.File();
    EXPECT_EQ(f.substr(f.rfind('/') + 1), c.file);
  }
}

TEST(TextMeasure, NoFontsIsAClearError) {
  ui::FontSpec spec;
  EXPECT_EQ(ui::FontFileFor(spec).substr(ui::FontFileFor(spec).rfind('/') + 1), "DejaVuSans.ttf");
  try {
    ui::FontFileFor(spec, "/nonexistent/fonts");
    FAIL() << "no error";
  } catch (const ui::FontError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("no fonts: ", 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find("/nonexistent/fonts"), std::string::npos) << e.what();
  }
}

TEST(TextMeasure, WidthsAndHeights) {
  ui::FontSpec mono{u"Courier New", 10, false, false};
  ui::MeasuredFont m(mono);
  EXPECT_EQ(m.PixelSize(), 13);
  for (char16_t c : std::u16string(u"iW .\u00e9")) EXPECT_EQ(m.CharWidth(c), 8) << static_cast<int>(c);
  EXPECT_EQ(m.TextWidth(u"hello"), 40);
  EXPECT_EQ(m.TextWidth(u""), 0);
  ui::MeasuredFont sans(ui::FontSpec{u"Arial", 10, false, false});
  EXPECT_LT(sans.CharWidth(u'i'), sans.CharWidth(u'W'));
  EXPECT_EQ(sans.TextWidth(u"iW"), sans.CharWidth(u'i') + sans.CharWidth(u'W'));
  EXPECT_GT(m.Height(), m.PixelSize());
  EXPECT_GT(m.AverageCharWidth(), 0);
}

TEST(TextMeasure, DejaVuAtTenPoints) {
  struct Case {
    const char16_t* name;
    int height, average, i, w, hello;
  } cases[] = {
      {u"Arial", 15, 7, 4, 13, 78},
      {u"Times New Roman", 15, 7, 4, 13, 80},
      {u"Courier New", 15, 8, 8, 8, 96},
  };
  for (const Case& c : cases) {
    ui::MeasuredFont f(ui::FontSpec{c.name, 10, false, false});
    EXPECT_EQ(f.Height(), c.height) << f.File();
    EXPECT_EQ(f.AverageCharWidth(), c.average) << f.File();
    EXPECT_EQ(f.CharWidth(u'i'), c.i) << f.File();
    EXPECT_EQ(f.CharWidth(u'W'), c.w) << f.File();
    EXPECT_EQ(f.TextWidth(u"Hello, world"), c.hello) << f.File();
  }
}

TEST(FontManager, CacheLineHeightAndArial) {
  TateFontManager fm;
  EXPECT_EQ(fm.LineHeight(), 0);
  EXPECT_EQ(fm.CharWidth(u'a', false), 0);
  ui::FontSpec small{u"Arial", 6, false, false};
  fm.SetFont(&small);
  EXPECT_EQ(fm.LineHeight(), 18);  // a small font still gets 18
  EXPECT_TRUE(fm.FontIsArial());
  ui::FontSpec big{u"Courier New", 20, false, false};
  fm.SetFont(&big);
  ui::MeasuredFont bold(ui::FontSpec{u"Courier New", 20, true, false});
  EXPECT_EQ(fm.LineHeight(), bold.Height() + 1);
  EXPECT_FALSE(fm.FontIsArial());
  EXPECT_EQ(fm.TextWidth(u"", false, true), 0);
  EXPECT_EQ(fm.TextWidth(u"abc", false, false), fm.TextWidth(u"abc", false, true));
  EXPECT_EQ(fm.TextWidth(u"abc", true, true), 3 * fm.CharWidth(u'a', true));
  fm.SetFont(nullptr);
  EXPECT_EQ(fm.AverageWidth(), 0);
  EXPECT_EQ(fm.LineHeight(), 0);
}

TEST(FontManager, WideGlyphsKeepTheirWidth) {
  // 500 points: glyphs wider than 255 pixels.
  ui::FontSpec huge{u"Courier New", 500, false, false};
  TateFontManager fm;
  fm.SetFont(&huge);
  ui::MeasuredFont m(huge);
  EXPECT_GT(m.CharWidth(u'W'), 255);
  EXPECT_EQ(fm.CharWidth(u'W', false), m.CharWidth(u'W'));
}

}  // namespace
}  // namespace pw::editor
