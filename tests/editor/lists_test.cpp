// The utility routines, the editor's containers and the wide string list's text operations.
#include <gtest/gtest.h>

#include "editor/containers/ate_classes.h"
#include "editor/text/wide_strings.h"
#include "editor/utils/ate_utils.h"
#include "platform/rtl/rtl_lists.h"
#include "platform/ui/window_system.h"

namespace pw::editor {
namespace {

TEST(Utils, Routines) {
  EXPECT_EQ(EnsureRange(5, 10, 3), 10);
  EXPECT_EQ(EnsureRange(5, 0, 3), 3);
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4);
  EXPECT_EQ(PosFrom("b", "abcb", 9), 0);
  EXPECT_EQ(PosFrom("", "abcb", 1), 0);
  EXPECT_EQ(CompareTextBounded("BEGIN", "begin;", 5), 0);
  EXPECT_EQ(CompareTextBounded("BEGIN", "beg", 3), 2);
  EXPECT_NE(CompareStrBounded("BEGIN", "begin;", 5), 0);
  EXPECT_EQ(CompareTextBounded("AB", nullptr, 5), 2);
  EXPECT_EQ(FirstNonBlank(u" \t \t", 0), 0);
  EXPECT_EQ(FirstNonBlank(u"  x", 1), 3);
  EXPECT_EQ(AteWideTrimRight(u"ab\x01  \t"), u"ab\x01");
  EXPECT_EQ(AteWideTrimRight(u"ab  "), u"ab");
  EXPECT_EQ(HexDigitValue(u'G'), 16);
  EXPECT_EQ(HexDigitValue(u'f'), 15);
  EXPECT_EQ(HexDigitValue(u'B'), 11);
  WideString bytes, hex, back;
  bytes = u"\x01\xAB\u12FF";
  BytesToHexText(bytes, hex);
  ASSERT_EQ(hex.size(), 6u);
  EXPECT_EQ(hex[0], u'0' | (u'1' << 8));
  EXPECT_EQ(hex[2], u'A' | (u'B' << 8));
  EXPECT_EQ(hex[4], u'F' | (u'F' << 8));
  HexTextToBytes(u"01abFF", back);
  EXPECT_EQ(back, (WideString{0x01, 0xAB, 0xFF}));
  WideString s = u"ab";
  PadRightWide(s, 4);
  EXPECT_EQ(s, u"ab  ");
  TRect r{5, 9, 1, 2}, n;
  NormalizeRange(r, n);
  EXPECT_EQ(n, (TRect{1, 2, 5, 9}));
  EXPECT_TRUE(IsRectCollapsed({3, 3, 3, 3}));
  EXPECT_TRUE(IsRectZero(EmptyRect()));
  EXPECT_EQ(SatAdd(MaxInt - 1, 5), MaxInt);
}

TEST(Utils, AltFollowsTheWindowSystemsKeyState) {
  EXPECT_FALSE(IsAltDown());
  SetKeyStateProc([](int key) { return key == VK_MENU; });
  EXPECT_TRUE(IsAltDown());
  SetKeyStateProc(nullptr);
  EXPECT_FALSE(IsAltDown());
}

TEST(Utils, CharacterSets) {
  EXPECT_EQ(CharSetToWideString(WordChars).size(), 63u);
  EXPECT_EQ(CharSetToWideString(BlankChars).size(), 32u);
  EXPECT_FALSE(BlankChars.Contains(0));
  EXPECT_EQ(CharSetToWideString(DelimiterChars).size(), 27u);
  for (char c : std::string("<>_~`")) EXPECT_FALSE(DelimiterChars.Contains(static_cast<std::uint8_t>(c))) << c;
  EXPECT_TRUE(DelimiterChars.Contains('@'));
}

TEST(Containers, WideStringTableRehashes) {
  TateWideStringTable t(11);
  EXPECT_EQ(t.Threshold(), 6);
  for (int i = 0; i < 6; ++i) t.SetValue(u"k" + WideString(1, static_cast<char16_t>(u'a' + i)), i + 1);
  EXPECT_EQ(t.BucketCount(), 11);
  t.SetValue(u"seventh", 7);
  EXPECT_EQ(t.BucketCount(), 23);
  EXPECT_EQ(t.Threshold(), 12);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(t.GetValue(u"k" + WideString(1, static_cast<char16_t>(u'a' + i))), i + 1);
  t.SetValue(u"ka", 40);
  EXPECT_EQ(t.GetValue(u"ka"), 40);
  EXPECT_EQ(t.GetValue(u"KA"), 0);
  TateWideStringTable empty(0);
  EXPECT_EQ(empty.GetValue(u"x"), 0);
  empty.SetValue(u"x", 3);
  EXPECT_EQ(empty.BucketCount(), 10);
  EXPECT_EQ(empty.GetValue(u"x"), 3);
}

TEST(Containers, SortedAndRecordLists) {
  TateSortedList list;
  int a[3];
  list.Add(&a[2]);
  list.Add(&a[0]);
  list.Insert(0, &a[1]);
  EXPECT_EQ(list.Get(0), &a[0]);
  EXPECT_EQ(list.Get(1), &a[1]);
  EXPECT_EQ(list.Add(&a[1]), 1);
  EXPECT_EQ(list.Count(), 3);
  list.Duplicates = 2;
  EXPECT_THROW(list.Add(&a[1]), EListError);
  EXPECT_THROW(list.Get(3), EListError);

  TateRecordList records(8);
  const std::uint64_t value = 0x1122334455667788ull;
  records.Add(&value);
  const std::int32_t i = records.Add(nullptr);
  EXPECT_EQ(*static_cast<std::uint64_t*>(records.GetItem(0)), value);
  EXPECT_EQ(*static_cast<std::uint64_t*>(records.GetItem(i)), 0u);
  EXPECT_THROW(records.GetItem(5), Exception);
  EXPECT_THROW(records.GetItem(-1), Exception);
}

TEST(Containers, FastStringListFindsKeywords) {
  TFastStringList keywords(false);
  for (const char* k : {"begin", "end", "endif", "if"}) keywords.Add(k);
  std::int32_t index = -1;
  EXPECT_TRUE(keywords.Find("END", index));
  EXPECT_EQ(keywords.Get(index), "end");
  EXPECT_FALSE(keywords.Find("else", index));
  keywords.PartialMatch = true;
  std::int32_t len = 0;
  EXPECT_TRUE(keywords.FindText("endif(x)", len, index));
}

TEST(Containers, NotifierList) {
  TateNotifierList list;
  std::vector<int> calls;
  auto code = [](void* o, void*, std::intptr_t b) {
    static_cast<std::vector<int>*>(o)->push_back(static_cast<int>(b));
  };
  list.AddNotifier({&calls, code});
  list.AddNotifier({&calls, code});  // replaces the equal handler
  list.Notify(nullptr, 7);
  EXPECT_EQ(calls, (std::vector<int>{7}));
  list.RemoveNotifier({&calls, code});
  list.Notify(nullptr, 8);
  EXPECT_EQ(calls.size(), 1u);
}

TEST(WideStrings, TextBreaksAndRanges) {
  TWideStrings l;
  l.SetTextStr(u"a\r\nb\r\n");
  EXPECT_EQ(l.GetCount(), 3);
  EXPECT_EQ(l.Get(2), u"");
  l.SetTextStr(u"a\rb");
  EXPECT_EQ(l.GetCount(), 2);
  l.SetTextStr(u"a\r");
  EXPECT_EQ(l.GetCount(), 1);
  l.SetTextStr(u"one\r\ntwo\r\nthree");
  EXPECT_EQ(l.GetTextRange(1, 0, 2, 2), u"ne\r\ntwo\r\nth");
  EXPECT_EQ(l.GetTextRange(2, 2, 1, 0), u"ne\r\ntwo\r\nth");
  EXPECT_EQ(l.GetTextRange(1, 1, 1, 1), u"");
  l.SetTextRange(1, 0, 2, 2, u"X\nY");
  EXPECT_EQ(l.GetTextStr(), u"oX\r\nYree");
  TPoint p;
  l.SetTextStr(u"abc\r\nd");
  l.OffsetToPoint(3, p);
  EXPECT_EQ(p, (TPoint{3, 0}));
  l.OffsetToPoint(5, p);
  EXPECT_EQ(p, (TPoint{0, 1}));
  l.OffsetToPoint(50, p);
  EXPECT_EQ(p.Y, 2);
}

TEST(WideStrings, IndexErrorsAndSortedRules) {
  TWideStrings l;
  l.Add(u"a");
  try {
    l.Get(5);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), u"List Index out of bounds Index: 5");
  }
  EXPECT_THROW(l.Put(-1, u"x"), EStringListError);
  EXPECT_THROW(l.Delete(1), EStringListError);
  EXPECT_THROW(l.GetLineLength(3), EStringListError);
  l.Insert(1, u"b");  // count itself is allowed
  EXPECT_THROW(l.Insert(3, u"c"), EStringListError);
  TWideStrings sorted;
  sorted.Sorted = true;
  sorted.Add(u"b");
  sorted.Add(u"a");
  EXPECT_EQ(sorted.Add(u"a"), 0);
  EXPECT_EQ(sorted.GetCount(), 2);
  EXPECT_THROW(sorted.Put(0, u"z"), EStringListError);
  EXPECT_THROW(sorted.Insert(0, u"z"), EStringListError);
  sorted.Duplicates = dupError;
  EXPECT_THROW(sorted.Add(u"b"), EStringListError);
  EXPECT_EQ(sorted.GetCount(), 2);
}

