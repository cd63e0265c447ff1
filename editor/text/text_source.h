// The outline of the editor's text: a tree of collapsible blocks of lines (TateCollapseBlock
// under one TateRootBlock, children in TateBlocks), their abstract owner (TateStringsHolder,
// implemented by the line store) and a plain line source over a wide string list
// (TateAbstractTextSource, TateTextSource).
//
// A block spans at least two lines (start < end); a child lies inside its parent; siblings do
// not overlap (sharing a line counts as overlap) and are ordered by start line. A block tells
// its owner which lines it owns (AssignLines) and which must be redrawn (LinesChanged).
//
// ShiftLines(Line, Count): Count > 0 lines were inserted after line Line; Count < 0 means the
// lines Line + Count .. Line - 1 were deleted. On insertion a start after Line moves by Count,
// and an end moves when it lies after Line, or when one line is inserted right after the end
// (the block grows by that line). On deletion a start or end at or after Line moves by Count,
// one inside the deleted lines moves to the first line after them or the last line before
// them. A block left with fewer than two lines removes itself with its children.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/intf/ate_intf.h"
#include "editor/text/wide_strings.h"
#include "platform/rtl/persistent.h"

namespace pw::editor {

class TateStringsHolder;

class TateBlocks : public TateBlocksIntf {
 public:
  ~TateBlocks() override { Clear(); }
  void Add(TateCollapseBlock* block) override { list_.push_back(block); }
  void Clear() override;
  void Remove(TateCollapseBlock* block) override;
  std::int32_t GetCount() const override { return static_cast<std::int32_t>(list_.size()); }
  TateCollapseBlock* GetItem(std::int32_t index) const override;
  std::int32_t IndexOf(const TateCollapseBlock* block) const;
  void InsertAt(std::int32_t index, TateCollapseBlock* block);
  // Checks Block's new range against its siblings (overlap raises Exception "Invalid range.",
  // nothing changed) and moves it to its place in start-line order; then stores the range.
  void PlaceBlock(TateCollapseBlock* block, std::int32_t start, std::int32_t end);

 private:
  std::vector<TateCollapseBlock*> list_;
};

class TateCollapseBlock : public TateCollapseBlockIntf {
 public:
  // Joins `parent` and places itself there (Exception "Invalid range." when the range does not
  // fit; the block then is not created).
  TateCollapseBlock(TateStringsHolder* owner, TateCollapseBlock* parent, std::int32_t start, std::int32_t end);
  ~TateCollapseBlock() override;

  TateCollapseBlock* DeepestBlock() override;
  void Remove(bool withChildren) override;  // frees the block
  TateCollapseBlock* FirstChild() override;
  TateCollapseBlock* BlockAtLevel(std::int32_t level) override;
  bool IsBlock() const override { return true; }
  bool EndsWithParent() const override;
  TateCollapseBlock* OuterBlock() override;
  TateCollapseBlock* CollapsedOuterBlock() override;
  TateCollapseBlock* TopBlock() override;
  void ShiftLines(std::int32_t line, std::int32_t count) override;
  TateBlocks* Children() override { return children_.get(); }
  bool Collapsed() const override { return collapsed_; }
  std::int32_t Level() const override;
  TateCollapseBlock* Parent() override { return parent_; }
  bool HeaderVisible() const override;
  void SetCollapsed(bool value) override { SetCollapsedState(value, false); }
  void Expand(bool recursive) override { SetCollapsedState(false, recursive); }
  void Collapse(bool recursive) override { SetCollapsedState(true, recursive); }
  void MakeVisible() override;
  void Changed() override;
  TObject* GetContext() override;
  bool ContentVisible() const override;
  void SetRange(std::int32_t start, std::int32_t end) override;
  void ClaimLines() override;
  void SetStartLine(std::int32_t value) override { SetRange(value, end_); }
  void SetEndLine(std::int32_t value) override { SetRange(start_, value); }
  std::int32_t StartLine() const override { return start_; }
  std::int32_t EndLine() const override { return end_; }

  TateStringsHolder* Owner() const { return owner_; }
  // Stores the range without any bookkeeping (the sibling list's placement uses it).
  void StoreRange(std::int32_t start, std::int32_t end) {
    start_ = start;
    end_ = end;
  }

 protected:
  explicit TateCollapseBlock(TateStringsHolder* owner);  // the root
  void SetCollapsedState(bool value, bool recursive);
  void FreeChildren(bool withChildren);
  virtual bool IsRoot() const { return false; }
  friend void SetParent(TateCollapseBlock* block, TateCollapseBlock* newParent);

