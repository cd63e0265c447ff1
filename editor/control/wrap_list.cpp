#include "editor/control/wrap_list.h"

#include <algorithm>
#include <memory>

namespace pw::editor {

std::int32_t TateWrapSortedList::Compare(void* item1, void* item2) const {
  const auto* a = static_cast<const TateWrapIndex*>(item1);
  const auto* b = static_cast<const TateWrapIndex*>(item2);
  if (a->Line != b->Line) return a->Line < b->Line ? -1 : 1;
  if (a->Last != b->Last) return a->Last < b->Last ? -1 : 1;
  return 0;
}

void TateWrapSortedList::ClearRows() {
  for (std::int32_t i = 0; i < Count(); ++i) delete Row(i);
  Clear();
}

std::int32_t TateWrapList::FindRow(const TPoint& pos) const {
  TateWrapIndex probe;
  probe.Line = pos.Y;
  probe.Last = std::min(pos.X, MaxInt - 2) + 1;
  probe.First = 0;
  std::int32_t p = 0;
  rows_.Find(&probe, p);
  if (p < 0 || p >= rows_.Count()) return -1;
  const TateWrapIndex* r = rows_.Row(p);
  if (r->Line == pos.Y) return p;
  return r->First <= pos.X && pos.X <= r->Last ? p : -1;
}

void TateWrapList::RealToWrap(const TPoint& pos, bool, TPoint& result) const {
  const std::int32_t y = std::max(pos.Y, 0);
  result = TPoint{pos.X, y};
  const std::int32_t i = FindRow(TPoint{pos.X, y});
  if (i >= 0) {
    result.Y = i;
    if (result.X != MaxInt) result.X -= rows_.Row(i)->First;
  } else if (rows_.Count() > 0) {
    result.Y = SatAdd(y - rows_.Row(rows_.Count() - 1)->Line, rows_.Count() - 1);
  }
}

void TateWrapList::WrapToReal(const TPoint& pos, TPoint& result) const {
  const std::int32_t y = std::max(pos.Y, 0);
  result = TPoint{pos.X, y};
  if (y < rows_.Count()) {
    const TateWrapIndex* r = rows_.Row(y);
    result.Y = r->Line;
    if (result.X != MaxInt) result.X = SatAdd(result.X, r->First);
  } else if (rows_.Count() > 0) {
    result.Y = SatAdd(rows_.Row(rows_.Count() - 1)->Line, y - rows_.Count() + 1);
  }
}

void TateWrapList::LinesChanged(std::int32_t fromLine, std::int32_t toLine, std::int32_t delta,
                                std::int32_t lineCount) {
  for (std::int32_t i = rows_.Count() - 1; i >= 0; --i) {
    TateWrapIndex* r = rows_.Row(i);
    bool drop = false;
    if (r->Line >= SatAdd(lineCount, -delta)) {
      drop = true;
    } else if (delta != 0 && r->Line > SatAdd(toLine, -delta)) {
      r->Line = SatAdd(r->Line, delta);
    } else if (fromLine <= r->Line && r->Line <= SatAdd(toLine, -delta)) {
      drop = true;
    }
    if (drop) {
      delete r;
      rows_.Delete(i);
    }
  }
}

void TateWrapList::AddRow(std::int32_t line, std::int32_t endArg, std::int32_t start) {
  auto row = std::make_unique<TateWrapIndex>();
  row->Line = line;
  row->Last = endArg == MaxInt ? MaxInt : endArg - 1;
  row->First = start;
  std::int32_t index = 0;
  if (rows_.Find(row.get(), index)) {
    rows_.Row(index)->First = start;
    return;
  }
  rows_.Add(row.get());
  row.release();
}

}  // namespace pw::editor
