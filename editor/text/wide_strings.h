// TWideStrings: the editor's list of UTF-16 strings, each with an object reference that the
// list never frees; optionally sorted, with change events fired only outside update brackets,
// text access by (column, line) ranges, and text files in three encodings.
//
// Loading detects the encoding: FF FE is UTF-16 (from byte 2), EF BB BF is UTF-8 (from byte
// 3), EF BB with any other third byte is not recognised. Other content is sniffed: when any of
// the up to 10000 bytes after the first two is a control byte other than tab, LF, CR and 26 it
// is not recognised; otherwise a file whose first 36 bytes are exactly
// `<?xml version="1.0" encoding="UTF-8"` is UTF-8 from byte 0, anything else ANSI. A file of
// fewer than 2 bytes has no mark and all of it is sniffed. An empty file loads as an empty
// text. Unrecognised content leaves the list empty, keeps LoadedFormat, raises nothing and
// makes the load answer false, so that no caller saves it back unknowingly.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/text/text_encoding.h"
#include "editor/utils/ate_utils.h"
#include "platform/rtl/persistent.h"
#include "platform/rtl/rtl_lists.h"
#include "platform/rtl/rtl_stream.h"

namespace pw::editor {

struct TWideStringItem {
  WideString String;
  TObject* Object = nullptr;  // not owned
};

enum TDuplicates : std::uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TWideStrings : public TPersistent {
 public:
  using TNotifyEvent = std::function<void(TWideStrings* sender)>;
  using TCompare = std::function<int(TWideStrings& list, std::int32_t i1, std::int32_t i2)>;

  TWideStrings() = default;
  ~TWideStrings() override;

  WideString ClassName() const override { return u"TWideStrings"; }
  // Copies the strings and objects of another TWideStrings (others: the assignment error).
  void Assign(TPersistent* source) override;
  // The property "Strings" (written only when the list has items): a list of wide strings,
  // one per item. Reading replaces the items inside an update bracket.
  void DefineProperties(TFiler& filer) override;

  std::int32_t GetCount() const { return static_cast<std::int32_t>(items_.size()); }
  std::int32_t Count() const { return GetCount(); }
  // Raises EStringListError "List Index out of bounds Index: %d" outside 0..count-1.
  const WideString& Get(std::int32_t index) const;
  TObject* GetObject(std::int32_t index) const;
  std::int32_t GetLineLength(std::int32_t index) const;  // checked like Get
  void Put(std::int32_t index, WideString s);
  void PutObject(std::int32_t index, TObject* object);

  std::int32_t Add(WideString s) { return AddObject(std::move(s), nullptr); }
  std::int32_t AddObject(WideString s, TObject* object);
  void Insert(std::int32_t index, WideString s) { InsertObject(index, std::move(s), nullptr); }
  void InsertObject(std::int32_t index, WideString s, TObject* object);
  void Delete(std::int32_t index);
  // Several strings at `index` (0..count) or `count` strings from `index`, with one pair of
  // change events.
  void InsertStrings(std::int32_t index, std::vector<WideString> strings);
  void DeleteStrings(std::int32_t index, std::int32_t count);
  void Clear();

  void BeginUpdate();
  void EndUpdate();

  virtual bool Find(WideStringView s, std::int32_t& index) const;
  virtual void Sort();
  virtual void CustomSort(const TCompare& compare);

  WideString GetTextStr() const;
  void SetTextStr(WideStringView text);
  WideString GetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) const;
  void SetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, WideStringView text);
  void OffsetToPoint(std::int32_t offset, TPoint& p) const;

  // Answer whether the content was recognised (see above).
  bool LoadFromFile(WideStringView fileName);
  bool LoadFromStream(TStream& stream);
  bool LoadFromBytes(std::string_view bytes);
  void SaveToFile(WideStringView fileName) const;
  void SaveToStream(TStream& stream) const;
  std::string SaveToBytes() const;
  // The encoding a save writes: SaveFormat, or LoadedFormat when SaveFormat is 3.
  TateTextEncoding GetSaveEncoding() const { return SaveFormat == teKeep ? LoadedFormat : SaveFormat; }

  // The detection alone: the encoding and where its text starts; teKeep when not recognised.
  static TateTextEncoding DetectEncoding(std::string_view bytes, std::size_t& textStart);

  bool Sorted = false;
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive = true;
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  TateTextEncoding SaveFormat = teUtf16;
  TateTextEncoding LoadedFormat = teUtf16;

 protected:
  virtual void Changed();
  virtual void Changing();
  virtual void InsertItem(std::int32_t index, WideString s, TObject* object);

 private:
  [[noreturn]] static void Error(std::int32_t index);
  int CompareStrings(WideStringView a, WideStringView b) const;
  void QuickSort(std::int32_t l, std::int32_t r, const TCompare& compare);
  void Grow();

  std::vector<TWideStringItem> items_;
  std::int32_t updateCount_ = 0;
};

// The default sort order: the two items compared ignoring case.
int WideStringListCompare(TWideStrings& list, std::int32_t i1, std::int32_t i2);

}  // namespace pw::editor
