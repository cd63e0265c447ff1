// The undo and redo history of one edit source. Every editing operation records, inside an
// undo group tagged with the GUID of the command that opened it, the items that reverse it.
// Undoing an item calls one operation of the source back, which records the opposite item:
// that is how undoing fills the redo history and redoing the undo history.
//
// A pass replays the top group of one list and then, with GroupUndo, every following group of
// the same tag, without it every following group tagged with the null GUID, and with
// UndoOnlyChanges also following groups that change no text. While a pass runs, the items the
// source records go into one new group on the other list. A replayed group leaves its list
// before its items run, so an exception inside a pass leaves every group replayed at most once,
// closes the pass's group, restores the recording state and still notifies the source.
// An item recorded while no group is open gets a group of its own, tagged with the null GUID.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/utils/ate_utils.h"
#include "platform/com/guid.h"

namespace pw::editor {

class TateUndoManager;

// What the undo items call back on the edit source.
class TateUndoSource {
 public:
  virtual ~TateUndoSource() = default;
  virtual bool GetReadOnly() const = 0;
  virtual void SetCaretPos(std::int32_t x, std::int32_t y) = 0;
  virtual void RestoreSelection(std::uint8_t mode, const TRect& selection) = 0;
  virtual void InsertText(const WideString& text, std::int32_t flag) = 0;
  virtual void DeleteText(std::int32_t count) = 0;
  virtual void BreakLine() = 0;
  virtual void JoinLines(std::int32_t flag) = 0;
  virtual void SetOutlineHidden(std::int32_t a, std::int32_t b, bool hidden) = 0;
  virtual void RemoveOutline(std::int32_t a, std::int32_t b) = 0;
  virtual void ChangeOutline(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) = 0;
  virtual void RestoreBuffer(const TRect& area, const WideString& text) = 0;
  virtual void SetLineRevision(std::uint8_t kind, std::int32_t line) = 0;
  virtual void NotifyChanged() = 0;
  virtual void NotifyObservers() = 0;
};

class TateUndoItem {
 public:
  explicit TateUndoItem(TateUndoManager* manager) : Manager(manager) {}
  virtual ~TateUndoItem() = default;
  virtual void Undo() = 0;
  virtual bool ChangesText() const { return true; }
  virtual void Assign(const TateUndoItem&) {}

 protected:
  TateUndoSource& Source() const;
  TateUndoManager* Manager;
};

// One undo group: its tag and its items in the order of recording.
struct TateUndo_MetaItem {
  GUID GroupId{};
  std::vector<std::unique_ptr<TateUndoItem>> Items;
  bool ChangesText() const;
};

// A history: a stack of groups, the top being the last.
struct TateUndo_Group {
  std::vector<std::unique_ptr<TateUndo_MetaItem>> Groups;
  bool ChangesText() const;
};

class TateUndoManager {
 public:
  explicit TateUndoManager(TateUndoSource* source);
  ~TateUndoManager();
  TateUndoManager(const TateUndoManager&) = delete;
  TateUndoManager& operator=(const TateUndoManager&) = delete;

  void Clear();
  void SetAllowUndo(bool value);
  void SetGroupUndo(bool value);
  void SetUndoOnlyChanges(bool value);
  bool AllowUndo() const { return allowUndo_; }
  bool GroupUndo() const { return groupUndo_; }
  bool UndoOnlyChanges() const { return undoOnlyChanges_; }

  // `groupId` is a GUID in braced text form; anything else raises the conversion error and
  // changes nothing. Nothing happens while the source is read-only.
  void BeginGroup(WideStringView groupId);
  void EndGroup();

  bool CanUndo() const;
  bool CanRedo() const;
  // Raise Exception "Cannot undo." / "Cannot Redo." when there is nothing to replay.
  void Undo();
  void Redo();

  void AddInsert(std::int32_t count);
  void AddDelete(const WideString& text);
  void AddJoin();
  void AddBreak();
  void AddNewOutline(std::int32_t a, std::int32_t b);
  void AddHideOutline(std::int32_t a, std::int32_t b, bool hidden);
  void AddChangeOutline(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d);
  void AddOffsetOutline(std::int32_t a, std::int32_t b);
  void AddPosition(const TPoint& pos);
  void AddSelection(std::uint8_t mode, const TRect& selection);
  void AddLineBuffer(std::int32_t line, const WideString& text);
  void AddBuffer(const TRect& area, const WideString& text);
  void AddRevision(std::int32_t line, std::uint8_t kind);

  bool InUndoRedo() const { return inUndoRedo_; }
  std::int32_t GroupDepth() const { return groupDepth_; }
  const TateUndo_Group& UndoList() const { return undoList_; }
  const TateUndo_Group& RedoList() const { return redoList_; }
  TateUndoSource& Source() const { return *source_; }

 private:
  void Add(std::unique_ptr<TateUndoItem> item);
  void Pass(TateUndo_Group& from, TateUndo_Group& to);

  TateUndo_Group undoList_;
  TateUndo_Group redoList_;
  TateUndo_Group* current_;
  std::int32_t groupDepth_ = 0;
  bool undoOnlyChanges_ = false;
  bool groupUndo_ = false;
  bool allowUndo_ = true;
  bool inUndoRedo_ = false;
  TateUndoSource* source_;
};

}  // namespace pw::editor
