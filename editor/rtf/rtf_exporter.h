// The RTF writer: editor content fed line by line (runs of text in their
// attributes, paragraph breaks with their attributes, objects that hold a
// picture, optionally line numbers) and written as one RTF document at Finish,
// with the fonts and colours numbered in order of first use. Attributes,
// paragraphs and objects are the formatting objects of editor_attributes.h; the
// writer reads their values (not their change masks).
//
// Document: "{\rtf1\ansi ", the font table ("{\fonttbl" CR LF, then
// "{\fN\fnil\fcharsetC[\fprqP] NAME;}" per font, "}"), the colour table
// ("{\colortbl" CR LF, "\redR\greenG\blueB;" per colour, "}"), the body (its
// lines joined by CR LF) and "}". Font 0 and colour 0 are the given font's.
// System colours are resolved before their components are written; a run's
// background is written as "{\highlightN TEXT}" and never as colour 0 (which
// readers take as "none"), so a background in colour 0's value gets an entry of
// its own.
//
// A run writes what differs from the attributes last written (everything at the
// first run): \cfN (not for "none"), \fN, \fsN (points x 2), \b \i \ul \strike
// or \b0 \i0 \ulnone \strike0, \nosupersub \sub \super. Text: tab is "\tab ",
// "\", "{" and "}" are escaped, characters without a Windows-1252 form are
// written as \uN? (N above 32767 as N - 65536), the rest as Windows-1252 bytes.
// One space separates a control word from text after it. Line numbers: at each
// line's start, " " and the number padded with spaces to 5 (spaces only for a
// negative number), in the default attributes. Paragraphs: \pard (not between
// two bullets), \ql \qr \qc \qj, \fi \li \ri in twips, and the bullet ("Symbol"
// font, \'B7) or number text groups. Pictures: bitmaps as dibitmap0 with
// \wbmwidthbytes (a packed DIB without a file header), enhanced metafiles as
// emfblip, metafiles as wmetafile8 without their placeable header. A bitmap or
// enhanced metafile shown at another size than its own also gets \picscalex and
// \picscaley (the object's size in percent of the graphic's, rounded), so the
// reader shows it at that size; a metafile's \picw and \pich are the object's
// size. An object without a graphic writes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editor/rtf/editor_attributes.h"
#include "platform/rtl/rtl_stream.h"

namespace pw::editor {

class TateCustomExporter {
 public:
  TateCustomExporter(TStream& stream, const TateCustomEditorAttributes& font)
      : stream_(stream), font_(font.ToRecord()) {}
  virtual ~TateCustomExporter() = default;
  std::function<void(TateCustomExporter* sender, std::int32_t current, std::int32_t total)> OnProgress;
  virtual void NewLine(bool newParagraph, const TateCustomParagraph* paragraph) = 0;
  virtual void WriteText(WideStringView text, const TateCustomEditorAttributes* attributes,
                         const TateCustomEditorObject* object) = 0;
  virtual void Finish() = 0;

 protected:
  TStream& stream_;
  TateRtfAttributes font_;
};

class TateRTF_Exporter : public TateCustomExporter {
 public:
  TateRTF_Exporter(TStream& stream, const TateCustomEditorAttributes& font);
  // The displayed number of a line index; empty: the index + 1.
  std::function<std::int32_t(std::int32_t line)> LineNumbers;
  bool ShowLineNumbers = true;
  void NewLine(bool newParagraph, const TateCustomParagraph* paragraph) override;
  void WriteText(WideStringView text, const TateCustomEditorAttributes* attributes,
                 const TateCustomEditorObject* object) override;
  void Finish() override;

 private:
  void Control(std::string_view word);
  void Control(std::string_view word, std::int64_t value);
  void Text(std::string_view bytes);
  void Raw(std::string_view bytes);
  std::int32_t FontIndex(const TateRtfAttributes& a);
  std::int32_t ColorIndex(std::uint32_t color, bool background);
  void Run(WideStringView text, const TateRtfAttributes& a);
  void Picture(const TateCustomEditorObject& object);
  std::string Escape(WideStringView text) const;

  TateRtfAttributes current_, default_;
  std::vector<std::string> fonts_;
  std::map<std::string, std::int32_t> fontLookup_;
  std::vector<std::uint32_t> colors_;
  std::map<std::uint64_t, std::int32_t> colorLookup_;
  std::vector<std::string> pieces_;
  bool force_ = true, lineStarted_ = false, delimiterPending_ = false;
  std::int32_t lineCounter_ = 0, previousNumbering_ = 0, symbolFont_ = -1;
};

}  // namespace pw::editor
