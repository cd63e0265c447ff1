#include "editor/source/editor_source.h"

#include <algorithm>
#include <iterator>

#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
constexpr char16_t kInsertBeyondEndGroup[] = u"{62EADBE9-47CF-449A-80D8-CF5A80FDF504}";
constexpr char16_t kDeleteGroup[] = u"{9F9741A0-386E-4510-9B8D-81930498F1A1}";
constexpr char16_t kBreakGroup[] = u"{EE5F751B-B8D1-4CE8-8546-7137E99887C5}";
constexpr char16_t kJoinGroup[] = u"{7B980FFA-386A-4A40-AB4F-802AF0012B98}";
constexpr char16_t kBackSpaceGroup[] = u"{66DCEDF3-F12D-4591-B7C6-5F4BCDFC67B1}";
constexpr char16_t kReplaceRangeGroup[] = u"{8F48F07F-C33E-4E58-A6F7-4EEBDB884337}";

// U+0000 and U+0002..U+0020.
constexpr char16_t kBreakChars[] = {0,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

bool IsBlank(char16_t c) { return c <= 32 && c != 1; }
}  // namespace

struct TateEditorSource::ChangeBracket {
  explicit ChangeBracket(TateEditorSource& s) : source(s) { source.BeginChange(); }
  ~ChangeBracket() { source.EndChange(); }
  TateEditorSource& source;
};

struct TateEditorSource::UndoGroup {
  UndoGroup(TateEditorSource& s, WideStringView id) : source(s), open(s.Recording()) {
    if (open) source.undo_->BeginGroup(id);
  }
  ~UndoGroup() {
    if (open) source.undo_->EndGroup();
  }
  TateEditorSource& source;
  bool open;
};

TateEditorSource::TateEditorSource(TComponent* owner)
    : TateAbstractEditSource(owner), breakChars_(kBreakChars, std::size(kBreakChars)),
      strings_(std::make_unique<TateStrings>(this)), undo_(std::make_unique<TateUndoManager>(this)),
      properties_(std::make_unique<TateSourceProperties>([this](TatePropContainer*) { ApplyProperties(); })),
      tabStops_(std::make_unique<TateTabStopList>(properties_->TabStopColumns())) {}

TateEditorSource::~TateEditorSource() {
  SetParser(nullptr);
  editor_ = nullptr;
  strings_.reset();
}

void TateEditorSource::ApplyProperties() {
  const TateSourceProperties& p = *properties_;
  tabStops_->SetTabStops(p.TabStopColumns());
  undo_->SetAllowUndo(p.UndoRedo().AllowUndo());
  undo_->SetUndoOnlyChanges(p.UndoRedo().UndoOnlyChanges());
  undo_->SetGroupUndo(p.UndoRedo().GroupUndo());
}

void TateEditorSource::SetOptions(TateSourceOptions options) {
  options_ = options;
  if (!HasOption(srBeyondEof) && editor_) {
    const TPoint c = GetCaret();
    const std::int32_t last = strings_->GetCount() - 1;
    if (c.Y > last && last >= 0) editor_->SetCaret({LineWidth(last), last});
  }
}

void TateEditorSource::SetReadOnly(bool value) {
  if (value == readOnly_) return;
  ChangeBracket bracket(*this);
  readOnly_ = value;
}

TateNotifyHandler TateEditorSource::RescanHandler() {
  return {this, [](void* self, void*, std::intptr_t) { static_cast<TateEditorSource*>(self)->Rescan(); }};
}

void TateEditorSource::SetParser(TateParser* parser) {
  if (parser_ == parser) return;
  if (parser_) parser_->RemoveChangeHandler(RescanHandler());
  parser_ = parser;
  if (parser_) parser_->SetChangeHandler(RescanHandler());
}

void TateEditorSource::SetEditor(TateSourceEditor* editor) {
  if (editor != editor_ && parser_) parser_->SetChangeHandler(RescanHandler());
  editor_ = editor;
  if (editor_) {
    strings_->TextSource()->Attach();
    if (editor_->WindowExists()) Rescan();
  }
}

// ---- change brackets and reports

void TateEditorSource::BeginChange() {
  if (changeDepth_ == 0) {
    changedFrom_ = MaxInt;
    changedTo_ = -1;
    RememberCaret(GetCaret());
    linesAtStart_ = strings_->GetCount();
  }
  ++changeDepth_;
}

void TateEditorSource::EndChange() {
  if (changeDepth_ <= 0) return;
  if (--changeDepth_ > 0) return;
  if (editor_ && editor_->GetCaret() != editor_->GetRememberedCaret()) MarkChange(ckCaret);
  if (pendingChanges_ & (1u << ckLines)) rescanFrom_ = std::min(rescanFrom_, changedFrom_);
  if (strings_->GetCount() != linesAtStart_) MarkChange(ckLineCount);
  if (pendingChanges_ != 0) {
    NotifyChanged();
    pendingChanges_ = 0;
  }
  linesAtStart_ = strings_->GetCount();
}

