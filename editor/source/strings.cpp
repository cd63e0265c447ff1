#include "editor/source/strings.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "editor/highlight/factory.h"
#include "platform/rtl/rtl_lists.h"
#include "platform/rtl/filer.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

void TateLineData::Reset() {
  Data1 = 0;
  Data2 = 0;
  if (Block)
    if (auto* strings = dynamic_cast<TateStrings*>(Block->Owner())) strings->BlocksChanged();
}

void TateDefaultLineData::MakePrivate(TateLineDataIntf*& self) {
  if (self != this) return;
  auto* copy = new TateLineData(Block);
  copy->Data1 = Data1;
  copy->Data2 = Data2;
  copy->Revision = Revision;
  self = copy;
}

namespace {
// The first CR or LF in [p, end), or end: eight units at a time where SSE2 is there, else
// four (a word has a unit below 14 exactly when (x - 0x000E...) & ~x & 0x8000... is not zero).
const char16_t* FindLineBreak(const char16_t* p, const char16_t* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi16(u'\r'), lf = _mm_set1_epi16(u'\n');
  while (end - p >= 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(x, cr), _mm_cmpeq_epi16(x, lf)));
    if (mask != 0) return p + std::countr_zero(static_cast<unsigned>(mask)) / 2;
    p += 8;
  }
#else
  constexpr std::uint64_t kOnes = 0x0001000100010001ull, kHigh = 0x8000800080008000ull;
  while (end - p >= 4) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    if (((x - kOnes * 14) & ~x & kHigh) != 0) {
      for (int i = 0; i < 4; ++i)
        if (p[i] == u'\r' || p[i] == u'\n') return p + i;
    }
    p += 4;
  }
#endif
  while (p < end && *p != u'\r' && *p != u'\n') ++p;
  return p;
}

// Splits a text at CR LF, lone LF and lone CR: the first line goes to `first`, the others to
// `rest`. A text ending in LF ends with an empty line; one ending in a lone CR does not.
void SplitLines(WideStringView text, WideString& first, std::vector<WideString>& rest) {
  const char16_t* p = text.data();
  const char16_t* const end = p + text.size();
  bool isFirst = true;
  for (;;) {
    const char16_t* brk = FindLineBreak(p, end);
    if (isFirst) {
      first.assign(p, brk);
      isFirst = false;
    } else {
      rest.emplace_back(p, brk);
    }
    p = brk;
    bool lf = false;
    if (p < end && *p == u'\r') ++p;
    if (p < end && *p == u'\n') {
      ++p;
      lf = true;
    }
    if (p >= end) {
      if (lf) rest.emplace_back();
      break;
    }
  }
}
// The same over UTF-16 little-endian bytes (an odd last byte is left out), each line decoded
// once from the bytes, without a decoded copy of the whole text.
void SplitUtf16Le(std::string_view bytes, WideString& first, std::vector<WideString>& rest) {
  const char* p = bytes.data();
  const char* const end = p + (bytes.size() & ~std::size_t{1});
  bool isFirst = true;
  auto unitAt = [](const char* q) {
    return static_cast<char16_t>(static_cast<unsigned char>(q[0]) | (static_cast<unsigned char>(q[1]) << 8));
  };
  for (;;) {
    const char* brk = p;
#if defined(__SSE2__)  // x86: the 16-bit lanes are the little-endian units
    const __m128i crs = _mm_set1_epi16(u'\r'), lfs = _mm_set1_epi16(u'\n');
    while (end - brk >= 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(brk));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(x, crs), _mm_cmpeq_epi16(x, lfs)));
      if (mask != 0) {
        brk += std::countr_zero(static_cast<unsigned>(mask));
        break;
      }
      brk += 16;
    }
#endif
    while (brk < end && unitAt(brk) != u'\r' && unitAt(brk) != u'\n') brk += 2;
    const std::size_t units = static_cast<std::size_t>(brk - p) / 2;
    // Little-endian: the bytes are the units, copied once (no zero-filled string first).
    WideString line = std::endian::native == std::endian::little
                          ? WideString(reinterpret_cast<const char16_t*>(p), units)
                          : DecodeUtf16Le(std::string_view(p, units * 2));
    if (isFirst) {
      first = std::move(line);
      isFirst = false;
    } else {
      rest.push_back(std::move(line));
    }
    p = brk;
    bool lf = false;
    if (p < end && unitAt(p) == u'\r') p += 2;
    if (p < end && unitAt(p) == u'\n') {
      p += 2;
      lf = true;
    }
    if (p >= end) {
      if (lf) rest.emplace_back();
      break;
    }
  }
}
// Rows made together for lines inserted at once (a load, a paste) live in one block of memory
// that goes with the last of them: one allocation instead of one per line. The block starts
// with the count of its live rows; a row is destroyed where it lies.
struct RowBatch {
  std::size_t live;
};

