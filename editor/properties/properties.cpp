#include "editor/properties/properties.h"

#include <utility>

#include "editor/utils/gradient.h"
#include "platform/rtl/filer.h"
#include "platform/ui/colors.h"

namespace pw::editor {

namespace {

constexpr std::string_view kBackgroundTypeNames[] = {"bsNone", "bsHorzGradient", "bsHorzGradientEx", "bsVertGradient",
                                                     "bsVerticalGradientEx"};

// Getter and setter of a property of `self` as the list helpers take them.
#define PW_GET(expr) [self] { return self->expr; }
#define PW_SET(setter, Type) [self](Type v) { self->setter(v); }

}  // namespace

void TateBackGround::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddColour("StartColor", defaultStart_, PW_GET(startColor_), PW_SET(SetStartColor, std::uint32_t));
  list.AddColour("EndColor", defaultEnd_, PW_GET(endColor_), PW_SET(SetEndColor, std::uint32_t));
  list.AddEnumeration(
      "Style", kBackgroundTypeNames, defaultStyle_, [self] { return static_cast<std::int32_t>(self->style_); },
      [self](std::int32_t v) { self->SetStyle(static_cast<TateBackgroundType>(v)); });
}

void TateBackGround::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TateBackGround*>(source)) return Assign(*other);
  TPersistent::Assign(source);
}

void TateLineNumbers::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddBoolean("Visible", kDefaultVisible, PW_GET(visible_), PW_SET(SetVisible, bool));
  list.AddColour("Color", kDefaultColor, PW_GET(color_), PW_SET(SetColor, std::uint32_t));
  list.AddInteger("StartFrom", kDefaultStartFrom, PW_GET(startFrom_), PW_SET(SetStartFrom, std::int32_t));
  list.AddBoolean("HideByIcons", kDefaultHideByIcons, PW_GET(hideByIcons_), PW_SET(SetHideByIcons, bool));
}

void TateLineNumbers::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TateLineNumbers*>(source)) return Assign(*other);
  TPersistent::Assign(source);
}

void TateGutter::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddBoolean("Visible", kDefaultVisible, PW_GET(visible_), PW_SET(SetVisible, bool));
  list.AddInteger("IconCapasity", kDefaultIconCapasity, PW_GET(iconCapasity_), PW_SET(SetIconCapasity, std::int32_t));
  list.AddObject("BackGround", [self] { return self->backGround_.get(); });
  list.AddObject("LineNumbers", [self] { return self->lineNumbers_.get(); });
}

void TateGutter::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TateGutter*>(source)) return Assign(*other);
  TPersistent::Assign(source);
}

void TateLineDivider::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddBoolean("HighLightCurLine", std::nullopt, PW_GET(HighLightCurLine), PW_SET(SetHighLightCurLine, bool));
  list.AddBoolean("SeparateLines", std::nullopt, PW_GET(SeparateLines), PW_SET(SetSeparateLines, bool));
  list.AddBoolean("SeparateWrapLines", std::nullopt, PW_GET(SeparateWrapLines), PW_SET(SetSeparateWrapLines, bool));
  list.AddColour("FontColor", std::nullopt, PW_GET(fontColor_), PW_SET(SetFontColor, std::uint32_t));
  list.AddColour("Color", std::nullopt, PW_GET(color_), PW_SET(SetColor, std::uint32_t));
  list.AddColour("BackColor", std::nullopt, PW_GET(backColor_), PW_SET(SetBackColor, std::uint32_t));
}

void TateLineDivider::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TateLineDivider*>(source)) Assign(*other);
}

void TateRightMargin::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddBoolean("Visible", false, PW_GET(visible_), PW_SET(SetVisible, bool));
  list.AddInteger("Position", 500, PW_GET(position_), PW_SET(SetPosition, std::int32_t));
  list.AddBoolean("CanDrag", true, PW_GET(CanDrag), [self](bool v) { self->CanDrag = v; });
  list.AddBoolean("WordWrap", false, PW_GET(wordWrap_), PW_SET(SetWordWrap, bool));
}

void TateEditorProperties::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddBoolean("OverwiteBlock", kDefaultOverwiteBlock, PW_GET(overwiteBlock_), PW_SET(SetOverwiteBlock, bool));
  list.AddBoolean("PersistentBlock", kDefaultPersistentBlock, PW_GET(persistentBlock_),
                  PW_SET(SetPersistentBlock, bool));
  list.AddBoolean("LineSelect", kDefaultLineSelect, PW_GET(lineSelect_), PW_SET(SetLineSelect, bool));
  list.AddBoolean("EnableDragging", kDefaultEnableDragging, PW_GET(enableDragging_), PW_SET(SetEnableDragging, bool));
  list.AddBoolean("WordSelection", kDefaultWordSelection, PW_GET(wordSelection_), PW_SET(SetWordSelection, bool));
}

