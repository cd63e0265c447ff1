#include "editor/rtf/rtf_importer.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "graphics/bmp.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/persistent.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A control token split into its word (lower case, ASCII) and its parameter (-1
// when missing or malformed; 64-bit, clamped).
struct Control {
  std::string word;
  std::int64_t value = -1;
  bool hasValue = false;
};

Control Split(WideStringView token) {
  Control c;
  std::size_t end = token.size();
  while (end > 1 && ((token[end - 1] >= u'0' && token[end - 1] <= u'9') || token[end - 1] == u'-')) --end;
  for (std::size_t i = 1; i < end; ++i) {
    const char16_t ch = token[i];
    c.word += static_cast<char>(ch >= u'A' && ch <= u'Z' ? ch + 32 : (ch < 128 ? ch : '?'));
  }
  WideStringView p = token.substr(end);
  std::size_t i = 0;
  const bool negative = !p.empty() && p[0] == u'-';
  if (negative) ++i;
  if (i == p.size()) return c;
  std::int64_t v = 0;
  for (; i < p.size(); ++i) {
    if (p[i] < u'0' || p[i] > u'9') return c;
    v = std::min<std::int64_t>(v * 10 + (p[i] - u'0'), std::int64_t{1} << 40);
  }
  c.value = negative ? -v : v;
  c.hasValue = true;
  return c;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

WideString Trim(WideStringView s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return WideString(s.substr(b, e - b));
}

// Removes the backslash before "\", "{" and "}".
WideString Unescape(WideStringView s) {
  WideString out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'{' || s[i + 1] == u'}')) ++i;
    out += s[i];
  }
  return out;
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void Put16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Hundredths of a millimetre to pixels at 96 per inch.
std::int64_t HimetricToPixels(std::int64_t v) { return v * 96 / 2540; }

}  // namespace

// ---------------------------------------------------------------------------------------------

void TateCustomImporter::DoText(WideStringView text, const TateCustomEditorAttributes* attributes,
                                const TateCustomEditorObject* object, const TateCustomParagraph* paragraph) {
  if (OnText) OnText(this, text, attributes, object, paragraph);
}

bool TateCustomImporter::CanImport(TStream&) { return false; }

void TateCustomImporter::ImportText(WideStringView text) {
  if (text.empty()) return;
  TMemoryStream stream;
  const std::uint8_t mark[2] = {0xFF, 0xFE};
  stream.WriteBuffer(mark, 2);
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  for (std::size_t at = 0; at < bytes.size();) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(bytes.size() - at, 1 << 30));
    stream.WriteBuffer(bytes.data() + at, n);
    at += static_cast<std::size_t>(n);
  }
  stream.SetPosition(0);
  Import(stream);
}

// ---------------------------------------------------------------------------------------------

using Mask = TateCustomEditorAttributes::Mask;

TateCustomImporterEx::TateCustomImporterEx(const TateCustomEditorAttributes* font) {
  default_.FontName = u"Times New Roman";
  default_.Size = 10;
  if (font) {
    default_.FontName = font->Name();
    default_.Charset = font->Charset();
    default_.Size = font->Size();
  }
  base_.Attributes.FontName = default_.FontName;
  base_.Attributes.Charset = default_.Charset;
  base_.Attributes.Size = default_.Size;
  base_.Attributes.Color = kRtfNoColor;
  base_.Attributes.Background = kRtfNoColor;
  Fill(current_, base_);
}

void TateCustomImporterEx::PushGroup(std::int32_t key) {
  TateRtfRecord r = Folded();
  r.Key = key;
  stack_.push_back(std::move(r));
}

void TateCustomImporterEx::PopGroup(std::int32_t key) {
  for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
    if (key == -1 || it->Key == key) {
      stack_.erase(std::next(it).base());
      return;
    }
  }
}

TateRtfRecord& TateCustomImporterEx::Top() {
  if (stack_.empty()) PushGroup(-1);
  return stack_.back();
}

