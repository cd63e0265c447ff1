// The RTF writer: golden documents, and export followed by import giving the
// text and the attributes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/rtf/rtf_exporter.h"
#include "editor/rtf/rtf_importer.h"
#include "editor/text/text_encoding.h"
#include "platform/rtl/strings.h"

namespace pw::editor {
namespace {

TateRtfAttributes Courier() {
  TateRtfAttributes a;
  a.FontName = u"Courier New";
  a.Size = 10;
  a.Color = static_cast<std::int32_t>(0xFF000008);  // the window text colour
  a.Background = 0x1FFFFFFF;
  return a;
}

std::string Written(const std::function<void(TateRTF_Exporter&)>& feed, bool numbers = false) {
  TMemoryStream stream;
  TateRTF_Exporter ex(stream, Courier());
  ex.ShowLineNumbers = numbers;
  feed(ex);
  ex.Finish();
  stream.SetPosition(0);
  return ReadAllBytes(stream);
}

const std::string kHead =
    "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Courier "
    "New;}}{\\colortbl\r\n\\red0\\green0\\blue0;}";

TEST(RtfExport, OneLineInDefaultAttributes) {
  EXPECT_EQ(Written([](TateRTF_Exporter& ex) { ex.WriteText(u"a{b}\tc\\", nullptr, nullptr); }),
            kHead + "\\cf0\\f0\\fs20\\nosupersub a\\{b\\}\\tab c\\\\}");
}

TEST(RtfExport, StylesColoursAndBackgrounds) {
  const std::string out = Written([](TateRTF_Exporter& ex) {
    TateRtfAttributes a = Courier();
    a.Style = 1 | 4;
    ex.WriteText(u"x", &a, nullptr);
    a.Style = 2;
    a.Color = 0x0000FF;  // red
    ex.WriteText(u"y", &a, nullptr);
    a.Background = 0;  // black, the value of colour 0: an entry of its own
    a.Vertical = 2;
    ex.WriteText(u"z", &a, nullptr);
  });
  EXPECT_EQ(out,
            "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Courier "
            "New;}}{\\colortbl\r\n"
            "\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green0\\blue0;}"
            "\\cf0\\f0\\fs20\\b\\ul\\nosupersub x\\cf1\\b0\\i\\ulnone "
            "y\\super{\\highlight2 z}}");
}

TEST(RtfExport, CharactersOutsideTheCodePage) {
  EXPECT_EQ(Written([](TateRTF_Exporter& ex) { ex.WriteText(u"\u00e9\u20ac?\u0151\uf020", nullptr, nullptr); }),
            kHead + "\\cf0\\f0\\fs20\\nosupersub \xE9\x80?\\u337?\\u-4064?}");
}

TEST(RtfExport, ParagraphsAndLineNumbers) {
  const std::string out = Written(
      [](TateRTF_Exporter& ex) {
        TateRtfParagraph bullet;
        bullet.Numbering = 1;
        bullet.LeftIndent = 100;
        ex.WriteText(u"a", nullptr, nullptr);
        ex.NewLine(true, &bullet);
        ex.WriteText(u"b", nullptr, nullptr);
        ex.NewLine(true, &bullet);
        ex.WriteText(u"c", nullptr, nullptr);
        TateRtfParagraph numbered;
        numbered.Numbering = 2;
        numbered.Number = 3;
        numbered.Alignment = 2;
        ex.NewLine(true, &numbered);
        ex.WriteText(u"d", nullptr, nullptr);
      },
      true);
  EXPECT_EQ(out,
            "{\\rtf1\\ansi {\\fonttbl\r\n{\\f0\\fnil\\fcharset0 Courier "
            "New;}{\\f1\\fnil\\fcharset0 Symbol;}}"
            "{\\colortbl\r\n\\red0\\green0\\blue0;}"
            "\\cf0\\f0\\fs20\\nosupersub  1    a\r\n"
            "\\par\\pard\\ql\\li1500{\\pntext\\f1\\'B7\\tab}{\\*"
            "\\pn\\pnlvlblt\\pnf1\\pnindent360{\\pntxtb\\'B7}} 2    b\r\n"
            "\\par\\ql\\li1500{\\pntext\\f1\\'B7\\tab} 3    c\r\n"
            "\\par\\pard\\qc{\\listtext "
            "3.\\tab}{\\*\\pn\\pnlvlbody\\pnindent360\\pntxta 3.} 4    d}");
}

TEST(RtfExport, LineNumbersFromAProvider) {
  const std::string out = Written(
      [](TateRTF_Exporter& ex) {
        ex.LineNumbers = [](std::int32_t line) { return line == 0 ? 42 : -1; };
        ex.WriteText(u"a", nullptr, nullptr);
        ex.NewLine(true, nullptr);
        ex.WriteText(u"b", nullptr, nullptr);
      },
      true);
  EXPECT_EQ(out, kHead + "\\cf0\\f0\\fs20\\nosupersub  42   a\r\n\\par       b}");
}

// Export then import: the same text in the same attributes.
TEST(RtfExport, RoundTrip) {
  struct Run {
    std::u16string text;
    std::uint8_t style;
    std::int32_t color, background, size;
    std::uint8_t vertical;
    bool breakBefore;
  };
  const std::vector<Run> runs = {
      {u"int", 1, 0x800000, -1, 10, 0, false},
      {u" x = ", 0, 0, -1, 10, 0, false},
      {u"\"{s}\\\"", 2, 0x0000FF, -1, 10, 0, false},
      {u"// \u00e9\u0151\u4e2d", 4 | 8, 0x008000, 0xFFFF00, 12, 0, true},
      {u"\tsub", 0, 0, -1, 10, 1, true},
      {u"sup", 1, 0, 0, 10, 2, false},
  };
  TMemoryStream stream;
  TateRTF_Exporter ex(stream, Courier());
  ex.ShowLineNumbers = false;
  for (const Run& r : runs) {
    if (r.breakBefore) ex.NewLine(true, nullptr);
    TateRtfAttributes a = Courier();
    a.Style = r.style;
    a.Color = r.color;
    a.Background = r.background < 0 ? 0x1FFFFFFF : r.background;
    a.Size = r.size;
    a.Vertical = r.vertical;
    ex.WriteText(r.text, &a, nullptr);
  }
  ex.Finish();
  stream.SetPosition(0);
  TateRTF_Importer im;
  ASSERT_TRUE(im.CanImport(stream));
  std::vector<Run> back;
  bool pendingBreak = false;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateRtfAttributes* a, const TateRtfPicture*,
                  const TateRtfParagraph* g) {
    if (g) {
      pendingBreak = !text.empty();
      return;
    }
    ASSERT_TRUE(a);
    EXPECT_EQ(a->FontName, u"Courier New");
    back.push_back({WideString(text), a->Style, a->Color, a->Background, a->Size, a->Vertical, pendingBreak});
    pendingBreak = false;
  };
  im.Import(stream);
  ASSERT_EQ(back.size(), runs.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(back[i].text, runs[i].text) << i;
    EXPECT_EQ(back[i].style, runs[i].style) << i;
    EXPECT_EQ(back[i].color, runs[i].color) << i;
    EXPECT_EQ(back[i].background, runs[i].background) << i;
    EXPECT_EQ(back[i].size, runs[i].size) << i;
    EXPECT_EQ(back[i].vertical, runs[i].vertical) << i;
    EXPECT_EQ(back[i].breakBefore, runs[i].breakBefore) << i;
  }
}

TEST(RtfExport, BitmapPictureRoundTrip) {
  TateRtfPicture picture;
  picture.Image = graphics::Bitmap(5, 3, graphics::PixelFormat::Rgb24());
  picture.Image->SetPixel(4, 2, 0xFF00FF00);
  picture.Width = 5;
  picture.Height = 3;
  TMemoryStream stream;
  TateRTF_Exporter ex(stream, Courier());
  ex.ShowLineNumbers = false;
  ex.WriteText(u"", nullptr, &picture);
  ex.Finish();
  stream.SetPosition(0);
  const std::string text = ReadAllBytes(stream);
  EXPECT_NE(text.find("{\\pict\\dibitmap0\\wbmwidthbytes16\\picw5\\pich3 28000000"), std::string::npos) << text;
  stream.SetPosition(0);
  TateRTF_Importer im;
  std::vector<TateRtfPicture> got;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateRtfAttributes*, const TateRtfPicture* p,
                  const TateRtfParagraph*) {
    if (p) got.push_back(*p);
  };
  im.Import(stream);
  ASSERT_EQ(got.size(), 1u);
  ASSERT_TRUE(got[0].Image);
  EXPECT_EQ(got[0].Width, 5);
  EXPECT_TRUE(got[0].Unscaled);
  EXPECT_EQ(got[0].Image->GetPixel(4, 2) & 0xFFFFFF, 0x00FF00u);
}

}  // namespace
}  // namespace pw::editor

