// TateEditorSource: the editing model of one text. It owns the lines (TateStrings), the undo
// manager, the tab stops and the source properties, and turns the editor's commands into text
// operations that record undo items in GUID-tagged groups, keep the collapsible blocks in step,
// stamp line revisions and report what changed to its listeners. The caret lives in the
// attached editor (TateSourceEditor); without one the caret is (0, 0) and stays there.
//
// Positions are (X display column with tabs expanded, Y line). Every operation runs inside a
// change bracket; at the outermost end the listeners hear the collected change kinds (1 caret
// moved, 2 whole text rescanned, 3 selection changed, 4 lines changed, 5 line count changed,
// 9 outline rebuilt) with ChangedFrom..ChangedTo.
//
// Blocks and undo: before an operation moves lines, the outline as it stands is recorded in
// the operation's undo group (a change-outline item per block, a hide-outline item per
// collapsed block, and one new-outline item for level 0 whose undo removes every block), so
// undoing restores the blocks exactly, whatever the shift did to them (blocks left with one
// line are removed). ChangeOutline(line, level, last, first) finds the block of that level
// starting at that line and gives it first..last, or creates it; RemoveOutline(line, 0) removes
// every block. While a pass replays, nothing trims trailing blanks, so replays reproduce text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editor/containers/ate_classes.h"
#include "editor/parser/parser.h"
#include "editor/properties/properties.h"
#include "editor/source/strings.h"

namespace pw::editor {

enum TateSourceOption : std::uint8_t {
  srCursorThroughTabs = 0,
  srOptimalFill,
  srBeyondEof,
  srMoveUpAtLineBegin,
  srLeaveTrailSpaces,
  srMoveDownAtLineEnd,
};
using TateSourceOptions = std::uint8_t;  // bit N = option N
constexpr TateSourceOptions SourceOption(TateSourceOption o) { return static_cast<TateSourceOptions>(1u << o); }

// Change kinds (bit numbers of PendingChanges).
enum : std::int32_t {
  ckCaret = 1,
  ckRescan = 2,
  ckSelection = 3,
  ckLines = 4,
  ckLineCount = 5,
  ckOutline = 9,
};

class TateEditorSource : public TateAbstractEditSource {
 public:
  using TOnChangeText = std::function<void(const TPoint& pos, std::int32_t offset)>;

  explicit TateEditorSource(TComponent* owner = nullptr);
  ~TateEditorSource() override;

  TateStrings& Strings() { return *strings_; }
  const TateStrings& Strings() const { return *strings_; }
  TateUndoManager& UndoManager() { return *undo_; }
  TateTabStopList& TabStops() { return *tabStops_; }
  // The settings; every change applies at once: the tab stops (a rejected text raises and
  // keeps everything as it was) and the undo settings.
  TateSourceProperties& SourceProperties() { return *properties_; }
  const TateSourceProperties& SourceProperties() const { return *properties_; }
  // Copies `properties` (TateSourceProperties::Assign).
  void SetSourceProperties(TateSourceProperties& properties) { properties_->Assign(&properties); }
  TateSourceOptions Options() const { return options_; }
  void SetOptions(TateSourceOptions options);
  bool HasOption(TateSourceOption o) const { return (options_ & SourceOption(o)) != 0; }
  void SetReadOnly(bool value);
  void SetEditor(TateSourceEditor* editor);
  TateSourceEditor* Editor() const { return editor_; }
  // The parser whose changes make the source rescan its whole text (not owned: it must outlive
  // the source or be taken away first). The source is its one change handler.
  void SetParser(TateParser* parser);
  TateParser* Parser() const { return parser_; }

  // ---- the abstract source's operations
  void BlocksChanged() override;
  void LinesChanged(std::int32_t from, std::int32_t to, bool textChanged) override;
  void ClearUndo() override { undo_->Clear(); }
  bool GetReadOnly() const override { return readOnly_; }
  void NewLine() override;
  void JoinLines(std::int32_t offset) override;
  void InsertText(const WideString& text, std::int32_t flag) override;
  void DeleteText(std::int32_t count) override;
  void SetCaretXY(std::int32_t x, std::int32_t y) override;
  void SetSelectionPoint(std::uint8_t mode, const TRect& selection) override;
  void SetBlockState(std::int32_t line, std::int32_t level, bool collapsed) override;
  void ReplaceLine(std::int32_t line, const WideString& s) override;
  void SetLineMark(std::uint8_t kind, std::int32_t line) override;
  void NotifyChanged() override;
  void MarkSelectionChanged() override { MarkChange(ckSelection); }
  void MarkChange(std::int32_t kind) override { pendingChanges_ |= static_cast<std::uint16_t>(1u << kind); }
  std::int32_t NextRevision() override { return revision_ = SatAdd(revision_, 1); }
  void SetRevisionCounter(std::int32_t value) override { revision_ = value; }
  TateUndoManager* GetUndoManager() override { return undo_.get(); }
  TateTabStopList* GetTabStops() override { return tabStops_.get(); }
  bool HasEditor() const override { return editor_ != nullptr; }

