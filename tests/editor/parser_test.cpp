// The rule-based parser: keyword and mask rules by case, states carried across lines, the walk
// over lines with look-ahead, and unique names.
#include "editor/parser/parser.h"

#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/filer.h"
#include "platform/rtl/strings.h"

namespace pw::editor {
namespace {

// "text=Style" per token of all lines.
std::string TokensOf(TateEditorParser& p) {
  p.Reset();
  std::string out;
  while (TateSyntaxStyle* s = p.NextToken()) {
    if (!out.empty()) out += ' ';
    out += WideToUtf8(p.TokenText()) + "=" + (s == p.DefaultStyle() ? "-" : WideToUtf8(s->Name()));
  }
  return out;
}

class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    p.BeginUpdate();
    code = p.AddState(u"Code");
    comment = p.AddState(u"Comment");
    keyword = p.AddStyle(u"Keyword");
    note = p.AddStyle(u"Note");
    number = p.AddStyle(u"Number");
    auto* kw = p.AddRule(u"Keywords");
    kw->SetInitState(code);
    kw->SetStyle(keyword);
    kw->SetExpression(u"  begin\r\nend  ");
    auto* open = p.AddRule(u"Open");
    open->SetInitState(code);
    open->SetSetState(comment);
    open->SetStyle(note);
    open->SetRegExpr(true);
    open->SetExpression(u"\\{");
    auto* body = p.AddRule(u"Body");
    body->SetInitState(comment);
    body->SetStyle(note);
    body->SetRegExpr(true);
    body->SetExpression(u"[^}]+");
    auto* close = p.AddRule(u"Close");
    close->SetInitState(comment);
    close->SetSetState(code);
    close->SetStyle(note);
    close->SetRegExpr(true);
    close->SetExpression(u"\\}");
    auto* digits = p.AddRule(u"Digits");
    digits->SetInitState(code);
    digits->SetStyle(number);
    digits->SetRegExpr(true);
    digits->SetExpression(u"[0-9]+");
    p.InitialState = code;
    p.EndUpdate();
    p.Prepare();
  }
  std::string Tokens() { return TokensOf(p); }
  TateEditorParser p;
  TateParseState *code = nullptr, *comment = nullptr;
  TateSyntaxStyle *keyword = nullptr, *note = nullptr, *number = nullptr;
};

TEST_F(ParserTest, TokensStatesAndLines) {
  p.Lines().SetTextStr(u"BEGIN x1 {a\r\n\r\nb} Begin 42;\r\nend");
  EXPECT_EQ(Tokens(),
            "BEGIN=Keyword  =- x1=-  =- {=Note a=Note b=Note }=Note  =- Begin=Keyword  =- 42=Number ;=- "
            "end=Keyword");
}

TEST_F(ParserTest, StreamsItsCollectionsAndTokenizesTheSameAfterReadingThem) {
  TMemoryStream s;
  WriteObjectToStream(s, p, "P");
  const std::string bytes(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.Size()));
  // A rule: its name, the states and style by name, its expression as the list's "Strings".
  const auto name = [](std::string_view n) { return static_cast<char>(n.size()) + std::string(n); };
  const auto utf8 = [](std::string_view v) {
    return std::string("\x14") + static_cast<char>(v.size()) + '\0' + '\0' + '\0' + std::string(v);
  };
  const std::string rule = "\x01" + name("Name") + utf8("Open") + name("InitStateRef") + utf8("Code") +
                           name("Expression.Strings") + "\x01" + utf8("\\{") + '\0';
  EXPECT_NE(bytes.find(rule), std::string::npos);
  EXPECT_NE(bytes.find("\x0FInitialStateRef\x14\x04"), std::string::npos);

  // Read over a parser with items of its own, one rule pointing at a state that goes.
  TateEditorParser q;
  auto* old = q.AddState(u"Old");
  q.AddRule(u"Stale")->SetInitState(old);
  s.SetPosition(0);
  EXPECT_EQ(ReadObjectFromStream(s, q), "P");
  ASSERT_NE(q.FindState(u"Comment"), nullptr);
  EXPECT_EQ(q.FindState(u"Old"), nullptr);
  EXPECT_EQ(q.RuleCount(), 5);
  EXPECT_EQ(q.InitialState, q.FindState(u"Code"));
  const WideString text = u"BEGIN x1 {a\r\n\r\nb} Begin 42;\r\nend";
  p.Lines().SetTextStr(text);
  q.Lines().SetTextStr(text);
  EXPECT_EQ(TokensOf(q), Tokens());
}

TEST_F(ParserTest, CaseSensitiveStatesFindOnlyCaseSensitiveRules) {
  code->CaseSensetive = true;
  p.Lines().SetTextStr(u"begin");
  EXPECT_EQ(Tokens(), "begin=-");
  auto* exact = p.AddRule(u"Exact");
  exact->SetInitState(code);
  exact->SetStyle(keyword);
  exact->SetCaseSensitive(true);
  exact->SetExpression(u"Begin");
  p.Lines().SetTextStr(u"Begin begin");
  EXPECT_EQ(Tokens(), "Begin=Keyword  =- begin=-");
}

TEST_F(ParserTest, NoInitialStateAndEmptyMasks) {
  p.InitialState = nullptr;
  p.Lines().SetTextStr(u"begin");
  p.Reset();
  EXPECT_EQ(p.NextToken(), nullptr);
  p.InitialState = code;
  auto* any = p.AddRule(u"Any");
  any->SetInitState(comment);
  any->SetRegExpr(true);
  TateParseState* state = comment;
  std::int32_t pos = 1;
  TateSyntaxStyle* s = p.GetStyle(state, u"", pos);
  EXPECT_EQ(s, p.DefaultStyle());
  EXPECT_EQ(pos, 1);
}

TEST_F(ParserTest, PeekLeavesEverythingAsItWas) {
  p.Lines().SetTextStr(u"begin {x");
  p.Reset();
  p.NextToken();
  p.NextToken();
  const auto pos = p.Position(), start = p.TokenStart(), line = p.LineIndex();
  auto* style = p.TokenStyle();
  auto* state = p.CurrentState();
  WideString text;
  EXPECT_EQ(p.PeekToken(text), note);
  EXPECT_EQ(text, u"{");
  EXPECT_EQ(p.Position(), pos);
  EXPECT_EQ(p.TokenStart(), start);
  EXPECT_EQ(p.LineIndex(), line);
  EXPECT_EQ(p.TokenStyle(), style);
  EXPECT_EQ(p.CurrentState(), state);
  p.RestoreContext();  // an empty stack: nothing happens
  EXPECT_EQ(p.Position(), pos);
}

TEST_F(ParserTest, NamesAreUniqueIgnoringCase) {
  EXPECT_THROW(p.AddState(u"code"), Exception);
  EXPECT_THROW(comment->SetName(u"CODE"), Exception);
  EXPECT_EQ(comment->Name(), u"Comment");
  comment->SetName(u"COMMENT");  // its own name in another case
  EXPECT_EQ(comment->Name(), u"COMMENT");
  auto* bad = p.AddRule(u"Bad");
  bad->SetInitState(code);
  bad->SetRegExpr(true);
  EXPECT_THROW(bad->SetExpression(u"[ab"), Exception);
}

}  // namespace
}  // namespace pw::editor
