// TateAbstractEditSource: what the line store and the undo manager see of an edit source (the
// operations TateEditorSource implements), and TateSourceEditor: what the edit source needs of
// the editor attached to it (the caret, the remembered caret, position adjustment after an
// edit, the block notice, the selection, line markers, whether its window exists).
#pragma once

#include <cstdint>
#include <string>

#include "editor/intf/ate_intf.h"
#include "editor/text/tab_stops.h"
#include "editor/undo/undo_manager.h"
#include "editor/utils/ate_utils.h"
#include "platform/rtl/rtl_component.h"

namespace pw::editor {

class TateSourceEditor {
 public:
  virtual ~TateSourceEditor() = default;
  virtual TPoint GetCaret() const = 0;
  // Moves the caret there (the editor clamps the line to its own range).
  virtual void SetCaret(const TPoint& p) = 0;
  virtual TPoint GetRememberedCaret() const = 0;
  virtual void SetRememberedCaret(const TPoint& p) = 0;
  // An edit at `at` moved the text after it by dX columns and dY lines: shift what it keeps.
  virtual void AdjustPositions(const TPoint& at, std::int32_t dX, std::int32_t dY) = 0;
  virtual void BlocksChanged() = 0;
  virtual void SetSelection(std::uint8_t mode, const TRect& selection) = 0;
  virtual void SetLineMarker(std::int32_t line, bool on) = 0;
  virtual void SetLineMarkerKind(std::int32_t line, std::int32_t kind) = 0;
  virtual bool WindowExists() const = 0;
  // The editor's current highlighter (nil: rows are not scanned).
  virtual TateHighLighterIntf* GetHighlighter() const = 0;
};

class TateAbstractEditSource : public TComponent, public TateUndoSource {
 public:
  explicit TateAbstractEditSource(TComponent* owner) : TComponent(owner) {}

  virtual void BlocksChanged() = 0;
  // A report from the lines: lines from..to changed (TextChanged: their text).
  virtual void LinesChanged(std::int32_t from, std::int32_t to, bool textChanged) = 0;
  virtual void ClearUndo() = 0;
  virtual void NewLine() = 0;
  virtual void DeleteText(std::int32_t count) override = 0;
  virtual void SetCaretXY(std::int32_t x, std::int32_t y) = 0;
  virtual void SetSelectionPoint(std::uint8_t mode, const TRect& selection) = 0;
  virtual void SetBlockState(std::int32_t line, std::int32_t level, bool collapsed) = 0;
  virtual void ReplaceLine(std::int32_t line, const WideString& s) = 0;
  virtual void SetLineMark(std::uint8_t kind, std::int32_t line) = 0;
  virtual void MarkSelectionChanged() = 0;
  virtual void MarkChange(std::int32_t kind) = 0;

  // What the line store asks of its owner.
  virtual std::int32_t NextRevision() = 0;
  virtual void SetRevisionCounter(std::int32_t value) = 0;
  virtual TateUndoManager* GetUndoManager() = 0;
  virtual TateTabStopList* GetTabStops() = 0;
  virtual bool HasEditor() const = 0;

  WideString Name;
  std::intptr_t Tag = 0;
};

}  // namespace pw::editor
