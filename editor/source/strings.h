// TateStrings: the lines of one edit source, each with its highlighter row (the row carries
// the line's block and revision), the tree of collapsible blocks, change reports to the owner
// batched in update brackets, and the editor's text files.
//
// Loading detects the encoding: FF FE is UTF-16 (from byte 2; an odd last byte is dropped), EF
// BB is UTF-8 (the third byte is skipped whatever it is), other content is ANSI when none of
// the up to 10000 bytes after the first two is a control byte other than tab, LF, CR and 26 (a
// file of fewer than 2 bytes has no mark and all of it is sniffed). Content that fails the
// test loads as the single line "[Error]", keeps LoadedEncoding and makes the load answer
// false. An empty file loads as an empty text. Saves write SaveEncoding (3: LoadedEncoding):
// FF FE and UTF-16, EF BB BF and UTF-8, or ANSI without a mark; lines joined by CR LF.
//
// Positions given to ReplaceText count X in display columns (tabs expanded by the owner's tab
// stops), positions given to GetTextRange in characters; Y is a 0-based line. Out-of-range
// positions are clamped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/highlight/hl_row.h"
#include "editor/source/abstract_edit_source.h"
#include "editor/source/line_data.h"
#include "editor/text/text_encoding.h"
#include "editor/text/text_source.h"

namespace pw::editor {

class TateStrings : public TateStringsHolder {
 public:
  explicit TateStrings(TateAbstractEditSource* owner);
  ~TateStrings() override;
  WideString ClassName() const override { return u"TateStrings"; }
  // The property "Strings", a list of wide strings, one per line: written when there is no
  // ancestor and there are lines, when the ancestor is line storage with other lines, and
  // always for any other ancestor. Reading replaces the lines in one update bracket that
  // reports the whole text changed.
  void DefineProperties(TFiler& filer) override;
  // Copies the lines of another TateStrings.
  void Assign(TPersistent* source) override;

  // The holder's operations.
  void AssignLines(std::int32_t from, std::int32_t to, TateCollapseBlock* block) override {
    SetLinesBlock(from, to, block);
  }
  void LinesChanged(std::int32_t from, std::int32_t to) override { RebuildRows(from, to); }
  TObject* GetContext() override { return nullptr; }
  void RecordBlockChange(std::int32_t line, TateCollapseBlock* block) override;

  void SetLinesBlock(std::int32_t fromLine, std::int32_t toLine, TateCollapseBlock* block);
  void RebuildRows(std::int32_t fromLine, std::int32_t toLine);
  void BlocksChanged();

  // Raise EStringListError "List Index out of bounds Index: %d" outside the lines.
  const WideString& Get(std::int32_t index) const;
  std::int32_t GetCount() const { return textSource_->GetCount(); }
  std::int32_t Count() const { return GetCount(); }
  void Put(std::int32_t index, WideString s);
  std::int64_t GetTextLength() const;
  void Delete(std::int32_t index);
  void Clear();

  void SetText(WideStringView text);
  WideString GetText() const;
  void ReplaceText(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, WideStringView text);
  // SetText with the text already cut into its first line and the others.
  void SetLines(WideString firstLine, std::vector<WideString> otherLines);
  // ReplaceText with the text already cut into its first line and the others.
  void ReplaceLines(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, WideString firstLine,
                    std::vector<WideString> otherLines);
  WideString GetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) const;
  void InsertLine(std::int32_t index, WideString s);
  std::int32_t Add(WideString s);
  // Raises EListError outside the lines.
  TateHLRow* GetRow(std::int32_t index) const;
  std::int32_t GetLineLength(std::int32_t index) const;
  bool IsValidLine(std::int32_t index) const { return index >= 0 && index < GetCount(); }
  void OffsetToPos(std::int32_t offset, TPoint& pos) const;
  bool Equals(const TateStrings& other) const;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate(std::int32_t fromLine, std::int32_t toLine, bool textChanged);
  void Changed(std::int32_t fromLine, std::int32_t toLine, bool textChanged);
  void SetStartState(TateHLStateInternal* state) { startState_ = state; }
  TateHLStateInternal* StartState() const { return startState_; }
  // nil: a fresh line list. The store owns the source from then on.
  void SetTextSource(TateAbstractTextSource* source);
  TateAbstractTextSource* TextSource() const { return textSource_.get(); }

  bool CanAddBlock(std::int32_t l1, std::int32_t l2) const;
  // Raises Exception "Invalid range." when CanAddBlock refuses.
  TateCollapseBlock* AddBlock(std::int32_t l1, std::int32_t l2);
  void RemoveBlocks(std::int32_t l1, std::int32_t l2);
  TateRootBlock* RootBlock() const { return rootBlock_.get(); }
  // The block of a line (the root for lines of no block).
  TateCollapseBlock* LineBlock(std::int32_t line) const;
  std::int32_t MaxLevel() const { return maxLevel_; }

  // Answer whether the content was recognised (see above).
  bool LoadFromFile(WideStringView fileName);
  bool LoadFromStream(TStream& stream);
  bool LoadFromBytes(std::string_view bytes);
  void SaveToFile(WideStringView fileName) const;
  void SaveToStream(TStream& stream) const;
  std::string SaveToBytes() const;
  TateTextEncoding GetSaveEncoding() const { return SaveEncoding == teKeep ? LoadedEncoding : SaveEncoding; }
  // The detection alone: the encoding and where the text starts; teKeep when not recognised.
  static TateTextEncoding DetectEncoding(std::string_view bytes, std::size_t& textStart);

  TateTextEncoding SaveEncoding = teUtf16;
  TateTextEncoding LoadedEncoding = teUtf16;
  TateAbstractEditSource* Owner;

 private:
  std::int32_t DisplayWidth(std::int32_t line) const;
  std::int32_t ColumnToChar(std::int32_t line, std::int32_t col) const;
  TateHLRow* NewRow(TateCollapseBlock* block);
  void TextSourceChanged();

  std::int32_t maxLevel_ = 0;
  std::int32_t updateCount_ = 0;
  std::unique_ptr<TateAbstractTextSource> textSource_;
  std::unique_ptr<TateRootBlock> rootBlock_;
  std::vector<std::unique_ptr<TateHLRow>> rows_;
  std::unique_ptr<TateDefaultLineData> defaultLineData_;
  bool inheritBlock_ = true;
  TateHLStateInternal* startState_ = nullptr;
};

}  // namespace pw::editor
