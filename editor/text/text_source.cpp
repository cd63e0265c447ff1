#include "editor/text/text_source.h"

#include <algorithm>

#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
[[noreturn]] void InvalidRange() { throw Exception(u"Invalid range."); }
}  // namespace

void OrderLines(std::int32_t& a, std::int32_t& b) {
  if (a > b) std::swap(a, b);
}

// ---- TateBlocks

void TateBlocks::Clear() {
  std::vector<TateCollapseBlock*> blocks;
  blocks.swap(list_);
  for (TateCollapseBlock* b : blocks) delete b;
}

void TateBlocks::Remove(TateCollapseBlock* block) {
  auto it = std::find(list_.begin(), list_.end(), block);
  if (it != list_.end()) list_.erase(it);
}

TateCollapseBlock* TateBlocks::GetItem(std::int32_t index) const {
  if (index < 0 || index >= GetCount()) throw EListError(u"List index out of bounds (" + IntToWide(index) + u")");
  return list_[static_cast<std::size_t>(index)];
}

std::int32_t TateBlocks::IndexOf(const TateCollapseBlock* block) const {
  auto it = std::find(list_.begin(), list_.end(), block);
  return it == list_.end() ? -1 : static_cast<std::int32_t>(it - list_.begin());
}

void TateBlocks::InsertAt(std::int32_t index, TateCollapseBlock* block) {
  index = std::clamp(index, 0, GetCount());
  list_.insert(list_.begin() + index, block);
}

void TateBlocks::PlaceBlock(TateCollapseBlock* block, std::int32_t start, std::int32_t end) {
  for (TateCollapseBlock* other : list_)
    if (other != block && other->StartLine() <= end && start <= other->EndLine()) InvalidRange();
  Remove(block);
  auto it = std::find_if(list_.begin(), list_.end(), [&](TateCollapseBlock* b) { return b->StartLine() > start; });
  list_.insert(it, block);
  block->StoreRange(start, end);
}

// ---- free functions

void SetParent(TateCollapseBlock* block, TateCollapseBlock* newParent) {
  if (block->parent_ && block->parent_->children_) block->parent_->children_->Remove(block);
  block->parent_ = newParent;
  if (newParent && newParent->children_) newParent->children_->Add(block);
}

void InsertChild(TateCollapseBlock* parent, TateCollapseBlock* block, std::int32_t start, std::int32_t end) {
  if (start < parent->StartLine() || end > parent->EndLine()) InvalidRange();
  parent->Children()->PlaceBlock(block, start, end);
}

// ---- TateCollapseBlock

TateCollapseBlock::TateCollapseBlock(TateStringsHolder* owner)
    : children_(std::make_unique<TateBlocks>()), owner_(owner) {}

TateCollapseBlock::TateCollapseBlock(TateStringsHolder* owner, TateCollapseBlock* parent, std::int32_t start,
                                     std::int32_t end)
    : start_(start), end_(end), children_(std::make_unique<TateBlocks>()), owner_(owner) {
  if (end - start < 1) InvalidRange();
  SetParent(this, parent);
  if (parent) {
    try {
      InsertChild(parent, this, start, end);
    } catch (...) {
      SetParent(this, nullptr);
      throw;
    }
  }
}

TateCollapseBlock::~TateCollapseBlock() = default;

TateCollapseBlock* TateCollapseBlock::DeepestBlock() {
  if (!children_) return parent_;
  if (collapsed_) return this;
  TateCollapseBlock* best = this;
  for (std::int32_t i = 0; i < children_->GetCount(); ++i) {
    TateCollapseBlock* d = children_->GetItem(i)->DeepestBlock();
    if (d && d->Level() > best->Level()) best = d;
  }
  return best;
}

TateCollapseBlock* TateRootBlock::DeepestBlock() {
  TateCollapseBlock* best = this;
  for (std::int32_t i = 0; i < children_->GetCount(); ++i) {
    TateCollapseBlock* d = children_->GetItem(i)->DeepestBlock();
    if (d && d->Level() > best->Level()) best = d;
  }
  return best;
}

