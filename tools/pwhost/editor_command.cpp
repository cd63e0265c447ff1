#include "tools/pwhost/editor_command.h"

#include <memory>

#include "editor/highlight/factory.h"
#include "editor/highlight/highlighter.h"
#include "editor/rtf/rtf_exporter.h"
#include "editor/rtf/rtf_importer.h"
#include "editor/text/text_encoding.h"
#include "editor/source/editor_source.h"
#include "editor/text/wide_strings.h"
#include "platform/rtl/strings.h"

namespace pw::host {

const char* const kEditorUsage =
    "usage: pwhost editor load FILE [--list] [--print] [--tabs STOPS]\n"
    "       pwhost editor save IN OUT --encoding utf16|utf8|ansi|keep [--list]\n"
    "       pwhost editor highlight --scheme NAME FILE\n"
    "       pwhost editor to-rtf FILE [--scheme NAME] [--line-numbers]\n"
    "       pwhost editor from-rtf FILE [--runs]\n"
    "         NAME: empty pascal cpp csharp java basic cobol fortran asm fsharp script\n";

namespace {

using namespace pw::editor;

// The text of a file through one of the two loaders.
class Loaded {
 public:
  explicit Loaded(bool list) {
    if (list)
      list_ = std::make_unique<TWideStrings>();
    else
      source_ = std::make_unique<TateEditorSource>();
  }
  bool Load(const WideString& name) {
    return list_ ? list_->LoadFromFile(name) : source_->Strings().LoadFromFile(name);
  }
  TateTextEncoding Encoding() const { return list_ ? list_->LoadedFormat : source_->Strings().LoadedEncoding; }
  std::int32_t Count() const { return list_ ? list_->GetCount() : source_->Strings().GetCount(); }
  const WideString& Line(std::int32_t i) const { return list_ ? list_->Get(i) : source_->Strings().Get(i); }
  void Save(const WideString& name, TateTextEncoding encoding) {
    if (list_) {
      list_->SaveFormat = encoding;
      list_->SaveToFile(name);
    } else {
      source_->Strings().SaveEncoding = encoding;
      source_->Strings().SaveToFile(name);
    }
  }

 private:
  std::unique_ptr<TWideStrings> list_;
  std::unique_ptr<TateEditorSource> source_;
};

int Misused(std::FILE* err, const char* what) {
  std::fprintf(err, "pwhost editor: %s\n%s", what, kEditorUsage);
  return 2;
}

int Load(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file, tabs = "4";
  bool list = false, print = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--list") {
      list = true;
    } else if (args[i] == "--print") {
      print = true;
    } else if (args[i] == "--tabs" && i + 1 < args.size()) {
      tabs = args[++i];
    } else if (file.empty() && args[i].rfind("--", 0) != 0) {
      file = args[i];
    } else {
      return Misused(err, ("unexpected argument " + args[i]).c_str());
    }
  }
  if (file.empty()) return Misused(err, "no file given");
  std::unique_ptr<TateTabStopList> stops;
  try {
    stops = std::make_unique<TateTabStopList>(Utf8ToWide(tabs));
  } catch (const Exception& e) {
    std::fprintf(err, "pwhost editor: %s\n", e.what());
    return 2;
  }
  Loaded text(list);
  if (!text.Load(Utf8ToWide(file))) {
    std::fprintf(err, "pwhost editor: %s: the content is not text in a known encoding\n", file.c_str());
    return 1;
  }
  std::fprintf(out, "encoding\t%s\nlines\t%d\n", EncodingName(text.Encoding()), text.Count());
  if (print)
    for (std::int32_t i = 0; i < text.Count(); ++i)
      std::fprintf(out, "%s\n", WideToUtf8(stops->ExpandTabs(text.Line(i))).c_str());
  return 0;
}

int Save(const std::vector<std::string>& args, std::FILE* err) {
  std::vector<std::string> files;
  std::string encodingName;
  bool list = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--list") {
      list = true;
    } else if (args[i] == "--encoding" && i + 1 < args.size()) {
      encodingName = args[++i];
    } else if (args[i].rfind("--", 0) != 0) {
      files.push_back(args[i]);
    } else {
      return Misused(err, ("unexpected argument " + args[i]).c_str());
    }
  }
  if (files.size() != 2) return Misused(err, "give IN and OUT");
  TateTextEncoding encoding;
  if (encodingName == "utf16")
    encoding = teUtf16;
  else if (encodingName == "utf8")
    encoding = teUtf8;
  else if (encodingName == "ansi")
    encoding = teAnsi;
  else if (encodingName == "keep")
    encoding = teKeep;
  else
    return Misused(err, "--encoding takes utf16, utf8, ansi or keep");
  Loaded text(list);
  if (!text.Load(Utf8ToWide(files[0]))) {
    std::fprintf(err, "pwhost editor: %s: the content is not text in a known encoding; %s was not written\n",
                 files[0].c_str(), files[1].c_str());
    return 1;
  }
  text.Save(Utf8ToWide(files[1]), encoding);
  return 0;
}

