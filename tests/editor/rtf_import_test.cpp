// The RTF reader: golden event lists for documents, hostile input, pictures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/rtf/rtf_importer.h"
#include "graphics/bmp.h"
#include "platform/rtl/strings.h"
#include "tests/editor/rtf_pictures.h"

namespace pw::editor {
namespace {

using testing::ShownPicture;

std::string Events(std::string_view rtf, TateRTF_Importer* importer = nullptr) {
  TateRTF_Importer own;
  TateRTF_Importer& im = importer ? *importer : own;
  std::string out;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes* a,
                  const TateCustomEditorObject* p,
                  const TateCustomParagraph* g) { out += RtfEventLine(text, a, p, g) + "\n"; };
  im.ImportText(Utf8ToWide(rtf));
  return out;
}

struct Case {
  const char* name;
  const char* rtf;
  const char* events;
};

const Case kCases[] = {
    {"fonts and a paragraph", R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 Hello\par World})",
     "run\t\"Hello\"\tArial\t10\tnone\tnone\t-\n"
     "paragraph\tbreak\t0\t0\t0\t0\t0\n"
     "run\t\"World\"\tArial\t10\tnone\tnone\t-\n"},
    {"bold on and off", R"({\b bold\b0  plain})",
     "run\t\"bold\"\tTimes New Roman\t10\tnone\tnone\tb\n"
     "run\t\" plain\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"destination skipped", R"({\rtf1{\*\generator x;}a})", "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"groups restore attributes", R"({a{\i\ul b}c\strike d\ulnone})",
     "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "run\t\"b\"\tTimes New Roman\t10\tnone\tnone\tiu\n"
     "run\t\"c\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "run\t\"d\"\tTimes New Roman\t10\tnone\tnone\ts\n"},
    {"size alone is 72, colour alone is 0", R"({{\colortbl;\red255;}\fs\cf x})",
     "run\t\"x\"\tTimes New Roman\t72\t000000\tnone\t-\n"},
    // A colour entry is complete at ";": "\red255;" is colour 1 and "\blue9;"
    // colour 2.
    {"colour entries end at the semicolon", R"({{\colortbl;\red255;\blue9;}\cf1 r\cf2 b\highlight1 h\highlight0 n})",
     "run\t\"r\"\tTimes New Roman\t10\tFF0000\tnone\t-\n"
     "run\t\"b\"\tTimes New Roman\t10\t000009\tnone\t-\n"
     "run\t\"h\"\tTimes New Roman\t10\t000009\tFF0000\t-\n"
     "run\t\"n\"\tTimes New Roman\t10\t000009\tnone\t-\n"},
    {"negative and huge indexes are ignored",
     R"({{\fonttbl{\f2000000000 Big;}{\f-5 Neg;}}{\colortbl;}\cf-5\f-5 a\f2000000000 b\cf7 c})",
     "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "run\t\"bc\"\tBig\t10\tnone\tnone\t-\n"},
    {"unicode skips one fallback", R"({\u233\'e9 a\u233? b\u-4064 c\u233 xy})",
     "run\t\"\xC3\xA9 a\xC3\xA9 b\xEF\x80\xA0\xC3\xA9y\"\tTimes New "
     "Roman\t10\tnone\tnone\t-\n"},
    {"hex escapes through the code page", R"({\'80\'e9t\'zz\'41 b\~ c})",
     "run\t\"\xE2\x82\xAC\xC3\xA9tA b c\"\tTimes New "
     "Roman\t10\tnone\tnone\t-\n"},
    {"list text dropped", R"({{\pntext 1.\tab}Item})",
     "paragraph\tformat\t0\t1\t0\t0\t0\n"
     "run\t\"Item\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"paragraph words", R"({\pard\qc\li1500\fi-567 a\par\pard\qr b\par})",
     "paragraph\tformat\t2\t0\t-38\t100\t0\n"
     "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "paragraph\tbreak\t1\t0\t-38\t100\t0\n"
     "run\t\"b\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "paragraph\tbreak\t1\t0\t-38\t100\t0\n"},
    {"special characters", R"({a\tab b\line c\lquote\endash\{\}\\})",
     "run\t\"a\\tb\\r\\nc'-{}\\\\\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"plain and vertical", R"({{\fonttbl{\f0 Courier;}}\b\super a\plain b\sub c\nosupersub d})",
     "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\tbsuper\n"
     "run\t\"b\"\tCourier\t12\t000000\tnone\t-\n"
     "run\t\"c\"\tCourier\t12\t000000\tnone\tsub\n"
     "run\t\"d\"\tCourier\t12\t000000\tnone\t-\n"},
    {"line breaks in the source are not text", "{a\r\nb\\par\r\nc}",
     "run\t\"ab\"\tTimes New Roman\t10\tnone\tnone\t-\n"
     "paragraph\tbreak\t0\t0\t0\t0\t0\n"
     "run\t\"c\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"skipped info groups", R"({{\info{\title T}{\author A}}x})", "run\t\"x\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"unclosed groups end at the end", R"({\rtf1{\fonttbl{\f0 A;})", ""},
    {"png and jpeg dropped", R"({a{\pict\pngblip 89504E47}{\pict\jpegblip FFD8}b})",
     "run\t\"ab\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
    {"undecodable bitmap dropped", R"({{\pict\dibitmap0 0102}x})", "run\t\"x\"\tTimes New Roman\t10\tnone\tnone\t-\n"},
};

TEST(RtfImport, GoldenEvents) {
  for (const Case& c : kCases) EXPECT_EQ(Events(c.rtf), c.events) << c.name;
}

TEST(RtfImport, DeepNestingIsFlat) {
  std::string rtf(100000, '{');
  rtf += "\\b x";
  rtf += std::string(100000, '}');
  EXPECT_EQ(Events(rtf), "run\t\"x\"\tTimes New Roman\t10\tnone\tnone\tb\n");
}

TEST(RtfImport, CanImportChecksTheStartAndRewinds) {
  TateRTF_Importer im;
  for (const auto& [bytes, ok] : std::vector<std::pair<std::string, bool>>{
           {"{\\rtf1 x}", true}, {"{\\rtf", true}, {"{\\rt", false}, {"{\\RTF1", false}, {"", false}}) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(im.CanImport(s), ok) << bytes;
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST(RtfImport, ProgressEndsWithTheLineCount) {
  TateRTF_Importer im;
  std::vector<std::pair<int, int>> calls;
  im.OnProgress = [&](TateCustomImporter*, std::int32_t current, std::int32_t total) {
    calls.emplace_back(current, total);
  };
  Events("{a\r\nb\r\nc}", &im);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), std::make_pair(0, 3));
  EXPECT_EQ(calls.back(), std::make_pair(3, 3));
}

struct BaseOnly : TateCustomImporterEx {
  void Import(TStream&) override {}
};

TEST(RtfImport, ImporterBaseStack) {
  BaseOnly base;
  base.PopGroup(5);  // nothing on an empty stack
  EXPECT_EQ(base.Depth(), 0u);
  TateCustomEditorAttributes a;
  base.ApplyAttributes(a);
  EXPECT_EQ(a.Name(), u"Times New Roman");
  EXPECT_EQ(a.Size(), 10);
  EXPECT_EQ(a.Style(), 0);
  EXPECT_EQ(base.Top().Key, -1);
  base.PushGroup(7);
  base.SetStyle(1, true);
  base.PushGroup(-1);
  base.SetSize(20);
  base.PopGroup(7);  // the level with key 7 goes; the one above stays
  ASSERT_EQ(base.Depth(), 2u);
  base.ApplyAttributes(a);
  EXPECT_EQ(a.Size(), 20);
  base.PopGroup(3);
  EXPECT_EQ(base.Depth(), 2u);
}

TEST(RtfImport, BitmapPicture) {
  graphics::Bitmap bitmap(3, 2, graphics::PixelFormat::Rgb24());
  bitmap.SetPixel(0, 0, 0xFFFF0000);
  const auto dib = graphics::WritePackedDib(bitmap);
  std::string hex;
  for (std::uint8_t b : dib) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  TateRTF_Importer im;
  std::vector<ShownPicture> pictures;
  std::string out;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes* a,
                  const TateCustomEditorObject* p, const TateCustomParagraph* g) {
    out += RtfEventLine(text, a, p, g) + "\n";
    if (p) pictures.push_back(ShownPicture::Of(*p));
  };
  im.ImportText(Utf8ToWide("{a{\\pict\\wbitmap0\\picscalex200\\picw3\\pich2\r\n" + hex.substr(0, 10) + "\r\n" +
                           hex.substr(10) + "}{\\pict\\dibitmap0 " + hex + "}}"));
  EXPECT_EQ(out,
            "run\t\"a\"\tTimes New Roman\t10\tnone\tnone\t-\n"
            "picture\tbitmap\t6x2\n"
            "picture\tbitmap\t3x2\n");
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_FALSE(pictures[0].Unscaled);
  EXPECT_TRUE(pictures[1].Unscaled);
  ASSERT_TRUE(pictures[1].Image);
  EXPECT_EQ(pictures[1].Image->GetPixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pictures[0].GraphicWidth, 3);
}

TEST(RtfImport, MetafilesKeepTheirBytes) {
  // A metafile's 18-byte header; picw/pich in hundredths of a millimetre.
  const std::string wmf = "010009000003220000000000FFFF0000FFFF";
  TateRTF_Importer im;
  std::vector<ShownPicture> pictures;
  im.OnText = [&](TateCustomImporter*, WideStringView, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject* p, const TateCustomParagraph*) {
    if (p) pictures.push_back(ShownPicture::Of(*p));
  };
  im.ImportText(Utf8ToWide("{{\\pict\\wmetafile8\\picw2540\\pich1270 " + wmf + "}{\\pict\\wmetafile8 " + wmf + "}}"));
  ASSERT_EQ(pictures.size(), 1u);  // the second has no size
  EXPECT_EQ(pictures[0].Width, 96);
  EXPECT_EQ(pictures[0].Height, 48);
  ASSERT_EQ(pictures[0].Bytes.size(), 22u + 18u);
  EXPECT_EQ(pictures[0].Bytes[0], 0xD7);
  EXPECT_EQ(pictures[0].Bytes[3], 0x9A);
  EXPECT_EQ(pictures[0].Bytes[10], 96);  // right
  EXPECT_EQ(pictures[0].Bytes[22], 0x01);
}

}  // namespace
}  // namespace pw::editor