void TateEditorSource::AddChangedLines(std::int32_t from, std::int32_t to) {
  changedFrom_ = std::min(changedFrom_, from);
  changedTo_ = std::max(changedTo_, to);
  MarkChange(ckLines);
}

void TateEditorSource::LinesChanged(std::int32_t from, std::int32_t to, bool textChanged) {
  ChangeBracket bracket(*this);
  AddChangedLines(from, to);
  MarkChange(ckCaret);
  if (textChanged) {
    const std::int32_t count = strings_->GetCount();
    const std::int32_t a = std::max(from, 0), b = std::min(to, count - 1);
    for (std::int32_t i = a; i <= b; ++i) strings_->GetRow(i)->Invalidate();
    scannedTo_ = std::min(scannedTo_, SatAdd(from, -1));
  }
}

void TateEditorSource::BlocksChanged() {
  if (editor_) editor_->BlocksChanged();
}

void TateEditorSource::NotifyChanged() {
  if (notifying_) return;
  notifying_ = true;
  try {
    notifiers_.Notify(this, pendingChanges_);
  } catch (...) {
    notifying_ = false;
    throw;
  }
  notifying_ = false;
}

void TateEditorSource::AdjustAfterEdit(std::int32_t dX, std::int32_t dY) {
  if (editor_) editor_->AdjustPositions(GetCaret(), dX, dY);
}

bool TateEditorSource::CanChange() { return (!OnBeforeChange || OnBeforeChange()) && !readOnly_; }

void TateEditorSource::DoAfterChange() {
  if (OnAfterChange) OnAfterChange();
}

bool TateEditorSource::ResetModified() {
  const bool modified = revision_ != savedRevision_;
  savedRevision_ = revision_;
  if (modified) NotifyChanged();
  return modified;
}

void TateEditorSource::Undo() {
  if (readOnly_ || !undo_->CanUndo()) return;
  ChangeBracket bracket(*this);
  undo_->Undo();
  AddChangedLines(0, MaxInt);
  linesAtStart_ = 0;
  MarkChange(ckSelection);
}

void TateEditorSource::Redo() {
  if (readOnly_ || !undo_->CanRedo()) return;
  ChangeBracket bracket(*this);
  undo_->Redo();
  MarkChange(ckSelection);
}

void TateEditorSource::Rescan() {
  rescanFrom_ = 0;
  MarkChange(ckRescan);
  for (std::int32_t i = 0; i < strings_->GetCount(); ++i) strings_->GetRow(i)->Invalidate();
  scannedTo_ = -1;
}

// ---- positions

std::int32_t TateEditorSource::LineWidth(std::int32_t line) {
  if (!strings_->IsValidLine(line)) return 0;
  const WideString& s = strings_->Get(line);
  return tabStops_->IndexToColumn(s, static_cast<std::int32_t>(s.size()));
}

std::int32_t TateEditorSource::ColumnToCharIndex(std::int32_t line, std::int32_t x) {
  if (strings_->GetCount() == 0) return 0;
  if (!strings_->IsValidLine(line)) return x;
  return tabStops_->ColumnToIndex(strings_->Get(line), x);
}

std::int32_t TateEditorSource::CharIndexToColumn(std::int32_t line, std::int32_t index) {
  if (strings_->GetCount() == 0) return 0;
  if (!strings_->IsValidLine(line)) return index;
  return tabStops_->IndexToColumn(strings_->Get(line), index);
}

std::int64_t TateEditorSource::PosToOffset(const TPoint& p) {
  std::int64_t offset = 0;
  const std::int32_t last = std::min(p.Y, strings_->GetCount());
  for (std::int32_t y = 0; y < last; ++y) offset += strings_->GetLineLength(y) + 2;
  if (strings_->IsValidLine(p.Y)) offset += std::clamp(ColumnToCharIndex(p.Y, p.X), 0, strings_->GetLineLength(p.Y));
  return offset;
}

TPoint TateEditorSource::OffsetToPos(std::int32_t offset) const {
  TPoint p;
  strings_->OffsetToPos(offset, p);
  return p;
}

// ---- undo helpers

void TateEditorSource::RecordRevision(std::int32_t line) {
  if (!Recording() || !strings_->IsValidLine(line)) return;
  const std::int32_t rev = strings_->GetRow(line)->GetRevision();
  const std::uint8_t kind = rev == 0 ? 0 : rev <= savedRevision_ ? 2 : 1;
  undo_->AddRevision(line, kind);
}