const char* const kSchemes[] = {"empty", "pascal",  "cpp", "csharp", "java",  "basic",
                                "cobol", "fortran", "asm", "fsharp", "script"};

// The colour of each role in RTF (red + green*256 + blue*65536); the roles not listed keep the
// window text colour. Every scheme names its styles by role, so one table serves them all.
struct RoleColour {
  const char16_t* role;
  std::uint32_t colour;
};
constexpr RoleColour kRoleColours[] = {
    {u"String", 0xFF0000},        // blue
    {u"Number", 0x808000},        // teal
    {u"Comment", 0x008000},       // green
    {u"Keyword", 0x800000},       // navy
    {u"Symbol", 0x000080},        // maroon
    {u"Preprocessor", 0x008080},  // olive
};

// Gives the highlighter's styles their role's colour.
void ColourByRole(TateHighLighter& highlighter) {
  auto& styles = highlighter.GetStyles();
  for (std::int32_t i = 0; i < styles.GetCount(); ++i)
    for (const auto& r : kRoleColours)
      if (styles.GetStyle(i)->Name == r.role) styles.GetStyle(i)->SetColor(r.colour);
}

// The editor a source serves, without a window system: it keeps the caret and shows the
// highlighter it is given.
class HeadlessEditor : public TateSourceEditor {
 public:
  explicit HeadlessEditor(TateHighLighterIntf* highlighter) : highlighter_(highlighter) {}
  TPoint GetCaret() const override { return caret_; }
  void SetCaret(const TPoint& p) override { caret_ = p; }
  TPoint GetRememberedCaret() const override { return remembered_; }
  void SetRememberedCaret(const TPoint& p) override { remembered_ = p; }
  void AdjustPositions(const TPoint&, std::int32_t, std::int32_t) override {}
  void BlocksChanged() override {}
  void SetSelection(std::uint8_t, const TRect&) override {}
  void SetLineMarker(std::int32_t, bool) override {}
  void SetLineMarkerKind(std::int32_t, std::int32_t) override {}
  bool WindowExists() const override { return true; }
  TateHighLighterIntf* GetHighlighter() const override { return highlighter_; }

 private:
  TateHighLighterIntf* highlighter_;
  TPoint caret_, remembered_;
};

int Highlight(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file, scheme;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--scheme" && i + 1 < args.size())
      scheme = args[++i];
    else if (file.empty() && args[i].rfind("--", 0) != 0)
      file = args[i];
    else
      return Misused(err, ("unexpected argument " + args[i]).c_str());
  }
  int kind = -1;
  for (int k = 0; k < 11; ++k)
    if (scheme == kSchemes[k]) kind = k;
  if (kind < 0) return Misused(err, "--scheme takes one of the scheme names");
  if (file.empty()) return Misused(err, "no file given");
  std::unique_ptr<TateHighLighter> highlighter(CreateDefaultHighlighter());
  highlighter->CreateBuiltInParsers(static_cast<std::uint8_t>(kind), TateBuiltInStyleNames{});
  HeadlessEditor editor(highlighter.get());
  TateEditorSource source;
  source.SetEditor(&editor);
  auto& strings = source.Strings();
  strings.SetStartState(highlighter->GetRootState());
  if (!strings.LoadFromFile(Utf8ToWide(file))) {
    std::fprintf(err, "pwhost editor: %s: the content is not text in a known encoding\n", file.c_str());
    return 1;
  }
  source.ScanRows(0, strings.GetCount() - 1, true);
  auto& styles = highlighter->GetStyles();
  for (std::int32_t y = 0; y < strings.GetCount(); ++y) {
    const std::int32_t length = static_cast<std::int32_t>(source.TabStops().ExpandTabs(strings.Get(y)).size());
    TateHLRow* row = strings.GetRow(y);
    for (std::int32_t i = 1; i <= length;) {
      const std::uint16_t style = row->StyleAt(i);
      std::int32_t j = i;
      while (j <= length && row->StyleAt(j) == style) ++j;
      const TateHLStyle* s = styles.GetStyleSafe(style);
      const std::string name = s && !s->Name.empty() ? WideToUtf8(s->Name) : "-";
      std::fprintf(out, "%d\t%d\t%d\t%s\n", y + 1, i, j - i, name.c_str());
      i = j;
    }
  }
  return 0;
}

