#include "editor/highlight/hl_row.h"

#include <algorithm>
#include <typeinfo>

#include "editor/source/line_data.h"

namespace pw::editor {

TateHLRow::TateHLRow(TateLineDataIntf* lineData, TateHLStateInternal* state) : LineData(lineData) {
  Invalidate();
  State = state;
}

TateHLRow::~TateHLRow() {
  Entries.clear();
  // The shared default data (a final class) is its storage's; any other is the row's own.
  if (LineData && typeid(*LineData) != typeid(TateDefaultLineData)) delete LineData;
}

TateHLEntry* TateHLRow::GetEntry(std::int32_t index) {
  if (Entries.empty()) return nullptr;
  const std::size_t i = static_cast<std::size_t>(std::clamp<std::int32_t>(index, 1, GetCount()));
  return &Entries[i - 1];
}

void TateHLRow::SetRevision(std::int32_t value) {
  LineData->MakePrivate(LineData);
  LineData->SetRevision(value);
}

void TateHLRow::SetBlock(TateCollapseBlock* block) {
  if (LineData->GetBlock() == block) return;
  LineData->MakePrivate(LineData);
  LineData->SetBlock(block);
}

std::uint16_t TateHLRow::StyleAt(std::int32_t index) const {
  if (index < 1 || index > GetCount()) return 0;
  return Entries[static_cast<std::size_t>(index - 1)].Style;
}

}  // namespace pw::editor