void TateCustomImporterEx::SetColor(std::int32_t color) {
  TateRtfRecord& t = Top();
  t.Attributes.Color = color;
  t.Set |= Mask::amColor;
}

void TateCustomImporterEx::SetBackground(std::int32_t color) {
  TateRtfRecord& t = Top();
  t.Attributes.Background = color;
  t.Set |= Mask::amBackColor;
}

void TateCustomImporterEx::SetFont(WideStringView name, std::uint8_t charset) {
  TateRtfRecord& t = Top();
  t.Attributes.FontName = WideString(name);
  t.Attributes.Charset = charset;
  t.Set |= Mask::amName | Mask::amCharset;
}

void TateCustomImporterEx::SetSize(std::int32_t size) {
  TateRtfRecord& t = Top();
  t.Attributes.Size = size;
  t.Set |= Mask::amSize;
}

void TateCustomImporterEx::SetStyle(std::uint8_t style, bool on) {
  TateRtfRecord& t = Top();
  std::uint8_t& s = t.Attributes.Style;
  s = on ? static_cast<std::uint8_t>(s | style) : static_cast<std::uint8_t>(s & ~style);
  t.Set |= Mask::amStyle;
}

void TateCustomImporterEx::SetVertical(std::uint8_t value, bool on) {
  TateRtfRecord& t = Top();
  t.Attributes.Vertical = on ? value : 0;
  t.Set |= Mask::amPosition;
}

void TateCustomImporterEx::SetNumbering(std::int32_t value) {
  // The list flag's own hanging indent is for paragraphs made in the editor: here the
  // indents and the number stay what the document gave.
  const std::int32_t left = paragraph_.LeftIndent(), first = paragraph_.FirstIndent(), number = paragraph_.Number();
  paragraph_.BeginUpdate();
  try {
    paragraph_.SetList(value == 1);
    paragraph_.SetNumbered(value == 2);
    paragraph_.SetLeftIndent(left);
    paragraph_.SetFirstIndent(first);
    paragraph_.SetNumber(number);
  } catch (...) {
    paragraph_.EndUpdate();
    throw;
  }
  paragraph_.EndUpdate();
}

void TateCustomImporterEx::AddText(WideStringView text) {
  if (text.empty()) return;
  ApplyAttributes(current_);
  EndParagraph();
  DoText(text, &current_, nullptr, nullptr);
}

void TateCustomImporterEx::ApplyAttributes(TateCustomEditorAttributes& attributes) { Fill(attributes, Folded()); }

void TateCustomImporterEx::Fill(TateCustomEditorAttributes& a, const TateRtfRecord& r) {
  const TateRtfAttributes& v = r.Attributes;
  a.BeginUpdate();
  try {
    a.AssignRecord(v);
    a.ClearChangeMask();
    if (r.Set & Mask::amColor) a.SetColor(v.Color);
    if (r.Set & Mask::amBackColor) a.SetBackColor(v.Background);
    if (r.Set & Mask::amName) a.SetName(v.FontName);
    if (r.Set & Mask::amCharset) a.SetCharset(v.Charset);
    if (r.Set & Mask::amSize) a.SetSize(v.Size);
    if (r.Set & Mask::amStyle) a.SetStyle(v.Style);
    if (r.Set & Mask::amPosition) a.SetPosition(v.Vertical);
  } catch (...) {
    a.EndUpdate();
    throw;
  }
  a.EndUpdate();
}

// ---------------------------------------------------------------------------------------------

TateRTF_Importer::TateRTF_Importer(const TateCustomEditorAttributes* font) : TateCustomImporterEx(font) {}

bool TateRTF_Importer::CanImport(TStream& stream) {
  stream.SetPosition(0);
  char head[5] = {};
  const bool ok = stream.Read(head, 5) == 5 && std::string_view(head, 5) == "{\\rtf";
  stream.SetPosition(0);
  return ok;
}