// The file as the editor's copy feeds the RTF writer: a paragraph per line, runs in the styles'
// attributes (with a scheme: its font styles, the role's colour), Courier New 10.
int ToRtf(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file, scheme;
  bool numbers = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--scheme" && i + 1 < args.size())
      scheme = args[++i];
    else if (args[i] == "--line-numbers")
      numbers = true;
    else if (file.empty() && args[i].rfind("--", 0) != 0)
      file = args[i];
    else
      return Misused(err, ("unexpected argument " + args[i]).c_str());
  }
  int kind = -1;
  for (int k = 0; k < 11; ++k)
    if (scheme == kSchemes[k]) kind = k;
  if (!scheme.empty() && kind < 0) return Misused(err, "--scheme takes one of the scheme names");
  if (file.empty()) return Misused(err, "no file given");
  std::unique_ptr<TateHighLighter> highlighter(CreateDefaultHighlighter());
  if (kind >= 0) {
    highlighter->CreateBuiltInParsers(static_cast<std::uint8_t>(kind), TateBuiltInStyleNames{});
    ColourByRole(*highlighter);
  }
  HeadlessEditor editor(highlighter.get());
  TateEditorSource source;
  if (kind >= 0) source.SetEditor(&editor);
  auto& strings = source.Strings();
  if (kind >= 0) strings.SetStartState(highlighter->GetRootState());
  if (!strings.LoadFromFile(Utf8ToWide(file))) {
    std::fprintf(err, "pwhost editor: %s: the content is not text in a known encoding\n", file.c_str());
    return 1;
  }
  if (kind >= 0) source.ScanRows(0, strings.GetCount() - 1, true);
  TateCustomEditorAttributes font;
  font.SetName(u"Courier New");
  font.SetSize(10);
  font.SetColor(static_cast<std::int32_t>(clWindowText));
  font.SetBackColor(static_cast<std::int32_t>(clNone));
  TMemoryStream stream;
  TateRTF_Exporter exporter(stream, font);
  exporter.ShowLineNumbers = numbers;
  auto& styles = highlighter->GetStyles();
  for (std::int32_t y = 0; y < strings.GetCount(); ++y) {
    if (y > 0) exporter.NewLine(true, nullptr);
    const WideString& line = strings.Get(y);
    TateHLRow* row = kind >= 0 ? strings.GetRow(y) : nullptr;
    // Each character's style, read at its column with the tabs expanded (stops "4").
    std::vector<std::uint16_t> style(line.size(), 0);
    std::int32_t col = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (row) style[i] = row->StyleAt(col + 1);
      col = line[i] == u'\t' ? std::max(source.TabStops().NextTabStop(col), col + 1) : col + 1;
    }
    if (line.empty()) exporter.WriteText(u"", nullptr, nullptr);
    for (std::size_t i = 0; i < line.size();) {
      std::size_t j = i;
      while (j < line.size() && style[j] == style[i]) ++j;
      TateCustomEditorAttributes a;
      a.Assign(&font);
      if (const TateHLStyle* s = row ? styles.GetStyleSafe(style[i]) : nullptr) {
        a.SetColor(static_cast<std::int32_t>(s->GetColor()));
        a.SetStyle(s->GetFontStyle());
        a.SetBackColor(static_cast<std::int32_t>(s->GetBackColor()));
      }
      exporter.WriteText(WideStringView(line).substr(i, j - i), &a, nullptr);
      i = j;
    }
  }
  exporter.Finish();
  std::fwrite(stream.Memory(), 1, static_cast<std::size_t>(stream.Size()), out);
  return 0;
}

// The text an RTF file holds (UTF-8, breaks as delivered), or its events one per line.
int FromRtf(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string file;
  bool runs = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--runs")
      runs = true;
    else if (file.empty() && args[i].rfind("--", 0) != 0)
      file = args[i];
    else
      return Misused(err, ("unexpected argument " + args[i]).c_str());
  }
  if (file.empty()) return Misused(err, "no file given");
  std::string bytes;
  try {
    bytes = ReadFileBytes(Utf8ToWide(file));
  } catch (const Exception& e) {
    std::fprintf(err, "pwhost editor: %s\n", e.what());
    return 1;
  }
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  TateRTF_Importer importer;
  if (!importer.CanImport(stream)) {
    std::fprintf(err, "pwhost editor: %s: not an RTF document (it does not start with {\\rtf)\n", file.c_str());
    return 1;
  }
  std::string text;
  importer.OnText = [&](TateCustomImporter*, WideStringView t, const TateCustomEditorAttributes* a,
                        const TateCustomEditorObject* p, const TateCustomParagraph* g) {
    if (runs)
      text += RtfEventLine(t, a, p, g) + "\n";
    else
      text += WideToUtf8(t);
  };
  try {
    importer.Import(stream);
  } catch (const Exception& e) {
    std::fprintf(err, "pwhost editor: %s: %s\n", file.c_str(), e.what());
    return 1;
  }
  std::fwrite(text.data(), 1, text.size(), out);
  return 0;
}

}  // namespace

int RunEditorCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) return Misused(err, "no command given");
  try {
    if (args[0] == "load") return Load(args, out, err);
    if (args[0] == "save") return Save(args, err);
    if (args[0] == "highlight") return Highlight(args, out, err);
    if (args[0] == "to-rtf") return ToRtf(args, out, err);
    if (args[0] == "from-rtf") return FromRtf(args, out, err);
  } catch (const std::exception& e) {
    std::fprintf(err, "pwhost editor: %s\n", e.what());
    return 1;
  }
  return Misused(err, ("unknown command " + args[0]).c_str());
}

}  // namespace pw::host
