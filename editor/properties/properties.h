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
//
// Every container is a TPersistent whose published properties (PublishedProperties)
// stream in the component format of platform/rtl/filer.h; sub-containers stream
// as dotted names ("Gutter.LineNumbers.StartFrom"). The source settings
// (TateSourceProperties, with its TateUndoRedo) tell their owner of every change
// through the event given to the constructor; a tab-stop text that the owner
// rejects raises and leaves the settings as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "editor/utils/ate_utils.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"
#include "platform/rtl/persistent.h"
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

class TatePropContainer : public TPersistent {
 public:
  using Event = std::function<void(TatePropContainer*)>;
  explicit TatePropContainer(Event event = {}) : event_(std::move(event)) {}
  WideString ClassName() const override { return u"TatePropContainer"; }
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
  WideString ClassName() const override { return u"TateBackGround"; }
  void PublishedProperties(TPropList& list) override;
  std::uint32_t StartColor() const { return startColor_; }
  std::uint32_t EndColor() const { return endColor_; }
  TateBackgroundType Style() const { return style_; }
  void SetStartColor(std::uint32_t v) { Set(startColor_, v); }
  void SetEndColor(std::uint32_t v) { Set(endColor_, v); }
  void SetStyle(TateBackgroundType v) { Set(style_, v); }
  void Assign(const TateBackGround& source);
  // From another background as above (others: the assignment error).
  void Assign(TPersistent* source) override;
  // Frees the cached bitmap, then marks the container modified.
  void Changed() override;
  // Paints R of the canvas (clipped to it); an empty R paints nothing.
  void PaintTo(graphics::Canvas& canvas, const TRect& r);
  // The same on a canvas of its own over `bitmap`.
  void PaintTo(graphics::Bitmap& bitmap, const TRect& r);
  // How often the cached bitmap was drawn.
  std::int32_t RedrawCount() const { return redraws_; }

 protected:
  std::uint32_t startColor_ = 0, endColor_ = 0;
  TateBackgroundType style_ = bsNone;
  // The declared defaults (none in the base class).
  std::optional<std::uint32_t> defaultStart_, defaultEnd_;
  std::optional<std::int32_t> defaultStyle_;

 private:
  std::optional<graphics::Bitmap> cache_;
  std::int32_t redraws_ = 0;
};

class TateGutterBackGround : public TateBackGround {
 public:
  explicit TateGutterBackGround(Event event = {});
  WideString ClassName() const override { return u"TateGutterBackGround"; }
};

class TateContentBackGround : public TateBackGround {
 public:
  explicit TateContentBackGround(Event event = {});
  WideString ClassName() const override { return u"TateContentBackGround"; }
};

class TateLineNumbers : public TateVisualPropContainer {
 public:
  static constexpr bool kDefaultVisible = true;
  static constexpr std::uint32_t kDefaultColor = 0;
  static constexpr std::int32_t kDefaultStartFrom = 1;
  static constexpr bool kDefaultHideByIcons = false;
  explicit TateLineNumbers(Event event = {}) : TateVisualPropContainer(std::move(event)) {}
  WideString ClassName() const override { return u"TateLineNumbers"; }
  void PublishedProperties(TPropList& list) override;
  void Assign(TPersistent* source) override;
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
  WideString ClassName() const override { return u"TateGutter"; }
  void PublishedProperties(TPropList& list) override;
  void Assign(TPersistent* source) override;
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
  WideString ClassName() const override { return u"TateLineDivider"; }
  void PublishedProperties(TPropList& list) override;
  // From another line divider as below; any other source is ignored.
  void Assign(TPersistent* source) override;
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
  WideString ClassName() const override { return u"TateRightMargin"; }
  void PublishedProperties(TPropList& list) override;
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
  WideString ClassName() const override { return u"TateEditorProperties"; }
  void PublishedProperties(TPropList& list) override;
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
  WideString ClassName() const override { return u"TateColors"; }
  void PublishedProperties(TPropList& list) override;
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
  WideString ClassName() const override { return u"TateCurentBracket"; }
  void PublishedProperties(TPropList& list) override;
  PW_PROP(bool, HighLight, true)
  PW_PROP(std::uint32_t, FontColor, clDefaultColor)
  PW_PROP(std::uint32_t, Color, clDefaultColor)
  PW_PROP(std::uint8_t, FontStyle, 1)  // bold
};

class TatePreferences : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  WideString ClassName() const override { return u"TatePreferences"; }
  void PublishedProperties(TPropList& list) override;
  PW_PROP(bool, OverwriteCaret, true)
  PW_PROP(bool, PaintFormattingMarks, false)
  PW_PROP(bool, UseOutlining, true)
};

class TateScrollBars : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  WideString ClassName() const override { return u"TateScrollBars"; }
  void PublishedProperties(TPropList& list) override;
  PW_PROP(bool, Flat, false)
};

// The visual settings: the sub-containers, created by the constructor and
// owned.
class TateVisualProperties : public TatePropContainer {
 public:
  explicit TateVisualProperties(Event event = {});
  WideString ClassName() const override { return u"TateVisualProperties"; }
  void PublishedProperties(TPropList& list) override;
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

// The undo settings of an edit source. Changes reach the owner through the
// event (TateSourceProperties passes them on as its own).
class TateUndoRedo : public TatePropContainer {
 public:
  using TatePropContainer::TatePropContainer;
  WideString ClassName() const override { return u"TateUndoRedo"; }
  void PublishedProperties(TPropList& list) override;
  // From another TateUndoRedo through the setters (others: the assignment error).
  void Assign(TPersistent* source) override;
  void Changed() override;
  PW_PROP(bool, AllowUndo, true)
  PW_PROP(bool, GroupUndo, false)
  PW_PROP(bool, UndoOnlyChanges, false)
};

// The settings of an edit source. Every change calls the event (the source
// applies tab stops and undo settings); an exception from it undoes a change of
// TabStopColumns and passes on.
class TateSourceProperties : public TatePropContainer {
 public:
  explicit TateSourceProperties(Event event = {});
  WideString ClassName() const override { return u"TateSourceProperties"; }
  void PublishedProperties(TPropList& list) override;
  // From another TateSourceProperties through the setters, the tab stops first
  // (a rejected text changes nothing); others: the assignment error.
  void Assign(TPersistent* source) override;
  void Changed() override;
  TateUndoRedo& UndoRedo() { return *undoRedo_; }
  const TateUndoRedo& UndoRedo() const { return *undoRedo_; }
  void SetUndoRedo(TateUndoRedo* v) { undoRedo_->Assign(v); }
  PW_PROP(bool, AutoIndentMode, true)
  PW_PROP(bool, BackUnIndent, true)
  PW_PROP(bool, SmartTab, true)
  PW_PROP(bool, UseTabChar, true)
  PW_PROP(std::int32_t, BlockIndent, 4)
 public:
  const WideString& TabStopColumns() const { return tabStopColumns_; }
  void SetTabStopColumns(const WideString& v);
  PW_PROP(bool, BeyoundEOL, true)

 private:
  std::unique_ptr<TateUndoRedo> undoRedo_;
  WideString tabStopColumns_ = u"4";
};

#undef PW_PROP

}  // namespace pw::editor