void TateRTF_Importer::Import(TStream& stream) {
  if (stream.Size() - stream.Position() <= 0) return;
  if (!parser_.Lines().LoadFromStream(stream)) throw EConvertError(u"The RTF text is not in a known encoding");
  Run();
}

TateSyntaxStyle* TateRTF_Importer::Next() {
  TateSyntaxStyle* s = parser_.NextToken();
  if (s && parser_.LineIndex() != lastLine_) {
    lastLine_ = parser_.LineIndex();
    if (OnProgress) OnProgress(this, lastLine_, parser_.Lines().GetCount());
  }
  return s;
}

void TateRTF_Importer::Run() {
  stack_.clear();
  Fill(current_, base_);
  fonts_.clear();
  colors_.clear();
  parser_.Reset();
  lastLine_ = -1;
  skipText_ = paragraphPending_ = changed_ = skipFallback_ = readNumber_ = false;
  watching_ = true;
  pendingText_.clear();
  paragraph_.AssignRecord(TateRtfParagraph());
  std::int32_t previous = 0;
  bool wordBefore = false;
  while (TateSyntaxStyle* s = Next()) {
    const std::int32_t kind = s->TokenKind;
    const WideString token = parser_.TokenText();
    if (kind == rtkGroupOpen) {
      skipFallback_ = false;
      PushGroup(-1);
    } else if (kind == rtkGroupClose) {
      skipFallback_ = false;
      PopGroup(-1);
      skipText_ = readNumber_ = false;
    } else if (kind == rtkText) {
      WideStringView t = token;
      if (previous == rtkControl && wordBefore && !t.empty() && t[0] == u' ') t.remove_prefix(1);
      WideString text = Unescape(t);
      if (skipFallback_ && !text.empty()) text.erase(0, 1);
      skipFallback_ = false;
      if (!skipText_) AddText(text);
      else if (readNumber_) ReadListNumber(text);
    } else {
      HandleControl(token, previous);
    }
    previous = kind;
    // Only a control word (a backslash and a letter) takes a delimiting space.
    wordBefore = kind == rtkControl && token.size() >= 2 &&
                 ((token[1] >= u'a' && token[1] <= u'z') || (token[1] >= u'A' && token[1] <= u'Z'));
  }
  Flush();
  EndParagraph();
  const std::int32_t n = parser_.Lines().GetCount();
  if (OnProgress) OnProgress(this, n, n);
  parser_.Lines().Clear();
}

void TateRTF_Importer::AddText(WideStringView text) {
  if (text.empty()) return;
  if (paragraphPending_ || watching_) {
    Flush();
    EndParagraph();
  }
  const TateRtfRecord& now = Folded();
  if (!pendingText_.empty() && !pendingAttributes_.SameAs(now)) Flush();
  if (pendingText_.empty()) pendingAttributes_ = now;
  pendingText_ += text;
}

void TateRTF_Importer::Flush() {
  if (pendingText_.empty()) return;
  const WideString text = std::move(pendingText_);
  pendingText_.clear();
  Fill(current_, pendingAttributes_);
  DoText(text, &current_, nullptr, nullptr);
}

void TateRTF_Importer::EndParagraph() {
  if (paragraphPending_) {
    paragraphPending_ = false;
    DoText(u"\r\n", nullptr, nullptr, &paragraph_);
  } else if (watching_ && changed_) {
    DoText(u"", nullptr, nullptr, &paragraph_);
  }
  watching_ = false;
}

void TateRTF_Importer::ReadListNumber(WideStringView text) {
  readNumber_ = false;
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  std::int64_t n = 0;
  const std::size_t start = i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    n = std::min<std::int64_t>(n * 10 + (text[i] - u'0'), INT32_MAX);
  if (i > start) paragraph_.SetNumber(static_cast<std::int32_t>(n));
}

void TateRTF_Importer::Deliver(WideStringView text) {
  if (!skipText_) AddText(text);
}

