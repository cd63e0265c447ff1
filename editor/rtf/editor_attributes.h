// The persistent formatting records the RTF reader fills and the RTF writer and
// the editor read: character attributes (TateCustomEditorAttributes), paragraph
// attributes (TateCustomParagraph) and an embedded object (TateCustomEditorObject).
//
// Character attributes keep a 16-bit change mask. A setter stores its value,
// sets its property's bit (and the extra bits below) and calls Changed, unless
// the value equals the stored one and GetAssignedMask already has that bit. This
// class's GetAssignedMask is 0, so here every call marks and notifies, equal
// value or not. Bits: Color 1, BackColor 2, Name 4, Charset 8, Pitch 16, Size
// 32, Style 0x1000 (and, accumulating, 64 bold, 128 italic, 0x100 strike-out,
// 0x200 underline), Position 0x2000 (1 also sets 0x400, 2 sets 0x800, both
// cleared first), Value 0x4000.
//
// Paragraph and object setters store and call Changed only when the value
// differs. Turning a paragraph's List flag on also sets LeftIndent 48,
// FirstIndent -24 and Number 1 (a hanging indent for the bullet); turning it
// off leaves them.
//
// The RTF reader delivers these objects and the RTF writer is fed them; a
// picture comes as a TateRtfPictureObject, whose Graphic is the picture's
// graphic and whose size is the size it is shown at. ToRecord and AssignRecord
// convert to and from the plain values of rtf_attributes.h. Assign and
// AssignRecord close their update bracket also when a setter's Changed raises.
#pragma once

#include <cstdint>
#include <utility>

#include "editor/rtf/rtf_attributes.h"
#include "platform/rtl/persistent.h"

namespace pw::editor {

// Styles: bold 1, italic 2, underline 4, strike-out 8 (as the highlighter numbers them).
inline constexpr std::uint8_t kStyleBold = 1, kStyleItalic = 2, kStyleUnderline = 4, kStyleStrikeOut = 8;

class TateCustomEditorAttributes : public TPersistent {
 public:
  enum Mask : std::uint16_t {
    amColor = 0x0001,
    amBackColor = 0x0002,
    amName = 0x0004,
    amCharset = 0x0008,
    amPitch = 0x0010,
    amSize = 0x0020,
    amBold = 0x0040,
    amItalic = 0x0080,
    amStrikeOut = 0x0100,
    amUnderline = 0x0200,
    amSubscript = 0x0400,
    amSuperscript = 0x0800,
    amStyle = 0x1000,
    amPosition = 0x2000,
    amValue = 0x4000,
  };

  WideString ClassName() const override { return u"TateCustomEditorAttributes"; }
  // From another attributes record: every value inside one update bracket. Else the
  // runtime's assignment (EConvertError).
  void Assign(TPersistent* source) override;

  virtual std::uint16_t GetAssignedMask() const { return 0; }
  virtual void Changed() {}
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  void SetCharset(std::uint8_t v);
  void SetColor(std::int32_t v);
  void SetBackColor(std::int32_t v);
  void SetName(const WideString& v);
  void SetPitch(std::uint8_t v);
  void SetSize(std::int32_t v);
  void SetStyle(std::uint8_t v);
  void SetPosition(std::uint8_t v);  // 0 normal, 1 subscript, 2 superscript
  void SetValue(std::int32_t v);

  std::uint8_t Charset() const { return charset_; }
  std::int32_t Color() const { return color_; }
  std::int32_t BackColor() const { return backColor_; }
  const WideString& Name() const { return name_; }
  std::uint8_t Pitch() const { return pitch_; }
  std::int32_t Size() const { return size_; }
  std::uint8_t Style() const { return style_; }
  std::uint8_t Position() const { return position_; }
  std::int32_t Value() const { return value_; }
  std::uint16_t ChangeMask() const { return mask_; }
  void ClearChangeMask() { mask_ = 0; }

