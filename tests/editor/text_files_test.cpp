// The two text-file loaders (the wide string list and the line storage) and their saves:
// detection tables, byte-exact round trips, and unrecognised content that loses nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "editor/source/editor_source.h"
#include "editor/text/wide_strings.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/strings.h"

namespace pw::editor {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(static_cast<char>(c));
  return s;
}

struct Detection {
  const char* name;
  std::string bytes;
  int listEncoding;   // 3: not recognised
  int storeEncoding;  // 3: not recognised
  WideString listText;
  WideString storeText;
};

std::string Sniffed(std::size_t at, char c) {
  std::string s(12000, 'a');
  s[at] = c;
  return s;
}

const std::string kXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xC3\xA9";

std::vector<Detection> DetectionCases() {
  return {
      {"Utf16", Bytes({0xFF, 0xFE, 0x41, 0x00}), 0, 0, u"A", u"A"},
      {"Utf16OddByteDropped", Bytes({0xFF, 0xFE, 0x41, 0x00, 0x42}), 0, 0, u"A", u"A"},
      {"Utf8Mark", Bytes({0xEF, 0xBB, 0xBF, 0x41}), 1, 1, u"A", u"A"},
      {"Utf8MarkBadThirdByte", Bytes({0xEF, 0xBB, 0x41, 0x42}), 3, 1, u"", u"B"},
      {"Ansi", "AB", 2, 2, u"AB", u"AB"},
      {"AnsiHighBytes", Bytes({0x41, 0x80, 0xE9}), 2, 2, u"A\u20AC\u00E9", u"A\u20AC\u00E9"},
      {"ControlByte", Bytes({0x41, 0x42, 0x00}), 3, 3, u"", u"[Error]"},
      {"FirstTwoBytesNotTested", Bytes({0x01, 0x02, 0x41}), 2, 2, u"\u0001\u0002A", u"\u0001\u0002A"},
      {"OneByte", "A", 2, 2, u"A", u"A"},
      {"OneControlByte", Bytes({0x01}), 3, 3, u"", u"[Error]"},
      {"XmlDeclarationIsUtf8", kXml, 1, 2, Utf8ToWide(kXml), SystemCodePageToWide(kXml)},
      {"XmlSingleQuotesIsAnsi", "<?xml version='1.0' encoding='UTF-8'?>", 2, 2,
       u"<?xml version='1.0' encoding='UTF-8'?>", u"<?xml version='1.0' encoding='UTF-8'?>"},
      {"ControlAtWindowStart", Sniffed(2, '\x05'), 3, 3, u"", u"[Error]"},
      {"ControlAtWindowEnd", Sniffed(10001, '\x05'), 3, 3, u"", u"[Error]"},
      {"ControlPastWindow", Sniffed(10002, '\x05'), 2, 2, SystemCodePageToWide(Sniffed(10002, '\x05')),
       SystemCodePageToWide(Sniffed(10002, '\x05'))},
      {"TabsBreaksAnd26Pass", Bytes({0x41, 0x42, 0x09, 0x1A, 0x0D, 0x0A, 0x43}), 2, 2, u"AB\t\x1A\r\nC",
       u"AB\t\x1A\r\nC"},
  };
}

class DetectionTest : public ::testing::TestWithParam<Detection> {};

TEST_P(DetectionTest, WideStringList) {
  const Detection& c = GetParam();
  TWideStrings list;
  list.Add(u"old");
  list.LoadedFormat = teUtf16;
  const bool recognised = list.LoadFromBytes(c.bytes);
  EXPECT_EQ(recognised, c.listEncoding != 3);
  EXPECT_EQ(list.GetTextStr(), c.listText);
  EXPECT_EQ(list.LoadedFormat, c.listEncoding == 3 ? teUtf16 : c.listEncoding);
}

TEST_P(DetectionTest, LineStorage) {
  const Detection& c = GetParam();
  TateEditorSource source;
  auto& strings = source.Strings();
  strings.LoadedEncoding = teUtf8;
  const bool recognised = strings.LoadFromBytes(c.bytes);
  EXPECT_EQ(recognised, c.storeEncoding != 3);
  EXPECT_EQ(strings.GetText(), c.storeText);
  EXPECT_EQ(strings.LoadedEncoding, c.storeEncoding == 3 ? teUtf8 : c.storeEncoding);
}