void TateRTF_Importer::HandleControl(const WideString& token, std::int32_t previousKind) {
  const bool fallback = skipFallback_;
  skipFallback_ = false;
  if (token == u"\\*") return SkipGroup();
  if (token.size() >= 2 && token[1] == u'\'') {
    // A hex escape: two hex digits, then any further characters are text.
    WideString rest;
    if (token.size() >= 4 && HexValue(token[2]) >= 0 && HexValue(token[3]) >= 0) {
      const auto code = static_cast<unsigned char>(HexValue(token[2]) * 16 + HexValue(token[3]));
      if (!fallback) Deliver(WideString(1, SystemCodePageCharToWide(code)));
      rest = token.substr(4);
    } else {
      rest = token.substr(std::min<std::size_t>(token.size(), 4));
    }
    Deliver(rest);
    return;
  }
  const Control c = Split(token);
  const std::int32_t code = RtfControlCode(c.word);
  const std::int32_t n = Clamp32(c.value);
  auto watch = [this] {
    if (watching_) changed_ = true;
  };
  switch (code) {
    case 0:
    case 25:
    case 34:
    case 44:
    case 46:
    case 50:  // author operator propname staticval stylesheet title
      return SkipGroup();
    case 13:  // fonttbl
      return ReadFontTable();
    case 5:  // colortbl
      return ReadColorTable();
    case 9:
    case 30: {  // f pnf
      auto it = c.hasValue ? fonts_.find(n) : fonts_.end();
      if (it != fonts_.end()) SetFont(it->second.first, it->second.second);
      return;
    }
    case 15:  // fs
      if (!c.hasValue) SetSize(72);
      else if (c.value >= 0) SetSize(n / 2);
      return;
    case 4: {  // cf
      const std::int64_t i = c.hasValue ? c.value : 0;
      if (i >= 0 && i < static_cast<std::int64_t>(colors_.size())) SetColor(colors_[static_cast<std::size_t>(i)]);
      return;
    }
    case 17: {  // highlight
      std::int32_t color = kRtfNoColor;
      if (c.value > 0 && c.value < static_cast<std::int64_t>(colors_.size()))
        color = colors_[static_cast<std::size_t>(c.value)];
      SetBackground(color);
      return;
    }
    case 1: return SetStyle(1, c.value != 0);      // b
    case 18: return SetStyle(2, c.value != 0);     // i
    case 53: return SetStyle(4, c.value != 0);     // ul
    case 45: return SetStyle(8, c.value != 0);     // strike
    case 54: return SetStyle(4, false);            // ulnone
    case 47: return SetVertical(1, c.value != 0);  // sub
    case 48: return SetVertical(2, c.value != 0);  // super
    case 23: return SetVertical(0, true);          // nosupersub
    case 29: {                                     // plain
      TateRtfRecord& t = Top();
      t.Set |= Mask::amName | Mask::amCharset | Mask::amSize | Mask::amColor | Mask::amBackColor | Mask::amStyle |
               Mask::amPosition;
      TateRtfAttributes& a = t.Attributes;
      if (!fonts_.empty()) {
        a.FontName = fonts_.begin()->second.first;
        a.Charset = fonts_.begin()->second.second;
      } else {
        a.FontName = default_.FontName;
        a.Charset = default_.Charset;
      }
      a.Size = 12;
      a.Color = 0;
      a.Background = kRtfNoColor;
      a.Style = 0;
      a.Vertical = 0;
      return;
    }
    case 26:  // par
      if (paragraphPending_) {
        Flush();
        DoText(u"\r\n", nullptr, nullptr, &paragraph_);
      }
      Flush();
      SetNumbering(0);
      paragraphPending_ = true;
      watching_ = false;
      return;
    case 27: watch(); return SetAlignment(0);  // pard
    case 37: watch(); return SetAlignment(0);  // ql
    case 38: watch(); return SetAlignment(1);  // qr
    case 35: watch(); return SetAlignment(2);  // qc
    case 36: watch(); return SetAlignment(3);  // qj
    case 11:
      watch();
      paragraph_.SetFirstIndent(TwipsToPixels(c.value));
      return;  // fi
    case 19:
      watch();
      paragraph_.SetLeftIndent(TwipsToPixels(c.value));
      return;  // li
    case 40:
      watch();
      paragraph_.SetRightIndent(TwipsToPixels(c.value));
      return;  // ri
    case 33:
    case 21:  // pntext listtext
      watch();
      SetNumbering(code == 33 ? 1 : 2);
      if (previousKind == rtkGroupOpen) {
        skipText_ = true;
        readNumber_ = code == 21;  // a numbered paragraph's number is its list text's
      }
      return;
    case 49:
    case 3: return Deliver(u"\t");  // tab cell
    case 20:
    case 51: return Deliver(u"\r\n");  // line trowd
    case 22:
    case 42: return Deliver(u"'");  // lquote rquote
    case 8: return Deliver(u"-");   // endash
    case 52: {                      // u
      if (!c.hasValue) return;
      std::int64_t v = c.value < 0 ? c.value + 65536 : c.value;
      WideString ch;
      if (v >= 0 && v <= 0xFFFF) {
        ch += static_cast<char16_t>(v);
      } else if (v > 0xFFFF && v <= 0x10FFFF) {
        v -= 0x10000;
        ch += static_cast<char16_t>(0xD800 + (v >> 10));
        ch += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
      }
      Deliver(ch);
      skipFallback_ = true;
      return;
    }
    case 28:  // pict
      return ReadPicture();
    default: return;
  }
}

