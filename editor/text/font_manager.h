// The editor's text measurement: the widths of UTF-16 units in one font, cached
// per unit (16 bits each, so a glyph of any width keeps its width; regular and
// bold have a cache each), the average character width and the line height (the
// bold face's height + 1, at least 18).
//
// SetFont(nullptr) makes the average width and line height 0 and keeps the
// caches; a font with the name and size already measured keeps them, another
// clears them. Whole-string and per-character widths agree (no kerning); an
// empty string measures 0. Without a font every width is 0. Fonts come from the
// platform's text measurement (its FontError passes through).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ui/text_measure.h"

namespace pw::editor {

class TateFontManager {
 public:
  TateFontManager() { SetFont(nullptr); }
  void SetFont(const ui::FontSpec* font);
  std::int32_t CharWidth(char16_t c, bool bold);
  std::int32_t TextWidth(WideStringView s, bool bold, bool perCharacter);
  std::int32_t AverageWidth() const { return average_; }
  std::int32_t LineHeight() const { return lineHeight_; }
  bool FontIsArial() const { return arial_; }

 private:
  ui::FontSpec spec_;
  bool hasFont_ = false, arial_ = false;
  WideString cachedName_;
  std::int32_t cachedSize_ = 0, average_ = 0, lineHeight_ = 0;
  std::unique_ptr<ui::MeasuredFont> regular_, bold_;
  std::vector<std::uint16_t> widths_[2];
};

}  // namespace pw::editor