void TateEditorSource::RecordSubtree(TateCollapseBlock* block) {
  // Preorder list of the subtree.
  std::vector<TateCollapseBlock*> blocks;
  std::vector<TateCollapseBlock*> stack{block};
  while (!stack.empty()) {
    TateCollapseBlock* b = stack.back();
    stack.pop_back();
    if (b->IsBlock()) blocks.push_back(b);
    for (std::int32_t i = b->Children()->GetCount() - 1; i >= 0; --i) stack.push_back(b->Children()->GetItem(i));
  }
  // Undone last first: the blocks come back parents first, then their collapsed state.
  for (TateCollapseBlock* b : blocks)
    if (b->Collapsed()) undo_->AddHideOutline(b->StartLine(), b->Level(), true);
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
    undo_->AddChangeOutline((*it)->StartLine(), (*it)->Level(), (*it)->EndLine(), (*it)->StartLine());
}

void TateEditorSource::RecordOutline() {
  if (!Recording() || strings_->RootBlock()->Children()->GetCount() == 0) return;
  RecordSubtree(strings_->RootBlock());
  undo_->AddNewOutline(0, 0);
}

TateCollapseBlock* TateEditorSource::FindBlock(std::int32_t firstLine, std::int32_t level) {
  TateCollapseBlock* b = strings_->RootBlock();
  while (b->Level() < level) {
    TateCollapseBlock* next = nullptr;
    for (std::int32_t i = 0; i < b->Children()->GetCount(); ++i) {
      TateCollapseBlock* c = b->Children()->GetItem(i);
      if (c->StartLine() <= firstLine && firstLine <= c->EndLine()) {
        next = c;
        break;
      }
    }
    if (!next) return nullptr;
    b = next;
  }
  return b->IsBlock() && b->StartLine() == firstLine ? b : nullptr;
}

void TateEditorSource::ShiftBlocks(std::int32_t line, std::int32_t count) {
  if (count == 0) return;
  strings_->BeginUpdate();
  strings_->RootBlock()->ShiftLines(line, count);
  strings_->EndUpdate(std::max(0, std::min(line, SatAdd(line, count))), MaxInt, false);
}

// ---- outline operations

void TateEditorSource::SetOutlineHidden(std::int32_t a, std::int32_t b, bool hidden) {
  TateCollapseBlock* block = FindBlock(a, b);
  if (!block) return;
  ChangeBracket bracket(*this);
  if (Recording()) undo_->AddHideOutline(a, b, block->Collapsed());
  block->SetCollapsed(hidden);
}

void TateEditorSource::RemoveOutline(std::int32_t a, std::int32_t b) {
  ChangeBracket bracket(*this);
  if (b <= 0) {
    if (strings_->RootBlock()->Children()->GetCount() == 0) return;
    if (Recording()) RecordSubtree(strings_->RootBlock());
    strings_->RootBlock()->Remove(true);
    return;
  }
  TateCollapseBlock* block = FindBlock(a, b);
  if (!block) return;
  if (Recording()) RecordSubtree(block);
  block->Remove(true);
}

void TateEditorSource::ChangeOutline(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  if (!strings_->IsValidLine(a) || b < 1) return;
  ChangeBracket bracket(*this);
  if (TateCollapseBlock* block = FindBlock(a, b)) {
    if (Recording()) undo_->AddChangeOutline(d, b, block->EndLine(), block->StartLine());
    block->SetRange(d, c);
    return;
  }
  // Create it under the block of the level above that holds its lines.
  TateCollapseBlock* parent = strings_->RootBlock();
  while (parent->Level() < b - 1) {
    TateCollapseBlock* next = nullptr;
    for (std::int32_t i = 0; i < parent->Children()->GetCount(); ++i) {
      TateCollapseBlock* ch = parent->Children()->GetItem(i);
      if (ch->StartLine() <= d && c <= ch->EndLine()) next = ch;
    }
    if (!next) return;
    parent = next;
  }
  if (!strings_->IsValidLine(d) || !strings_->IsValidLine(c) || c - d < 1) return;
  strings_->BeginUpdate();
  try {
    auto* block = new TateCollapseBlock(&Strings(), parent, d, c);
    block->ClaimLines();
    strings_->RebuildRows(d, c);
  } catch (...) {
    strings_->EndUpdate(d, c, false);
    throw;
  }
  strings_->EndUpdate(d, c, false);
  if (Recording()) undo_->AddNewOutline(d, b);
}

void TateEditorSource::SetBlockState(std::int32_t line, std::int32_t level, bool collapsed) {
  if (!strings_->IsValidLine(line)) return;
  TateCollapseBlock* b = strings_->LineBlock(line);
  while (b && b->IsBlock() && b->Level() > level) b = b->Parent();
  if (b && b->IsBlock() && b->Level() == level) SetOutlineHidden(b->StartLine(), level, collapsed);
}

// ---- text operations

void TateEditorSource::ReplaceLine(std::int32_t line, const WideString& s) {
  if (readOnly_ || !strings_->IsValidLine(line)) return;
  ChangeBracket bracket(*this);
  if (Recording()) undo_->AddLineBuffer(line, strings_->Get(line));
  strings_->Put(line, s);
}

