// The RTF writer: golden documents, and export followed by import giving the
// text and the attributes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/rtf/rtf_exporter.h"
#include "editor/rtf/rtf_importer.h"
#include "editor/text/text_encoding.h"
#include "platform/rtl/strings.h"
#include "tests/editor/rtf_pictures.h"

namespace pw::editor {
namespace {

using testing::ShownPicture;

TateRtfAttributes CourierRecord() {
  TateRtfAttributes a;
  a.FontName = u"Courier New";
  a.Size = 10;
  a.Color = static_cast<std::int32_t>(0xFF000008);  // the window text colour
  a.Background = 0x1FFFFFFF;
  return a;
}

// Attributes and paragraphs from records (the tests write the values they change).
struct Attributes : TateCustomEditorAttributes {
  explicit Attributes(const TateRtfAttributes& r) { AssignRecord(r); }
};

struct Paragraph : TateCustomParagraph {
  explicit Paragraph(const TateRtfParagraph& r) { AssignRecord(r); }
};

// Courier New 10 in the window text colour, no background.
const TateCustomEditorAttributes& Courier() {
  static const Attributes courier(CourierRecord());
  return courier;
}

void Write(TateRTF_Exporter& ex, WideStringView text, const TateRtfAttributes& record) {
  const Attributes a(record);
  ex.WriteText(text, &a, nullptr);
}

void Break(TateRTF_Exporter& ex, const TateRtfParagraph& record) {
  const Paragraph p(record);
  ex.NewLine(true, &p);
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
    TateRtfAttributes a = CourierRecord();
    a.Style = 1 | 4;
    Write(ex, u"x", a);
    a.Style = 2;
    a.Color = 0x0000FF;  // red
    Write(ex, u"y", a);
    a.Background = 0;  // black, the value of colour 0: an entry of its own
    a.Vertical = 2;
    Write(ex, u"z", a);
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
        Break(ex, bullet);
        ex.WriteText(u"b", nullptr, nullptr);
        Break(ex, bullet);
        ex.WriteText(u"c", nullptr, nullptr);
        TateRtfParagraph numbered;
        numbered.Numbering = 2;
        numbered.Number = 3;
        numbered.Alignment = 2;
        Break(ex, numbered);
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
    TateRtfAttributes a = CourierRecord();
    a.Style = r.style;
    a.Color = r.color;
    a.Background = r.background < 0 ? 0x1FFFFFFF : r.background;
    a.Size = r.size;
    a.Vertical = r.vertical;
    Write(ex, r.text, a);
  }
  ex.Finish();
  stream.SetPosition(0);
  TateRTF_Importer im;
  ASSERT_TRUE(im.CanImport(stream));
  std::vector<Run> back;
  bool pendingBreak = false;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes* a,
                  const TateCustomEditorObject*, const TateCustomParagraph* g) {
    if (g) {
      pendingBreak = !text.empty();
      return;
    }
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Name(), u"Courier New");
    back.push_back({WideString(text), a->Style(), a->Color(), a->BackColor(), a->Size(), a->Position(), pendingBreak});
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
  TateRtfPictureObject picture;
  picture.Picture().Image = graphics::Bitmap(5, 3, graphics::PixelFormat::Rgb24());
  picture.Picture().Image->SetPixel(4, 2, 0xFF00FF00);
  picture.SetWidth(5);
  picture.SetHeight(3);
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
  std::vector<ShownPicture> got;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject* p, const TateCustomParagraph*) {
    if (p) got.push_back(ShownPicture::Of(*p));
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

using testing::ShownPicture;

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
  TateRtfPictureObject enhanced;
  enhanced.Picture().Type = TateRtfPicture::Enhanced;
  enhanced.Picture().Bytes = emf;
  enhanced.SetWidth(96);
  enhanced.SetHeight(48);
  TateRtfPictureObject metafileObject;
  TateRtfPicture& metafile = metafileObject.Picture();
  metafile.Type = TateRtfPicture::Metafile;
  metafile.Bytes = {0xD7, 0xCD, 0xC6, 0x9A};
  metafile.Bytes.resize(22, 0);
  for (std::uint8_t b : {1, 0, 9, 0, 0, 3, 0x22, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF})
    metafile.Bytes.push_back(b);
  metafileObject.SetWidth(96);
  metafileObject.SetHeight(48);
  TMemoryStream stream;
  TateCustomEditorAttributes font;
  font.SetName(u"Arial");
  TateRTF_Exporter ex(stream, font);
  ex.ShowLineNumbers = false;
  ex.WriteText(u"", nullptr, &enhanced);
  ex.WriteText(u"", nullptr, &metafileObject);
  ex.Finish();
  stream.SetPosition(0);
  const std::string text = ReadAllBytes(stream);
  EXPECT_NE(text.find("{\\pict\\emfblip\\picw2540\\pich1270 01000000"), std::string::npos) << text;
  EXPECT_NE(text.find("{\\pict\\wmetafile8\\picw2540\\pich1270 010009000003"), std::string::npos) << text;
  stream.SetPosition(0);
  TateRTF_Importer im;
  std::vector<ShownPicture> got;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject* p, const TateCustomParagraph*) {
    if (p) got.push_back(ShownPicture::Of(*p));
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

namespace pw::editor {
namespace {

// Paragraph objects through export and import: bullets, numbers, alignment and indents.
TEST(RtfExport, ParagraphsRoundTrip) {
  // Alignment, numbering, number, first, left, right indent (pixels).
  const std::vector<TateRtfParagraph> paragraphs = {
      {0, 1, 1, -24, 100, 0},  // a bullet
      {0, 1, 1, -24, 100, 0},  // a bullet after a bullet
      {2, 2, 3, -20, 50, 10},  // numbered 3, centred
      {3, 0, 1, -20, 50, 10},  // justified, no numbering
      {1, 2, 12, 7, 50, 10},   // numbered 12, right
  };
  TMemoryStream stream;
  TateRTF_Exporter ex(stream, Courier());
  ex.ShowLineNumbers = false;
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    const Paragraph p(paragraphs[i]);
    ex.NewLine(i > 0, &p);
    ex.WriteText(u"line " + Utf8ToWide(std::to_string(i)), nullptr, nullptr);
  }
  ex.Finish();
  stream.SetPosition(0);
  TateRTF_Importer im;
  std::vector<TateRtfParagraph> back;
  std::vector<std::string> texts;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject*, const TateCustomParagraph* g) {
    if (g) back.push_back(g->ToRecord());
    else texts.push_back(WideToUtf8(text));
  };
  im.Import(stream);
  EXPECT_EQ(texts, (std::vector<std::string>{"line 0", "line 1", "line 2", "line 3", "line 4"}));
  ASSERT_EQ(back.size(), paragraphs.size());
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    if (paragraphs[i].Numbering != 2) back[i].Number = paragraphs[i].Number;  // a number only numbered ones carry
    EXPECT_EQ(back[i], paragraphs[i]) << i;
  }
}

