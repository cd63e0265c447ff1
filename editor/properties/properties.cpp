#include "editor/properties/properties.h"

#include "editor/utils/gradient.h"

namespace pw::editor {

void TateBackGround::Assign(const TateBackGround& source) {
  SetStartColor(source.startColor_);
  SetEndColor(source.endColor_);
  SetStyle(source.style_);
}

void TateBackGround::Changed() {
  cache_.reset();
  TatePropContainer::Changed();
}

void TateBackGround::PaintTo(graphics::Bitmap& canvas, const TRect& r) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const std::int32_t w = r.Right - r.Left, h = r.Bottom - r.Top;
  if (!cache_ || cache_->width() != w || cache_->height() != h) {
    cache_.emplace(w, h, graphics::PixelFormat::Rgb32());
    ++redraws_;
    const TRect all{0, 0, w, h};
    switch (style_) {
      case bsHorzGradient: GradientFill(*cache_, all, startColor_, false, endColor_); break;
      case bsVertGradient: GradientFill(*cache_, all, startColor_, true, endColor_); break;
      case bsHorzGradientEx: {
        const std::int32_t mid = w / 2;
        GradientFill(*cache_, {0, 0, mid + 1, h}, startColor_, false, endColor_);
        GradientFill(*cache_, {mid + 1, 0, w, h}, endColor_, false, startColor_);
        break;
      }
      case bsVerticalGradientEx: {
        const std::int32_t mid = h / 2;
        GradientFill(*cache_, {0, 0, w, mid + 1}, startColor_, true, endColor_);
        GradientFill(*cache_, {0, mid + 1, w, h}, endColor_, true, startColor_);
        break;
      }
      default: GradientFill(*cache_, all, startColor_, false, startColor_); break;
    }
  }
  for (std::int32_t y = std::max(r.Top, 0); y < std::min(r.Bottom, canvas.height()); ++y)
    for (std::int32_t x = std::max(r.Left, 0); x < std::min(r.Right, canvas.width()); ++x)
      canvas.SetPixel(x, y, cache_->GetPixel(x - r.Left, y - r.Top));
}

TateGutterBackGround::TateGutterBackGround(Event event) : TateBackGround(std::move(event)) {
  startColor_ = clBtnFaceColor;
  endColor_ = clBtnShadowColor;
  style_ = bsHorzGradient;
}

TateContentBackGround::TateContentBackGround(Event event) : TateBackGround(std::move(event)) {
  startColor_ = endColor_ = clWindowColor;
}

void TateLineNumbers::Assign(const TateLineNumbers& source) {
  SetColor(source.color_);
  SetVisible(source.visible_);
  SetStartFrom(source.startFrom_);
}

TateGutter::TateGutter(Event event)
    : TateVisualPropContainer(event), backGround_(std::make_unique<TateGutterBackGround>(event)),
      lineNumbers_(std::make_unique<TateLineNumbers>(event)) {}

void TateGutter::Assign(const TateGutter& source) {
  SetVisible(source.visible_);
  backGround_->Assign(*source.backGround_);
  lineNumbers_->Assign(*source.lineNumbers_);
}

void TateLineDivider::Assign(const TateLineDivider& source) {
  SetColor(source.color_);
  SetBackColor(source.backColor_);
  SetFontColor(source.fontColor_);
}

void TateEditorProperties::SetOverwiteBlock(bool v) {
  if (v) SetPersistentBlock(false);
  Set(overwiteBlock_, v);
}

void TateEditorProperties::SetPersistentBlock(bool v) {
  if (v && overwiteBlock_) {
    overwiteBlock_ = false;
    Changed();
  }
  Set(persistentBlock_, v);
}

TateVisualProperties::TateVisualProperties(Event event)
    : TatePropContainer(event), gutter_(std::make_unique<TateGutter>(event)),
      lineDivider_(std::make_unique<TateLineDivider>(event)), rightMargin_(std::make_unique<TateRightMargin>(event)),
      colors_(std::make_unique<TateColors>(event)), backGround_(std::make_unique<TateContentBackGround>(event)),
      preferences_(std::make_unique<TatePreferences>(event)),
      currentBrackets_(std::make_unique<TateCurentBracket>(event)),
      scrollBars_(std::make_unique<TateScrollBars>(event)) {}

}  // namespace pw::editor
