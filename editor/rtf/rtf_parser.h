// The RTF tokenizer shared by the RTF reader and writer: a line walker (TateEditorParser) whose
// tokens are group openers, group closers, text runs and control words or symbols, told apart
// by their style's token kind (1 "{", 2 "}", 3 text, 4 control). The tables of control words
// and picture words (a word's position is its code), and pixel/twip conversion.
//
// A control is a backslash, the character after it and every following apostrophe, "*", "-",
// digit, letter or underscore (so "\'e9" and "\fs20" are one token each; a blank after a word
// is text). "\\", "\{" and "\}" are text, as is "|" alone. A text run ends at the line end, an
// unescaped brace or a backslash that starts a control. Characters are tested by their low
// byte.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "editor/parser/parser.h"

namespace pw::editor {

enum TateRtfTokenKind : std::int32_t { rtkGroupOpen = 1, rtkGroupClose = 2, rtkText = 3, rtkControl = 4 };

inline constexpr std::array<std::string_view, 56> kRtfControlWords = {
    "author",    "b",         "blue",     "cell",  "cf",        "colortbl", "deff",       "deflang",
    "endash",    "f",         "fcharset", "fi",    "fnil",      "fonttbl",  "fprq",       "fs",
    "green",     "highlight", "i",        "li",    "line",      "listtext", "lquote",     "nosupersub",
    "object",    "operator",  "par",      "pard",  "pict",      "plain",    "pnf",        "pnlvlblt",
    "pnlvlbody", "pntext",    "propname", "qc",    "qj",        "ql",       "qr",         "red",
    "ri",        "row",       "rquote",   "rtf",   "staticval", "strike",   "stylesheet", "sub",
    "super",     "tab",       "title",    "trowd", "u",         "ul",       "ulnone",     "v"};

inline constexpr std::array<std::string_view, 13> kRtfPictureWords = {
    "dibitmap",  "emfblip", "jpegblip",   "macpict", "pich",    "picscaled", "picscalex",
    "picscaley", "picw",    "pmmetafile", "pngblip", "wbitmap", "wmetafile"};

// The code of a word in a sorted table, -1 when it is not there.
std::int32_t RtfControlCode(std::string_view word);
std::int32_t RtfPictureCode(std::string_view word);

// Pixels to twips: times 567/100, then times 254/96, each step rounded to nearest (100 pixels
// give 1500 twips). Twips to pixels the other way. 64-bit, clamped to 32 bits.
std::int32_t PixelsToTwips(std::int64_t pixels);
std::int32_t TwipsToPixels(std::int64_t twips);

class TateRTF_Parser : public TateEditorParser {
 public:
  TateRTF_Parser();
  TateSyntaxStyle* GetStyle(TateParseState*& state, WideStringView line, std::int32_t& pos) override;
  TateSyntaxStyle* Style(TateRtfTokenKind kind) const { return const_cast<TateSyntaxStyle*>(&styles_[kind - 1]); }

 private:
  std::array<TateSyntaxStyle, 4> styles_;
  TateParseState state_;
};

}  // namespace pw::editor
