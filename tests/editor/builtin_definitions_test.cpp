// A snippet per built-in definition with the styles of its runs (LINE:COLUMN:LENGTH:STYLE, as
// pwhost editor highlight prints them), rows carried from line to line as ScanRows carries
// them; the definitions' quirks are among them.
#include <gtest/gtest.h>

#include "editor/highlight/highlighter.h"
#include "editor/source/editor_source.h"
#include "platform/rtl/strings.h"
#include "stand_in_editor.h"

namespace pw::editor {
namespace {

std::string Highlight(int kind, WideStringView text) {
  TateHighLighter hl;
  hl.CreateBuiltInParsers(static_cast<std::uint8_t>(kind), TateBuiltInStyleNames{});
  testing::StandInEditor editor;
  editor.window = true;
  editor.highlighter = &hl;
  TateEditorSource source;
  source.SetEditor(&editor);
  source.Strings().SetStartState(hl.GetRootState());
  source.Strings().SetText(text);
  source.ScanRows(0, source.Strings().GetCount() - 1, true);
  std::string out;
  for (std::int32_t y = 0; y < source.Strings().GetCount(); ++y) {
    const auto length = static_cast<std::int32_t>(source.TabStops().ExpandTabs(source.Strings().Get(y)).size());
    TateHLRow* row = source.Strings().GetRow(y);
    for (std::int32_t i = 1; i <= length;) {
      std::int32_t j = i;
      while (j <= length && row->StyleAt(j) == row->StyleAt(i)) ++j;
      if (!out.empty()) out += ' ';
      out += std::to_string(y + 1) + ":" + std::to_string(i) + ":" + std::to_string(j - i) + ":" +
             WideToUtf8(hl.GetStyles().GetStyleSafe(row->StyleAt(i))->Name);
      i = j;
    }
  }
  return out;
}

struct Snippet {
  const char* name;
  int kind;
  const char16_t* text;
  const char* runs;
};

class BuiltInDefinitions : public ::testing::TestWithParam<Snippet> {};

TEST_P(BuiltInDefinitions, Runs) { EXPECT_EQ(Highlight(GetParam().kind, GetParam().text), GetParam().runs); }

INSTANTIATE_TEST_SUITE_P(
    Snippets, BuiltInDefinitions,
    ::testing::Values(
        Snippet{"Empty", 0, u"any \"thing\" 12", "1:1:14:Identifier"},
        // "(" alone is a symbol; "{" comments span lines; "#13" is a character constant.
        Snippet{"Pascal", 1, u"program x; // note\r\nbegin (* c *) { multi\r\nline } a := $FF + #13; ( b\r\nend.",
                "1:1:7:Keyword 1:8:1:Space 1:9:1:Identifier 1:10:1:Symbol 1:11:1:Space 1:12:7:Comment "
                "2:1:5:Keyword 2:6:1:Space 2:7:7:Comment 2:14:1:Space 2:15:7:Comment 3:1:6:Comment 3:7:1:Space "
                "3:8:1:Identifier 3:9:1:Space 3:10:2:Symbol 3:12:1:Space 3:13:3:Number 3:16:1:Space 3:17:1:Symbol "
                "3:18:1:Space 3:19:3:String 3:22:1:Symbol 3:23:1:Space 3:24:1:Symbol 3:25:1:Space 3:26:1:Identifier "
                "4:1:3:Keyword 4:4:1:Symbol"},
        // A directive runs through the next blank; a lone "/" takes the string style through the
        // slash region's relay; "//" and "/*" open comments.
        Snippet{"Cpp", 2, u"#include <x.h>\r\nint a = 0x1F / 2; // c\r\nchar* s = \"a\\\"b\"; /* x\r\ny */ return a/b;",
                "1:1:9:Preprocessor 1:10:1:Symbol 1:11:1:Identifier 1:12:1:Symbol 1:13:1:Identifier 1:14:1:Symbol "
                "2:1:3:Keyword 2:4:1:Space 2:5:1:Identifier 2:6:1:Space 2:7:1:Symbol 2:8:1:Space 2:9:4:Number "
                "2:13:1:Space 2:14:1:String 2:15:1:Space 2:16:1:Number 2:17:1:Symbol 2:18:1:Space 2:19:4:Comment "
                "3:1:4:Keyword 3:5:1:Symbol 3:6:1:Space 3:7:1:Identifier 3:8:1:Space 3:9:1:Symbol 3:10:1:Space "
                "3:11:6:String 3:17:1:Symbol 3:18:1:Space 3:19:4:Comment 4:1:4:Comment 4:5:1:Space 4:6:6:Keyword "
                "4:12:1:Space 4:13:1:Identifier 4:14:1:String 4:15:1:Identifier 4:16:1:Symbol"},
        Snippet{"CppDirectiveAtLineEnd", 2, u"#if", "1:1:3:Preprocessor"},
        Snippet{"CSharp", 3, u"string s; foreach",
                "1:1:6:Keyword 1:7:1:Space 1:8:1:Identifier 1:9:1:Symbol 1:10:1:Space 1:11:7:Keyword"},
        Snippet{"Java", 4, u"boolean b; final",
                "1:1:7:Keyword 1:8:1:Space 1:9:1:Identifier 1:10:1:Symbol 1:11:1:Space 1:12:5:Keyword"},
        // "rem " opens a comment; "redim" and "resume" are still keywords.
        Snippet{"Basic", 5, u"Dim x\r\nrem a comment\r\nredim resume x",
                "1:1:3:Keyword 1:4:1:Space 1:5:1:Identifier 2:1:13:Comment 3:1:5:Keyword 3:6:1:Space 3:7:6:Keyword "
                "3:13:1:Space 3:14:1:Identifier"},
        // Every "*" and "/" opens a comment to the line end; "-" belongs to words.
        Snippet{"Cobol", 6, u"MOVE a-b TO c. * note\r\nx / y",
                "1:1:4:Keyword 1:5:1:Space 1:6:3:Identifier 1:9:1:Space 1:10:2:Keyword 1:12:1:Space "
                "1:13:1:Identifier 1:14:1:Symbol 1:15:1:Space 1:16:6:Comment 2:1:1:Identifier 2:2:1:Space "
                "2:3:3:Comment"},
        Snippet{"Fortran", 7, u"x = 'a' * 2\r\ncall end",
                "1:1:1:Identifier 1:2:1:Space 1:3:1:Symbol 1:4:1:Space 1:5:3:String 1:8:1:Space 1:9:3:Comment "
                "2:1:4:Keyword 2:5:1:Space 2:6:3:Keyword"},
        Snippet{"Assembler", 8, u"MOV AX, 0h1F ; .model 12",
                "1:1:3:Keyword 1:4:1:Space 1:5:2:Identifier 1:7:1:Symbol 1:8:1:Space 1:9:4:Number 1:13:1:Space "
                "1:14:1:Symbol 1:15:1:Space 1:16:6:Keyword 1:22:1:Space 1:23:2:Number"},
        // Both comment regions share their first start state: "(/" opens a line comment, "/*" a
        // block comment.
        Snippet{"FSharp", 9, u"let x = 0x1F (* c *) // d\r\n#if DEBUG\r\n(/ c\r\n/* b",
                "1:1:3:Keyword 1:4:1:Space 1:5:1:Identifier 1:6:1:Space 1:7:1:Symbol 1:8:1:Space 1:9:4:Number "
                "1:13:1:Space 1:14:7:Comment 1:21:1:Space 1:22:4:Comment 2:1:4:Preprocessor 2:5:5:Identifier "
                "3:1:4:Comment 4:1:4:Comment"},
        Snippet{"Script", 10, u"var a = \"s\" / 2; return",
                "1:1:3:Keyword 1:4:1:Space 1:5:1:Identifier 1:6:1:Space 1:7:1:Symbol 1:8:1:Space 1:9:3:String "
                "1:12:1:Space 1:13:1:Symbol 1:14:1:Space 1:15:1:Number 1:16:1:Symbol 1:17:1:Space 1:18:6:Keyword"},
        Snippet{"KindAboveTen", 11, u"a b", "1:1:3:Other"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuiltInDefinitionsSetup, StylesNamesAndCase) {
  TateHighLighter hl;
  hl.CreateBuiltInParsers(2, TateBuiltInStyleNames{});
  EXPECT_EQ(hl.ParserName, u"CppParser");
  EXPECT_TRUE(hl.CaseSensitive());
  const char16_t* order[] = {u"Space",  u"Keyword", u"Other",   u"String",
                             u"Number", u"Symbol",  u"Comment", u"Identifier"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(hl.GetStyles().GetStyle(i)->Name, order[i]);
  EXPECT_EQ(hl.GetStyles().GetStyle(1)->FontStyle, fsBold);
  hl.CreateBuiltInParsers(11, TateBuiltInStyleNames{});
  EXPECT_EQ(hl.GetStyles().GetCount(), 8);
  EXPECT_EQ(hl.ParserName, u"CppParser");  // kind 11 and 10 keep the name
  EXPECT_EQ(PascalKeywords().size(), 91u);
  EXPECT_EQ(CobolKeywords().size(), 504u);
  EXPECT_EQ(FortranKeywords().size(), 565u);
}

}  // namespace
}  // namespace pw::editor
