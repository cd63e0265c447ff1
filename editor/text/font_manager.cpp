#include "editor/text/font_manager.h"

#include <algorithm>

namespace pw::editor {

void TateFontManager::SetFont(const ui::FontSpec* font) {
  if (!font) {
    hasFont_ = false;
    average_ = lineHeight_ = 0;
    return;
  }
  hasFont_ = true;
  if (font->Name == cachedName_ && font->Size == cachedSize_ && regular_) return;
  widths_[0].assign(65536, 0);
  widths_[1].assign(65536, 0);
  cachedName_ = font->Name;
  cachedSize_ = font->Size;
  spec_ = *font;
  ui::FontSpec regular = *font, bold = *font;
  regular.Bold = false;
  bold.Bold = true;
  regular_ = std::make_unique<ui::MeasuredFont>(regular);
  bold_ = std::make_unique<ui::MeasuredFont>(bold);
  arial_ = font->Name == u"Arial";
  lineHeight_ = std::max(18, bold_->Height() + 1);
  average_ = bold_->AverageCharWidth();
}

std::int32_t TateFontManager::CharWidth(char16_t c, bool bold) {
  if (!hasFont_ || !regular_) return 0;
  std::uint16_t& w = widths_[bold ? 1 : 0][c];
  if (w == 0) w = static_cast<std::uint16_t>(std::clamp((bold ? bold_ : regular_)->CharWidth(c), 0, 65535));
  return w;
}

std::int32_t TateFontManager::TextWidth(WideStringView s, bool bold, bool) {
  std::int64_t sum = 0;
  for (char16_t c : s) sum += CharWidth(c, bold);
  return static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

}  // namespace pw::editor