void TateEditorSource::InsertText(const WideString& text, std::int32_t flag) {
  if (readOnly_) return;
  if (text.find_first_of(u"\r\n") != WideString::npos) {
    const TPoint c = GetCaret();
    ReplaceRange(c.X, c.Y, c.X, c.Y, text);
    return;
  }
  ++editDepth_;
  struct Depth {
    std::int32_t& d;
    ~Depth() { --d; }
  } depth{editDepth_};
  ChangeBracket bracket(*this);
  const TPoint caret = GetCaret();
  if (caret.Y < 0) return;
  if (caret.Y >= strings_->GetCount()) {
    const std::int32_t from = strings_->GetCount();
    while (strings_->GetCount() <= caret.Y) strings_->Add(WideString());
    AddChangedLines(from, caret.Y);
  }
  WideString line = strings_->Get(caret.Y);
  const std::int32_t idx = ColumnToCharIndex(caret.Y, caret.X);
  std::int32_t width = 0;
  if (idx > static_cast<std::int32_t>(line.size())) {
    UndoGroup group(*this, kInsertBeyondEndGroup);
    RecordRevision(caret.Y);
    if (Recording()) undo_->AddLineBuffer(caret.Y, line);
    const std::int32_t lineWidth = LineWidth(caret.Y);
    WideString pad(static_cast<std::size_t>(std::max(caret.X - lineWidth, 0)), u' ');
    if (properties_->UseTabChar()) {
      WideString prefixed = line + pad;
      OptimalFill(prefixed, 0);
      line = std::move(prefixed);
    } else {
      line += pad;
    }
    line += text;
    strings_->Put(caret.Y, line);
    AddChangedLines(caret.Y, caret.Y);
    if (OnAfterStringChange) OnAfterStringChange(caret, 1);
    if (Recording()) undo_->AddPosition(caret);
    width = CharIndexToColumn(caret.Y, static_cast<std::int32_t>(line.size())) - caret.X;
  } else {
    RecordRevision(caret.Y);
    line.insert(static_cast<std::size_t>(idx), text);
    strings_->Put(caret.Y, line);
    AddChangedLines(caret.Y, caret.Y);
    if (OnAfterStringChange) OnAfterStringChange(caret, 1);
    width = std::max(CharIndexToColumn(caret.Y, idx + static_cast<std::int32_t>(text.size())) - caret.X, 0);
    if (Recording()) {
      undo_->AddInsert(width);
      undo_->AddPosition(caret);
    }
  }
  AdjustAfterEdit(width, 0);
  (void)flag;
}

void TateEditorSource::DeleteColumns(std::int32_t count) {
  const TPoint caret = GetCaret();
  if (caret.X >= LineWidth(caret.Y)) return;
  WideString line = strings_->Get(caret.Y);
  const std::int32_t a = std::clamp(ColumnToCharIndex(caret.Y, caret.X), 0, static_cast<std::int32_t>(line.size()));
  const std::int32_t b =
      std::clamp(ColumnToCharIndex(caret.Y, SatAdd(caret.X, count)), a, static_cast<std::int32_t>(line.size()));
  if (b <= a) return;
  const WideString removed = line.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
  line.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
  if (Recording()) {
    undo_->AddDelete(removed);
    undo_->AddPosition(caret);
  }
  strings_->Put(caret.Y, line);
  if (OnAfterStringChange) OnAfterStringChange(caret, 0);
  AdjustAfterEdit(-(b - a), 0);
  AddChangedLines(caret.Y, caret.Y);
}

void TateEditorSource::DeleteText(std::int32_t count) {
  const TPoint caret = GetCaret();
  if (readOnly_ || !strings_->IsValidLine(caret.Y) || count <= 0) return;
  ChangeBracket bracket(*this);
  UndoGroup group(*this, kDeleteGroup);
  RecordRevision(caret.Y);
  if (count == MaxInt) {
    DeleteColumns(MaxInt);
    JoinLines(0);
  } else {
    if (Recording()) undo_->AddPosition(caret);
    DeleteColumns(count);
  }
}

