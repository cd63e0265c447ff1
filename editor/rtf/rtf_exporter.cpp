#include "editor/rtf/rtf_exporter.h"

#include <algorithm>
#include <cstdio>

#include "editor/rtf/rtf_parser.h"
#include "editor/text/text_encoding.h"
#include "graphics/bmp.h"
#include "platform/rtl/codepage.h"

namespace pw::editor {

namespace {
constexpr std::uint32_t kNone = 0x1FFFFFFF;
bool IsNone(std::int32_t color) { return color == kRtfNoColor || static_cast<std::uint32_t>(color) == kNone; }

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::int32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                   (static_cast<std::uint32_t>(b[at + 3]) << 24));
}
}  // namespace

TateRTF_Exporter::TateRTF_Exporter(TStream& stream, const TateCustomEditorAttributes& font)
    : TateCustomExporter(stream, font) {
  default_ = font_;
  default_.Background = kRtfNoColor;
  default_.Vertical = 0;
  FontIndex(font_);
  ColorIndex(static_cast<std::uint32_t>(font_.Color), false);
  current_ = default_;
  pieces_.emplace_back();
}

void TateRTF_Exporter::Control(std::string_view word) {
  pieces_.back() += '\\';
  pieces_.back() += word;
  delimiterPending_ = true;
}

void TateRTF_Exporter::Control(std::string_view word, std::int64_t value) {
  Control(word);
  pieces_.back() += std::to_string(value);
}

void TateRTF_Exporter::Text(std::string_view bytes) {
  if (bytes.empty()) return;
  if (delimiterPending_) pieces_.back() += ' ';
  pieces_.back() += bytes;
  delimiterPending_ = false;
}

void TateRTF_Exporter::Raw(std::string_view bytes) {
  pieces_.back() += bytes;
  delimiterPending_ = false;
}

std::int32_t TateRTF_Exporter::FontIndex(const TateRtfAttributes& a) {
  std::string entry = "\\fnil\\fcharset" + std::to_string(a.Charset);
  if (a.Pitch != 0) entry += "\\fprq" + std::to_string(a.Pitch);
  entry += ' ';
  entry += WideToSystemCodePage(a.FontName);
  auto [it, added] = fontLookup_.emplace(entry, static_cast<std::int32_t>(fonts_.size()));
  if (added) fonts_.push_back(entry);
  return it->second;
}

std::int32_t TateRTF_Exporter::ColorIndex(std::uint32_t color, bool background) {
  const std::uint32_t rgb = ColorToRGB(color);
  auto it = colorLookup_.find(rgb);
  if (it != colorLookup_.end() && (it->second != 0 || !background)) return it->second;
  const std::uint64_t key = it == colorLookup_.end() ? rgb : (std::uint64_t{1} << 32) | rgb;
  auto [at, added] = colorLookup_.emplace(key, static_cast<std::int32_t>(colors_.size()));
  if (added) colors_.push_back(rgb);
  return at->second;
}

std::string TateRTF_Exporter::Escape(WideStringView text) const {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u'\t') {
      out += "\\tab ";
    } else if (c == u'\\' || c == u'{' || c == u'}') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      const std::string b = WideToSystemCodePage(WideStringView(&c, 1));
      const auto byte = static_cast<unsigned char>(b.empty() ? 0 : b[0]);
      if (b.size() == 1 && (b[0] != '?' || c == u'?') && byte >= 0x20) {
        out += b;
      } else if (b.size() == 1 && (b[0] != '?' || c == u'?')) {
        // Control characters go as hex escapes, so the document stays text that reads back.
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\'";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
      } else {
        out += "\\u" + std::to_string(c > 32767 ? static_cast<std::int32_t>(c) - 65536 : c) + "?";
      }
    }
  }
  return out;
}

void TateRTF_Exporter::Run(WideStringView text, const TateRtfAttributes& a) {
  if (!IsNone(a.Color) && (force_ || a.Color != current_.Color))
    Control("cf", ColorIndex(static_cast<std::uint32_t>(a.Color), false));
  if (force_ || a.FontName != current_.FontName || a.Charset != current_.Charset || a.Pitch != current_.Pitch)
    Control("f", FontIndex(a));
  if (force_ || a.Size != current_.Size) Control("fs", static_cast<std::int64_t>(a.Size) * 2);
  static constexpr std::string_view kOn[] = {"b", "i", "ul", "strike"};
  static constexpr std::string_view kOff[] = {"b0", "i0", "ulnone", "strike0"};
  for (int k = 0; k < 4; ++k) {
    const bool on = a.Style & (1 << k), was = current_.Style & (1 << k);
    if (force_ ? on : on != was) Control(on ? kOn[k] : kOff[k]);
  }
  if (force_ || a.Vertical != current_.Vertical)
    Control(a.Vertical == 1 ? "sub" : a.Vertical == 2 ? "super" : "nosupersub");
  current_ = a;
  force_ = false;
  if (!IsNone(a.Background)) {
    Raw("{");
    Control("highlight", ColorIndex(static_cast<std::uint32_t>(a.Background), true));
    Text(Escape(text));
    Raw("}");
  } else {
    Text(Escape(text));
  }
}