TateCollapseBlock* TateCollapseBlock::FirstChild() {
  return children_ && children_->GetCount() > 0 ? children_->GetItem(0) : nullptr;
}

TateCollapseBlock* TateCollapseBlock::BlockAtLevel(std::int32_t level) {
  if (level < 1) return nullptr;
  if (Level() == level) return this;
  if (parent_ && parent_->StartLine() == start_) return parent_->BlockAtLevel(level);
  return nullptr;
}

bool TateCollapseBlock::EndsWithParent() const { return parent_ && parent_->EndLine() == end_; }

TateCollapseBlock* TateCollapseBlock::OuterBlock() {
  if (parent_ && parent_->StartLine() == start_ && Level() >= 2) return parent_->OuterBlock();
  return this;
}

TateCollapseBlock* TateCollapseBlock::CollapsedOuterBlock() {
  if (parent_ && parent_->IsBlock() && parent_->StartLine() == start_) return parent_->CollapsedOuterBlock();
  return collapsed_ ? this : nullptr;
}

TateCollapseBlock* TateCollapseBlock::TopBlock() {
  if (parent_ && parent_->IsBlock()) return parent_->TopBlock();
  return this;
}

std::int32_t TateCollapseBlock::Level() const { return parent_ ? parent_->Level() + 1 : 1; }

bool TateCollapseBlock::HeaderVisible() const {
  if (!parent_) return true;
  if (parent_->StartLine() != start_) return parent_->ContentVisible();
  return parent_->HeaderVisible();
}

bool TateCollapseBlock::ContentVisible() const { return (!parent_ || parent_->ContentVisible()) && !collapsed_; }

void TateCollapseBlock::SetCollapsedState(bool value, bool recursive) {
  if (recursive && children_)
    for (std::int32_t i = 0; i < children_->GetCount(); ++i) children_->GetItem(i)->SetCollapsedState(value, true);
  if (IsRoot() || collapsed_ == value) return;
  collapsed_ = value;
  Changed();
  if (owner_ && owner_->OnCollapse) owner_->OnCollapse(this);
}

void TateCollapseBlock::MakeVisible() {
  SetCollapsedState(false, false);
  if (parent_) parent_->MakeVisible();
}

void TateCollapseBlock::Changed() {
  if (owner_) owner_->LinesChanged(start_, end_);
}

TObject* TateCollapseBlock::GetContext() { return owner_ ? owner_->GetContext() : nullptr; }

void TateCollapseBlock::ClaimLines() {
  if (owner_) owner_->AssignLines(start_, end_, IsRoot() ? nullptr : this);
  if (children_)
    for (std::int32_t i = 0; i < children_->GetCount(); ++i) children_->GetItem(i)->ClaimLines();
}

void TateCollapseBlock::SetRange(std::int32_t start, std::int32_t end) {
  if (start == start_ && end == end_) return;
  if (end - start < 1) {
    Remove(true);
    return;
  }
  TateCollapseBlock* parent = parent_;
  if (owner_) owner_->AssignLines(start_, end_, parent && parent->IsBlock() ? parent : nullptr);
  if (parent) {
    InsertChild(parent, this, start, end);
  } else {
    StoreRange(start, end);
  }
  ClaimLines();
  if (owner_) owner_->LinesChanged(start, end);
}

void TateRootBlock::SetRange(std::int32_t, std::int32_t end) {
  start_ = 0;
  end_ = end;
}

void TateCollapseBlock::FreeChildren(bool withChildren) {
  if (!children_) return;
  if (withChildren) children_->Clear();
  children_.reset();
}