void TateEditorSource::BreakLine(TPoint p) {
  if (readOnly_ && p.Y < strings_->GetCount()) return;
  if (OnBeforeBreakString) OnBeforeBreakString(p, 1);
  UndoGroup group(*this, kBreakGroup);
  ++editDepth_;
  struct Depth {
    std::int32_t& d;
    ~Depth() { --d; }
  } depth{editDepth_};
  ChangeBracket bracket(*this);
  if (strings_->GetCount() == 0) strings_->Add(WideString());
  p.Y = std::clamp(p.Y, 0, strings_->GetCount() - 1);
  const WideString line = strings_->Get(p.Y);
  const std::int32_t len = static_cast<std::int32_t>(line.size());
  const std::int32_t idx = p.X == MaxInt ? MaxInt : ColumnToCharIndex(p.Y, p.X);
  if (len < idx && idx != MaxInt && Recording()) {
    RecordRevision(p.Y);
    undo_->AddLineBuffer(p.Y, line);
  }
  RecordOutline();
  TateCollapseBlock* block = strings_->LineBlock(p.Y);
  const bool atEnd = block->IsBlock() && block->EndLine() == p.Y && len > idx;
  if (idx > 0 && idx < len && block->IsBlock() && block->Collapsed()) block->Expand(false);
  RecordRevision(p.Y);
  strings_->BeginUpdate();
  try {
    if (idx == MaxInt) {
      strings_->InsertLine(p.Y + 1, WideString());
    } else if (idx > 0) {
      const std::int32_t cut = std::min(idx, len);
      strings_->InsertLine(p.Y + 1, line.substr(static_cast<std::size_t>(cut)));
      if (cut < len) strings_->Put(p.Y, line.substr(0, static_cast<std::size_t>(cut)));
    } else {
      strings_->InsertLine(p.Y, WideString());
    }
  } catch (...) {
    strings_->EndUpdate(p.Y, p.Y + 1, true);
    throw;
  }
  strings_->EndUpdate(p.Y, p.Y + 1, true);
  const bool atStart = block->IsBlock() && block->StartLine() == p.Y && idx == 0;
  ShiftBlocks(atStart || atEnd ? p.Y - 1 : p.Y, 1);
  AddChangedLines(p.Y, p.Y + 1);
  if (Recording()) {
    undo_->AddBreak();
    undo_->AddPosition(p);
  }
  AdjustAfterEdit(idx == MaxInt ? 0 : -idx, 1);
  if (TrimmingAllowed()) {
    const TPoint caret = GetCaret();
    if (caret.Y == p.Y) TrimTrailingSpaces(true);
  }
  if (Recording()) undo_->AddOffsetOutline(p.Y, 1);
  if (OnAfterBreakString) OnAfterBreakString(p, 1);
}

void TateEditorSource::NewLine() {
  if (readOnly_) return;
  ChangeBracket bracket(*this);
  TPoint caret = GetCaret();
  if (strings_->GetCount() == 0) {
    strings_->Add(WideString());
  } else if (caret.Y >= strings_->GetCount() && editor_) {
    const TPoint back = caret;
    while (strings_->GetCount() <= back.Y) {
      const std::int32_t last = strings_->GetCount() - 1;
      editor_->SetCaret({LineWidth(last), last});
      BreakLine(editor_->GetCaret());
    }
    editor_->SetCaret(back);
  }
  BreakLine(GetCaret());
}

void TateEditorSource::JoinLines(std::int32_t offset) {
  if (readOnly_) return;
  const TPoint caret = GetCaret();
  const std::int32_t l = caret.Y;
  if (!strings_->IsValidLine(l) || !strings_->IsValidLine(l + 1)) return;
  if (OnBeforeJoinString) OnBeforeJoinString({caret.X, l + offset}, 1);
  UndoGroup group(*this, kJoinGroup);
  ChangeBracket bracket(*this);
  RecordRevision(l + 1);
  RecordRevision(l);
  RecordOutline();
  WideString line = strings_->Get(l);
  const std::int32_t width = LineWidth(l);
  if (caret.X != MaxInt && caret.X > width) {
    if (Recording()) undo_->AddLineBuffer(l, line);
    line.append(static_cast<std::size_t>(caret.X - width), u' ');
  }
  const TPoint joinPoint{tabStops_->IndexToColumn(line, static_cast<std::int32_t>(line.size())), l};
  line += strings_->Get(l + 1);
  strings_->BeginUpdate();
  try {
    strings_->Put(l, line);
    strings_->Delete(l + 1);
  } catch (...) {
    strings_->EndUpdate(l, l + 1, true);
    throw;
  }
  strings_->EndUpdate(l, l + 1, true);
  ShiftBlocks(l + 2, -1);
  AddChangedLines(l, l + 1);
  if (OnAfterJoinString) OnAfterJoinString({caret.X, l}, -1);
  if (Recording()) {
    undo_->AddJoin();
    undo_->AddPosition(joinPoint);
  }
  AdjustAfterEdit(0, -1);
}

void TateEditorSource::TrimTrailingSpaces(bool withUndo) {
  if (HasOption(srLeaveTrailSpaces)) return;
  const TPoint caret = GetCaret();
  if (!strings_->IsValidLine(caret.Y)) return;
  const WideString& line = strings_->Get(caret.Y);
  std::size_t n = line.size();
  while (n > 0 && IsBlank(line[n - 1])) --n;
  if (n == line.size()) return;
  ChangeBracket bracket(*this);
  if (withUndo && editor_) {
    const std::int32_t from = CharIndexToColumn(caret.Y, static_cast<std::int32_t>(n));
    editor_->SetCaret({from, caret.Y});
    DeleteText(MaxInt - 1);
    editor_->SetCaret(caret);
  } else {
    strings_->Put(caret.Y, line.substr(0, n));
  }
  AddChangedLines(caret.Y, caret.Y);
}