// A plain property of the PW_PROP containers: its getter, setter and declared default.
#define PW_PLAIN(Add, Name, Type) \
  list.Add(                       \
      #Name, kDefault##Name, [self] { return self->Name(); }, [self](Type v) { self->Set##Name(v); })

void TateColors::PublishedProperties(TPropList& list) {
  auto* self = this;
  PW_PLAIN(AddColour, DisabledColor, std::uint32_t);
  PW_PLAIN(AddColour, ReadOnlyColor, std::uint32_t);
  PW_PLAIN(AddColour, SearchMatchColor, std::uint32_t);
  PW_PLAIN(AddColour, SearchMatchBackColor, std::uint32_t);
  PW_PLAIN(AddColour, SelColor, std::uint32_t);
  PW_PLAIN(AddColour, SelBackColor, std::uint32_t);
  PW_PLAIN(AddColour, InActiveSelColor, std::uint32_t);
  PW_PLAIN(AddColour, InActiveSelBackColor, std::uint32_t);
  PW_PLAIN(AddColour, LiveSpellColor, std::uint32_t);
  PW_PLAIN(AddColour, HyperStringColor, std::uint32_t);
  PW_PLAIN(AddColour, FmtMarkColor, std::uint32_t);
  PW_PLAIN(AddColour, ChangesColor, std::uint32_t);
  PW_PLAIN(AddColour, SavedChangesColor, std::uint32_t);
}

void TateCurentBracket::PublishedProperties(TPropList& list) {
  auto* self = this;
  PW_PLAIN(AddBoolean, HighLight, bool);
  PW_PLAIN(AddColour, FontColor, std::uint32_t);
  PW_PLAIN(AddColour, Color, std::uint32_t);
  list.AddSet(
      "FontStyle", kFontStyleNames, kDefaultFontStyle, [self] { return static_cast<std::int32_t>(self->FontStyle()); },
      [self](std::int32_t v) { self->SetFontStyle(static_cast<std::uint8_t>(v & 0x0F)); });
}

void TatePreferences::PublishedProperties(TPropList& list) {
  auto* self = this;
  PW_PLAIN(AddBoolean, OverwriteCaret, bool);
  PW_PLAIN(AddBoolean, PaintFormattingMarks, bool);
  PW_PLAIN(AddBoolean, UseOutlining, bool);
}

void TateScrollBars::PublishedProperties(TPropList& list) {
  auto* self = this;
  PW_PLAIN(AddBoolean, Flat, bool);
}

void TateVisualProperties::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddObject("Colors", [self] { return self->colors_.get(); });
  list.AddObject("Gutter", [self] { return self->gutter_.get(); });
  list.AddObject("LineDivider", [self] { return self->lineDivider_.get(); });
  list.AddObject("RightMargin", [self] { return self->rightMargin_.get(); });
  list.AddObject("BackGround", [self] { return self->backGround_.get(); });
  list.AddObject("Preferences", [self] { return self->preferences_.get(); });
  list.AddObject("CurrentBrackets", [self] { return self->currentBrackets_.get(); });
  list.AddObject("ScrollBars", [self] { return self->scrollBars_.get(); });
}

// ---- the source settings

void TateUndoRedo::PublishedProperties(TPropList& list) {
  auto* self = this;
  PW_PLAIN(AddBoolean, AllowUndo, bool);
  PW_PLAIN(AddBoolean, GroupUndo, bool);
  PW_PLAIN(AddBoolean, UndoOnlyChanges, bool);
}

void TateUndoRedo::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TateUndoRedo*>(source);
  if (!other) return TPersistent::Assign(source);
  SetAllowUndo(other->AllowUndo());
  SetGroupUndo(other->GroupUndo());
  SetUndoOnlyChanges(other->UndoOnlyChanges());
}

void TateUndoRedo::Changed() {
  TatePropContainer::Changed();
  if (GetEvent()) GetEvent()(this);
}

TateSourceProperties::TateSourceProperties(Event event)
    : TatePropContainer(std::move(event)),
      undoRedo_(std::make_unique<TateUndoRedo>([this](TatePropContainer*) { Changed(); })) {}

