// TateHLRow: the highlighter's per-line row that the line store keeps beside each line. One
// entry per character (1-based: the pixel offset written by the editor's layout, 32 bits, and
// the style index written by the scanner), the state at the end of the line
// after the last scan (nil: to be rescanned), and the line's data (the block, the revision),
// owned unless it is the store's shared default data, which the row copies on first change.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/intf/ate_intf.h"

namespace pw::editor {

class TateHLRow : public TateHLRowIntf {
 public:
  TateHLRow(TateLineDataIntf* lineData, TateHLStateInternal* state);
  ~TateHLRow() override;

  // The address of entry min(index, count) (1-based); nil for a row without entries.
  TateHLEntry* GetEntry(std::int32_t index) override;
  std::int32_t GetCount() const override { return static_cast<std::int32_t>(Entries.size()); }
  void Invalidate() override {
    State = nullptr;
    NeedsLayout = true;
  }
  void ClearNeedsLayout() override { NeedsLayout = false; }
  TateHLStateInternal* GetState() const override { return State; }
  bool GetNeedsLayout() const override { return NeedsLayout; }
  void SetRevision(std::int32_t value) override;
  void Reset() override { LineData->Reset(); }
  TateCollapseBlock* GetBlock() const override { return LineData->GetBlock(); }
  std::int32_t GetData1() const override { return LineData->GetData1(); }
  std::int32_t GetData2() const override { return LineData->GetData2(); }
  void SetData2(std::int32_t value) override { LineData->SetData2(value); }
  std::int32_t GetRevision() const override { return LineData->GetRevision(); }
  void SetBlock(TateCollapseBlock* block) override;

  // The style index of character `index` (1-based), 0 beyond the row.
  std::uint16_t StyleAt(std::int32_t index) const;

  std::vector<TateHLEntry> Entries;
  TateHLStateInternal* State = nullptr;
  TateLineDataIntf* LineData;
  bool NeedsLayout = true;
};

}  // namespace pw::editor