void TateEditorSource::OptimalFill(WideString& s, std::int32_t startColumn) {
  if (!properties_->UseTabChar()) return;
  WideString out;
  std::int32_t col = startColumn;
  std::size_t pending = 0;
  for (char16_t c : s) {
    if (c == u'\t') {
      pending = 0;
      out.push_back(c);
      col = tabStops_->NextTabStop(col);
    } else if (c == u' ') {
      ++pending;
      ++col;
      if (tabStops_->NextTabStop(col - 1) == col) {
        out.push_back(u'\t');
        pending = 0;
      }
    } else {
      out.append(pending, u' ');
      pending = 0;
      out.push_back(c);
      ++col;
    }
  }
  out.append(pending, u' ');
  if (out != s) s = std::move(out);
}

void TateEditorSource::ReplaceRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                    const WideString& text) {
  if (readOnly_) return;
  UndoGroup group(*this, kReplaceRangeGroup);
  DoReplace(x1, y1, x2, y2, text);
}

void TateEditorSource::RestoreBuffer(const TRect& area, const WideString& text) {
  if (readOnly_) return;
  DoReplace(area.Left, area.Top, area.Right, area.Bottom, text);
  if (undo_->InUndoRedo()) {
    const std::int32_t last = std::min(area.Bottom, strings_->GetCount() - 1);
    for (std::int32_t y = std::max(area.Top, 0); y <= last; ++y) strings_->GetRow(y)->SetData2(0);
  }
}

