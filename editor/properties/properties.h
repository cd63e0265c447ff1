// The editor's appearance and behaviour settings, grouped in containers. Every
// setter stores a different value and calls Changed, which sets Modified (an
// equal value does nothing); the owner reacts and calls ResetModified.
// Sub-containers are owned; setting one copies through Assign. The declared
// default of every property is the value the constructor sets (kDefault...), so
// a stream that leaves out default values loses nothing.
//
// Special setters: TateLineNumbers::SetStartFrom stores values below 0 as 0;
// TateRightMargin::SetPosition stores at least 200; TateEditorProperties'
// OverwiteBlock and PersistentBlock clear each other when set true.
// TateBackGround paints through a cached bitmap of the area's size, drawn again
// only after a change or at another size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "editor/utils/ate_utils.h"
#include "graphics/bitmap.h"
#include "platform/com/types.h"

namespace pw::editor {

enum TateBackgroundType : std::uint8_t {
  bsNone,
  bsHorzGradient,
  bsHorzGradientEx,
  bsVertGradient,
  bsVerticalGradientEx
};

inline constexpr std::uint32_t clBtnFaceColor = 0xFF00000F, clBtnShadowColor = 0xFF000010, clWindowColor = 0xFF000005,
                               clBtnTextColor = 0xFF000012, clInactiveCaptionColor = 0xFF000003,
                               clHighlightTextColor = 0xFF00000E, clHighlightColor = 0xFF00000D,
                               clWindowTextColor = 0xFF000008, clDefaultColor = 0x1FFFFFFF;

class TatePropContainer {
 public:
  using Event = std::function<void(TatePropContainer*)>;
  explicit TatePropContainer(Event event = {}) : event_(std::move(event)) {}
  virtual ~TatePropContainer() = default;
  TatePropContainer(const TatePropContainer&) = delete;
  TatePropContainer& operator=(const TatePropContainer&) = delete;
  virtual void Changed() { Modified = true; }
  void ResetModified() { Modified = false; }
  const Event& GetEvent() const { return event_; }
  bool Modified = false;

 protected:
  template <class T>
  void Set(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Changed();
  }

 private:
  Event event_;
};

class TateVisualPropContainer : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Set(visible_, v); }

 protected:
  bool visible_ = true;
};

class TateBackGround : public TatePropContainer {
 public:
  explicit TateBackGround(Event event = {}) : TatePropContainer(std::move(event)) {}
  std::uint32_t StartColor() const { return startColor_; }
  std::uint32_t EndColor() const { return endColor_; }
  TateBackgroundType Style() const { return style_; }
  void SetStartColor(std::uint32_t v) { Set(startColor_, v); }
  void SetEndColor(std::uint32_t v) { Set(endColor_, v); }
  void SetStyle(TateBackgroundType v) { Set(style_, v); }
  void Assign(const TateBackGround& source);
  // Frees the cached bitmap, then marks the container modified.
  void Changed() override;
  // Paints R of the canvas (clipped to it); an empty R paints nothing.
  void PaintTo(graphics::Bitmap& canvas, const TRect& r);
  // How often the cached bitmap was drawn.
  std::int32_t RedrawCount() const { return redraws_; }

 protected:
  std::uint32_t startColor_ = 0, endColor_ = 0;
  TateBackgroundType style_ = bsNone;

 private:
  std::optional<graphics::Bitmap> cache_;
  std::int32_t redraws_ = 0;
};

class TateGutterBackGround : public TateBackGround {
 public:
  explicit TateGutterBackGround(Event event = {});
};

class TateContentBackGround : public TateBackGround {
 public:
  explicit TateContentBackGround(Event event = {});
};