class TateBatchRow final : public TateHLRow {
 public:
  TateBatchRow(RowBatch* batch, TateLineDataIntf* lineData, TateHLStateInternal* state)
      : TateHLRow(lineData, state), batch_(batch) {}
  static void* operator new(std::size_t) = delete;
  // Reached through the virtual destructor of any row pointer.
  static void operator delete(TateBatchRow* row, std::destroying_delete_t) {
    RowBatch* batch = row->batch_;
    row->~TateBatchRow();
    if (--batch->live == 0) ::operator delete(batch);
  }

 private:
  RowBatch* batch_;
};

constexpr std::size_t kRowsOffset =
    (sizeof(RowBatch) + alignof(TateBatchRow) - 1) / alignof(TateBatchRow) * alignof(TateBatchRow);
static_assert(alignof(TateBatchRow) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

// Appends `count` (> 0) fresh rows to `rows`, whose capacity the caller reserved.
void AppendBatchRows(std::vector<std::unique_ptr<TateHLRow>>& rows, std::size_t count, TateLineDataIntf* lineData,
                     TateHLStateInternal* state) {
  void* memory = ::operator new(kRowsOffset + count * sizeof(TateBatchRow));
  auto* batch = ::new (memory) RowBatch{count};
  auto* place = static_cast<std::byte*>(memory) + kRowsOffset;
  for (std::size_t i = 0; i < count; ++i, place += sizeof(TateBatchRow))
    rows.emplace_back(::new (place) TateBatchRow(batch, lineData, state));
}
}  // namespace

TateStrings::TateStrings(TateAbstractEditSource* owner)
    : Owner(owner),
      textSource_(std::make_unique<TateTextSource>([this] { TextSourceChanged(); })),
      rootBlock_(std::make_unique<TateRootBlock>(this)),
      defaultLineData_(std::make_unique<TateDefaultLineData>(this)) {
  defaultLineData_->Block = rootBlock_.get();
  rootBlock_->SetRange(0, -1);
}

TateStrings::~TateStrings() {
  Owner = nullptr;
  Clear();
  rows_.clear();
}

void TateStrings::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TateStrings*>(source);
  if (!other) return TPersistent::Assign(source);
  if (other == this) return;
  BeginUpdate();
  Clear();
  std::vector<WideString> lines;
  for (std::int32_t i = 0; i < other->GetCount(); ++i) lines.push_back(other->Get(i));
  for (auto& l : lines) Add(std::move(l));
  EndUpdate(-1, MaxInt, true);
}

const WideString& TateStrings::Get(std::int32_t index) const {
  if (!IsValidLine(index)) throw EStringListError(u"List Index out of bounds Index: " + IntToWide(index));
  return textSource_->Get(index);
}

TateHLRow* TateStrings::GetRow(std::int32_t index) const {
  if (index < 0 || index >= static_cast<std::int32_t>(rows_.size())) throw EListError(ListIndexErrorMessage(index));
  return rows_[static_cast<std::size_t>(index)].get();
}

std::int32_t TateStrings::GetLineLength(std::int32_t index) const {
  return static_cast<std::int32_t>(Get(index).size());
}

TateCollapseBlock* TateStrings::LineBlock(std::int32_t line) const {
  if (line < 0 || line >= static_cast<std::int32_t>(rows_.size())) return rootBlock_.get();
  TateCollapseBlock* b = rows_[static_cast<std::size_t>(line)]->GetBlock();
  return b ? b : rootBlock_.get();
}