namespace pw::editor {
namespace {

// Each run as "TEXT:MASK" (the change mask in hexadecimal), space separated.
std::string Masks(std::string_view rtf) {
  TateRTF_Importer im;
  std::string out;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes* a,
                  const TateCustomEditorObject*, const TateCustomParagraph*) {
    if (!a) return;
    char mask[8];
    std::snprintf(mask, sizeof mask, "%X", a->ChangeMask());
    out += (out.empty() ? "" : " ") + WideToUtf8(text) + ":" + mask;
  };
  im.ImportText(Utf8ToWide(rtf));
  return out;
}

// The change mask of a run names what the document set for it, run by run.
TEST(RtfImport, ChangeMasksNameWhatTheDocumentSet) {
  const std::pair<const char*, const char*> cases[] = {
      {"{x}", "x:0"},
      {R"({\b x})", "x:1040"},
      {R"({\b0 x})", "x:1000"},
      {R"({\i\ul\strike x})", "x:1380"},
      {R"({{\colortbl;\red1;}\cf1 x})", "x:1"},
      {R"({{\colortbl;\red1;}\highlight1 x})", "x:2"},
      {R"({{\fonttbl{\f0 Arial;}}\f0 x})", "x:C"},
      {R"({\fs24 x})", "x:20"},
      {R"({\sub x\super y\nosupersub z})", "x:2400 y:2800 z:2000"},
      {R"({\plain x})", "x:302F"},
      // Nothing accumulates from run to run: a group's settings end with it.
      {R"({{\b a}b{\fs30 c}d})", "a:1040 b:0 c:20 d:0"},
      // Equal values that the document set and did not set are two runs.
      {R"({{\b0 a}b})", "a:1000 b:0"},
      // Ignored words set nothing.
      {R"({\cf9\f9\highlight-1 x})", "x:2"},
  };
  for (const auto& [rtf, masks] : cases) EXPECT_EQ(Masks(rtf), masks) << rtf;
}

// Paragraph objects: a bullet keeps the document's indents (no hanging indent of its
// own); a numbered paragraph reads its number from the list text.
TEST(RtfImport, ParagraphObjects) {
  TateRTF_Importer im;
  std::vector<TateRtfParagraph> paragraphs;
  std::vector<std::string> texts;
  im.OnText = [&](TateCustomImporter*, WideStringView text, const TateCustomEditorAttributes*,
                  const TateCustomEditorObject*, const TateCustomParagraph* g) {
    if (g) {
      paragraphs.push_back(g->ToRecord());
      EXPECT_EQ(g->List(), paragraphs.back().Numbering == 1);
      EXPECT_EQ(g->Numbered(), paragraphs.back().Numbering == 2);
    } else {
      texts.push_back(WideToUtf8(text));
    }
  };
  im.ImportText(Utf8ToWide(R"({\pard\li1500{\pntext\f0\'B7\tab}A\par{\listtext  12.\tab}B\par{\listtext x}C)"
                           R"(\par\qj{\pntext 3.\tab}D})"));
  EXPECT_EQ(texts, (std::vector<std::string>{"A", "B", "C", "D"}));
  ASSERT_EQ(paragraphs.size(), 4u);
  EXPECT_EQ(paragraphs[0], (TateRtfParagraph{0, 1, 1, 0, 100, 0}));
  EXPECT_EQ(paragraphs[1], (TateRtfParagraph{0, 2, 12, 0, 100, 0}));
  EXPECT_EQ(paragraphs[2], (TateRtfParagraph{0, 2, 12, 0, 100, 0}));  // no digits: the number stays
  EXPECT_EQ(paragraphs[3], (TateRtfParagraph{3, 1, 12, 0, 100, 0}));
  // The reader's own objects hold the state after the last word.
  EXPECT_EQ(im.Paragraph().Alignment(), 3);
  EXPECT_TRUE(im.Paragraph().List());
}

}  // namespace
}  // namespace pw::editor

namespace pw::editor {
namespace {

// Numbers far past 32 bits are clamped, in sizes, indents and picture sizes alike.
TEST(RtfImport, HugeNumbersAreClamped) {
  const auto dib = graphics::WritePackedDib(graphics::Bitmap(2, 1, graphics::PixelFormat::Rgb24()));
  std::string hex;
  for (std::uint8_t b : dib) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  EXPECT_EQ(Events(R"({\li99999999999999\fi-99999999999999\fs99999999999999 a)"
                   R"({\pict\dibitmap0\picw99999999999999\picscalex99999999999\picscaley-5 )" +
                   hex + "}}"),
            "paragraph\tformat\t0\t0\t-2147483648\t2147483647\t0\n"
            "run\t\"a\"\tTimes New Roman\t1073741823\tnone\tnone\t-\n"
            "picture\tbitmap\t2147483647x0\n");
}

}  // namespace
}  // namespace pw::editor