void TateRTF_Importer::SkipGroup() {
  std::int64_t depth = 1;
  while (TateSyntaxStyle* s = Next()) {
    if (s->TokenKind == rtkGroupOpen) {
      ++depth;
    } else if (s->TokenKind == rtkGroupClose && --depth == 0) {
      PopGroup(-1);
      skipText_ = readNumber_ = false;
      return;
    }
  }
}

void TateRTF_Importer::ReadFontTable() {
  std::int64_t depth = 1;
  std::int64_t number = -1;
  std::uint8_t charset = 1;
  while (TateSyntaxStyle* s = Next()) {
    const std::int32_t kind = s->TokenKind;
    if (kind == rtkGroupOpen) {
      ++depth;
    } else if (kind == rtkGroupClose) {
      if (--depth == 0) {
        PopGroup(-1);
        return;
      }
    } else if (kind == rtkText && depth <= 2) {
      WideString name = Trim(parser_.TokenText());
      std::erase(name, u';');
      if (name.empty()) continue;
      std::int32_t key =
          number >= 0 ? Clamp32(number) : (fonts_.empty() ? 0 : Clamp32(std::int64_t{fonts_.rbegin()->first} + 1));
      if (key < 0) key = 0;
      fonts_[key] = {Unescape(name), charset};
      charset = 0;
      number = -1;
    } else if (kind == rtkControl) {
      const Control c = Split(parser_.TokenText());
      if (c.word == "f" && c.value >= 0) number = c.value;
      if (c.word == "fcharset" && c.value >= 0)
        charset = static_cast<std::uint8_t>(std::min<std::int64_t>(c.value, 255));
    }
  }
}

void TateRTF_Importer::ReadColorTable() {
  std::int64_t depth = 1;
  std::int32_t r = 0, g = 0, b = 0;
  while (TateSyntaxStyle* s = Next()) {
    const std::int32_t kind = s->TokenKind;
    if (kind == rtkGroupOpen) {
      ++depth;
    } else if (kind == rtkGroupClose) {
      if (--depth == 0) {
        PopGroup(-1);
        return;
      }
    } else if (kind == rtkText) {
      for (char16_t ch : parser_.TokenText()) {
        if (ch != u';') continue;
        colors_.push_back(r + g * 256 + b * 65536);
        r = g = b = 0;
      }
    } else {
      const Control c = Split(parser_.TokenText());
      const auto v = static_cast<std::int32_t>(std::clamp<std::int64_t>(c.value, 0, 255));
      if (c.word == "red") r = v;
      if (c.word == "green") g = v;
      if (c.word == "blue") b = v;
    }
  }
}