void TateStrings::SetLinesBlock(std::int32_t fromLine, std::int32_t toLine, TateCollapseBlock* block) {
  const std::int32_t count = static_cast<std::int32_t>(rows_.size());
  if (count == 0) return;
  if (!block) block = rootBlock_.get();
  fromLine = EnsureRange(fromLine, 0, count - 1);
  toLine = EnsureRange(toLine, 0, count - 1);
  for (std::int32_t i = fromLine; i <= toLine; ++i) rows_[static_cast<std::size_t>(i)]->SetBlock(block);
}

TateHLRow* TateStrings::NewRow(TateCollapseBlock* block) {
  return CreateHLRow(new TateLineData(block ? block : rootBlock_.get()), startState_);
}

void TateStrings::RebuildRows(std::int32_t fromLine, std::int32_t toLine) {
  BeginUpdate();
  const std::size_t count = static_cast<std::size_t>(GetCount());
  while (rows_.size() < count)
    rows_.push_back(std::unique_ptr<TateHLRow>(CreateHLRow(defaultLineData_.get(), startState_)));
  while (rows_.size() > count) rows_.pop_back();
  TateCollapseBlock* deepest = rootBlock_->DeepestBlock();
  maxLevel_ = deepest ? deepest->Level() : 0;
  rootBlock_->SetRange(0, GetCount() - 1);
  if (Owner) Owner->MarkChange(9);
  EndUpdate(fromLine, toLine, true);
}

void TateStrings::BlocksChanged() {
  if (Owner) Owner->BlocksChanged();
}

void TateStrings::RecordBlockChange(std::int32_t line, TateCollapseBlock* block) {
  if (!block || block == rootBlock_.get() || !Owner) return;
  if (TateUndoManager* undo = Owner->GetUndoManager())
    undo->AddChangeOutline(line, block->Level(), block->EndLine(), block->StartLine());
}

void TateStrings::EndUpdate(std::int32_t fromLine, std::int32_t toLine, bool textChanged) {
  if (updateCount_ > 0) --updateCount_;
  if (updateCount_ == 0) Changed(fromLine, toLine, textChanged);
}

void TateStrings::Changed(std::int32_t fromLine, std::int32_t toLine, bool textChanged) {
  const std::int32_t count = GetCount();
  if ((count == 0 || (count == 1 && textSource_->GetLineLength(0) == 0)) && rootBlock_->Children()->GetCount() > 0) {
    ++updateCount_;
    rootBlock_->Remove(true);
    --updateCount_;
  }
  if (updateCount_ == 0 && Owner) Owner->LinesChanged(fromLine, toLine, textChanged);
}

void TateStrings::Put(std::int32_t index, WideString s) {
  if (!IsValidLine(index)) throw EStringListError(u"List Index out of bounds Index: " + IntToWide(index));
  textSource_->Put(index, std::move(s));
  if (Owner && Owner->HasEditor()) rows_[static_cast<std::size_t>(index)]->SetRevision(Owner->NextRevision());
  Changed(index, index, true);
}

std::int64_t TateStrings::GetTextLength() const {
  std::int64_t n = 0;
  for (std::int32_t i = 0; i < GetCount(); ++i) n += textSource_->GetLineLength(i) + 2;
  return n;
}

void TateStrings::InsertLine(std::int32_t index, WideString s) {
  if (index < 0 || index > GetCount()) throw EStringListError(u"List Index out of bounds Index: " + IntToWide(index));
  TateCollapseBlock* block = index < GetCount() && inheritBlock_ ? LineBlock(index) : rootBlock_.get();
  std::unique_ptr<TateHLRow> row(NewRow(block));
  if (Owner && Owner->HasEditor()) row->SetRevision(Owner->NextRevision());
  textSource_->Insert(index, std::move(s));
  rows_.insert(rows_.begin() + index, std::move(row));
  rootBlock_->SetRange(0, GetCount() - 1);
  Changed(index, index, true);
}

std::int32_t TateStrings::Add(WideString s) {
  const std::int32_t index = GetCount();
  InsertLine(index, std::move(s));
  return index;
}

void TateStrings::Delete(std::int32_t index) {
  GetRow(index);
  textSource_->Delete(index);
  rows_.erase(rows_.begin() + index);
  rootBlock_->SetRange(0, GetCount() - 1);
  Changed(index, index, true);
}

void TateStrings::Clear() {
  ++updateCount_;
  rootBlock_->Remove(true);
  --updateCount_;
  rows_.clear();
  textSource_->Clear();
  rootBlock_->SetRange(0, -1);
  Changed(0, MaxInt, true);
}

