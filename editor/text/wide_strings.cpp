#include "editor/text/wide_strings.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/filer.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

namespace {
constexpr std::string_view kXmlUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"";

int Ordinal(WideStringView a, WideStringView b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}
}  // namespace

int WideStringListCompare(TWideStrings& list, std::int32_t i1, std::int32_t i2) {
  return CompareTextIgnoringCase(list.Get(i1), list.Get(i2));
}

TWideStrings::~TWideStrings() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TWideStrings::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TWideStrings*>(source);
  if (!other) return TPersistent::Assign(source);
  if (other == this) return;
  BeginUpdate();
  try {
    Clear();
    for (const auto& item : other->items_) AddObject(item.String, item.Object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TWideStrings::Error(std::int32_t index) {
  throw EStringListError(u"List Index out of bounds Index: " + IntToWide(index));
}

const WideString& TWideStrings::Get(std::int32_t index) const {
  if (index < 0 || index >= GetCount()) Error(index);
  return items_[static_cast<std::size_t>(index)].String;
}

TObject* TWideStrings::GetObject(std::int32_t index) const {
  if (index < 0 || index >= GetCount()) Error(index);
  return items_[static_cast<std::size_t>(index)].Object;
}

std::int32_t TWideStrings::GetLineLength(std::int32_t index) const {
  return static_cast<std::int32_t>(Get(index).size());
}

void TWideStrings::Put(std::int32_t index, WideString s) {
  if (Sorted) throw EStringListError(u"Operation not allowed on sorted string list");
  if (index < 0 || index >= GetCount()) Error(index);
  Changing();
  items_[static_cast<std::size_t>(index)].String = std::move(s);
  Changed();
}

void TWideStrings::PutObject(std::int32_t index, TObject* object) {
  if (index < 0 || index >= GetCount()) Error(index);
  Changing();
  items_[static_cast<std::size_t>(index)].Object = object;
  Changed();
}

std::int32_t TWideStrings::AddObject(WideString s, TObject* object) {
  std::int32_t index = GetCount();
  if (Sorted) {
    if (Find(s, index)) {
      if (Duplicates == dupIgnore) return index;
      if (Duplicates == dupError) throw EStringListError(u"String list does not allow duplicates");
    }
  }
  InsertItem(index, std::move(s), object);
  return index;
}

void TWideStrings::InsertObject(std::int32_t index, WideString s, TObject* object) {
  if (Sorted) throw EStringListError(u"Operation not allowed on sorted string list");
  if (index < 0 || index > GetCount()) Error(index);
  InsertItem(index, std::move(s), object);
}

void TWideStrings::Grow() {
  const std::size_t cap = items_.capacity();
  const std::size_t delta = cap > 64 ? cap / 4 : cap > 8 ? 16 : 4;
  items_.reserve(cap + delta);
}

void TWideStrings::InsertItem(std::int32_t index, WideString s, TObject* object) {
  Changing();
  if (items_.size() == items_.capacity()) Grow();
  items_.insert(items_.begin() + index, TWideStringItem{std::move(s), object});
  Changed();
}

void TWideStrings::Delete(std::int32_t index) {
  if (index < 0 || index >= GetCount()) Error(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TWideStrings::InsertStrings(std::int32_t index, std::vector<WideString> strings) {
  if (Sorted) throw EStringListError(u"Operation not allowed on sorted string list");
  if (index < 0 || index > GetCount()) Error(index);
  if (strings.empty()) return;
  Changing();
  if (index == GetCount()) {  // appending (a load): straight in
    items_.reserve(items_.size() + strings.size());
    for (auto& s : strings) items_.push_back({std::move(s), nullptr});
  } else {
    std::vector<TWideStringItem> items;
    items.reserve(strings.size());
    for (auto& s : strings) items.push_back({std::move(s), nullptr});
    items_.insert(items_.begin() + index, std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  Changed();
}

void TWideStrings::DeleteStrings(std::int32_t index, std::int32_t count) {
  if (count <= 0) return;
  if (index < 0 || index >= GetCount()) Error(index);
  if (count > GetCount() - index) Error(index + count - 1);
  Changing();
  items_.erase(items_.begin() + index, items_.begin() + index + count);
  Changed();
}

void TWideStrings::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  items_.shrink_to_fit();
  Changed();
}

void TWideStrings::BeginUpdate() {
  if (updateCount_ == 0) Changing();
  ++updateCount_;
}

void TWideStrings::EndUpdate() {
  if (updateCount_ <= 0) return;
  --updateCount_;
  if (updateCount_ == 0) Changed();
}

void TWideStrings::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TWideStrings::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

int TWideStrings::CompareStrings(WideStringView a, WideStringView b) const {
  return CaseSensitive ? Ordinal(a, b) : CompareTextIgnoringCase(a, b);
}

bool TWideStrings::Find(WideStringView s, std::int32_t& index) const {
  bool result = false;
  std::int32_t l = 0, h = GetCount() - 1;
  while (l <= h) {
    const std::int32_t i =
        static_cast<std::int32_t>((static_cast<std::uint32_t>(l) + static_cast<std::uint32_t>(h)) >> 1);
    const int c = CompareStrings(items_[static_cast<std::size_t>(i)].String, s);
    if (c < 0) {
      l = i + 1;
    } else {
      h = i - 1;
      if (c == 0) {
        result = true;
        if (Duplicates != dupAccept) l = i;
      }
    }
  }
  index = l;
  return result;
}

void TWideStrings::Sort() { CustomSort(WideStringListCompare); }

void TWideStrings::CustomSort(const TCompare& compare) {
  if (Sorted || GetCount() < 2) return;
  Changing();
  QuickSort(0, GetCount() - 1, compare);
  Changed();
}

void TWideStrings::QuickSort(std::int32_t l, std::int32_t r, const TCompare& compare) {
  std::int32_t i;
  do {
    i = l;
    std::int32_t j = r;
    std::int32_t p = (l + r) >> 1;
    do {
      while (compare(*this, i, p) < 0) ++i;
      while (compare(*this, j, p) > 0) --j;
      if (i <= j) {
        std::swap(items_[static_cast<std::size_t>(i)], items_[static_cast<std::size_t>(j)]);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (l < j) QuickSort(l, j, compare);
    l = i;
  } while (i < r);
}

WideString TWideStrings::GetTextStr() const { return GetTextRange(0, 0, MaxInt, MaxInt); }

void TWideStrings::SetTextStr(WideStringView text) { SetTextRange(0, 0, MaxInt, MaxInt, text); }

WideString TWideStrings::GetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) const {
  const std::int32_t count = GetCount();
  if (count == 0) return {};
  y1 = EnsureRange(y1, 0, count - 1);
  y2 = EnsureRange(y2, 0, count - 1);
  x1 = EnsureRange(x1, 0, static_cast<std::int32_t>(items_[static_cast<std::size_t>(y1)].String.size()));
  x2 = EnsureRange(x2, 0, static_cast<std::int32_t>(items_[static_cast<std::size_t>(y2)].String.size()));
  if (y2 < y1 || (y2 == y1 && x2 < x1)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (y1 == y2 && x1 == x2) return {};
  const auto& first = items_[static_cast<std::size_t>(y1)].String;
  if (y1 == y2) return first.substr(static_cast<std::size_t>(x1), static_cast<std::size_t>(x2 - x1));
  std::size_t size = first.size() - static_cast<std::size_t>(x1);
  for (std::int32_t y = y1 + 1; y <= y2; ++y) size += 2 + items_[static_cast<std::size_t>(y)].String.size();
  WideString out;
  out.reserve(size);
  out.append(first, static_cast<std::size_t>(x1));
  for (std::int32_t y = y1 + 1; y < y2; ++y) {
    out += u"\r\n";
    out += items_[static_cast<std::size_t>(y)].String;
  }
  out += u"\r\n";
  out.append(items_[static_cast<std::size_t>(y2)].String, 0, static_cast<std::size_t>(x2));
  return out;
}

void TWideStrings::SetTextRange(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                WideStringView text) {
  if (GetCount() == 0) Add(WideString());
  const std::int32_t count = GetCount();
  y1 = EnsureRange(y1, 0, count - 1);
  y2 = EnsureRange(y2, 0, count - 1);
  x1 = EnsureRange(x1, 0, static_cast<std::int32_t>(items_[static_cast<std::size_t>(y1)].String.size()));
  x2 = EnsureRange(x2, 0, static_cast<std::int32_t>(items_[static_cast<std::size_t>(y2)].String.size()));
  const WideString tail = items_[static_cast<std::size_t>(y2)].String.substr(static_cast<std::size_t>(x2));
  BeginUpdate();
  try {
    std::size_t p = 0;
    auto nextPiece = [&]() {
      const std::size_t start = p;
      while (p < text.size() && text[p] != u'\r' && text[p] != u'\n') ++p;
      return WideString(text.substr(start, p - start));
    };
    WideString head = items_[static_cast<std::size_t>(y1)].String.substr(0, static_cast<std::size_t>(x1));
    head += nextPiece();
    Put(y1, std::move(head));
    if (y2 > y1) {
      Changing();
      items_.erase(items_.begin() + y1 + 1, items_.begin() + y2 + 1);
      Changed();
    }
    std::int32_t current = y1;
    if (text.empty()) {
      items_[static_cast<std::size_t>(current)].String += tail;
    } else {
      for (;;) {
        bool lf = false;
        if (p < text.size() && text[p] == u'\r') ++p;
        if (p < text.size() && text[p] == u'\n') {
          ++p;
          lf = true;
        }
        if (lf && p == text.size()) {
          InsertItem(++current, WideString(), nullptr);
        }
        if (p >= text.size()) {
          items_[static_cast<std::size_t>(current)].String += tail;
          break;
        }
        InsertItem(++current, nextPiece(), nullptr);
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TWideStrings::OffsetToPoint(std::int32_t offset, TPoint& p) const {
  p.Y = 0;
  p.X = offset;
  while (p.X >= 1 && p.Y < GetCount()) {
    const std::int32_t len = static_cast<std::int32_t>(items_[static_cast<std::size_t>(p.Y)].String.size());
    if (p.X <= len) break;
    p.X -= len + 2;
    ++p.Y;
  }
}

TateTextEncoding TWideStrings::DetectEncoding(std::string_view bytes, std::size_t& textStart) {
  textStart = 0;
  if (bytes.size() >= 2) {
    if (bytes.substr(0, 2) == "\xFF\xFE") {
      textStart = 2;
      return teUtf16;
    }
    if (bytes.substr(0, 2) == "\xEF\xBB") {
      if (bytes.size() >= 3 && bytes[2] == '\xBF') {
        textStart = 3;
        return teUtf8;
      }
      return teKeep;
    }
  }
  // Fewer than two bytes: no mark, and all of them are sniffed.
  if (!IsPlainTextWindow(bytes, bytes.size() < 2 ? 0 : 2)) return teKeep;
  if (bytes.substr(0, kXmlUtf8Declaration.size()) == kXmlUtf8Declaration) return teUtf8;
  return teAnsi;
}

bool TWideStrings::LoadFromBytes(std::string_view bytes) {
  std::size_t start = 0;
  const TateTextEncoding encoding = DetectEncoding(bytes, start);
  WideString text;
  switch (encoding) {
    case teUtf16:
      text = DecodeUtf16Le(bytes.substr(start));
      break;
    case teUtf8:
      text = DecodeUtf8(bytes.substr(start));
      break;
    case teAnsi:
      text = DecodeAnsi(bytes);
      break;
    default:
      Clear();
      return false;
  }
  BeginUpdate();
  try {
    Clear();
    if (!text.empty()) SetTextStr(text);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  LoadedFormat = encoding;
  return true;
}

bool TWideStrings::LoadFromStream(TStream& stream) { return LoadFromBytes(ReadAllBytes(stream)); }

bool TWideStrings::LoadFromFile(WideStringView fileName) { return LoadFromBytes(ReadFileBytes(fileName)); }

std::string TWideStrings::SaveToBytes() const { return EncodeText(GetTextStr(), GetSaveEncoding()); }

void TWideStrings::SaveToStream(TStream& stream) const { WriteAllBytes(stream, SaveToBytes()); }

void TWideStrings::SaveToFile(WideStringView fileName) const { WriteFileBytes(fileName, SaveToBytes()); }

}  // namespace pw::editor

namespace pw::editor {

void TWideStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        // Read whole before anything changes: a damaged list leaves the items as they were.
        std::vector<WideString> items = reader.ReadWideStringList();
        BeginUpdate();
        try {
          Clear();
          for (auto& item : items) Add(std::move(item));
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (const auto& item : items_) writer.WriteWideString(item.String);
        writer.WriteListEnd();
      },
      GetCount() > 0);
}

}  // namespace pw::editor
