#include "editor/undo/undo_manager.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"

namespace pw::editor {

TateUndoSource& TateUndoItem::Source() const { return Manager->Source(); }

namespace {

class TateUndo_Selection : public TateUndoItem {
 public:
  TateUndo_Selection(TateUndoManager* m, std::uint8_t mode, const TRect& sel)
      : TateUndoItem(m), Selection(sel), Mode(mode) {}
  void Undo() override { Source().RestoreSelection(Mode, Selection); }
  bool ChangesText() const override { return false; }
  void Assign(const TateUndoItem& other) override {
    if (auto* o = dynamic_cast<const TateUndo_Selection*>(&other)) {
      Selection = o->Selection;
      Mode = o->Mode;
    }
  }
  TRect Selection;
  std::uint8_t Mode;
};

class TateUndo_Position : public TateUndoItem {
 public:
  TateUndo_Position(TateUndoManager* m, TPoint p) : TateUndoItem(m), X(p.X), Y(p.Y) {}
  void Undo() override { Source().SetCaretPos(X, Y); }
  bool ChangesText() const override { return false; }
  void Assign(const TateUndoItem& other) override {
    if (auto* o = dynamic_cast<const TateUndo_Position*>(&other)) {
      X = o->X;
      Y = o->Y;
    }
  }
  std::int32_t X, Y;
};

class TateUndo_Insert : public TateUndoItem {
 public:
  TateUndo_Insert(TateUndoManager* m, std::int32_t count) : TateUndoItem(m), Count(count) {}
  void Undo() override { Source().DeleteText(Count); }
  std::int32_t Count;
};

class TateUndo_Delete : public TateUndoItem {
 public:
  TateUndo_Delete(TateUndoManager* m, WideString text) : TateUndoItem(m), Text(std::move(text)) {}
  void Undo() override { Source().InsertText(Text, 0); }
  WideString Text;
};

class TateUndo_Join : public TateUndoItem {
 public:
  using TateUndoItem::TateUndoItem;
  void Undo() override { Source().BreakLine(); }
};

class TateUndo_Break : public TateUndoItem {
 public:
  using TateUndoItem::TateUndoItem;
  void Undo() override { Source().JoinLines(0); }
};

class TateUndo_NewOutline : public TateUndoItem {
 public:
  TateUndo_NewOutline(TateUndoManager* m, std::int32_t a, std::int32_t b) : TateUndoItem(m), A(a), B(b) {}
  void Undo() override { Source().RemoveOutline(A, B); }
  std::int32_t A, B;
};

class TateUndo_HideOutline : public TateUndoItem {
 public:
  TateUndo_HideOutline(TateUndoManager* m, std::int32_t a, std::int32_t b, bool hidden)
      : TateUndoItem(m), A(a), B(b), Hidden(hidden) {}
  void Undo() override { Source().SetOutlineHidden(A, B, Hidden); }
  std::int32_t A, B;
  bool Hidden;
};

class TateUndo_Buffer : public TateUndoItem {
 public:
  TateUndo_Buffer(TateUndoManager* m, const TRect& area, WideString text)
      : TateUndoItem(m), Area(area), Text(std::move(text)) {}
  void Undo() override { Source().RestoreBuffer(Area, Text); }
  TRect Area;
  WideString Text;
};

class TateUndo_Revision : public TateUndoItem {
 public:
  TateUndo_Revision(TateUndoManager* m, std::uint8_t kind, std::int32_t line)
      : TateUndoItem(m), Kind(kind), Line(line) {}
  void Undo() override { Source().SetLineRevision(Kind, Line); }
  bool ChangesText() const override { return false; }
  std::uint8_t Kind;
  std::int32_t Line;
};

class TateUndo_ChangeOutline : public TateUndoItem {
 public:
  TateUndo_ChangeOutline(TateUndoManager* m, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d)
      : TateUndoItem(m), A(a), B(b), C(c), D(d) {}
  void Undo() override { Source().ChangeOutline(A, B, C, D); }
  std::int32_t A, B, C, D;
};

class TateUndo_OffsetOutline : public TateUndoItem {
 public:
  TateUndo_OffsetOutline(TateUndoManager* m, std::int32_t a, std::int32_t b) : TateUndoItem(m), A(a), B(b) {}
  void Undo() override {}
  std::int32_t A, B;
};

}  // namespace

bool TateUndo_MetaItem::ChangesText() const {
  return std::any_of(Items.begin(), Items.end(), [](const auto& i) { return i->ChangesText(); });
}

bool TateUndo_Group::ChangesText() const {
  return std::any_of(Groups.begin(), Groups.end(), [](const auto& g) { return g->ChangesText(); });
}

TateUndoManager::TateUndoManager(TateUndoSource* source) : current_(&undoList_), source_(source) { Clear(); }

TateUndoManager::~TateUndoManager() = default;

void TateUndoManager::Clear() {
  undoList_.Groups.clear();
  redoList_.Groups.clear();
  current_ = &undoList_;
  groupDepth_ = 0;
}

void TateUndoManager::SetAllowUndo(bool value) {
  if (allowUndo_ == value) return;
  allowUndo_ = value;
  Clear();
}

void TateUndoManager::SetGroupUndo(bool value) {
  if (groupUndo_ == value) return;
  groupUndo_ = value;
  Clear();
}

void TateUndoManager::SetUndoOnlyChanges(bool value) {
  if (undoOnlyChanges_ == value) return;
  undoOnlyChanges_ = value;
  Clear();
}

void TateUndoManager::BeginGroup(WideStringView groupId) {
  if (source_->GetReadOnly()) return;
  if (groupDepth_ == 0) {
    auto meta = std::make_unique<TateUndo_MetaItem>();
    meta->GroupId = StringToGuid(groupId);
    current_->Groups.push_back(std::move(meta));
  }
  ++groupDepth_;
}

void TateUndoManager::EndGroup() {
  if (source_->GetReadOnly()) return;
  if (groupDepth_ > 0) --groupDepth_;
}

bool TateUndoManager::CanUndo() const { return undoOnlyChanges_ ? undoList_.ChangesText() : !undoList_.Groups.empty(); }

bool TateUndoManager::CanRedo() const { return undoOnlyChanges_ ? redoList_.ChangesText() : !redoList_.Groups.empty(); }

void TateUndoManager::Undo() {
  if (!CanUndo()) throw Exception(u"Cannot undo.");
  Pass(undoList_, redoList_);
}

void TateUndoManager::Redo() {
  if (!CanRedo()) throw Exception(u"Cannot Redo.");
  Pass(redoList_, undoList_);
}

void TateUndoManager::Pass(TateUndo_Group& from, TateUndo_Group& to) {
  TateUndo_Group* const savedCurrent = current_;
  const bool savedInPass = inUndoRedo_;
  const std::int32_t savedDepth = groupDepth_;
  current_ = &to;
  inUndoRedo_ = true;
  GUID tag = from.Groups.back()->GroupId;
  // The pass's own group: opened directly, whatever the depth of a group the caller holds open.
  groupDepth_ = 0;
  BeginGroup(GuidToWideString(tag));
  auto finish = [&]() {
    if (groupDepth_ > 0) EndGroup();
    // A pass that recorded nothing leaves no empty group behind.
    if (!to.Groups.empty() && to.Groups.back()->Items.empty()) to.Groups.pop_back();
    current_ = savedCurrent == &to || savedCurrent == &from ? &undoList_ : savedCurrent;
    inUndoRedo_ = savedInPass;
    groupDepth_ = savedDepth;
  };
  try {
    bool first = true;
    while (!from.Groups.empty()) {
      TateUndo_MetaItem& top = *from.Groups.back();
      if (!first && top.GroupId != tag) {
        if (top.ChangesText() || !undoOnlyChanges_) break;
      }
      first = false;
      tag = groupUndo_ ? top.GroupId : GUID_NULL;
      std::unique_ptr<TateUndo_MetaItem> group = std::move(from.Groups.back());
      from.Groups.pop_back();
      for (auto it = group->Items.rbegin(); it != group->Items.rend(); ++it) (*it)->Undo();
    }
  } catch (...) {
    finish();
    try {
      source_->NotifyChanged();
      source_->NotifyObservers();
    } catch (...) {
    }
    throw;
  }
  finish();
  source_->NotifyChanged();
  source_->NotifyObservers();
}

void TateUndoManager::Add(std::unique_ptr<TateUndoItem> item) {
  if (source_->GetReadOnly()) return;
  if (!inUndoRedo_) redoList_.Groups.clear();
  if (groupDepth_ == 0 || current_->Groups.empty()) {
    // Recorded with no group open: a group of its own.
    auto meta = std::make_unique<TateUndo_MetaItem>();
    meta->Items.push_back(std::move(item));
    current_->Groups.push_back(std::move(meta));
    return;
  }
  current_->Groups.back()->Items.push_back(std::move(item));
}

void TateUndoManager::AddInsert(std::int32_t count) {
  if (count > 0) Add(std::make_unique<TateUndo_Insert>(this, count));
}
void TateUndoManager::AddDelete(const WideString& text) { Add(std::make_unique<TateUndo_Delete>(this, text)); }
void TateUndoManager::AddJoin() { Add(std::make_unique<TateUndo_Join>(this)); }
void TateUndoManager::AddBreak() { Add(std::make_unique<TateUndo_Break>(this)); }
void TateUndoManager::AddNewOutline(std::int32_t a, std::int32_t b) {
  Add(std::make_unique<TateUndo_NewOutline>(this, a, b));
}
void TateUndoManager::AddHideOutline(std::int32_t a, std::int32_t b, bool hidden) {
  Add(std::make_unique<TateUndo_HideOutline>(this, a, b, hidden));
}
void TateUndoManager::AddChangeOutline(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  Add(std::make_unique<TateUndo_ChangeOutline>(this, a, b, c, d));
}
void TateUndoManager::AddOffsetOutline(std::int32_t a, std::int32_t b) {
  Add(std::make_unique<TateUndo_OffsetOutline>(this, a, b));
}
void TateUndoManager::AddPosition(const TPoint& pos) { Add(std::make_unique<TateUndo_Position>(this, pos)); }
void TateUndoManager::AddSelection(std::uint8_t mode, const TRect& selection) {
  Add(std::make_unique<TateUndo_Selection>(this, mode, selection));
}
void TateUndoManager::AddLineBuffer(std::int32_t line, const WideString& text) {
  Add(std::make_unique<TateUndo_Buffer>(this, TRect{0, line, MaxInt, line}, text));
}
void TateUndoManager::AddBuffer(const TRect& area, const WideString& text) {
  Add(std::make_unique<TateUndo_Buffer>(this, area, text));
}
void TateUndoManager::AddRevision(std::int32_t line, std::uint8_t kind) {
  Add(std::make_unique<TateUndo_Revision>(this, kind, line));
}

}  // namespace pw::editor