void TateStrings::SetTextSource(TateAbstractTextSource* source) {
  if (!source) {
    textSource_ = std::make_unique<TateTextSource>([this] { TextSourceChanged(); });
  } else if (source != textSource_.get()) {
    textSource_.reset(source);
    textSource_->Attach();
  }
  TextSourceChanged();
}

void TateStrings::TextSourceChanged() {
  RebuildRows(0, MaxInt);
  if (Owner) Owner->ClearUndo();
}

std::int32_t TateStrings::DisplayWidth(std::int32_t line) const {
  const WideString& s = textSource_->Get(line);
  TateTabStopList* tabs = Owner ? Owner->GetTabStops() : nullptr;
  return tabs ? tabs->IndexToColumn(s, static_cast<std::int32_t>(s.size())) : static_cast<std::int32_t>(s.size());
}

std::int32_t TateStrings::ColumnToChar(std::int32_t line, std::int32_t col) const {
  const WideString& s = textSource_->Get(line);
  TateTabStopList* tabs = Owner ? Owner->GetTabStops() : nullptr;
  const std::int32_t i = tabs ? tabs->ColumnToIndex(s, col) : col;
  return std::clamp<std::int32_t>(i, 0, static_cast<std::int32_t>(s.size()));
}

WideString TateStrings::GetText() const { return GetTextRange(0, 0, MaxInt, MaxInt); }

void TateStrings::SetText(WideStringView text) {
  WideString first;
  std::vector<WideString> rest;
  rest.reserve(text.size() / 48 + 1);
  SplitLines(text, first, rest);
  SetLines(std::move(first), std::move(rest));
}

void TateStrings::SetLines(WideString firstLine, std::vector<WideString> otherLines) {
  BeginUpdate();
  rootBlock_->Remove(true);
  ReplaceLines(0, 0, MaxInt, MaxInt, std::move(firstLine), std::move(otherLines));
  EndUpdate(0, MaxInt, true);
  if (Owner) Owner->SetRevisionCounter(0);
}

