// The abstract classes through which the editor's parts meet: each is implemented by one
// concrete class of another part, so the line store, the blocks, the highlighter rows and the
// highlighter can be built and replaced independently. They have no fields. Also the one
// interface, IateLineNumberProvider, supplied by an embedding application.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/utils/ate_utils.h"
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

class TateHighLighter;

// The editor control as its parts see it. The control layer of this system has no custom
// control class, so the abstract control derives from TObject; the concrete control adds its
// window. Points are (column, line) in the text.
class TcvEditorIntf : public TObject {
 public:
  // Runs a caret-movement command as one undo group.
  virtual void ExecuteMoveCommand(std::uint8_t command) = 0;
  // Applies the range from (x1, y1) to (x2, y2): y1 clamped to 0..line count - 1 and y2 to
  // y1..line count - 1 (see ClampRangeLines).
  virtual void SetRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;
  // The caret, its line clamped to 0..line count - 1.
  virtual void GetCaretPos(TPoint& pos) const = 0;
  // Moves the caret (its line clamped the same way) and scrolls as needed.
  virtual void SetCaretPos(const TPoint& pos) = 0;
  // A point the control stores for its parts.
  virtual TPoint GetStoredPoint() const = 0;
  virtual void SetStoredPoint(const TPoint& value) = 0;
  virtual TateHighLighter* GetCurrentHighlighter() const = 0;
  // A value the control stores for its parts.
  virtual std::int32_t GetStoredValue() const = 0;
  virtual void SetStoredValue(std::int32_t value) = 0;
  // A query answered from the data of `line` in the line store.
  virtual std::int32_t QueryLine(std::int32_t line, std::int32_t arg) const = 0;

  // The clamping of SetRange for a text of `lineCount` lines (an empty text clamps to 0).
  static void ClampRangeLines(std::int32_t lineCount, std::int32_t& y1, std::int32_t& y2) {
    const std::int32_t last = lineCount > 0 ? lineCount - 1 : 0;
    y1 = y1 < 0 ? 0 : (y1 > last ? last : y1);
    y2 = y2 < y1 ? y1 : (y2 > last ? last : y2);
  }
};

// Turns the control's key presses into its commands (implemented by the key map).
class TateKeysProcessor : public TObject {
 public:
  // A chord (Ctrl+K, Ctrl+Q) is open.
  virtual bool IsInChord() const = 0;
  // Shift: bit 0 Shift, bit 1 Alt, bit 2 Ctrl. True: a handler ran and the key is consumed.
  virtual bool ProcessKey(std::uint16_t key, std::uint8_t shift) = 0;
  // Binds the processor to its control (nullptr: unbound).
  virtual void SetEditor(TcvEditorIntf* editor) = 0;
};

class TateWrapIndex;

// The screen rows of wrapped lines: converts between text positions (column, line) and screen
// positions (column in the row, row number). X = MaxInt is the end of a line in both.
class TateWrapListIntf : public TObject {
 public:
  // Flag is accepted for the callers and not used.
  virtual void RealToWrap(const TPoint& pos, bool flag, TPoint& result) const = 0;
  virtual void WrapToReal(const TPoint& pos, TPoint& result) const = 0;
  // The row of a text position, or -1.
  virtual std::int32_t FindRow(const TPoint& pos) const = 0;
  virtual TateWrapIndex* GetRow(std::int32_t index) const = 0;
  virtual void Clear() = 0;
  // After an edit: Delta lines were added (negative: removed), LineCount is the count after it.
  virtual void LinesChanged(std::int32_t fromLine, std::int32_t toLine, std::int32_t delta, std::int32_t lineCount) = 0;
  // A row of `line` showing columns start..endArg - 1 (endArg MaxInt: to the end).
  virtual void AddRow(std::int32_t line, std::int32_t endArg, std::int32_t start) = 0;
  virtual std::int32_t GetCount() const = 0;
};

// Answers the number to show for a 0-based line; a negative answer shows none.
struct IateLineNumberProvider : IUnknown {
  static constexpr IID iid = MakeGuid("{415F4EF0-736D-4FC3-80D3-1FD843C714CD}");
  using Inherited = IUnknown;
  virtual std::int32_t GetLineNumber(std::int32_t line) = 0;
};

}  // namespace pw::editor