INSTANTIATE_TEST_SUITE_P(Cases, DetectionTest, ::testing::ValuesIn(DetectionCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("pw_editor_files_" + std::to_string(::getpid()) + "_" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path Write(const char* name, const std::string& bytes) {
    auto p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static WideString Name(const std::filesystem::path& p) { return Utf8ToWide(p.string()); }
  std::filesystem::path dir;
};

TEST_F(TextFileTest, SavesInEachFormatAfterEachKindOfLoad) {
  const std::string loads[] = {Bytes({0xFF, 0xFE, 'h', 0, 0xE9, 0, '\r', 0, '\n', 0, 'x', 0}),
                               "\xEF\xBB\xBFh\xC3\xA9\r\nx", "h\xE9\r\nx"};
  const std::string saves[] = {Bytes({0xFF, 0xFE, 'h', 0, 0xE9, 0, '\r', 0, '\n', 0, 'x', 0}),
                               "\xEF\xBB\xBFh\xC3\xA9\r\nx", "h\xE9\r\nx"};
  for (int load = 0; load < 3; ++load) {
    for (int save = 0; save < 4; ++save) {
      SCOPED_TRACE(::testing::Message() << "load " << load << " save " << save);
      const auto in = Write("in.txt", loads[load]);
      const auto out = dir / "out.txt";
      TWideStrings list;
      ASSERT_TRUE(list.LoadFromFile(Name(in)));
      list.SaveFormat = static_cast<TateTextEncoding>(save);
      list.SaveToFile(Name(out));
      EXPECT_EQ(Read(out), saves[save == 3 ? load : save]);
      TateEditorSource source;
      ASSERT_TRUE(source.Strings().LoadFromFile(Name(in)));
      source.Strings().SaveEncoding = static_cast<TateTextEncoding>(save);
      source.Strings().SaveToFile(Name(out));
      EXPECT_EQ(Read(out), saves[save == 3 ? load : save]);
    }
  }
}

TEST_F(TextFileTest, SaveWithKeepBeforeAnyLoadWritesUtf16) {
  TWideStrings list;
  list.SetTextStr(u"a");
  list.SaveFormat = teKeep;
  EXPECT_EQ(list.SaveToBytes(), Bytes({0xFF, 0xFE, 'a', 0}));
}

TEST_F(TextFileTest, MarklessUtf8RoundTripsByteForByteThroughAnsi) {
  std::string bytes = "caf\xC3\xA9 \xE2\x82\xAC\r\nline two\r\n";
  for (int b = 0x80; b < 0x100; ++b) bytes.push_back(static_cast<char>(b));
  const auto in = Write("utf8.txt", bytes);
  for (TateTextEncoding save : {teAnsi, teKeep}) {
    TateEditorSource source;
    ASSERT_TRUE(source.Strings().LoadFromFile(Name(in)));
    EXPECT_EQ(source.Strings().LoadedEncoding, teAnsi);
    source.Strings().SaveEncoding = save;
    EXPECT_EQ(source.Strings().SaveToBytes(), bytes);
    TWideStrings list;
    ASSERT_TRUE(list.LoadFromFile(Name(in)));
    list.SaveFormat = save;
    EXPECT_EQ(list.SaveToBytes(), bytes);
  }
}

TEST_F(TextFileTest, EmptyFileLoadsAsEmptyText) {
  const auto in = Write("empty.txt", "");
  TWideStrings list;
  list.Add(u"old");
  EXPECT_TRUE(list.LoadFromFile(Name(in)));
  EXPECT_EQ(list.GetCount(), 0);
  TateEditorSource source;
  source.Strings().SetText(u"old\r\ntext");
  EXPECT_TRUE(source.Strings().LoadFromFile(Name(in)));
  EXPECT_EQ(source.Strings().GetText(), u"");
}

TEST_F(TextFileTest, UnrecognisedLoadKeepsTheEncodingOfThePreviousLoad) {
  TateEditorSource source;
  auto& s = source.Strings();
  ASSERT_TRUE(s.LoadFromBytes("\xEF\xBB\xBFx"));
  EXPECT_FALSE(s.LoadFromBytes(Bytes({'a', 'b', 0})));
  EXPECT_EQ(s.GetText(), u"[Error]");
  s.SaveEncoding = teKeep;
  EXPECT_EQ(s.SaveToBytes(), "\xEF\xBB\xBF[Error]");
}

TEST_F(TextFileTest, MissingFileRaisesAndKeepsTheText) {
  TWideStrings list;
  list.Add(u"keep");
  EXPECT_THROW(list.LoadFromFile(Name(dir / "missing.txt")), EFOpenError);
  EXPECT_EQ(list.GetTextStr(), u"keep");
  TateEditorSource source;
  source.Strings().SetText(u"keep");
  EXPECT_THROW(source.Strings().LoadFromFile(Name(dir / "missing.txt")), EFOpenError);
  EXPECT_EQ(source.Strings().GetText(), u"keep");
}

TEST_F(TextFileTest, FailedSaveLeavesTheOldFile) {
  const auto target = Write("target.txt", "old");
  TWideStrings list;
  list.SetTextStr(u"new");
  EXPECT_THROW(list.SaveToFile(Name(dir / "no" / "such" / "folder.txt")), Exception);
  EXPECT_EQ(Read(target), "old");
}

}  // namespace
}  // namespace pw::editor