void TateSourceProperties::PublishedProperties(TPropList& list) {
  auto* self = this;
  list.AddObject("UndoRedo", [self] { return self->undoRedo_.get(); });
  PW_PLAIN(AddBoolean, AutoIndentMode, bool);
  PW_PLAIN(AddBoolean, BackUnIndent, bool);
  PW_PLAIN(AddBoolean, SmartTab, bool);
  PW_PLAIN(AddBoolean, UseTabChar, bool);
  PW_PLAIN(AddInteger, BlockIndent, std::int32_t);
  list.AddWideString("TabStopColumns", PW_GET(tabStopColumns_),
                     [self](const WideString& v) { self->SetTabStopColumns(v); });
  PW_PLAIN(AddBoolean, BeyoundEOL, bool);
}

void TateSourceProperties::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TateSourceProperties*>(source);
  if (!other) return TPersistent::Assign(source);
  SetTabStopColumns(other->tabStopColumns_);
  undoRedo_->Assign(other->undoRedo_.get());
  SetAutoIndentMode(other->AutoIndentMode());
  SetBackUnIndent(other->BackUnIndent());
  SetSmartTab(other->SmartTab());
  SetUseTabChar(other->UseTabChar());
  SetBlockIndent(other->BlockIndent());
  SetBeyoundEOL(other->BeyoundEOL());
}

void TateSourceProperties::Changed() {
  TatePropContainer::Changed();
  if (GetEvent()) GetEvent()(this);
}

void TateSourceProperties::SetTabStopColumns(const WideString& v) {
  if (v == tabStopColumns_) return;
  WideString old = std::exchange(tabStopColumns_, v);
  const bool wasModified = Modified;
  try {
    Changed();
  } catch (...) {
    tabStopColumns_ = std::move(old);
    Modified = wasModified;
    throw;
  }
}

#undef PW_PLAIN
#undef PW_GET
#undef PW_SET

void TateBackGround::Assign(const TateBackGround& source) {
  SetStartColor(source.startColor_);
  SetEndColor(source.endColor_);
  SetStyle(source.style_);
}

void TateBackGround::Changed() {
  cache_.reset();
  TatePropContainer::Changed();
}

void TateBackGround::PaintTo(graphics::Canvas& canvas, const TRect& r) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const std::int32_t w = r.Right - r.Left, h = r.Bottom - r.Top;
  if (!cache_ || cache_->width() != w || cache_->height() != h) {
    cache_.emplace(w, h, graphics::PixelFormat::Rgb32());
    ++redraws_;
    graphics::Canvas c(*cache_);
    const TRect all{0, 0, w, h};
    switch (style_) {
      case bsHorzGradient: GradientFill(c, all, startColor_, false, endColor_); break;
      case bsVertGradient: GradientFill(c, all, startColor_, true, endColor_); break;
      case bsHorzGradientEx: {
        const std::int32_t mid = w / 2;
        GradientFill(c, {0, 0, mid + 1, h}, startColor_, false, endColor_);
        GradientFill(c, {mid + 1, 0, w, h}, endColor_, false, startColor_);
        break;
      }
      case bsVerticalGradientEx: {
        const std::int32_t mid = h / 2;
        GradientFill(c, {0, 0, w, mid + 1}, startColor_, true, endColor_);
        GradientFill(c, {0, mid + 1, w, h}, endColor_, true, startColor_);
        break;
      }
      default: {
        const std::uint32_t rgb = ui::ColorToRGB(startColor_);
        c.SetBrushColor(graphics::Argb(255, rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF));
        c.FillRect(0, 0, w, h);
        break;
      }
    }
  }
  canvas.Draw(r.Left, r.Top, *cache_);
}

void TateBackGround::PaintTo(graphics::Bitmap& bitmap, const TRect& r) {
  graphics::Canvas canvas(bitmap);
  PaintTo(canvas, r);
}

TateGutterBackGround::TateGutterBackGround(Event event) : TateBackGround(std::move(event)) {
  defaultStart_ = startColor_ = clBtnFaceColor;
  defaultEnd_ = endColor_ = clBtnShadowColor;
  style_ = bsHorzGradient;
  defaultStyle_ = bsHorzGradient;
}

TateContentBackGround::TateContentBackGround(Event event) : TateBackGround(std::move(event)) {
  defaultStart_ = defaultEnd_ = startColor_ = endColor_ = clWindowColor;
  defaultStyle_ = bsNone;
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
