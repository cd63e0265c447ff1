// The highlighter: the scan of a line into its row, the builder operations and rows rescanned
// through the edit source.
#include "editor/highlight/highlighter.h"

#include <gtest/gtest.h>

#include "editor/highlight/factory.h"
#include "editor/source/editor_source.h"
#include "stand_in_editor.h"

namespace pw::editor {
namespace {

class HighlighterTest : public ::testing::Test {
 protected:
  // The style name of each character of `line` (its own characters only).
  std::vector<WideString> Scan(const WideString& line, TateHLStateInternal* start = nullptr) {
    row = std::make_unique<TateHLRow>(nullptr, nullptr);
    hl.ScanLine(start ? start : hl.GetRootState(), line, row.get());
    std::vector<WideString> out;
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(line.size()); ++i)
      out.push_back(hl.GetStyles().GetStyleSafe(row->StyleAt(i))->Name);
    return out;
  }
  // Runs: "Style:count" for consecutive characters of one style.
  std::string Runs(const WideString& line, TateHLStateInternal* start = nullptr) {
    auto styles = Scan(line, start);
    std::string out;
    for (std::size_t i = 0; i < styles.size();) {
      std::size_t j = i;
      while (j < styles.size() && styles[j] == styles[i]) ++j;
      if (!out.empty()) out += ' ';
      out += WideToUtf8(styles[i]) + ":" + std::to_string(j - i);
      i = j;
    }
    return out;
  }
  TateHighLighter hl;
  std::unique_ptr<TateHLRow> row;
};

TEST_F(HighlighterTest, AFreshHighlighterGivesEverythingIndent) {
  EXPECT_EQ(Runs(u"any text\there"), "Indent:13");
  EXPECT_EQ(row->State, hl.FindState(u"Indent"));
  Scan(u"");
  EXPECT_GE(row->GetCount(), 2);  // the blank and the carriage return are scanned too
  EXPECT_EQ(row->State, hl.FindState(u"indent"));
  EXPECT_EQ(row->GetEntry(1000), &row->Entries.back());
}

TEST_F(HighlighterTest, TheScanKeepsPixelOffsetsPast65535) {
  row = std::make_unique<TateHLRow>(nullptr, nullptr);
  hl.ScanLine(hl.GetRootState(), u"ab", row.get());
  row->GetEntry(2)->X = 70000;
  hl.ScanLine(hl.GetRootState(), u"ab", row.get());
  EXPECT_EQ(row->GetEntry(2)->X, 70000);
  EXPECT_EQ(row->StyleAt(2), 0);
}

// A caller that holds only the abstract classes builds, scans and reads styles.
TEST_F(HighlighterTest, TheAbstractClassesReachEveryOperation) {
  TateHighLighterIntf& intf = hl;
  intf.CreateBuiltInParsers(1, TateBuiltInStyleNames{});
  intf.SetCaseSensitive(false);
  EXPECT_EQ(Runs(u"BEGIN x"), "Keyword:5 Space:1 Identifier:1");
  intf.Clear();
  intf.AddBlock(u"Space", u"Space", u" ", u" ", true, u"");
  intf.AddKeywords(u"Ident", u"Ident", u"Kw", u"abc", u"abc", {u"ab"});
  intf.AddKeywordsToGroup(u"Kw", u"Kw2", {u"ca"});
  EXPECT_EQ(Runs(u"ab ca cc"), "Kw:2 Space:1 Kw2:2 Space:1 Ident:2");

  TateHLStylesIntf& styles = intf.GetStyles();
  TateHLStyleIntf* kw = styles.FindOrAddStyle(u"KW");  // ignoring case: the existing one
  EXPECT_EQ(kw->GetName(), u"Kw");
  EXPECT_EQ(styles.GetCount(), static_cast<std::int32_t>(hl.GetStyles().GetCount()));
  kw->SetColor(0x0000FF);
  kw->SetFontStyle(1);
  kw->SetBackColor(0x00FF00);
  EXPECT_EQ(styles.GetStyle(styles.IndexOfStyle(kw))->GetColor(), 0x0000FFu);
  EXPECT_EQ(kw->GetFontStyle(), 1);
  EXPECT_EQ(kw->GetBackColor(), 0x00FF00u);
  // Out of range: style 0; a style of another table: -1.
  EXPECT_EQ(styles.GetStyleSafe(-1), styles.GetStyle(0));
  EXPECT_EQ(styles.GetStyleSafe(styles.GetCount()), styles.GetStyle(0));
  TateHLStyle foreign(u"Kw");
  EXPECT_EQ(styles.IndexOfStyle(&foreign), -1);
  styles.Clear();
  EXPECT_EQ(styles.GetCount(), 0);
}

class LanguageTest : public HighlighterTest {
 protected:
  void SetUp() override {
    hl.Clear();
    hl.GetStyles().FindOrAddStyle(u"Space");
    hl.AddBlock(u"Other", u"Other", u"", u"", false, u"");
    hl.AddBlock(u"Space", u"Space", u" ", u" ", true, u"");
    hl.AddBlock(u"String", u"String", u"'", u"'", false, u"\\");
    hl.AddBlock(u"Symbol", u"Symbol", u"/();*", u"", false, u"");
    hl.AddRegion(u"Comment", u"Comment", u"Symbol", u"//", u"\r", false, false, false);
    hl.AddRegion(u"Comment", u"Comment", u"Symbol", u"/*", u"*/", false, false, false);
    hl.AddKeywords(u"Ident", u"Ident", u"Keyword", u"abcdefghijklmnopqrstuvwxyz",
                   u"abcdefghijklmnopqrstuvwxyz0123456789", {u"begin", u"end", u"x"});
  }
};

TEST_F(LanguageTest, KeywordsIgnoringCaseAndNeverOneLetter) {
  EXPECT_EQ(Runs(u"begin x BEGIN Begin beginx"),
            "Keyword:5 Space:1 Ident:1 Space:1 Keyword:5 Space:1 Keyword:5 Space:1 Ident:6");
  hl.AddKeywordsToGroup(u"Keyword", u"Other", {u"extra"});
  EXPECT_EQ(Runs(u"extra"), "Other:5");
}

TEST_F(LanguageTest, CaseSensitiveFindsOnlyTheSpelling) {
  hl.Clear();
  hl.SetCaseSensitive(true);
  hl.AddBlock(u"Other", u"Other", u"", u"", false, u"");
  hl.AddKeywords(u"Ident", u"Ident", u"Keyword", u"abcdefghijklmnopqrstuvwxyzBEGIN", u"abcdefghijklmnopqrstuvwxyzBEGIN",
                 {u"begin"});
  EXPECT_EQ(Runs(u"begin BEGIN"), "Keyword:5 Other:1 Ident:5");
}

TEST_F(LanguageTest, RegionsShareTheirFirstStartState) {
  EXPECT_EQ(Runs(u"a // rest"), "Ident:1 Space:1 Comment:7");
  EXPECT_EQ(Runs(u"a /* in */ b"), "Ident:1 Space:1 Comment:8 Space:1 Ident:1");
  EXPECT_EQ(Runs(u"a /x"), "Ident:1 Space:1 Symbol:1 Ident:1");
  // A block comment left open carries into the next line.
  Scan(u"/* open");
  TateHLStateInternal* carried = row->State;
  EXPECT_EQ(Runs(u"still */ x", carried), "Comment:8 Space:1 Ident:1");
}

TEST_F(LanguageTest, DelimitedBlocksEscapesAndOpenEnds) {
  EXPECT_EQ(Runs(u"'a\\'b' x"), "String:6 Space:1 Ident:1");
  Scan(u"'open");
  EXPECT_EQ(Runs(u"more' x", row->State), "String:5 Space:1 Ident:1");
}

TEST_F(LanguageTest, CharactersOutsideTheCodePageAreOneByte) {
  // U+2603 has no Windows-1250 form: it is scanned as 0xFF, as U+02D9 is.
  hl.AddBlock(u"Dot", u"Dot", u"\u02D9", u"", false, u"");
  EXPECT_EQ(Runs(u"\u2603\u02D9"), "Dot:2");
}

TEST_F(LanguageTest, RestartAtRootWithoutPrefixStillAdvances) {
  hl.AddRegion(u"Tag", u"Comment", u"Symbol", u"<!", u">", false, true, false);
  EXPECT_EQ(Runs(u"<x <!c> y"), "Symbol:1 Ident:1 Space:1 Comment:4 Space:1 Ident:1");
}

TEST_F(LanguageTest, LoopingDefinitionsAreCutShort) {
  // Two passing states that hand each other the character forever.
  auto* a = dynamic_cast<TateHLKeywordStartState*>(hl.GetOrCreateState(u"LoopA", u"", 2));
  auto* b = dynamic_cast<TateHLKeywordStartState*>(hl.GetOrCreateState(u"LoopB", u"", 2));
  a->SetNext(b);
  b->SetNext(a);
  hl.GetRootState();
  dynamic_cast<TateHLRootState*>(hl.GetRootState())->SetChars(u"@", a);
  Scan(u"x@y");
  EXPECT_EQ(Runs(u"x@y").substr(0, 7), "Ident:1");
}

TEST(HighlighterRows, TheEditSourceRescansChangedRows) {
  std::unique_ptr<TateHighLighter> hl(CreateDefaultHighlighter());
  hl->Clear();
  hl->AddBlock(u"Other", u"Other", u"", u"", false, u"");
  hl->AddBlock(u"String", u"String", u"\"", u"\"", false, u"");
  testing::StandInEditor editor;
  editor.window = true;
  editor.highlighter = hl.get();
  TateEditorSource source;
  source.SetEditor(&editor);
  source.Strings().SetStartState(hl->GetRootState());
  source.Strings().SetText(u"a \"open\r\nstill\" b\r\nc");
  source.ScanRows(0, 2, true);
  const std::int32_t string = hl->GetStyles().IndexOfStyle(hl->GetStyles().FindOrAddStyle(u"String"));
  EXPECT_EQ(source.Strings().GetRow(1)->StyleAt(1), string);
  EXPECT_NE(source.Strings().GetRow(2)->StyleAt(1), string);
  // Closing the string on line 0 changes how line 1 scans.
  editor.caret = {7, 0};
  source.InsertText(u"\"", 0);
  EXPECT_EQ(source.Strings().GetRow(0)->GetState(), nullptr);
  source.ScanRows(0, 2, true);
  EXPECT_NE(source.Strings().GetRow(1)->StyleAt(1), string);
  EXPECT_EQ(source.Strings().GetRow(1)->StyleAt(6), string);
}

TEST(HighlighterRows, AParserChangeRescansTheWholeText) {
  TateEditorSource source;
  source.Strings().SetText(u"a\r\nb");
  TateEditorParser parser;
  source.SetParser(&parser);
  source.Strings().GetRow(0)->ClearNeedsLayout();
  parser.BeginUpdate();
  parser.AddState(u"Code");
  parser.EndUpdate();
  EXPECT_TRUE(source.Strings().GetRow(0)->GetNeedsLayout());
  EXPECT_EQ(source.ScannedTo(), -1);
  source.SetParser(nullptr);
  source.Strings().GetRow(0)->ClearNeedsLayout();
  parser.BeginUpdate();
  parser.EndUpdate();
  EXPECT_FALSE(source.Strings().GetRow(0)->GetNeedsLayout());
}

}  // namespace
}  // namespace pw::editor