class TateLineNumbers : public TateVisualPropContainer {
 public:
  static constexpr bool kDefaultVisible = true;
  static constexpr std::uint32_t kDefaultColor = 0;
  static constexpr std::int32_t kDefaultStartFrom = 1;
  static constexpr bool kDefaultHideByIcons = false;
  explicit TateLineNumbers(Event event = {}) : TateVisualPropContainer(std::move(event)) {}
  std::uint32_t Color() const { return color_; }
  std::int32_t StartFrom() const { return startFrom_; }
  bool HideByIcons() const { return hideByIcons_; }
  void SetColor(std::uint32_t v) { Set(color_, v); }
  void SetStartFrom(std::int32_t v) { Set(startFrom_, v < 0 ? 0 : v); }
  void SetHideByIcons(bool v) { Set(hideByIcons_, v); }
  // Color, Visible and StartFrom (not HideByIcons).
  void Assign(const TateLineNumbers& source);

 private:
  std::uint32_t color_ = kDefaultColor;
  std::int32_t startFrom_ = kDefaultStartFrom;
  bool hideByIcons_ = kDefaultHideByIcons;
};

class TateGutter : public TateVisualPropContainer {
 public:
  static constexpr bool kDefaultVisible = true;
  static constexpr std::int32_t kDefaultIconCapasity = 2;
  explicit TateGutter(Event event = {});
  std::int32_t IconCapasity() const { return iconCapasity_; }
  void SetIconCapasity(std::int32_t v) { Set(iconCapasity_, v); }
  TateBackGround& BackGround() { return *backGround_; }
  TateLineNumbers& LineNumbers() { return *lineNumbers_; }
  void SetBackGround(const TateBackGround& v) { backGround_->Assign(v); }
  void SetLineNumbers(const TateLineNumbers& v) { lineNumbers_->Assign(v); }
  // Visible, then the background and the line numbers (not IconCapasity).
  void Assign(const TateGutter& source);

 private:
  std::int32_t iconCapasity_ = kDefaultIconCapasity;
  std::unique_ptr<TateGutterBackGround> backGround_;
  std::unique_ptr<TateLineNumbers> lineNumbers_;
};

class TateLineDivider : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  bool HighLightCurLine = true;  // plain values, as the owner reads them
  bool SeparateLines = false;
  bool SeparateWrapLines = false;
  std::uint32_t FontColor() const { return fontColor_; }
  std::uint32_t Color() const { return color_; }
  std::uint32_t BackColor() const { return backColor_; }
  void SetFontColor(std::uint32_t v) { Set(fontColor_, v); }
  void SetColor(std::uint32_t v) { Set(color_, v); }
  void SetBackColor(std::uint32_t v) { Set(backColor_, v); }
  void SetHighLightCurLine(bool v) { Set(HighLightCurLine, v); }
  void SetSeparateLines(bool v) { Set(SeparateLines, v); }
  void SetSeparateWrapLines(bool v) { Set(SeparateWrapLines, v); }
  // Color, BackColor and FontColor (not the three flags).
  void Assign(const TateLineDivider& source);

 private:
  std::uint32_t fontColor_ = clBtnTextColor, color_ = clBtnTextColor, backColor_ = clInactiveCaptionColor;
};

class TateRightMargin : public TateVisualPropContainer {
 public:
  explicit TateRightMargin(Event event = {}) : TateVisualPropContainer(std::move(event)) { visible_ = false; }
  std::int32_t Position() const { return position_; }
  void SetPosition(std::int32_t v) {
    if (v != position_) Set(position_, v < 200 ? 200 : v);
  }
  bool CanDrag = true;  // stored directly, no change
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v) { Set(wordWrap_, v); }

 private:
  std::int32_t position_ = 500;
  bool wordWrap_ = false;
};

class TateEditorProperties : public TatePropContainer {
 public:
  static constexpr bool kDefaultOverwiteBlock = true, kDefaultPersistentBlock = false, kDefaultLineSelect = false,
                        kDefaultEnableDragging = true, kDefaultWordSelection = false;
  using TatePropContainer::TatePropContainer;
  bool OverwiteBlock() const { return overwiteBlock_; }
  bool PersistentBlock() const { return persistentBlock_; }
  bool LineSelect() const { return lineSelect_; }
  bool EnableDragging() const { return enableDragging_; }
  bool WordSelection() const { return wordSelection_; }
  void SetOverwiteBlock(bool v);
  void SetPersistentBlock(bool v);
  void SetLineSelect(bool v) { Set(lineSelect_, v); }
  void SetEnableDragging(bool v) { Set(enableDragging_, v); }
  void SetWordSelection(bool v) { Set(wordSelection_, v); }