WideString TateStrings::GetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) const {
  const std::int32_t count = GetCount();
  if (count == 0) return {};
  const bool toEnd = y2 >= count;
  y1 = EnsureRange(y1, 0, count - 1);
  x1 = EnsureRange(x1, 0, textSource_->GetLineLength(y1));
  y2 = EnsureRange(y2, 0, count - 1);
  x2 = toEnd ? textSource_->GetLineLength(y2) : EnsureRange(x2, 0, textSource_->GetLineLength(y2));
  if (y2 < y1 || (y2 == y1 && x2 <= x1)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (y2 < y1 || (y2 == y1 && x2 <= x1)) return {};
  const WideString& first = textSource_->Get(y1);
  if (y1 == y2) return first.substr(static_cast<std::size_t>(x1), static_cast<std::size_t>(x2 - x1));
  std::size_t size = 0;
  for (std::int32_t y = y1; y < y2; ++y) size += static_cast<std::size_t>(textSource_->GetLineLength(y)) + 2;
  size = size - static_cast<std::size_t>(x1) + static_cast<std::size_t>(x2);
  WideString out;
  out.reserve(size);
  out.append(first, static_cast<std::size_t>(x1));
  for (std::int32_t y = y1 + 1; y < y2; ++y) {
    out += u"\r\n";
    out += textSource_->Get(y);
  }
  out += u"\r\n";
  out.append(textSource_->Get(y2), 0, static_cast<std::size_t>(x2));
  return out;
}

void TateStrings::ReplaceText(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, WideStringView text) {
  WideString firstPiece;
  std::vector<WideString> rest;
  rest.reserve(text.size() / 48 + 1);
  SplitLines(text, firstPiece, rest);
  ReplaceLines(x1, y1, x2, y2, std::move(firstPiece), std::move(rest));
}

void TateStrings::ReplaceLines(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                               WideString firstPiece, std::vector<WideString> rest) {
  if (GetCount() == 0) Add(WideString());
  const std::int32_t count = GetCount();
  y1 = EnsureRange(y1, 0, count - 1);
  y2 = EnsureRange(y2, 0, count - 1);
  x1 = EnsureRange(x1, 0, DisplayWidth(y1));
  x2 = EnsureRange(x2, 0, DisplayWidth(y2));
  const std::int32_t c1 = ColumnToChar(y1, x1);
  // The tail starts at the character that column X2 maps to.
  const WideString tail = textSource_->Get(y2).substr(static_cast<std::size_t>(ColumnToChar(y2, x2)));
  const std::size_t added = rest.size();
  BeginUpdate();
  inheritBlock_ = false;
  try {
    WideString head = textSource_->Get(y1).substr(0, static_cast<std::size_t>(c1));
    head += firstPiece;
    if (added == 0) head += tail;
    Put(y1, std::move(head));
    if (y2 > y1) {
      textSource_->DeleteLines(y1 + 1, y2 - y1);
      rows_.erase(rows_.begin() + y1 + 1, rows_.begin() + y2 + 1);
    }
    if (added > 0) {
      rest.back() += tail;
      std::vector<std::unique_ptr<TateHLRow>> rows;
      rows.reserve(added);
      const bool stamp = Owner && Owner->HasEditor();
      // New lines share the default data (the root block) until their first change.
      AppendBatchRows(rows, added, defaultLineData_.get(), startState_);
      if (stamp)
        for (auto& row : rows) row->SetRevision(Owner->NextRevision());
      textSource_->InsertLines(y1 + 1, std::move(rest));
      rows_.insert(rows_.begin() + y1 + 1, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    }
    rootBlock_->SetRange(0, GetCount() - 1);
  } catch (...) {
    inheritBlock_ = true;
    EndUpdate(y1, MaxInt, true);
    throw;
  }
  inheritBlock_ = true;
  const std::int32_t last = y1 + static_cast<std::int32_t>(added);
  EndUpdate(y1, std::max(SatAdd(y2, 1), last), true);
}

void TateStrings::OffsetToPos(std::int32_t offset, TPoint& pos) const {
  std::int32_t y = 0;
  std::int64_t rest = offset;
  while (y < GetCount() - 1 && rest > textSource_->GetLineLength(y)) {
    rest -= textSource_->GetLineLength(y) + 2;
    ++y;
  }
  pos = TPoint{static_cast<std::int32_t>(rest), y};
}

bool TateStrings::Equals(const TateStrings& other) const {
  if (GetCount() != other.GetCount()) return false;
  for (std::int32_t i = 0; i < GetCount(); ++i)
    if (textSource_->Get(i) != other.textSource_->Get(i)) return false;
  return true;
}

bool TateStrings::CanAddBlock(std::int32_t l1, std::int32_t l2) const {
  OrderLines(l1, l2);
  if (!IsValidLine(l1) || !IsValidLine(l2) || l2 - l1 < 1) return false;
  TateCollapseBlock* b = LineBlock(l1);
  if (b != LineBlock(l2)) return false;
  return b == rootBlock_.get() || !(b->StartLine() == l1 && b->EndLine() == l2);
}

TateCollapseBlock* TateStrings::AddBlock(std::int32_t l1, std::int32_t l2) {
  if (!CanAddBlock(l1, l2)) throw Exception(u"Invalid range.");
  OrderLines(l1, l2);
  TateCollapseBlock* parent = LineBlock(l1);
  BeginUpdate();
  TateCollapseBlock* block = nullptr;
  try {
    block = new TateCollapseBlock(this, nullptr, l1, l2);
    // The parent's children inside the range move under the new block, in order.
    std::vector<TateCollapseBlock*> inside;
    for (std::int32_t i = 0; i < parent->Children()->GetCount(); ++i) {
      TateCollapseBlock* c = parent->Children()->GetItem(i);
      if (c->StartLine() >= l1 && c->EndLine() <= l2) inside.push_back(c);
    }
    for (TateCollapseBlock* c : inside) SetParent(c, block);
    SetParent(block, parent);
    parent->Children()->PlaceBlock(block, l1, l2);
    block->ClaimLines();
    RebuildRows(l1, l2);
  } catch (...) {
    EndUpdate(l1, l2, false);
    throw;
  }
  EndUpdate(l1, l2, false);
  return block;
}

void TateStrings::RemoveBlocks(std::int32_t l1, std::int32_t l2) {
  OrderLines(l1, l2);
  l1 = std::max(l1, 0);
  l2 = std::min(l2, GetCount() - 1);
  if (l1 > l2) return;
  std::int32_t line = l1;
  TateCollapseBlock* first = LineBlock(l1);
  if (first->Level() > 1) line = first->StartLine();
  std::int32_t reached = line;
  const std::int32_t start = line;
  BeginUpdate();
  try {
    while (line <= l2 && IsValidLine(line)) {
      TateCollapseBlock* b = LineBlock(line);
      if (b->Level() > 0) {
        const std::int32_t end = b->EndLine();
        b->Remove(false);
        reached = std::max(reached, end);
        line = end + 1;
      } else {
        ++line;
      }
    }
  } catch (...) {
    EndUpdate(start, reached, false);
    throw;
  }
  EndUpdate(start, reached, false);
}

TateTextEncoding TateStrings::DetectEncoding(std::string_view bytes, std::size_t& textStart) {
  textStart = 0;
  if (bytes.size() >= 2) {
    if (bytes.substr(0, 2) == "\xFF\xFE") {
      textStart = 2;
      return teUtf16;
    }
    if (bytes.substr(0, 2) == "\xEF\xBB") {
      textStart = std::min<std::size_t>(3, bytes.size());
      return teUtf8;
    }
  }
  return IsPlainTextWindow(bytes, bytes.size() < 2 ? 0 : 2) ? teAnsi : teKeep;
}

bool TateStrings::LoadFromBytes(std::string_view bytes) {
  std::size_t start = 0;
  const TateTextEncoding encoding = DetectEncoding(bytes, start);
  bool recognised = true;
  switch (encoding) {
    case teUtf16: {
      WideString first;
      std::vector<WideString> rest;
      rest.reserve(bytes.size() / 96 + 1);
      SplitUtf16Le(bytes.substr(start), first, rest);
      SetLines(std::move(first), std::move(rest));
      break;
    }
    case teUtf8:
      SetText(DecodeUtf8(bytes.substr(start)));
      break;
    case teAnsi:
      SetText(DecodeAnsi(bytes));
      break;
    default:
      SetText(u"[Error]");
      recognised = false;
      break;
  }
  if (recognised) LoadedEncoding = encoding;
  if (Owner) Owner->ClearUndo();
  return recognised;
}

bool TateStrings::LoadFromStream(TStream& stream) { return LoadFromBytes(ReadAllBytes(stream)); }

bool TateStrings::LoadFromFile(WideStringView fileName) { return LoadFromBytes(ReadFileBytes(fileName)); }

std::string TateStrings::SaveToBytes() const {
  const TateTextEncoding encoding = GetSaveEncoding();
  if (encoding != teUtf16) return EncodeText(GetText(), encoding);
  // UTF-16 little-endian straight from the lines: one block of bytes, no copy of the text.
  const std::int32_t count = GetCount();
  std::size_t units = 0;
  for (std::int32_t y = 0; y < count; ++y) units += textSource_->Get(y).size() + 2;
  std::string out;
  out.reserve(2 + units * 2);
  out += "\xFF\xFE";
  for (std::int32_t y = 0; y < count; ++y) {
    if (y > 0) AppendUtf16Le(out, u"\r\n");
    AppendUtf16Le(out, textSource_->Get(y));
  }
  return out;
}

void TateStrings::SaveToStream(TStream& stream) const { WriteAllBytes(stream, SaveToBytes()); }

void TateStrings::SaveToFile(WideStringView fileName) const { WriteFileBytes(fileName, SaveToBytes()); }

}  // namespace pw::editor

namespace pw::editor {

void TateStrings::DefineProperties(TFiler& filer) {
  bool hasData = GetCount() > 0;
  if (TPersistent* ancestor = filer.Ancestor()) {
    auto* lines = dynamic_cast<TateStrings*>(ancestor);
    hasData = !lines || !lines->Equals(*this);
  }
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        std::vector<WideString> lines = reader.ReadWideStringList();
        BeginUpdate();
        try {
          Clear();
          for (auto& line : lines) Add(std::move(line));
        } catch (...) {
          EndUpdate(-1, MaxInt, true);
          throw;
        }
        EndUpdate(-1, MaxInt, true);
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (std::int32_t i = 0; i < GetCount(); ++i) writer.WriteWideString(Get(i));
        writer.WriteListEnd();
      },
      hasData);
}

}  // namespace pw::editor