  std::int32_t start_ = 0;
  std::int32_t end_ = 0;
  std::unique_ptr<TateBlocks> children_;
  bool collapsed_ = false;
  TateCollapseBlock* parent_ = nullptr;
  TateStringsHolder* owner_;
};

class TateRootBlock : public TateCollapseBlock {
 public:
  explicit TateRootBlock(TateStringsHolder* owner) : TateCollapseBlock(owner) {}
  TateCollapseBlock* DeepestBlock() override;
  // Removes every block with its children.
  void Remove(bool withChildren) override;
  TateCollapseBlock* BlockAtLevel(std::int32_t) override { return this; }
  bool IsBlock() const override { return false; }
  bool EndsWithParent() const override { return false; }
  TateCollapseBlock* OuterBlock() override { return this; }
  void ShiftLines(std::int32_t line, std::int32_t count) override;
  bool Collapsed() const override { return false; }
  std::int32_t Level() const override { return 0; }
  TateCollapseBlock* Parent() override { return this; }
  bool HeaderVisible() const override { return true; }
  void SetCollapsed(bool) override {}
  void MakeVisible() override {}
  bool ContentVisible() const override { return true; }
  void SetRange(std::int32_t start, std::int32_t end) override;

 protected:
  bool IsRoot() const override { return true; }
};

// Moves `block` from its parent's child list to the end of `newParent`'s (nil: detached).
void SetParent(TateCollapseBlock* block, TateCollapseBlock* newParent);
// Raises Exception "Invalid range." when start..end does not lie in the parent's range or
// overlaps a sibling; else places the block among the parent's children.
void InsertChild(TateCollapseBlock* parent, TateCollapseBlock* block, std::int32_t start, std::int32_t end);
void OrderLines(std::int32_t& a, std::int32_t& b);

// The owner of a block tree: the line store.
class TateStringsHolder : public TPersistent {
 public:
  // Records `block` (nil: the root) as the block of lines from..to, clamped to the lines.
  virtual void AssignLines(std::int32_t from, std::int32_t to, TateCollapseBlock* block) = 0;
  // The lines from..to must be refreshed (the row list follows the line count).
  virtual void LinesChanged(std::int32_t from, std::int32_t to) = 0;
  virtual TObject* GetContext() = 0;
  // Records an outline change of `block` at `line` with the undo manager (not for the root).
  virtual void RecordBlockChange(std::int32_t line, TateCollapseBlock* block) = 0;

  // Called with the block whose collapsed flag changed.
  std::function<void(TateCollapseBlock* block)> OnCollapse;
};

// The texts of the lines.
class TateAbstractTextSource : public TObject {
 public:
  // `changed` is called when the text is replaced from outside.
  explicit TateAbstractTextSource(std::function<void()> changed) : changed_(std::move(changed)) {}
  virtual void Clear() = 0;
  virtual void Insert(std::int32_t index, WideString s) = 0;
  virtual void Delete(std::int32_t index) = 0;
  virtual void Put(std::int32_t index, WideString s) = 0;
  virtual void Attach() {}
  virtual void Detach() {}
  virtual const WideString& Get(std::int32_t index) const = 0;
  virtual std::int32_t GetLineLength(std::int32_t index) const = 0;
  virtual std::int32_t GetCount() const = 0;
  virtual void OffsetToPoint(std::int32_t offset, TPoint& p) const = 0;
  // Several lines at once (a paste of many lines costs one move of the lines after them).
  virtual void InsertLines(std::int32_t index, std::vector<WideString> lines);
  virtual void DeleteLines(std::int32_t index, std::int32_t count);

 protected:
  std::function<void()> changed_;
};

class TateTextSource : public TateAbstractTextSource {
 public:
  explicit TateTextSource(std::function<void()> changed = {}) : TateAbstractTextSource(std::move(changed)) {}
  void Clear() override { lines_.Clear(); }
  void Insert(std::int32_t index, WideString s) override { lines_.Insert(index, std::move(s)); }
  void Delete(std::int32_t index) override { lines_.Delete(index); }
  void Put(std::int32_t index, WideString s) override { lines_.Put(index, std::move(s)); }
  const WideString& Get(std::int32_t index) const override { return lines_.Get(index); }
  std::int32_t GetLineLength(std::int32_t index) const override { return lines_.GetLineLength(index); }
  std::int32_t GetCount() const override { return lines_.GetCount(); }
  void OffsetToPoint(std::int32_t offset, TPoint& p) const override { lines_.OffsetToPoint(offset, p); }
  void InsertLines(std::int32_t index, std::vector<WideString> lines) override;
  void DeleteLines(std::int32_t index, std::int32_t count) override;

  TWideStrings& Lines() { return lines_; }

 private:
  TWideStrings lines_;
};

}  // namespace pw::editor