 private:
  bool overwiteBlock_ = kDefaultOverwiteBlock, persistentBlock_ = kDefaultPersistentBlock,
       lineSelect_ = kDefaultLineSelect, enableDragging_ = kDefaultEnableDragging,
       wordSelection_ = kDefaultWordSelection;
};

// A container of plain values: each has a getter, a setter that marks a change,
// and the declared default the constructor sets.
#define PW_PROP(Type, Name, Init)              \
 public:                                       \
  static constexpr Type kDefault##Name = Init; \
  Type Name() const { return Name##_; }        \
  void Set##Name(Type v) { Set(Name##_, v); }  \
                                               \
 private:                                      \
  Type Name##_ = Init;

class TateColors : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  PW_PROP(std::uint32_t, DisabledColor, clBtnFaceColor)
  PW_PROP(std::uint32_t, ReadOnlyColor, clBtnFaceColor)
  PW_PROP(std::uint32_t, SearchMatchColor, 0x00FF00)
  PW_PROP(std::uint32_t, SearchMatchBackColor, 0)
  PW_PROP(std::uint32_t, SelColor, clHighlightTextColor)
  PW_PROP(std::uint32_t, SelBackColor, clHighlightColor)
  PW_PROP(std::uint32_t, InActiveSelColor, clWindowTextColor)
  PW_PROP(std::uint32_t, InActiveSelBackColor, clBtnFaceColor)
  PW_PROP(std::uint32_t, LiveSpellColor, 0x0000FF)
  PW_PROP(std::uint32_t, HyperStringColor, 0xFF0000)
  PW_PROP(std::uint32_t, FmtMarkColor, clBtnShadowColor)
  PW_PROP(std::uint32_t, ChangesColor, 0x00FFFF)
  PW_PROP(std::uint32_t, SavedChangesColor, 0x00FF00)
};

class TateCurentBracket : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  PW_PROP(bool, HighLight, true)
  PW_PROP(std::uint32_t, FontColor, clDefaultColor)
  PW_PROP(std::uint32_t, Color, clDefaultColor)
  PW_PROP(std::uint8_t, FontStyle, 1)  // bold
};

class TatePreferences : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  PW_PROP(bool, OverwriteCaret, true)
  PW_PROP(bool, PaintFormattingMarks, false)
  PW_PROP(bool, UseOutlining, true)
};

class TateScrollBars : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  PW_PROP(bool, Flat, false)
};

#undef PW_PROP

// The visual settings: the sub-containers, created by the constructor and
// owned.
class TateVisualProperties : public TatePropContainer {
 public:
  explicit TateVisualProperties(Event event = {});
  TateGutter& Gutter() { return *gutter_; }
  TateLineDivider& LineDivider() { return *lineDivider_; }
  TateRightMargin& RightMargin() { return *rightMargin_; }
  TateColors& Colors() { return *colors_; }
  TateBackGround& BackGround() { return *backGround_; }
  TatePreferences& Preferences() { return *preferences_; }
  TateCurentBracket& CurrentBrackets() { return *currentBrackets_; }
  TateScrollBars& ScrollBars() { return *scrollBars_; }

 private:
  std::unique_ptr<TateGutter> gutter_;
  std::unique_ptr<TateLineDivider> lineDivider_;
  std::unique_ptr<TateRightMargin> rightMargin_;
  std::unique_ptr<TateColors> colors_;
  std::unique_ptr<TateContentBackGround> backGround_;
  std::unique_ptr<TatePreferences> preferences_;
  std::unique_ptr<TateCurentBracket> currentBrackets_;
  std::unique_ptr<TateScrollBars> scrollBars_;
};

}  // namespace pw::editor