  // ---- what the undo items call back
  void SetCaretPos(std::int32_t x, std::int32_t y) override { SetCaretXY(x, y); }
  void RestoreSelection(std::uint8_t mode, const TRect& selection) override;
  void BreakLine() override { BreakLine(GetCaret()); }
  void SetOutlineHidden(std::int32_t a, std::int32_t b, bool hidden) override;
  void RemoveOutline(std::int32_t a, std::int32_t b) override;
  void ChangeOutline(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) override;
  void RestoreBuffer(const TRect& area, const WideString& text) override;
  void SetLineRevision(std::uint8_t kind, std::int32_t line) override { SetLineMark(kind, line); }
  void NotifyObservers() override {}

  // ---- further operations
  void BreakLine(TPoint p);
  // Replaces (x1, y1)..(x2, y2) (display columns; the two ends in any order) by a text of any
  // number of lines, as one undo group.
  void ReplaceRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, const WideString& text);
  void Rescan();
  void AdjustAfterEdit(std::int32_t dX, std::int32_t dY);
  void InsertLineText(std::int32_t line, const WideString& text);
  void TrimTrailingSpaces(bool withUndo);
  // S with runs of blanks that reach a tab stop turned into tabs (only with UseTabChar).
  void OptimalFill(WideString& s, std::int32_t startColumn);
  bool CanChange();
  void DoAfterChange();
  // Rescans the highlighter rows from..to (see the class comment).
  void ScanRows(std::int32_t from, std::int32_t to, bool force);

  void Undo();
  void Redo();
  bool CanUndo() const { return undo_->CanUndo(); }
  bool CanRedo() const { return undo_->CanRedo(); }
  // True when the text changed since the last call (then listeners hear of it).
  bool ResetModified();
  std::int32_t Revision() const { return revision_; }
  std::int32_t SavedRevision() const { return savedRevision_; }

  void AddNotifier(const TateNotifyHandler& h) { notifiers_.AddNotifier(h); }
  void RemoveNotifier(const TateNotifyHandler& h) { notifiers_.RemoveNotifier(h); }

  std::int32_t ColumnToCharIndex(std::int32_t line, std::int32_t x);
  std::int32_t CharIndexToColumn(std::int32_t line, std::int32_t index);
  std::int64_t PosToOffset(const TPoint& p);
  TPoint OffsetToPos(std::int32_t offset) const;
  TPoint GetCaret() const { return editor_ ? editor_->GetCaret() : TPoint{}; }
  void RememberCaret(const TPoint& p) {
    if (editor_) editor_->SetRememberedCaret(p);
  }
  // Display width of a line (tabs expanded); 0 for a line that does not exist.
  std::int32_t LineWidth(std::int32_t line);

  // ---- caret, word and tab operations
  void MoveCaretBy(std::int32_t dX, std::int32_t dY);
  void CaretLeft();
  void CaretRight();
  void BackSpace();
  void GetWordBounds(const TPoint& p, std::int32_t mode, bool skipDelimiters, std::int32_t& start, std::int32_t& end);
  bool IsBreakChar(char16_t c) const;
  std::int32_t TabTarget(bool backMode);
  void InsertTab();

  void BeginChange();
  void EndChange();
  void AddChangedLines(std::int32_t from, std::int32_t to);

  std::uint16_t PendingChanges() const { return pendingChanges_; }
  std::int32_t ChangedFrom() const { return changedFrom_; }
  std::int32_t ChangedTo() const { return changedTo_; }
  std::int32_t ScannedTo() const { return scannedTo_; }
  const WideString& BreakChars() const { return breakChars_; }

  TOnChangeText OnAfterBreakString, OnAfterJoinString, OnBeforeBreakString, OnBeforeJoinString, OnAfterStringChange;
  std::function<bool()> OnBeforeChange;
  std::function<void()> OnAfterChange;

 private:
  // Passes the settings on: the tab stops (a rejected text raises), the undo settings.
  void ApplyProperties();
  struct ChangeBracket;
  struct UndoGroup;
  bool Recording() const { return !readOnly_ && undo_->AllowUndo(); }
  void RecordRevision(std::int32_t line);
  // The outline as it stands, into the open group (level 0: with the item that removes every
  // block first on undo).
  void RecordOutline();
  void RecordSubtree(TateCollapseBlock* block);
  TateCollapseBlock* FindBlock(std::int32_t firstLine, std::int32_t level);
  void DoReplace(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, const WideString& text);
  void DeleteColumns(std::int32_t count);
  void ShiftBlocks(std::int32_t line, std::int32_t count);
  bool TrimmingAllowed() const { return !undo_->InUndoRedo(); }

  std::int32_t changeDepth_ = 0;
  std::int32_t changedFrom_ = MaxInt;
  std::int32_t changedTo_ = -1;
  std::int32_t linesAtStart_ = 0;
  bool positioning_ = false;
  std::int32_t editDepth_ = 0;
  WideString breakChars_;
  std::int32_t rescanFrom_ = 0;
  bool readOnly_ = false;
  std::uint16_t pendingChanges_ = 0;
  std::int32_t scannedTo_ = -1;
  bool notifying_ = false;
  std::int32_t revision_ = 0;
  std::int32_t savedRevision_ = 0;
  std::unique_ptr<TateStrings> strings_;
  TateNotifierList notifiers_;
  std::unique_ptr<TateUndoManager> undo_;
  TateSourceOptions options_ = 0;
  std::unique_ptr<TateSourceProperties> properties_;
  std::unique_ptr<TateTabStopList> tabStops_;
  TateSourceEditor* editor_ = nullptr;
  TateParser* parser_ = nullptr;
  TateNotifyHandler RescanHandler();
};

}  // namespace pw::editor
