#include "editor/rtf/editor_attributes.h"

namespace pw::editor {

// ---- TateCustomEditorAttributes

void TateCustomEditorAttributes::Mark(std::uint16_t bits) {
  mask_ = static_cast<std::uint16_t>(mask_ | bits);
  Changed();
}

void TateCustomEditorAttributes::SetCharset(std::uint8_t v) { Store(charset_, v, amCharset); }

void TateCustomEditorAttributes::SetColor(std::int32_t v) { Store(color_, v, amColor); }

void TateCustomEditorAttributes::SetBackColor(std::int32_t v) { Store(backColor_, v, amBackColor); }

void TateCustomEditorAttributes::SetName(const WideString& v) { Store(name_, v, amName); }

void TateCustomEditorAttributes::SetPitch(std::uint8_t v) { Store(pitch_, v, amPitch); }

void TateCustomEditorAttributes::SetSize(std::int32_t v) { Store(size_, v, amSize); }

void TateCustomEditorAttributes::SetStyle(std::uint8_t v) {
  if (Unchanged(v == style_, amStyle)) return;
  style_ = v;
  std::uint16_t bits = amStyle;
  if (v & kStyleBold) bits |= amBold;
  if (v & kStyleItalic) bits |= amItalic;
  if (v & kStyleUnderline) bits |= amUnderline;
  if (v & kStyleStrikeOut) bits |= amStrikeOut;
  Mark(bits);
}

void TateCustomEditorAttributes::SetPosition(std::uint8_t v) {
  if (Unchanged(v == position_, amPosition)) return;
  position_ = v;
  mask_ = static_cast<std::uint16_t>(mask_ & ~(amSubscript | amSuperscript));
  std::uint16_t bits = amPosition;
  if (v == 1) bits |= amSubscript;
  if (v == 2) bits |= amSuperscript;
  Mark(bits);
}

void TateCustomEditorAttributes::SetValue(std::int32_t v) { Store(value_, v, amValue); }

void TateCustomEditorAttributes::Assign(TPersistent* source) {
  auto* from = dynamic_cast<TateCustomEditorAttributes*>(source);
  if (!from) {
    TPersistent::Assign(source);
    return;
  }
  if (from == this) return;
  BeginUpdate();
  try {
    SetColor(from->color_);
    SetBackColor(from->backColor_);
    SetName(from->name_);
    SetCharset(from->charset_);
    SetSize(from->size_);
    SetStyle(from->style_);
    SetPitch(from->pitch_);
    SetPosition(from->position_);
    SetValue(from->value_);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TateRtfAttributes TateCustomEditorAttributes::ToRecord() const {
  TateRtfAttributes r;
  r.FontName = name_;
  r.Charset = charset_;
  r.Pitch = pitch_;
  r.Size = size_;
  r.Color = color_;
  r.Background = backColor_;
  r.Style = style_;
  r.Vertical = position_;
  return r;
}

void TateCustomEditorAttributes::AssignRecord(const TateRtfAttributes& r) {
  BeginUpdate();
  try {
    SetColor(r.Color);
    SetBackColor(r.Background);
    SetName(r.FontName);
    SetCharset(r.Charset);
    SetSize(r.Size);
    SetStyle(r.Style);
    SetPitch(r.Pitch);
    SetPosition(r.Vertical);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---- TateCustomParagraph

void TateCustomParagraph::SetLeftIndent(std::int32_t v) { Set(left_, v); }
void TateCustomParagraph::SetFirstIndent(std::int32_t v) { Set(first_, v); }
void TateCustomParagraph::SetRightIndent(std::int32_t v) { Set(right_, v); }
void TateCustomParagraph::SetNumbered(bool v) { Set(numbered_, v); }
void TateCustomParagraph::SetAlignment(std::int32_t v) { Set(alignment_, v); }
void TateCustomParagraph::SetNumber(std::int32_t v) { Set(number_, v); }

void TateCustomParagraph::SetList(bool v) {
  if (list_ == v) return;
  list_ = v;
  if (v) {
    left_ = 48;
    first_ = -24;
    number_ = 1;
  }
  Changed();
}

void TateCustomParagraph::Assign(TPersistent* source) {
  auto* from = dynamic_cast<TateCustomParagraph*>(source);
  if (!from) {
    TPersistent::Assign(source);
    return;
  }
  if (from == this) return;
  BeginUpdate();
  try {
    SetList(from->list_);
    SetLeftIndent(from->left_);
    SetFirstIndent(from->first_);
    SetRightIndent(from->right_);
    SetNumbered(from->numbered_);
    SetAlignment(from->alignment_);
    SetNumber(from->number_);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TateRtfParagraph TateCustomParagraph::ToRecord() const {
  TateRtfParagraph r;
  r.Alignment = alignment_;
  r.Numbering = numbered_ ? 2 : list_ ? 1 : 0;
  r.Number = number_;
  r.FirstIndent = first_;
  r.LeftIndent = left_;
  r.RightIndent = right_;
  return r;
}

void TateCustomParagraph::AssignRecord(const TateRtfParagraph& r) {
  BeginUpdate();
  try {
    SetList(r.Numbering == 1);
    SetNumbered(r.Numbering == 2);
    SetLeftIndent(r.LeftIndent);
    SetFirstIndent(r.FirstIndent);
    SetRightIndent(r.RightIndent);
    SetAlignment(r.Alignment);
    SetNumber(r.Number);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---- TateCustomEditorObject

void TateCustomEditorObject::SetWidth(std::int32_t v) {
  if (width_ == v) return;
  width_ = v;
  Changed(false);
}

void TateCustomEditorObject::SetHeight(std::int32_t v) {
  if (height_ == v) return;
  height_ = v;
  Changed(true);
}

void TateCustomEditorObject::SetUnscaled(bool v) {
  if (unscaled_ == v) return;
  unscaled_ = v;
  Changed(true);
}

}  // namespace pw::editor
