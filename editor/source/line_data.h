// The per-line data the line store keeps in each row: the line's block, two values and the
// revision at which the line last changed. The store's shared default data stands for rows
// that never changed; a row replaces it by a private copy at its first change.
#pragma once

#include <cstdint>

#include "editor/intf/ate_intf.h"

namespace pw::editor {

class TateStrings;

class TateLineData : public TateLineDataIntf {
 public:
  explicit TateLineData(TateCollapseBlock* block = nullptr) : Block(block) {}
  void SetRevision(std::int32_t value) override { Revision = value; }
  void Reset() override;
  TateCollapseBlock* GetBlock() const override { return Block; }
  std::int32_t GetData1() const override { return Data1; }
  std::int32_t GetData2() const override { return Data2; }
  void SetData2(std::int32_t value) override { Data2 = value; }
  std::int32_t GetRevision() const override { return Revision; }
  void SetBlock(TateCollapseBlock* block) override { Block = block; }
  void MakePrivate(TateLineDataIntf*&) override {}

  TateCollapseBlock* Block;
  std::int32_t Data1 = 0;
  std::int32_t Data2 = 0;
  std::int32_t Revision = 0;
};

class TateDefaultLineData final : public TateLineData {
 public:
  explicit TateDefaultLineData(TateStrings* strings) : Strings(strings) {}
  // Stores a new TateLineData with the same block in `self`; the shared object stays as it is.
  void MakePrivate(TateLineDataIntf*& self) override;

  TateStrings* Strings;
};

}  // namespace pw::editor