// A picture shown at another size than its own carries its scale, so it comes back
// at that size; one shown at its own size is unscaled.
TEST(RtfExport, PictureObjectsKeepTheSizeTheyAreShownAt) {
  TateRtfPictureObject scaled;
  scaled.Picture().Image = graphics::Bitmap(4, 2, graphics::PixelFormat::Rgb24());
  scaled.SetWidth(8);
  scaled.SetHeight(3);
  TateRtfPictureObject own(scaled.Picture());
  own.SetWidth(4);
  own.SetHeight(2);
  TateCustomEditorObject empty;  // no graphic: nothing written
  TMemoryStream stream;
  TateRTF_Exporter ex(stream, Courier());
  ex.ShowLineNumbers = false;
  ex.WriteText(u"", nullptr, &scaled);
  ex.WriteText(u"", nullptr, &empty);
  ex.WriteText(u"", nullptr, &own);
  ex.Finish();
  stream.SetPosition(0);
  const std::string text = ReadAllBytes(stream);
  EXPECT_NE(text.find("\\picw4\\pich2\\picscalex200\\picscaley150 "), std::string::npos) << text;
  stream.SetPosition(0);
  TateRTF_Importer im;
  std::vector<ShownPicture> got;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject* p, const TateCustomParagraph*) {
    if (p) got.push_back(ShownPicture::Of(*p));
  };
  im.Import(stream);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].Width, 8);
  EXPECT_EQ(got[0].Height, 3);
  EXPECT_FALSE(got[0].Unscaled);
  EXPECT_EQ(got[0].GraphicWidth, 4);
  EXPECT_EQ(got[1].Width, 4);
  EXPECT_TRUE(got[1].Unscaled);
}

// The writer reads the attributes' values whatever their change masks say.
TEST(RtfExport, MasksDoNotMatter) {
  TateRtfAttributes r = CourierRecord();
  r.Style = kStyleBold;
  Attributes a(r);
  const std::string marked = Written([&](TateRTF_Exporter& ex) { ex.WriteText(u"x", &a, nullptr); });
  a.ClearChangeMask();
  EXPECT_EQ(Written([&](TateRTF_Exporter& ex) { ex.WriteText(u"x", &a, nullptr); }), marked);
  EXPECT_NE(marked.find("\\b\\nosupersub x"), std::string::npos) << marked;
}

}  // namespace
}  // namespace pw::editor