void TateCollapseBlock::Remove(bool withChildren) {
  TateCollapseBlock* parent = parent_;
  TateCollapseBlock* parentOwner = parent && parent->IsBlock() ? parent : nullptr;
  if (withChildren) {
    if (owner_) owner_->AssignLines(start_, end_, parentOwner);
  } else {
    // The lines no child covers go to the parent; the children move up one level, in the
    // removed block's place among the parent's children.
    std::int32_t pos = start_;
    std::vector<TateCollapseBlock*> kids;
    for (std::int32_t i = 0; children_ && i < children_->GetCount(); ++i) kids.push_back(children_->GetItem(i));
    for (TateCollapseBlock* child : kids) {
      if (owner_ && child->StartLine() > pos) owner_->AssignLines(pos, child->StartLine() - 1, parentOwner);
      pos = child->EndLine() + 1;
    }
    if (owner_ && pos <= end_) owner_->AssignLines(pos, end_, parentOwner);
    if (parent) {
      std::int32_t at = parent->Children()->IndexOf(this);
      for (TateCollapseBlock* child : kids) {
        children_->Remove(child);
        child->parent_ = parent;
        parent->Children()->InsertAt(++at, child);
      }
    } else {
      for (TateCollapseBlock* child : kids) SetParent(child, nullptr);
    }
  }
  FreeChildren(withChildren);
  const std::int32_t start = start_, end = end_;
  TateStringsHolder* owner = owner_;
  SetParent(this, nullptr);
  if (owner) owner->LinesChanged(start, end);
  delete this;
}

void TateRootBlock::Remove(bool) {
  while (children_->GetCount() > 0) children_->GetItem(0)->Remove(true);
}

namespace {
// The new (start, end) of a range after a shift.
void ShiftRange(std::int32_t line, std::int32_t count, std::int32_t& start, std::int32_t& end) {
  if (count > 0) {
    if (start > line) start = SatAdd(start, count);
    if (end > line || (count == 1 && end >= line)) end = SatAdd(end, count);
  } else if (count < 0) {
    const std::int32_t firstGone = line + count;  // lines firstGone .. line - 1 went
    if (start >= line)
      start += count;
    else if (start >= firstGone)
      start = firstGone;
    if (end >= line)
      end += count;
    else if (end >= firstGone)
      end = firstGone - 1;
  }
}
}  // namespace

void TateCollapseBlock::ShiftLines(std::int32_t line, std::int32_t count) {
  if (count == 0) return;
  TateCollapseBlock* parent = parent_;
  if (owner_ && parent) {
    const std::int32_t a = EnsureRange(start_, parent->StartLine(), parent->EndLine());
    const std::int32_t b = EnsureRange(end_, parent->StartLine(), parent->EndLine());
    owner_->AssignLines(a, b, parent->IsBlock() ? parent : nullptr);
  }
  std::int32_t start = start_, end = end_;
  ShiftRange(line, count, start, end);
  start_ = start;
  end_ = end;
  if (end <= start) {
    Remove(true);
    return;
  }
  if (owner_) {
    owner_->AssignLines(start, end, this);
    owner_->LinesChanged(start, SatAdd(end, 1));
  }
  if (count < 0) {
    for (std::int32_t i = 0; i < children_->GetCount(); ++i) {
      const std::int32_t before = children_->GetCount();
      TateCollapseBlock* child = children_->GetItem(i);
      child->ShiftLines(line, count);
      if (children_->GetCount() < before) --i;  // the child removed itself
    }
  } else {
    for (std::int32_t i = children_->GetCount() - 1; i >= 0; --i) children_->GetItem(i)->ShiftLines(line, count);
  }
}

void TateRootBlock::ShiftLines(std::int32_t line, std::int32_t count) {
  if (count < 0) {
    for (std::int32_t i = 0; i < children_->GetCount(); ++i) {
      const std::int32_t before = children_->GetCount();
      children_->GetItem(i)->ShiftLines(line, count);
      if (children_->GetCount() < before) --i;
    }
  } else if (count > 0) {
    for (std::int32_t i = children_->GetCount() - 1; i >= 0; --i) children_->GetItem(i)->ShiftLines(line, count);
  }
}

// ---- text sources

void TateAbstractTextSource::InsertLines(std::int32_t index, std::vector<WideString> lines) {
  for (auto& s : lines) Insert(index++, std::move(s));
}

void TateAbstractTextSource::DeleteLines(std::int32_t index, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) Delete(index);
}

void TateTextSource::InsertLines(std::int32_t index, std::vector<WideString> lines) {
  lines_.InsertStrings(index, std::move(lines));
}

void TateTextSource::DeleteLines(std::int32_t index, std::int32_t count) { lines_.DeleteStrings(index, count); }

}  // namespace pw::editor