void TateRTF_Exporter::NewLine(bool newParagraph, const TateCustomParagraph* paragraph) {
  pieces_.emplace_back();
  delimiterPending_ = false;
  lineStarted_ = newParagraph || paragraph;
  if (newParagraph) Control("par");
  if (paragraph) {
    const TateRtfParagraph p = paragraph->ToRecord();
    if (!(p.Numbering == 1 && previousNumbering_ == 1)) Control("pard");
    static constexpr std::string_view kAlign[] = {"ql", "qr", "qc", "qj"};
    if (p.Alignment >= 0 && p.Alignment < 4) Control(kAlign[p.Alignment]);
    if (p.FirstIndent != 0) Control("fi", PixelsToTwips(p.FirstIndent));
    if (p.LeftIndent != 0) Control("li", PixelsToTwips(p.LeftIndent));
    if (p.RightIndent != 0) Control("ri", PixelsToTwips(p.RightIndent));
    char buffer[160];
    if (p.Numbering == 1) {
      if (symbolFont_ < 0) {
        TateRtfAttributes symbol = default_;
        symbol.FontName = u"Symbol";
        symbolFont_ = FontIndex(symbol);
      }
      if (previousNumbering_ != 1)
        std::snprintf(buffer, sizeof buffer,
                      "{\\pntext\\f%d\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf%"
                      "d\\pnindent360{\\pntxtb\\'B7}}",
                      symbolFont_, symbolFont_);
      else std::snprintf(buffer, sizeof buffer, "{\\pntext\\f%d\\'B7\\tab}", symbolFont_);
      Raw(buffer);
    } else if (p.Numbering == 2) {
      std::snprintf(buffer, sizeof buffer, "{\\listtext %d.\\tab}{\\*\\pn\\pnlvlbody\\pnindent360\\pntxta %d.}",
                    p.Number, p.Number);
      Raw(buffer);
    }
    previousNumbering_ = p.Numbering;
  }
  if (newParagraph) ++lineCounter_;
  if (OnProgress) OnProgress(this, lineCounter_, 0);
}

void TateRTF_Exporter::WriteText(WideStringView text, const TateCustomEditorAttributes* attributes,
                                 const TateCustomEditorObject* object) {
  if ((lineStarted_ || (pieces_.size() == 1 && pieces_[0].empty())) && ShowLineNumbers) {
    const std::int32_t number = LineNumbers ? LineNumbers(lineCounter_) : lineCounter_ + 1;
    char buffer[32];
    if (number < 0) std::snprintf(buffer, sizeof buffer, "      ");
    else std::snprintf(buffer, sizeof buffer, " %-5d", number);
    WideString digits;
    for (const char* c = buffer; *c; ++c) digits += static_cast<char16_t>(*c);
    Run(digits, default_);
  }
  lineStarted_ = false;
  if (object) Picture(*object);
  else Run(text, attributes ? attributes->ToRecord() : default_);
}

void TateRTF_Exporter::Picture(const TateCustomEditorObject& object) {
  const TateRtfPicture* graphic = object.Graphic();
  if (!graphic) return;
  const TateRtfPicture& picture = *graphic;
  std::string type;
  std::vector<std::uint8_t> bytes;
  std::size_t skip = 0;
  std::int64_t width = object.Width(), height = object.Height();
  std::int64_t ownWidth = 0, ownHeight = 0;  // the graphic's own size in pixels; 0: no scale words
  if (picture.Type == TateRtfPicture::Enhanced) {
    type = "emfblip";
    bytes = picture.Bytes;
    if (bytes.size() >= 40) {
      width = static_cast<std::int64_t>(Le32(bytes, 32)) - Le32(bytes, 24);
      height = static_cast<std::int64_t>(Le32(bytes, 36)) - Le32(bytes, 28);
      ownWidth = width * 96 / 2540;  // as the reader finds it in the frame
      ownHeight = height * 96 / 2540;
    }
  } else if (picture.Type == TateRtfPicture::Metafile) {
    type = "wmetafile8";
    bytes = picture.Bytes;
    if (bytes.size() >= 22 && bytes[0] == 0xD7 && bytes[1] == 0xCD && bytes[2] == 0xC6 && bytes[3] == 0x9A) skip = 22;
    width = width * 2540 / 96;
    height = height * 2540 / 96;
  } else {
    if (!picture.Image) return;
    bytes = graphics::WritePackedDib(*picture.Image);
    type = "dibitmap0\\wbmwidthbytes" + std::to_string(picture.Image->stride());
    width = picture.Image->width();
    height = picture.Image->height();
    ownWidth = width;
    ownHeight = height;
  }
  std::string scale;
  const auto percent = [](std::int64_t shown, std::int64_t own) {
    return (std::max<std::int64_t>(shown, 0) * 200 + own) / (own * 2);
  };
  if (ownWidth > 0 && ownHeight > 0 && (object.Width() != ownWidth || object.Height() != ownHeight))
    scale = "\\picscalex" + std::to_string(percent(object.Width(), ownWidth)) + "\\picscaley" +
            std::to_string(percent(object.Height(), ownHeight));
  Raw("{\\pict\\" + type + "\\picw" + std::to_string(width) + "\\pich" + std::to_string(height) + scale + " " +
      Hex(bytes.data() + skip, bytes.size() - skip) + "}");
}

void TateRTF_Exporter::Finish() {
  std::string out = "{\\rtf1\\ansi ";
  if (!fonts_.empty()) {
    out += "{\\fonttbl\r\n";
    for (std::size_t i = 0; i < fonts_.size(); ++i) out += "{\\f" + std::to_string(i) + fonts_[i] + ";}";
    out += "}";
  }
  if (!colors_.empty()) {
    out += "{\\colortbl\r\n";
    for (std::uint32_t c : colors_)
      out += "\\red" + std::to_string(c & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
             std::to_string((c >> 16) & 0xFF) + ";";
    out += "}";
  }
  for (std::size_t i = 0; i < pieces_.size(); ++i) {
    if (i > 0) out += "\r\n";
    out += pieces_[i];
  }
  out += "}";
  WriteAllBytes(stream_, out);
}

}  // namespace pw::editor