  // The plain record of the RTF reader and writer (font, colours, size, style, position).
  TateRtfAttributes ToRecord() const;
  void AssignRecord(const TateRtfAttributes& record);

 private:
  bool Unchanged(bool equal, std::uint16_t bit) const { return equal && (GetAssignedMask() & bit) != 0; }
  void Mark(std::uint16_t bits);
  // The plain setter: stores `v` and marks `bit`, unless unchanged.
  template <class T>
  void Store(T& field, const T& v, std::uint16_t bit) {
    if (Unchanged(v == field, bit)) return;
    field = v;
    Mark(bit);
  }

  std::uint8_t charset_ = 0;
  std::int32_t color_ = 0;
  std::int32_t backColor_ = 0;
  WideString name_;
  std::uint8_t pitch_ = 0;
  std::int32_t size_ = 0;
  std::uint8_t style_ = 0;
  std::uint8_t position_ = 0;
  std::uint16_t mask_ = 0;
  std::int32_t value_ = 0;
};

class TateCustomParagraph : public TPersistent {
 public:
  WideString ClassName() const override { return u"TateCustomParagraph"; }
  // From another paragraph: the List flag first (so its indents do not override the
  // source's), then every value, inside one update bracket. Else EConvertError.
  void Assign(TPersistent* source) override;

  virtual void Changed() {}
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  // Indents in pixels.
  void SetLeftIndent(std::int32_t v);
  void SetFirstIndent(std::int32_t v);
  void SetRightIndent(std::int32_t v);
  void SetList(bool v);      // a bullet paragraph
  void SetNumbered(bool v);  // a numbered paragraph (List and Numbered: numbered)
  // Our RTF model carries four alignments, which a flag cannot hold: 0 left, 1 right,
  // 2 centre, 3 justify.
  void SetAlignment(std::int32_t v);
  void SetNumber(std::int32_t v);  // the number of a numbered paragraph; 1 after construction

  std::int32_t LeftIndent() const { return left_; }
  std::int32_t FirstIndent() const { return first_; }
  std::int32_t RightIndent() const { return right_; }
  bool List() const { return list_; }
  bool Numbered() const { return numbered_; }
  std::int32_t Alignment() const { return alignment_; }
  std::int32_t Number() const { return number_; }

  TateRtfParagraph ToRecord() const;
  void AssignRecord(const TateRtfParagraph& record);

 private:
  template <class T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Changed();
  }
  std::int32_t left_ = 0, first_ = 0, right_ = 0;
  bool list_ = false, numbered_ = false;
  std::int32_t alignment_ = 0;
  std::int32_t number_ = 1;
};

class TateCustomEditorObject : public TPersistent {
 public:
  WideString ClassName() const override { return u"TateCustomEditorObject"; }
  // Flag: whether the change affects the layout beyond the object's own width (height and
  // scaling do).
  virtual void Changed(bool /*flag*/) {}
  // The graphic the object shows; none in this class.
  virtual const TateRtfPicture* Graphic() const { return nullptr; }

  void SetWidth(std::int32_t v);   // Changed(false)
  void SetHeight(std::int32_t v);  // Changed(true)
  void SetUnscaled(bool v);        // Changed(true)
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  bool Unscaled() const { return unscaled_; }

 private:
  std::int32_t width_ = 16, height_ = 16;
  bool unscaled_ = false;
};

// An embedded picture: the object's Width and Height are the size it is shown at
// in pixels, Unscaled when that is the graphic's own size.
class TateRtfPictureObject : public TateCustomEditorObject {
 public:
  TateRtfPictureObject() = default;
  explicit TateRtfPictureObject(TateRtfPicture picture) : picture_(std::move(picture)) {}
  WideString ClassName() const override { return u"TateRtfPictureObject"; }
  const TateRtfPicture* Graphic() const override { return &picture_; }
  TateRtfPicture& Picture() { return picture_; }

 private:
  TateRtfPicture picture_;
};

}  // namespace pw::editor
