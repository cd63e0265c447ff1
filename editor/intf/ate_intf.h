// The abstract classes through which the editor's parts meet: each is implemented by one
// concrete class of another part, so the line store, the blocks, the highlighter rows and the
// highlighter can be built and replaced independently. They have no fields. Also the one
// interface, IateLineNumberProvider, supplied by an embedding application.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com/guid.h"
#include "platform/com/unknown.h"
#include "platform/rtl/rtl.h"

namespace pw::editor {

class TateCollapseBlock;
class TateBlocks;
struct TateBuiltInStyleNames;

// The per-line record the line store keeps for each line: a block and three 32-bit values.
class TateLineDataIntf : public TObject {
 public:
  virtual void SetRevision(std::int32_t value) = 0;
  // Clears the first and second values and tells the line's block.
  virtual void Reset() = 0;
  virtual TateCollapseBlock* GetBlock() const = 0;
  virtual std::int32_t GetData1() const = 0;
  virtual std::int32_t GetData2() const = 0;
  virtual void SetData2(std::int32_t value) = 0;
  virtual std::int32_t GetRevision() const = 0;
  virtual void SetBlock(TateCollapseBlock* block) = 0;
  // Given the holder's reference to this object: may replace it by a private copy (copy on
  // write of shared data).
  virtual void MakePrivate(TateLineDataIntf*& self) = 0;
};

// A collapsible block of lines (see text_source.h for the behaviour of each operation).
class TateCollapseBlockIntf : public TObject {
 public:
  virtual TateCollapseBlock* DeepestBlock() = 0;
  virtual void Remove(bool withChildren) = 0;
  virtual TateCollapseBlock* FirstChild() = 0;
  virtual TateCollapseBlock* BlockAtLevel(std::int32_t level) = 0;
  virtual bool IsBlock() const = 0;
  virtual bool EndsWithParent() const = 0;
  virtual TateCollapseBlock* OuterBlock() = 0;
  virtual TateCollapseBlock* CollapsedOuterBlock() = 0;
  virtual TateCollapseBlock* TopBlock() = 0;
  virtual void ShiftLines(std::int32_t line, std::int32_t count) = 0;
  virtual TateBlocks* Children() = 0;
  virtual bool Collapsed() const = 0;
  virtual std::int32_t Level() const = 0;
  virtual TateCollapseBlock* Parent() = 0;
  virtual bool HeaderVisible() const = 0;
  virtual void SetCollapsed(bool value) = 0;
  virtual void Expand(bool recursive) = 0;
  virtual void Collapse(bool recursive) = 0;
  virtual void MakeVisible() = 0;
  virtual void Changed() = 0;
  virtual TObject* GetContext() = 0;
  virtual bool ContentVisible() const = 0;
  virtual void SetRange(std::int32_t start, std::int32_t end) = 0;
  virtual void ClaimLines() = 0;
  virtual void SetStartLine(std::int32_t value) = 0;
  virtual void SetEndLine(std::int32_t value) = 0;
  virtual std::int32_t StartLine() const = 0;
  virtual std::int32_t EndLine() const = 0;
};

class TateBlocksIntf : public TObject {
 public:
  virtual void Add(TateCollapseBlock* block) = 0;
  // Frees every block.
  virtual void Clear() = 0;
  // Takes the block out without freeing it.
  virtual void Remove(TateCollapseBlock* block) = 0;
  virtual std::int32_t GetCount() const = 0;
  virtual TateCollapseBlock* GetItem(std::int32_t index) const = 0;
};

class TateHighLighter;
class TateHLRow;

// A scanner state of the highlighter. The highlighter's own classes carry the scan.
class TateHLStateInternal : public TObject {
 public:
  virtual TateHLStateInternal* Next() = 0;
  virtual void Mark() = 0;
};

// One character of a scanned line: its horizontal offset in pixels (32 bits, so long lines do
// not wrap) and its style index.
struct TateHLEntry {
  std::int32_t X = 0;
  std::uint16_t Style = 0;
};

// The per-line scan result: one entry per character, the state at the end of the line, the
// line's data.
class TateHLRowIntf : public TObject {
 public:
  virtual TateHLEntry* GetEntry(std::int32_t index) = 0;
  virtual std::int32_t GetCount() const = 0;
  virtual void Invalidate() = 0;
  virtual void ClearNeedsLayout() = 0;
  virtual TateHLStateInternal* GetState() const = 0;
  virtual bool GetNeedsLayout() const = 0;
  virtual void SetRevision(std::int32_t value) = 0;
  virtual void Reset() = 0;
  virtual TateCollapseBlock* GetBlock() const = 0;
  virtual std::int32_t GetData1() const = 0;
  virtual std::int32_t GetData2() const = 0;
  virtual void SetData2(std::int32_t value) = 0;
  virtual std::int32_t GetRevision() const = 0;
  virtual void SetBlock(TateCollapseBlock* block) = 0;
};

// A highlighter style: its name, text colour, font style (bold 1, italic 2, underline 4,
// strike-out 8) and background colour (clNone: none of its own).
class TateHLStyleIntf : public TObject {
 public:
  virtual std::uint32_t GetColor() const = 0;
  virtual std::uint8_t GetFontStyle() const = 0;
  virtual std::uint32_t GetBackColor() const = 0;
  virtual const WideString& GetName() const = 0;
  virtual void SetColor(std::uint32_t value) = 0;
  virtual void SetFontStyle(std::uint8_t value) = 0;
  virtual void SetBackColor(std::uint32_t value) = 0;
};

// The highlighter's style table; a style's index is the number rows and states store.
class TateHLStylesIntf : public TObject {
 public:
  virtual std::int32_t GetCount() const = 0;
  virtual TateHLStyleIntf* GetStyle(std::int32_t index) const = 0;  // no range check
  // The style of that name (ignoring case), appended when missing.
  virtual TateHLStyleIntf* FindOrAddStyle(WideStringView name) = 0;
  // The style at index when it exists, else style 0.
  virtual TateHLStyleIntf* GetStyleSafe(std::int32_t index) const = 0;
  virtual std::int32_t IndexOfStyle(const TateHLStyleIntf* style) const = 0;  // -1: not in the table
  virtual void Clear() = 0;
};

// What the edit source needs of a highlighter to rescan rows: the state for line 0 and the
// scan of one line (its tabs expanded) from a start state into a row, which takes the state
// at the line's end. The builder operations come with the highlighter itself.
class TateHighLighterIntf : public TObject {
 public:
  // Replaces the whole definition by built-in definition `kind` with the caller's style names.
  virtual void CreateBuiltInParsers(std::uint8_t kind, const TateBuiltInStyleNames& names) = 0;
  virtual TateHLStateInternal* GetRootState() = 0;
  virtual void ScanLine(TateHLStateInternal* startState, const std::u16string& text, TateHLRow* row) = 0;
  virtual TateHLStylesIntf& GetStyles() = 0;
  virtual void Clear() = 0;
  virtual void SetCaseSensitive(bool value) = 0;
  // The builder operations.
  virtual void AddBlock(WideStringView name, WideStringView styleName, WideStringView startChars,
                        WideStringView endChars, bool run, WideStringView escapeChars) = 0;
  virtual void AddKeywords(WideStringView name, WideStringView styleName, WideStringView group,
                           WideStringView startChars, WideStringView wordChars,
                           const std::vector<WideString>& keywords) = 0;
  virtual void AddRegion(WideStringView name, WideStringView styleName, WideStringView fallback,
                         WideStringView startDelim, WideStringView endSpec, bool endIsRun, bool restartAtRoot,
                         bool usePrefix) = 0;
  virtual void AddKeywordsToGroup(WideStringView group, WideStringView styleName,
                                  const std::vector<WideString>& keywords) = 0;
};

// Answers the number to show for a 0-based line; a negative answer shows none.
struct IateLineNumberProvider : IUnknown {
  static constexpr IID iid = MakeGuid("{415F4EF0-736D-4FC3-80D3-1FD843C714CD}");
  using Inherited = IUnknown;
  virtual std::int32_t GetLineNumber(std::int32_t line) = 0;
};

}  // namespace pw::editor
