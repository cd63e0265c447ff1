// The editor's text model against plain baselines in the same binary:
//   - load and save of 10 MB per encoding through the line storage, against decoding (or
//     encoding) the same bytes into (or from) one std::u16string with the same conversion;
//   - 10 000 lines pasted into the middle of 1 000 000 and taken out again through the line
//     storage, against a std::vector range insert and erase of the same lines;
//   - 100 000 typed characters (an undo group each) through the edit source, then the undo of
//     all of them; the ratio is undo time over typing time;
//   - lines per second colouring the amalgamated duktape.c (duktape-dev) with the highlighter's
//     C++ definition and with the rule-based parser (rules equivalent to the tokenizer's),
//     against a hand-written minimal C tokenizer that styles each character.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "editor/highlight/highlighter.h"
#include "editor/parser/parser.h"
#include "editor/source/editor_source.h"
#include "editor/text/text_encoding.h"
#include "platform/rtl/strings.h"

namespace {

using namespace pw;
using namespace pw::editor;

class BenchEditor : public TateSourceEditor {
 public:
  TPoint GetCaret() const override { return caret; }
  void SetCaret(const TPoint& p) override { caret = p; }
  TPoint GetRememberedCaret() const override { return remembered; }
  void SetRememberedCaret(const TPoint& p) override { remembered = p; }
  void AdjustPositions(const TPoint&, std::int32_t, std::int32_t) override {}
  void BlocksChanged() override {}
  void SetSelection(std::uint8_t, const TRect&) override {}
  void SetLineMarker(std::int32_t, bool) override {}
  void SetLineMarkerKind(std::int32_t, std::int32_t) override {}
  bool WindowExists() const override { return false; }
  TateHighLighterIntf* GetHighlighter() const override { return nullptr; }
  TPoint caret, remembered;
};

// About 10 MB of text: lines of 60 to 100 characters, some non-ASCII.
WideString SampleText() {
  WideString text;
  std::uint32_t seed = 12345;
  while (text.size() < 10'000'000 / 2) {
    seed = seed * 1103515245u + 12345u;
    const int len = 60 + static_cast<int>((seed >> 16) % 40);
    for (int i = 0; i < len; ++i)
      text.push_back(i % 17 == 5 ? u'\u00E9' : static_cast<char16_t>(u'a' + (i * 7 + len) % 26));
    text += u"\r\n";
  }
  return text;
}

const WideString& Text() {
  static const WideString text = SampleText();
  return text;
}

const std::string& FileBytes(TateTextEncoding e) {
  static std::string bytes[3];
  if (bytes[e].empty()) bytes[e] = EncodeText(Text(), e);
  return bytes[e];
}

void BM_LoadLineStorage(benchmark::State& state) {
  const auto e = static_cast<TateTextEncoding>(state.range(0));
  const std::string& bytes = FileBytes(e);
  for (auto _ : state) {
    TateEditorSource source;
    benchmark::DoNotOptimize(source.Strings().LoadFromBytes(bytes));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LoadLineStorage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_LoadBaselineOneString(benchmark::State& state) {
  const auto e = static_cast<TateTextEncoding>(state.range(0));
  const std::string& bytes = FileBytes(e);
  for (auto _ : state) {
    std::string_view v(bytes);
    WideString s = e == teUtf16 ? DecodeUtf16Le(v.substr(2)) : e == teUtf8 ? DecodeUtf8(v.substr(3)) : DecodeAnsi(v);
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LoadBaselineOneString)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_SaveLineStorage(benchmark::State& state) {
  const auto e = static_cast<TateTextEncoding>(state.range(0));
  TateEditorSource source;
  source.Strings().LoadFromBytes(FileBytes(e));
  source.Strings().SaveEncoding = e;
  for (auto _ : state) {
    std::string out = source.Strings().SaveToBytes();
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SaveLineStorage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_SaveBaselineOneString(benchmark::State& state) {
  const auto e = static_cast<TateTextEncoding>(state.range(0));
  const WideString& text = Text();
  for (auto _ : state) {
    std::string out = EncodeText(text, e);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SaveBaselineOneString)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

WideString PasteText() {
  WideString paste;
  for (int i = 0; i < 10'000; ++i) paste += u"pasted line number " + IntToWide(i) + u"\r\n";
  return paste;
}

void BM_PasteLineStorage(benchmark::State& state) {
  TateEditorSource source;
  WideString text;
  text.reserve(1'000'000 * 12);
  for (int i = 0; i < 1'000'000; ++i) text += u"line " + IntToWide(i) + u"\r\n";
  source.Strings().SetText(text);
  const WideString paste = PasteText();
  for (auto _ : state) {
    source.Strings().ReplaceText(0, 500'000, 0, 500'000, paste);
    source.Strings().ReplaceText(0, 500'000, 0, 510'000, u"");
  }
}
BENCHMARK(BM_PasteLineStorage)->Unit(benchmark::kMillisecond);

void BM_PasteBaselineVector(benchmark::State& state) {
  std::vector<WideString> lines;
  for (int i = 0; i < 1'000'000; ++i) lines.push_back(u"line " + IntToWide(i));
  const WideString paste = PasteText();
  for (auto _ : state) {
    // The same work the paste does: cut the text into lines, insert them, take them out.
    std::vector<WideString> pieces;
    std::size_t p = 0;
    while (p < paste.size()) {
      const std::size_t e = paste.find(u"\r\n", p);
      pieces.emplace_back(paste.substr(p, e - p));
      p = e + 2;
    }
    lines.insert(lines.begin() + 500'000, std::make_move_iterator(pieces.begin()),
                 std::make_move_iterator(pieces.end()));
    lines.erase(lines.begin() + 500'000, lines.begin() + 510'000);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(BM_PasteBaselineVector)->Unit(benchmark::kMillisecond);

constexpr char16_t kTypingGroup[] = u"{3C5E4E0A-6E1B-4F43-9F55-1B1C3F1A2B01}";
constexpr int kTyped = 100'000;

void TypeAll(TateEditorSource& source, BenchEditor& editor) {
  for (int i = 0; i < kTyped; ++i) {
    if (i % 80 == 79) {
      source.UndoManager().BeginGroup(kTypingGroup);
      source.NewLine();
      source.SetCaretXY(0, editor.caret.Y + 1);
      source.UndoManager().EndGroup();
      continue;
    }
    source.UndoManager().BeginGroup(kTypingGroup);
    source.InsertText(WideString(1, static_cast<char16_t>(u'a' + i % 26)), 0);
    source.SetCaretXY(editor.caret.X + 1, editor.caret.Y);
    source.UndoManager().EndGroup();
  }
}

void BM_Typing(benchmark::State& state) {
  for (auto _ : state) {
    BenchEditor editor;
    TateEditorSource source;
    source.SetEditor(&editor);
    TypeAll(source, editor);
    benchmark::DoNotOptimize(source.Strings().GetCount());
  }
}
BENCHMARK(BM_Typing)->Unit(benchmark::kMillisecond);

void BM_UndoAllTyping(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      BenchEditor editor;
      TateEditorSource source;
      source.SetEditor(&editor);
      TypeAll(source, editor);
      state.ResumeTiming();
      while (source.CanUndo()) source.Undo();
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UndoAllTyping)->Unit(benchmark::kMillisecond);

const std::vector<WideString>& DuktapeLines() {
  static const std::vector<WideString> lines = [] {
    std::vector<WideString> out;
    std::ifstream in("/usr/share/duktape/duktape.c");
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      out.push_back(Utf8ToWide(line));
    }
    return out;
  }();
  return lines;
}

void BM_HighlightDuktape(benchmark::State& state) {
  const auto& lines = DuktapeLines();
  if (lines.empty()) return state.SkipWithError("duktape.c (duktape-dev) is not installed");
  TateHighLighter hl;
  hl.CreateBuiltInParsers(2, TateBuiltInStyleNames{});
  TateHLRow row(nullptr, nullptr);
  for (auto _ : state) {
    TateHLStateInternal* carried = hl.GetRootState();
    for (const auto& line : lines) {
      hl.ScanLine(carried, line, &row);
      carried = row.State;
    }
    benchmark::DoNotOptimize(row.Entries.data());
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_HighlightDuktape)->Unit(benchmark::kMillisecond);

void BM_ParseDuktape(benchmark::State& state) {
  const auto& lines = DuktapeLines();
  if (lines.empty()) return state.SkipWithError("duktape.c (duktape-dev) is not installed");
  TateParser parser;
  parser.BeginUpdate();
  TateParseState* code = parser.AddState(u"Code");
  TateParseState* comment = parser.AddState(u"Comment");
  auto rule = [&](const char16_t* name, TateParseState* in, TateParseState* to, const char16_t* style, bool mask,
                  const char16_t* expression) {
    TateParseRule* r = parser.AddRule(name);
    r->SetInitState(in);
    r->SetSetState(to);
    r->SetStyle(parser.FindStyle(style) ? parser.FindStyle(style) : parser.AddStyle(style));
    r->SetCaseSensitive(true);
    r->SetRegExpr(mask);
    r->SetExpression(expression);
  };
  rule(u"Keywords", code, nullptr, u"Keyword", false,
       u"if\r\nelse\r\nfor\r\nwhile\r\ndo\r\nreturn\r\nint\r\nchar\r\nvoid\r\nstatic\r\nconst\r\nstruct\r\n"
       u"switch\r\ncase\r\nbreak\r\ncontinue\r\ndefault\r\nsizeof\r\ntypedef\r\nunsigned\r\nlong\r\nshort\r\n"
       u"double\r\nfloat\r\ngoto\r\nenum");
  rule(u"LineComment", code, nullptr, u"Comment", true, u"//[^#0]*");
  rule(u"Open", code, comment, u"Comment", true, u"/\\*");
  rule(u"Close", comment, code, u"Comment", true, u"\\*/");
  rule(u"Body", comment, nullptr, u"Comment", true, u"[^*]+\r\n\\*");
  rule(u"String", code, nullptr, u"String", true, u"\"[^\"]*\"\r\n'[^']*'");
  rule(u"Number", code, nullptr, u"Number", true, u"[0-9][0-9a-zA-Z.]*");
  rule(u"Identifier", code, nullptr, u"Identifier", true, u"[a-zA-Z_][a-zA-Z_0-9]*");
  parser.InitialState = code;
  parser.EndUpdate();
  parser.Prepare();
  std::vector<TateSyntaxStyle*> styles;
  for (auto _ : state) {
    TateParseState* current = code;
    for (const auto& line : lines) {
      std::int32_t pos = 1;
      while (pos <= static_cast<std::int32_t>(line.size())) styles.push_back(parser.GetStyle(current, line, pos));
      styles.clear();
    }
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseDuktape)->Unit(benchmark::kMillisecond);

// The baseline: a minimal C tokenizer with the block-comment state carried between lines.
void BM_HighlightBaselineTokenizer(benchmark::State& state) {
  const auto& lines = DuktapeLines();
  if (lines.empty()) return state.SkipWithError("duktape.c (duktape-dev) is not installed");
  std::unordered_set<WideString> keywords;
  for (const char16_t* k :
       {u"if",      u"else",     u"for",    u"while",  u"do",     u"return", u"int",      u"char",    u"void",
        u"static",  u"const",    u"struct", u"switch", u"case",   u"break",  u"continue", u"default", u"sizeof",
        u"typedef", u"unsigned", u"long",   u"short",  u"double", u"float",  u"goto",     u"enum"})
    keywords.insert(k);
  std::vector<std::uint8_t> styles;
  auto word = [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || (c >= u'0' && c <= u'9');
  };
  for (auto _ : state) {
    bool inComment = false;
    for (const auto& line : lines) {
      styles.assign(line.size(), 0);
      std::size_t i = 0;
      while (i < line.size()) {
        const char16_t c = line[i];
        if (inComment) {
          styles[i] = 6;
          if (c == u'*' && i + 1 < line.size() && line[i + 1] == u'/') styles[++i] = 6, inComment = false;
          ++i;
        } else if (c == u'/' && i + 1 < line.size() && line[i + 1] == u'*') {
          inComment = true;
          styles[i++] = 6;
        } else if (c == u'/' && i + 1 < line.size() && line[i + 1] == u'/') {
          while (i < line.size()) styles[i++] = 6;
        } else if (c == u'"' || c == u'\'') {
          styles[i++] = 3;
          while (i < line.size() && line[i] != c) {
            if (line[i] == u'\\') styles[i++] = 3;
            if (i < line.size()) styles[i++] = 3;
          }
          if (i < line.size()) styles[i++] = 3;
        } else if (c >= u'0' && c <= u'9') {
          while (i < line.size() && word(line[i])) styles[i++] = 4;
        } else if (word(c)) {
          const std::size_t start = i;
          while (i < line.size() && word(line[i])) ++i;
          const std::uint8_t st = keywords.count(line.substr(start, i - start)) ? 1 : 7;
          for (std::size_t k = start; k < i; ++k) styles[k] = st;
        } else {
          styles[i++] = c == u' ' ? 0 : 5;
        }
      }
      benchmark::DoNotOptimize(styles.data());
    }
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_HighlightBaselineTokenizer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
