// Tab stops of an edit source: parsed from a setting of integers separated by blanks ("4",
// "4 8 16"), strictly ascending, each 1..255; with one stop S the stops are S, 2S, 3S...,
// with several the given ones followed by repetitions of the last interval. Columns count from
// 0; MaxInt stays MaxInt; negative columns count as 0. The first 65536 "next stop" answers are
// cached; later ones are computed (so a huge column costs no memory).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/utils/ate_utils.h"

namespace pw::editor {

class TateTabStopList {
 public:
  // Raises the setting's error (see SetTabStops) for a rejected text.
  explicit TateTabStopList(WideStringView text);

  // A rejected setting raises Exception "The Tab Stop box must hold a string that contains
  // integer values in ascending order and separated with spaces." and keeps the old stops.
  void SetTabStops(WideStringView value);
  const WideString& Text() const { return text_; }
  const std::vector<std::int32_t>& Stops() const { return stops_; }

  std::int32_t NextTabStop(std::int32_t col);
  std::int32_t PrevTabStop(std::int32_t col);
  WideString ExpandTabs(WideStringView line);
  void ExpandTabsInPlace(WideString& line) { line = ExpandTabs(line); }
  std::int32_t ColumnToIndex(WideStringView line, std::int32_t col);
  std::int32_t IndexToColumn(WideStringView line, std::int32_t index);
  std::int32_t SnapColumn(WideStringView line, std::int32_t col);

  static constexpr std::size_t kCacheLimit = 65536;

 private:
  bool Parse(WideStringView value, std::vector<std::int32_t>& stops) const;
  std::int32_t ComputeNext(std::int32_t col) const;

  WideString text_;
  std::vector<std::int32_t> stops_;
  std::vector<std::int32_t> nextStops_;
};

}  // namespace pw::editor
