// The word-wrap row index: one entry per screen row, recording the text line the row shows and
// the columns of it that the row covers (First..Last), in order of line and then of Last. The
// row number of a row is its index. The editor control adds the rows its wrapping computes and
// converts every position between the text (column, line) and the screen (column in the row,
// row) through the index; lines after the last indexed line count one row each. X = MaxInt is
// the end of a line and passes both conversions unchanged. User-interface thread only.
#pragma once

#include <cstdint>

#include "editor/containers/ate_classes.h"
#include "editor/intf/ate_intf.h"

namespace pw::editor {

class TateWrapIndex : public TObject {
 public:
  std::int32_t Line = 0;
  std::int32_t Last = 0;  // the row's end argument minus 1; MaxInt stays MaxInt
  std::int32_t First = 0;
};

// Sorted by Line, then Last; owns its rows.
class TateWrapSortedList : public TateSortedList {
 public:
  TateWrapSortedList() = default;
  TateWrapSortedList(const TateWrapSortedList&) = delete;
  TateWrapSortedList& operator=(const TateWrapSortedList&) = delete;
  ~TateWrapSortedList() override { ClearRows(); }
  TateWrapIndex* Row(std::int32_t index) const { return static_cast<TateWrapIndex*>(Get(index)); }
  void ClearRows();

 protected:
  std::int32_t Compare(void* item1, void* item2) const override;
};

class TateWrapList : public TateWrapListIntf {
 public:
  void RealToWrap(const TPoint& pos, bool flag, TPoint& result) const override;
  void WrapToReal(const TPoint& pos, TPoint& result) const override;
  // The row at or after (Pos.Y, Pos.X + 1) in the order: its number when it shows line Pos.Y,
  // or when it shows another line with First <= Pos.X <= Last; otherwise -1.
  std::int32_t FindRow(const TPoint& pos) const override;
  // Raises EListError outside 0..count - 1.
  TateWrapIndex* GetRow(std::int32_t index) const override { return rows_.Row(index); }
  void Clear() override { rows_.ClearRows(); }
  // From the last row to the first: a row of a line >= LineCount - Delta goes; else with Delta
  // not 0 a row of a line > ToLine - Delta moves by Delta; else a row of a line in FromLine ..
  // ToLine - Delta goes.
  void LinesChanged(std::int32_t fromLine, std::int32_t toLine, std::int32_t delta, std::int32_t lineCount) override;
  // A row of the same line and end as one already there takes its place.
  void AddRow(std::int32_t line, std::int32_t endArg, std::int32_t start) override;
  std::int32_t GetCount() const override { return rows_.Count(); }

 private:
  TateWrapSortedList rows_;
};

}  // namespace pw::editor
