// The RTF reader: a subset of RTF delivered as text events (runs of UTF-16 text
// with their character attributes, paragraph breaks with the paragraph
// attributes, pictures).
//
// Understood: character formatting (b, i, ul, ulnone, strike, sub, super,
// nosupersub, plain, f, fs, cf, highlight), the font and colour tables,
// paragraphs (par, pard, ql/qr/qc/qj, fi/li/ri in twips), list-number text
// (pntext, listtext: their group's text is dropped), tab, cell, line, trowd,
// lquote, rquote, endash, \uN and \'hh, and pictures. Destinations
// (\*, author, operator, propname, staticval, stylesheet, title) are skipped;
// other words do nothing.
//
// Events: a run is (text, attributes, no object, no paragraph); a paragraph
// break is ("\r\n", no attributes, no object, paragraph) and is delivered just
// before the next text, so no break follows the last text, and it carries the
// attributes of the paragraph that follows it; a paragraph whose attributes
// changed before any break is announced with (empty, no attributes, no object,
// paragraph); a picture is (empty, none, a TateRtfPictureObject, none). The
// objects belong to the reader and are valid during the call; a receiver copies
// what it keeps. Adjacent text in the same attributes comes as one run.
//
// The attributes of a run are complete (the default font where the document set
// nothing) and their change mask names what the document set for the run in its
// enclosing groups: amColor (cf, plain), amBackColor (highlight, plain), amName
// and amCharset (f, pnf, plain), amSize (fs, plain), amStyle with the bits of the
// styles on (b, i, ul, ulnone, strike, plain), amPosition with amSubscript or
// amSuperscript (sub, super, nosupersub, plain). A paragraph's List flag is a
// bullet (pntext), Numbered a numbered paragraph (listtext) whose Number is read
// from the leading digits of its list text; the indents stay those the document
// gave (no bullet's hanging indent is added).
//
// Fonts are kept by number (any number 0 <= N, no padding); a colour entry is
// complete at its
// ";" (components missing are 0); \cf and \highlight accept 0 <= N below the
// table's size. \uN with N < 0 is N + 65536; after it one fallback is skipped:
// a hex escape, or one character of the text that follows. \'hh decodes through
// the system code page. Each group level keeps its attributes folded, so deep
// nesting costs nothing per run. Pictures: wbitmap and dibitmap are packed DIBs
// decoded by the bitmap layer; emfblip and wmetafile keep their bytes
// (wmetafile behind a placeable header); other kinds, and pictures that do not
// decode, are dropped. Sizes are 64-bit and clamped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editor/rtf/editor_attributes.h"
#include "editor/rtf/rtf_attributes.h"
#include "editor/rtf/rtf_parser.h"
#include "platform/rtl/rtl_stream.h"

namespace pw::editor {

class TateCustomImporter;
using TateImportTextEvent =
    std::function<void(TateCustomImporter* sender, WideStringView text, const TateCustomEditorAttributes* attributes,
                       const TateCustomEditorObject* object, const TateCustomParagraph* paragraph)>;
using TateImportProgressEvent =
    std::function<void(TateCustomImporter* sender, std::int32_t current, std::int32_t total)>;

class TateCustomImporter {
 public:
  virtual ~TateCustomImporter() = default;
  TateImportTextEvent OnText;
  TateImportProgressEvent OnProgress;
  virtual void DoText(WideStringView text, const TateCustomEditorAttributes* attributes,
                      const TateCustomEditorObject* object, const TateCustomParagraph* paragraph);
  virtual bool CanImport(TStream& stream);
  virtual void Import(TStream& stream) = 0;
  // Text given as UTF-16 (imported as a stream with the mark FF FE).
  void ImportText(WideStringView text);
};

// One group level: its attributes, folded from the levels below, and the change-mask
// bits of the properties this level or one below it set.
struct TateRtfRecord {
  std::int32_t Key = -1;
  TateRtfAttributes Attributes;
  std::uint16_t Set = 0;
  // Equal values and equal bits (the key aside).
  bool SameAs(const TateRtfRecord& other) const { return Set == other.Set && Attributes == other.Attributes; }
};

class TateCustomImporterEx : public TateCustomImporter {
 public:
  // The default font: "Times New Roman", 10 points, unless one is given (its name,
  // charset and size).
  explicit TateCustomImporterEx(const TateCustomEditorAttributes* font = nullptr);