namespace pw::editor {
namespace {

// Metafiles keep their bytes through export and import; the size travels in
// hundredths of a millimetre.
TEST(RtfExport, MetafilesRoundTrip) {
  std::vector<std::uint8_t> emf(88, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) emf[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, 1);
  put32(4, 88);
  put32(32, 2540);  // frame right
  put32(36, 1270);  // frame bottom
  put32(40, 0x464D4520);
  TateRtfPicture enhanced;
  enhanced.Type = TateRtfPicture::Enhanced;
  enhanced.Bytes = emf;
  enhanced.Width = 96;
  enhanced.Height = 48;
  TateRtfPicture metafile;
  metafile.Type = TateRtfPicture::Metafile;
  metafile.Bytes = {0xD7, 0xCD, 0xC6, 0x9A};
  metafile.Bytes.resize(22, 0);
  for (std::uint8_t b : {1, 0, 9, 0, 0, 3, 0x22, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF})
    metafile.Bytes.push_back(b);
  metafile.Width = 96;
  metafile.Height = 48;
  TMemoryStream stream;
  TateRtfAttributes font;
  font.FontName = u"Arial";
  TateRTF_Exporter ex(stream, font);
  ex.ShowLineNumbers = false;
  ex.WriteText(u"", nullptr, &enhanced);
  ex.WriteText(u"", nullptr, &metafile);
  ex.Finish();
  stream.SetPosition(0);
  const std::string text = ReadAllBytes(stream);
  EXPECT_NE(text.find("{\\pict\\emfblip\\picw2540\\pich1270 01000000"), std::string::npos) << text;
  EXPECT_NE(text.find("{\\pict\\wmetafile8\\picw2540\\pich1270 010009000003"), std::string::npos) << text;
  stream.SetPosition(0);
  TateRTF_Importer im;
  std::vector<TateRtfPicture> got;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateRtfAttributes*, const TateRtfPicture* p,
                  const TateRtfParagraph*) {
    if (p) got.push_back(*p);
  };
  im.Import(stream);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Type, TateRtfPicture::Enhanced);
  EXPECT_EQ(got[0].Bytes, emf);
  EXPECT_EQ(got[0].Width, 96);
  EXPECT_EQ(got[0].Height, 48);
  EXPECT_TRUE(got[0].Unscaled);
  EXPECT_EQ(got[1].Type, TateRtfPicture::Metafile);
  EXPECT_EQ(got[1].Width, 96);
  EXPECT_EQ(got[1].Height, 48);
  EXPECT_EQ(std::vector<std::uint8_t>(got[1].Bytes.begin() + 22, got[1].Bytes.end()),
            std::vector<std::uint8_t>(metafile.Bytes.begin() + 22, metafile.Bytes.end()));
}

}  // namespace
}  // namespace pw::editor