void TateEditorSource::DoReplace(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                 const WideString& text) {
  ChangeBracket bracket(*this);
  if (strings_->GetCount() == 0) strings_->Add(WideString());
  const std::int32_t count = strings_->GetCount();
  y1 = std::clamp(y1, 0, count - 1);
  y2 = std::clamp(y2, 0, count - 1);
  x1 = std::clamp(x1, 0, LineWidth(y1));
  x2 = std::clamp(x2, 0, LineWidth(y2));
  if (y2 < y1 || (y2 == y1 && x2 < x1)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const std::int32_t c1 = std::clamp(ColumnToCharIndex(y1, x1), 0, strings_->GetLineLength(y1));
  const std::int32_t c2 = std::clamp(ColumnToCharIndex(y2, x2), 0, strings_->GetLineLength(y2));
  const WideString old = strings_->GetTextRange(c1, y1, c2, y2);
  // The new text's lines, cut as the line store cuts them.
  TWideStrings pieces;
  pieces.SetTextStr(text);
  const std::int32_t newLines = std::max(pieces.GetCount(), 1);
  const std::int32_t delta = newLines - 1 - (y2 - y1);
  if (delta > 0 && OnBeforeBreakString) OnBeforeBreakString({x1, y1}, delta);
  if (delta < 0 && OnBeforeJoinString && strings_->IsValidLine(y1 + 1)) OnBeforeJoinString({x1, y1}, delta);
  for (std::int32_t y = y1; y <= y2; ++y) RecordRevision(y);
  RecordOutline();
  strings_->ReplaceText(x1, y1, x2, y2, text);
  ShiftBlocks(y2 + 1, -(y2 - y1));
  ShiftBlocks(y1, newLines - 1);
  const std::int32_t endLine = y1 + newLines - 1;
  const std::int32_t endChar = newLines == 1
                                   ? c1 + static_cast<std::int32_t>(pieces.GetCount() ? pieces.Get(0).size() : 0)
                                   : static_cast<std::int32_t>(pieces.Get(newLines - 1).size());
  if (Recording()) undo_->AddBuffer({x1, y1, CharIndexToColumn(endLine, endChar), endLine}, old);
  if (delta > 0) {
    if (Recording()) undo_->AddOffsetOutline(y1, delta);
    if (OnAfterBreakString) OnAfterBreakString({x1, y1}, delta);
  } else if (delta < 0) {
    if (OnAfterJoinString) OnAfterJoinString({x1, y1}, delta);
  }
  if (OnAfterStringChange) OnAfterStringChange({x1, y1}, delta);
  AddChangedLines(y1, std::max(endLine, y2));
}

void TateEditorSource::SetLineMark(std::uint8_t kind, std::int32_t line) {
  if (!strings_->IsValidLine(line)) return;
  RecordRevision(line);
  TateHLRow* row = strings_->GetRow(line);
  row->SetRevision(kind == 0 ? 0 : kind == 1 ? revision_ : savedRevision_);
}

void TateEditorSource::SetSelectionPoint(std::uint8_t mode, const TRect& selection) {
  if (editor_) editor_->SetSelection(mode, selection);
  MarkChange(ckSelection);
}

void TateEditorSource::RestoreSelection(std::uint8_t mode, const TRect& selection) {
  if (!editor_) return;
  if (Recording()) undo_->AddSelection(mode, selection);
  editor_->SetSelection(mode, selection);
}

void TateEditorSource::InsertLineText(std::int32_t line, const WideString& text) {
  if (!editor_) return;
  ChangeBracket bracket(*this);
  if (line > 0)
    editor_->SetCaret({LineWidth(line - 1), line - 1});
  else
    editor_->SetCaret({0, 0});
  NewLine();
  editor_->SetCaret({0, line});
  InsertText(text, 0);
}

void TateEditorSource::ScanRows(std::int32_t from, std::int32_t to, bool force) {
  if ((changeDepth_ > 0 && !force) || strings_->GetCount() == 0 || !editor_ || !editor_->WindowExists()) return;
  TateHighLighterIntf* highlighter = editor_->GetHighlighter();
  if (!highlighter) return;
  const std::int32_t last = strings_->GetCount() - 1;
  from = std::clamp(from, 0, std::min(std::max(scannedTo_ + 1, 0), last));
  to = std::clamp(to, 0, last);
  scannedTo_ = std::max(scannedTo_, to);
  TateHLStateInternal* state = from > 0 ? strings_->GetRow(from - 1)->GetState() : nullptr;
  if (!state) state = highlighter->GetRootState();
  for (std::int32_t y = from; y <= to; ++y) {
    TateHLRow* row = strings_->GetRow(y);
    highlighter->ScanLine(state, tabStops_->ExpandTabs(strings_->Get(y)), row);
    state = row->GetState() ? row->GetState() : highlighter->GetRootState();
  }
}

// ---- caret, word and tab operations

void TateEditorSource::SetCaretXY(std::int32_t x, std::int32_t y) {
  if (!editor_) return;
  positioning_ = true;
  struct Reset {
    bool& b;
    ~Reset() { b = false; }
  } reset{positioning_};
  const TPoint c = GetCaret();
  if (x == MaxInt) x = LineWidth(y);
  const std::int64_t dx = std::int64_t{x} - c.X, dy = std::int64_t{y} - c.Y;
  MoveCaretBy(static_cast<std::int32_t>(std::clamp<std::int64_t>(dx, -MaxInt, MaxInt)),
              static_cast<std::int32_t>(std::clamp<std::int64_t>(dy, -MaxInt, MaxInt)));
}

void TateEditorSource::MoveCaretBy(std::int32_t dX, std::int32_t dY) {
  if (!editor_) return;
  const TPoint old = GetCaret();
  dX = std::max(dX, -old.X);
  dY = std::max(dY, -old.Y);
  TPoint target{SatAdd(old.X, dX), SatAdd(old.Y, dY)};
  if (!HasOption(srBeyondEof)) target.Y = std::min(target.Y, std::max(strings_->GetCount() - 1, 0));
  if (!properties_->BeyoundEOL()) target.X = std::min(target.X, LineWidth(target.Y));
  if (target == old) return;
  ChangeBracket bracket(*this);
  if (HasOption(srOptimalFill) && strings_->IsValidLine(old.Y)) {
    WideString line = strings_->Get(old.Y);
    OptimalFill(line, 0);
    if (line != strings_->Get(old.Y)) strings_->Put(old.Y, line);
  }
  if (target.Y != old.Y && TrimmingAllowed()) TrimTrailingSpaces(false);
  editor_->SetCaret(target);
  if (Recording()) undo_->AddPosition(old);
}

void TateEditorSource::CaretLeft() {
  const TPoint c = GetCaret();
  if (c.X == 0) {
    if (HasOption(srMoveUpAtLineBegin) && c.Y > 0) {
      TateCollapseBlock* b = strings_->LineBlock(c.Y - 1);
      const std::int32_t y = b->IsBlock() && b->Collapsed() ? b->StartLine() : c.Y - 1;
      SetCaretXY(LineWidth(y), y);
    }
    return;
  }
  std::int32_t target = c.X - 1;
  if (strings_->IsValidLine(c.Y) && c.X <= LineWidth(c.Y)) {
    const std::int32_t idx = ColumnToCharIndex(c.Y, c.X);
    target = CharIndexToColumn(c.Y, std::max(idx - 1, 0));
  }
  MoveCaretBy(target - c.X, 0);
}

void TateEditorSource::CaretRight() {
  const TPoint c = GetCaret();
  if (HasOption(srMoveDownAtLineEnd) && !properties_->BeyoundEOL() && strings_->IsValidLine(c.Y + 1) &&
      c.X >= LineWidth(c.Y)) {
    SetCaretXY(0, c.Y + 1);
    return;
  }
  std::int32_t target = SatAdd(c.X, 1);
  if (strings_->IsValidLine(c.Y) && c.X < LineWidth(c.Y)) {
    const std::int32_t idx = ColumnToCharIndex(c.Y, c.X);
    target = CharIndexToColumn(c.Y, idx + 1);
  }
  MoveCaretBy(target - c.X, 0);
}

void TateEditorSource::BackSpace() {
  if (readOnly_ || !editor_) return;
  ChangeBracket bracket(*this);
  UndoGroup group(*this, kBackSpaceGroup);
  const TPoint c = GetCaret();
  if (properties_->BackUnIndent() && c.Y > 0 && strings_->IsValidLine(c.Y)) {
    const WideString expanded = tabStops_->ExpandTabs(strings_->Get(c.Y));
    const std::size_t before = std::min(static_cast<std::size_t>(std::max(c.X, 0)), expanded.size());
    bool onlyBlanks = true;
    for (std::size_t i = 0; i < before; ++i)
      if (expanded[i] != u' ') onlyBlanks = false;
    if (onlyBlanks) {
      if (c.X == 0) return;
      std::int32_t target = 0;
      for (std::int32_t y = c.Y - 1; y >= 0; --y) {
        const WideString up = tabStops_->ExpandTabs(strings_->Get(y));
        const std::int32_t first = FirstNonBlank(up, 0);
        if (first > 0 && first - 1 < c.X) {
          target = first - 1;
          break;
        }
      }
      target = std::clamp(target, 0, c.X);
      if (target == c.X) target = 0;
      SetCaretXY(target, c.Y);
      DeleteText(c.X - target);
      SetCaretXY(target, c.Y);
      return;
    }
  }
  if (c.X == 0 && !HasOption(srMoveUpAtLineBegin)) {
    if (c.Y > 0) {
      SetCaretXY(LineWidth(c.Y - 1), c.Y - 1);
      DeleteText(MaxInt);
    }
    return;
  }
  CaretLeft();
  DeleteText(1);
}

bool TateEditorSource::IsBreakChar(char16_t c) const {
  return breakChars_.find(c) != WideString::npos || c == u'\'' || c == u'"';
}

void TateEditorSource::GetWordBounds(const TPoint& p, std::int32_t mode, bool skipDelimiters, std::int32_t& start,
                                     std::int32_t& end) {
  start = end = 0;
  if (!strings_->IsValidLine(p.Y)) return;
  const WideString s = tabStops_->ExpandTabs(strings_->Get(p.Y)) + u' ';
  const std::int32_t n = static_cast<std::int32_t>(s.size());
  auto at = [&](std::int32_t col1) { return s[static_cast<std::size_t>(col1 - 1)]; };  // 1-based
  auto stop = [&](std::int32_t col1) { return IsBreakChar(at(col1)) || at(col1) == 1; };
  std::int32_t i = std::clamp(SatAdd(p.X, 1), 1, n);
  if (skipDelimiters)
    while (i > 1 && stop(i)) --i;
  const bool onSpace = at(i) == u' ';
  while (i > 1 && (!stop(i - 1) || (mode == 3 && onSpace && at(i - 1) == u' '))) --i;
  start = i;
  // The last character of the word: move right while the next character is not a delimiter.
  std::int32_t j = i;
  while (j < n && !stop(j + 1)) ++j;
  if (mode == 1 && j < n && at(j + 1) == u' ')
    ++j;
  else if (mode == 2)
    while (j < n && stop(j + 1)) ++j;
  else if (mode == 3)
    while (j < n && at(j + 1) == u' ') ++j;
  end = j;
}

std::int32_t TateEditorSource::TabTarget(bool backMode) {
  const TPoint c = GetCaret();
  if (!properties_->SmartTab() && !backMode) return tabStops_->NextTabStop(c.X);
  for (std::int32_t y = std::min(c.Y, strings_->GetCount()) - 1; y >= 0; --y) {
    const WideString s = tabStops_->ExpandTabs(strings_->Get(y));
    const std::int32_t first = FirstNonBlank(s, 0);
    if (first == 0) continue;
    const std::int32_t indent = first - 1;
    if (backMode) {
      if (indent < c.X) return std::max(indent, 0);
      if (indent <= 1) return 0;
      continue;
    }
    if (static_cast<std::int32_t>(s.size()) <= c.X) continue;
    if (indent > c.X) return indent;
    std::size_t k = static_cast<std::size_t>(c.X);
    while (k < s.size() && s[k] != u' ') ++k;
    while (k < s.size() && s[k] == u' ') ++k;
    if (k < s.size()) return static_cast<std::int32_t>(k);
  }
  return backMode ? 0 : tabStops_->NextTabStop(c.X);
}

void TateEditorSource::InsertTab() {
  if (readOnly_) return;
  const TPoint c = GetCaret();
  const std::int32_t target = TabTarget(false);
  if (target <= c.X) return;
  WideString blanks(static_cast<std::size_t>(target - c.X), u' ');
  OptimalFill(blanks, c.X);
  InsertText(blanks, 0);
}

}  // namespace pw::editor