  void PushGroup(std::int32_t key);
  void PopGroup(std::int32_t key);
  TateRtfRecord& Top();
  void SetColor(std::int32_t color);
  void SetBackground(std::int32_t color);
  void SetFont(WideStringView name, std::uint8_t charset);
  void SetSize(std::int32_t size);
  void SetStyle(std::uint8_t style, bool on);
  void SetVertical(std::uint8_t value, bool on);
  void SetAlignment(std::int32_t value) { paragraph_.SetAlignment(value); }
  // 0 none, 1 bullet (List), 2 numbered (Numbered); the indents and the number stay.
  void SetNumbering(std::int32_t value);
  virtual void AddText(WideStringView text);
  virtual void EndParagraph() {}
  // The attributes of the top level (the default font on an empty stack), with the
  // change mask of what the levels set.
  virtual void ApplyAttributes(TateCustomEditorAttributes& attributes);
  std::size_t Depth() const { return stack_.size(); }
  // The current character and paragraph attributes.
  const TateCustomEditorAttributes& Attributes() const { return current_; }
  const TateCustomParagraph& Paragraph() const { return paragraph_; }

 protected:
  // The top level, or on an empty stack the level pushed there: the default font,
  // nothing set.
  const TateRtfRecord& Folded() const { return stack_.empty() ? base_ : stack_.back(); }
  // Attributes takes the record's values; its change mask becomes the record's bits.
  static void Fill(TateCustomEditorAttributes& attributes, const TateRtfRecord& record);
  std::vector<TateRtfRecord> stack_;
  TateCustomEditorAttributes current_;
  TateCustomParagraph paragraph_;
  TateRtfAttributes default_;
  TateRtfRecord base_;
};

class TateRTF_Importer : public TateCustomImporterEx {
 public:
  explicit TateRTF_Importer(const TateCustomEditorAttributes* font = nullptr);
  // At least 5 bytes and they are "{\rtf"; the stream is rewound.
  bool CanImport(TStream& stream) override;
  // Text that is not in a known encoding raises EConvertError.
  void Import(TStream& stream) override;
  void AddText(WideStringView text) override;
  void EndParagraph() override;

 private:
  void Run();
  void Flush();
  void HandleControl(const WideString& token, std::int32_t previousKind);
  void SkipGroup();
  void ReadFontTable();
  void ReadColorTable();
  void ReadPicture();
  void ReadListNumber(WideStringView text);
  void Deliver(WideStringView text);
  TateSyntaxStyle* Next();

  TateRTF_Parser parser_;
  std::map<std::int32_t, std::pair<WideString, std::uint8_t>> fonts_;
  std::vector<std::int32_t> colors_;
  bool skipText_ = false, paragraphPending_ = false, watching_ = true, changed_ = false;
  bool skipFallback_ = false, readNumber_ = false;
  WideString pendingText_;
  TateRtfRecord pendingAttributes_;
  std::int32_t lastLine_ = -1;
};

// One text event as a line (no line break), as `pwhost editor from-rtf --runs`
// prints it:
//   run<TAB>"TEXT"<TAB>FONT<TAB>SIZE<TAB>COLOUR<TAB>BACKGROUND<TAB>STYLES
//   paragraph<TAB>break|format<TAB>ALIGNMENT<TAB>NUMBERING<TAB>FIRST<TAB>LEFT<TAB>RIGHT
//   picture<TAB>bitmap|emf|wmf<TAB>WIDTHxHEIGHT
// TEXT is UTF-8 with \, ", tab, CR and LF escaped (\\ \" \t \r \n); colours are
// RRGGBB in hexadecimal or "none"; STYLES are the letters b i u s, then "sub"
// or "super", or "-".
std::string RtfEventLine(WideStringView text, const TateCustomEditorAttributes* attributes,
                         const TateCustomEditorObject* object, const TateCustomParagraph* paragraph);

}  // namespace pw::editor