void TateRTF_Importer::ReadPicture() {
  std::int64_t width = -1, height = -1, scaleX = 100, scaleY = 100, mapMode = 8;
  std::int32_t type = -1;
  std::int64_t depth = 1;
  std::vector<std::uint8_t> data;
  int high = -1;
  bool closed = false;
  while (TateSyntaxStyle* s = Next()) {
    const std::int32_t kind = s->TokenKind;
    if (kind == rtkGroupOpen) {
      ++depth;
    } else if (kind == rtkGroupClose) {
      if (--depth == 0) {
        closed = true;
        break;
      }
    } else if (kind == rtkText && depth == 1) {
      for (char16_t ch : parser_.TokenText()) {
        const int v = HexValue(ch);
        if (v < 0) continue;
        if (high < 0) {
          high = v;
        } else {
          data.push_back(static_cast<std::uint8_t>(high * 16 + v));
          high = -1;
        }
      }
    } else if (kind == rtkControl && depth == 1) {
      const Control c = Split(parser_.TokenText());
      switch (RtfPictureCode(c.word)) {
        case 8: width = c.value; break;
        case 4: height = c.value; break;
        case 6: scaleX = c.value; break;
        case 7: scaleY = c.value; break;
        case 11: type = 0; break;
        case 1: type = 1; break;
        case 10: type = 2; break;
        case 2: type = 3; break;
        case 3: type = 4; break;
        case 9: type = 5; break;
        case 12:
          type = 6;
          mapMode = c.value;
          break;
        case 0: type = 7; break;
        default: break;
      }
    }
  }
  if (closed) {
    PopGroup(-1);
    skipText_ = readNumber_ = false;
  }
  if (data.empty() || (type != 0 && type != 1 && type != 6 && type != 7)) return;
  TateRtfPictureObject object;
  TateRtfPicture& picture = object.Picture();
  try {
    if (type == 0 || type == 7) {
      picture.Type = TateRtfPicture::Bitmap;
      picture.Image = graphics::ReadPackedDib(data);
      picture.GraphicWidth = picture.Image->width();
      picture.GraphicHeight = picture.Image->height();
    } else if (type == 1) {
      // An enhanced metafile: record 1 with the signature " EMF" at 40, its
      // frame at 24 in hundredths of a millimetre.
      if (data.size() < 88 || Le32(data, 0) != 1 || Le32(data, 40) != 0x464D4520) return;
      picture.Type = TateRtfPicture::Enhanced;
      const auto frame = [&](std::size_t at) {
        return static_cast<std::int64_t>(static_cast<std::int32_t>(Le32(data, at)));
      };
      picture.GraphicWidth = Clamp32(HimetricToPixels(frame(32) - frame(24)));
      picture.GraphicHeight = Clamp32(HimetricToPixels(frame(36) - frame(28)));
      if (width >= 0) width = HimetricToPixels(width);
      if (height >= 0) height = HimetricToPixels(height);
      picture.Bytes = std::move(data);
    } else {
      // A metafile: its 18-byte header, behind a placeable header of the given
      // size.
      if (data.size() < 18 || width < 0 || height < 0) return;
      if (mapMode != 1) {
        width = HimetricToPixels(width);
        height = HimetricToPixels(height);
      }
      width = std::min<std::int64_t>(width, 0x7FFF);
      height = std::min<std::int64_t>(height, 0x7FFF);
      std::vector<std::uint8_t> head;
      Put16(head, 0xCDD7);
      Put16(head, 0x9AC6);
      Put16(head, 0);
      Put16(head, 0);
      Put16(head, 0);
      Put16(head, static_cast<std::uint16_t>(width));
      Put16(head, static_cast<std::uint16_t>(height));
      Put16(head, 96);
      Put16(head, 0);
      Put16(head, 0);
      std::uint16_t sum = 0;
      for (std::size_t i = 0; i < 20; i += 2) sum ^= static_cast<std::uint16_t>(head[i] | (head[i + 1] << 8));
      Put16(head, sum);
      picture.Type = TateRtfPicture::Metafile;
      picture.GraphicWidth = static_cast<std::int32_t>(width);
      picture.GraphicHeight = static_cast<std::int32_t>(height);
      picture.Bytes = std::move(head);
      picture.Bytes.insert(picture.Bytes.end(), data.begin(), data.end());
    }
  } catch (const graphics::GraphicsError&) {
    return;  // a picture that does not decode is dropped
  }
  if (width < 0) width = picture.GraphicWidth;
  if (height < 0) height = picture.GraphicHeight;
  object.SetWidth(Clamp32(width * std::clamp<std::int64_t>(scaleX, 0, 1 << 20) / 100));
  object.SetHeight(Clamp32(height * std::clamp<std::int64_t>(scaleY, 0, 1 << 20) / 100));
  object.SetUnscaled(scaleX == 100 && scaleY == 100 && object.Width() == picture.GraphicWidth &&
                     object.Height() == picture.GraphicHeight);
  Flush();
  EndParagraph();
  DoText(u"", nullptr, &object, nullptr);
}