TEST(WideStrings, SortIgnoresCaseFindHonoursIt) {
  TWideStrings l;
  l.Add(u"b");
  l.Add(u"B");
  l.Add(u"a");
  l.Sort();
  EXPECT_EQ(l.Get(0), u"a");
  l.Clear();
  l.Add(u"B");
  l.Add(u"b");
  std::int32_t i = -1;
  EXPECT_TRUE(l.Find(u"b", i));
  EXPECT_EQ(i, 1);
  l.CaseSensitive = false;
  EXPECT_TRUE(l.Find(u"b", i));
  EXPECT_EQ(i, 0);
}

TEST(WideStrings, EventsFireOutsideUpdatesOnly) {
  TWideStrings l;
  int changes = 0;
  l.OnChange = [&](TWideStrings*) { ++changes; };
  l.Clear();
  EXPECT_EQ(changes, 0);
  l.Add(u"x");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.BeginUpdate();
  l.Clear();
  l.EndUpdate();
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
}

TEST(WideStrings, AssignCopiesAndRefusesOthers) {
  TWideStrings a, b;
  a.SetTextStr(u"x\r\ny");
  b.Assign(&a);
  EXPECT_EQ(b.GetTextStr(), u"x\r\ny");
  TPersistent other;
  try {
    b.Assign(&other);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a TPersistent to a TWideStrings");
  }
}

}  // namespace
}  // namespace pw::editor
