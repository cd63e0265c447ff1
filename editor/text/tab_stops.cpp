#include "editor/text/tab_stops.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
constexpr char16_t kTabStopError[] =
    u"The Tab Stop box must hold a string that contains integer values in ascending order and separated with "
    u"spaces.";
}

TateTabStopList::TateTabStopList(WideStringView text) { SetTabStops(text); }

bool TateTabStopList::Parse(WideStringView value, std::vector<std::int32_t>& stops) const {
  if (value.find(u',') != WideStringView::npos || value.find(u'.') != WideStringView::npos) return false;
  if (WideTrim(value).empty()) return false;
  // Items are separated by blanks; double quotes group an item.
  std::vector<WideString> items;
  std::size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && value[i] <= u' ') ++i;
    if (i >= value.size()) break;
    WideString item;
    if (value[i] == u'"') {
      ++i;
      while (i < value.size() && value[i] != u'"') item.push_back(value[i++]);
      if (i < value.size()) ++i;
    } else {
      while (i < value.size() && value[i] > u' ') item.push_back(value[i++]);
    }
    items.push_back(std::move(item));
  }
  stops.clear();
  for (const auto& item : items) {
    WideString t = WideTrim(item);
    if (t.empty() || t.size() > 9) return false;
    std::int32_t v = 0;
    std::size_t k = 0;
    bool negative = false;
    if (t[0] == u'-' || t[0] == u'+') {
      negative = t[0] == u'-';
      k = 1;
    }
    if (k >= t.size()) return false;
    for (; k < t.size(); ++k) {
      if (t[k] < u'0' || t[k] > u'9') return false;
      v = v * 10 + (t[k] - u'0');
    }
    if (negative) v = -v;
    if (v < 1 || v > 255 || (!stops.empty() && v <= stops.back())) return false;
    stops.push_back(v);
  }
  return !stops.empty();
}

void TateTabStopList::SetTabStops(WideStringView value) {
  if (!text_.empty() && value == text_) return;
  std::vector<std::int32_t> stops;
  if (!Parse(value, stops)) throw Exception(kTabStopError);
  stops_ = std::move(stops);
  nextStops_.clear();
  text_ = WideString(value);
}

std::int32_t TateTabStopList::ComputeNext(std::int32_t c) const {
  if (stops_.empty()) return SatAdd(c, 1);
  const std::int32_t last = stops_.back();
  if (c < last) return *std::upper_bound(stops_.begin(), stops_.end(), c);
  const std::int32_t step = stops_.size() == 1 ? last : last - stops_[stops_.size() - 2];
  const std::int64_t r = (std::int64_t{c - last} / step + 1) * step + last;
  return r > MaxInt ? MaxInt : static_cast<std::int32_t>(r);
}

std::int32_t TateTabStopList::NextTabStop(std::int32_t col) {
  if (col == MaxInt) return MaxInt;
  col = std::max(col, 0);
  if (static_cast<std::size_t>(col) >= kCacheLimit) return ComputeNext(col);
  while (nextStops_.size() <= static_cast<std::size_t>(col))
    nextStops_.push_back(ComputeNext(static_cast<std::int32_t>(nextStops_.size())));
  return nextStops_[static_cast<std::size_t>(col)];
}

std::int32_t TateTabStopList::PrevTabStop(std::int32_t col) {
  if (col <= 0) return 0;
  const std::int32_t n = NextTabStop(col - 1);
  if (n == MaxInt && col - 1 == MaxInt) return 0;
  // The stop before n (every stop is some column's next stop).
  if (stops_.empty()) return n - 1;
  const std::int32_t last = stops_.back();
  if (n <= last) {
    auto it = std::lower_bound(stops_.begin(), stops_.end(), n);
    return it == stops_.begin() ? 0 : *(it - 1);
  }
  const std::int32_t step = stops_.size() == 1 ? last : last - stops_[stops_.size() - 2];
  return n - step;
}

WideString TateTabStopList::ExpandTabs(WideStringView line) {
  WideString out;
  out.reserve(line.size());
  for (char16_t ch : line) {
    if (ch == u'\t') {
      const std::int32_t col = static_cast<std::int32_t>(out.size());
      const std::int32_t next = NextTabStop(col);
      out.append(static_cast<std::size_t>(std::max(next - col, 1)), u' ');
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::int32_t TateTabStopList::ColumnToIndex(WideStringView line, std::int32_t col) {
  if (col == MaxInt) return MaxInt;
  std::int32_t v = 0;
  std::size_t i = 0;
  while (i < line.size() && v < col) {
    v = line[i] == u'\t' ? NextTabStop(v) : SatAdd(v, 1);
    ++i;
  }
  return SatAdd(static_cast<std::int32_t>(i), std::max(col - v, 0));
}

std::int32_t TateTabStopList::IndexToColumn(WideStringView line, std::int32_t index) {
  if (index == MaxInt) return MaxInt;
  index = std::max(index, 0);
  const std::size_t n = std::min(static_cast<std::size_t>(index), line.size());
  std::int32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = line[i] == u'\t' ? NextTabStop(v) : SatAdd(v, 1);
  return v;
}

std::int32_t TateTabStopList::SnapColumn(WideStringView line, std::int32_t col) {
  if (col >= 1 && IndexToColumn(line, static_cast<std::int32_t>(line.size())) >= col) {
    const std::int32_t i = ColumnToIndex(line, col);
    if (i >= 1 && static_cast<std::size_t>(i) <= line.size() && line[static_cast<std::size_t>(i - 1)] == u'\t')
      return IndexToColumn(line, i);
  }
  return col;
}

}  // namespace pw::editor