std::string RtfEventLine(WideStringView text, const TateCustomEditorAttributes* attributes,
                         const TateCustomEditorObject* object, const TateCustomParagraph* paragraph) {
  auto color = [](std::int32_t c) {
    if (c == kRtfNoColor || c == 0x1FFFFFFF) return std::string("none");
    const std::uint32_t rgb = ColorToRGB(static_cast<std::uint32_t>(c));
    char b[8];
    std::snprintf(b, sizeof b, "%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    return std::string(b);
  };
  if (object) {
    const TateRtfPicture* picture = object->Graphic();
    const char* kind = !picture                                    ? "none"
                       : picture->Type == TateRtfPicture::Bitmap   ? "bitmap"
                       : picture->Type == TateRtfPicture::Enhanced ? "emf"
                                                                   : "wmf";
    return std::string("picture\t") + kind + "\t" + std::to_string(object->Width()) + "x" +
           std::to_string(object->Height());
  }
  if (paragraph) {
    const TateRtfParagraph p = paragraph->ToRecord();
    return std::string("paragraph\t") + (text.empty() ? "format" : "break") + "\t" + std::to_string(p.Alignment) +
           "\t" + std::to_string(p.Numbering) + "\t" + std::to_string(p.FirstIndent) + "\t" +
           std::to_string(p.LeftIndent) + "\t" + std::to_string(p.RightIndent);
  }
  std::string quoted;
  for (char ch : WideToUtf8(text)) {
    if (ch == '\\' || ch == '"') quoted += std::string("\\") + ch;
    else if (ch == '\t') quoted += "\\t";
    else if (ch == '\r') quoted += "\\r";
    else if (ch == '\n') quoted += "\\n";
    else quoted += ch;
  }
  std::string line = "run\t\"" + quoted + "\"";
  if (attributes) {
    std::string styles;
    if (attributes->Style() & kStyleBold) styles += 'b';
    if (attributes->Style() & kStyleItalic) styles += 'i';
    if (attributes->Style() & kStyleUnderline) styles += 'u';
    if (attributes->Style() & kStyleStrikeOut) styles += 's';
    if (attributes->Position() == 1) styles += "sub";
    if (attributes->Position() == 2) styles += "super";
    if (styles.empty()) styles = "-";
    line += "\t" + WideToUtf8(attributes->Name()) + "\t" + std::to_string(attributes->Size()) + "\t" +
            color(attributes->Color()) + "\t" + color(attributes->BackColor()) + "\t" + styles;
  }
  return line;
}

}  // namespace pw::editor
