// The editor's objects in the component stream: exact bytes of the settings containers and of
// the "Strings" property, round trips of every container, and a damaged stream that changes
// nothing it did not finish reading.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "editor/properties/properties.h"
#include "editor/source/editor_source.h"
#include "editor/source/strings.h"
#include "editor/text/wide_strings.h"
#include "platform/rtl/filer.h"
#include "platform/rtl/strings.h"

namespace pw::editor {
namespace {

std::string Bytes(TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.Size()));
}

std::string Write(TPersistent& object, std::string_view name = "") {
  TMemoryStream s;
  WriteObjectToStream(s, object, name);
  return Bytes(s);
}

void Read(const std::string& bytes, TPersistent& object) {
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  s.SetPosition(0);
  ReadObjectFromStream(s, object);
}

// A short string as the stream holds names: a length byte and the bytes.
std::string S(std::string_view s) { return std::string(1, static_cast<char>(s.size())) + std::string(s); }
std::string Header(std::string_view cls, std::string_view name = "") { return "TPF0" + S(cls) + S(name); }
const std::string kEnd("\0\0", 2);

// Every published value of `a` equals `b`'s, sub-objects included.
void ExpectSameProperties(TPersistent& a, TPersistent& b, const std::string& path = "") {
  TPropList pa, pb;
  a.PublishedProperties(pa);
  b.PublishedProperties(pb);
  ASSERT_EQ(pa.Items().size(), pb.Items().size());
  for (std::size_t i = 0; i < pa.Items().size(); ++i) {
    const auto& x = pa.Items()[i];
    const auto& y = pb.Items()[i];
    SCOPED_TRACE(path + x.Name);
    switch (x.Kind) {
      case TPropKind::Object: ExpectSameProperties(*x.GetObject(), *y.GetObject(), path + x.Name + "."); break;
      case TPropKind::WideString: EXPECT_EQ(x.GetString(), y.GetString()); break;
      default: EXPECT_EQ(x.GetOrd(), y.GetOrd());
    }
  }
}

TEST(ComponentStream, ContainersWriteOnlyWhatDiffersFromTheirDeclaredDefaults) {
  struct Case {
    const char* what;
    std::function<std::unique_ptr<TPersistent>()> make;
    std::string expected;  // after the header, up to the end marks
  };
  const Case cases[] = {
      {"new undo settings: nothing", [] { return std::make_unique<TateUndoRedo>(); }, ""},
      {"GroupUndo set",
       [] {
         auto u = std::make_unique<TateUndoRedo>();
         u->SetGroupUndo(true);
         return u;
       },
       S("GroupUndo") + "\x09"},
      {"source settings: the tab stops always", [] { return std::make_unique<TateSourceProperties>(); },
       S("TabStopColumns") + std::string("\x14\x01\0\0\0"
                                         "4",
                                         6)},
      {"source settings: sub-object by dotted name, integers in their smallest form",
       [] {
         auto p = std::make_unique<TateSourceProperties>();
         p->UndoRedo().SetAllowUndo(false);
         p->SetBlockIndent(200);
         p->SetTabStopColumns(u"");
         return p;
       },
       S("UndoRedo.AllowUndo") + "\x08" + S("BlockIndent") + std::string("\x03\xC8\x00", 3) + S("TabStopColumns") +
           std::string("\x12\0\0\0\0", 5)},
      {"line numbers: colour by name, negative integer",
       [] {
         auto n = std::make_unique<TateLineNumbers>();
         n->SetColor(0xFF00000F);
         n->SetStartFrom(70000);
         return n;
       },
       S("Color") + "\x07" + S("clBtnFace") + S("StartFrom") + std::string("\x04\x70\x11\x01\x00", 5)},
      {"editor settings: WordSelection declared as the constructor sets it",
       [] {
         auto e = std::make_unique<TateEditorProperties>();
         e->SetWordSelection(true);
         return e;
       },
       S("WordSelection") + "\x09"},
      {"line divider: no defaults, every value written; a colour without a name as a number",
       [] {
         auto d = std::make_unique<TateLineDivider>();
         d->SetColor(0x123456);
         return d;
       },
       S("HighLightCurLine") + "\x09" + S("SeparateLines") + "\x08" + S("SeparateWrapLines") + "\x08" + S("FontColor") +
           "\x07" + S("clBtnText") + S("Color") + std::string("\x04\x56\x34\x12\x00", 5) + S("BackColor") + "\x07" +
           S("clInactiveCaption")},
      {"visual settings: enumeration and set by name through two levels",
       [] {
         auto v = std::make_unique<TateVisualProperties>();
         v->Gutter().BackGround().SetStyle(bsVertGradient);
         v->CurrentBrackets().SetFontStyle(0x06);
         return v;
       },
       S("Gutter.BackGround.Style") + "\x07" + S("bsVertGradient") + S("LineDivider.HighLightCurLine") + "\x09" +
           S("LineDivider.SeparateLines") + "\x08" + S("LineDivider.SeparateWrapLines") + "\x08" +
           S("LineDivider.FontColor") + "\x07" + S("clBtnText") + S("LineDivider.Color") + "\x07" + S("clBtnText") +
           S("LineDivider.BackColor") + "\x07" + S("clInactiveCaption") + S("CurrentBrackets.FontStyle") + "\x0B" +
           S("fsItalic") + S("fsUnderline") + S("")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto object = c.make();
    const std::string bytes = Write(*object, "P");
    EXPECT_EQ(bytes, Header(WideToUtf8(object->ClassName()), "P") + c.expected + kEnd);
    auto back = c.make();  // the same values: reading them over themselves is a no-op
    Read(bytes, *back);
    ExpectSameProperties(*object, *back);
  }
}

TEST(ComponentStream, EveryContainerRoundTripsChangedValues) {
  // Every property set away from its initial value, written and read into a new container.
  TateVisualProperties v;
  v.Gutter().SetVisible(false);
  v.Gutter().SetIconCapasity(0);
  v.Gutter().LineNumbers().SetStartFrom(0);
  v.Gutter().LineNumbers().SetHideByIcons(true);
  v.Gutter().BackGround().SetStartColor(0x0000FF);
  v.LineDivider().SetSeparateLines(true);
  v.RightMargin().SetPosition(800);
  v.RightMargin().CanDrag = false;
  v.Colors().SetSearchMatchColor(0x654321);
  v.BackGround().SetStyle(bsVerticalGradientEx);
  v.Preferences().SetUseOutlining(false);
  v.CurrentBrackets().SetFontStyle(0);
  v.ScrollBars().SetFlat(true);
  TateVisualProperties back;
  Read(Write(v), back);
  ExpectSameProperties(v, back);
  EXPECT_FALSE(back.Gutter().Visible());
  EXPECT_EQ(back.CurrentBrackets().FontStyle(), 0);
  EXPECT_FALSE(back.RightMargin().CanDrag);

  TateSourceProperties p;
  p.SetTabStopColumns(u"2 8 ü");
  p.UndoRedo().SetUndoOnlyChanges(true);
  p.SetSmartTab(false);
  TateSourceProperties q;
  Read(Write(p), q);
  ExpectSameProperties(p, q);
  EXPECT_EQ(q.TabStopColumns(), u"2 8 ü");
}

TEST(ComponentStream, StringsPropertyOfTheWideStringListAndTheLineStorage) {
  TWideStrings list;
  EXPECT_EQ(Write(list), Header("TWideStrings") + kEnd);  // no items: not written
  list.Add(u"ab");
  list.Add(u"\u00e9");        // two bytes either way: UTF-16
  list.Add(u"\u65e5\u672c");  // UTF-8 longer: UTF-16
  list.Add(u"");
  const std::string body = S("Strings") + "\x01" + std::string("\x14\x02\0\0\0ab", 7) +
                           std::string("\x12\x01\0\0\0\xE9\x00", 7) + std::string("\x12\x02\0\0\0\xE5\x65\x2C\x67", 9) +
                           std::string("\x12\0\0\0\0", 5) + std::string(1, '\0');
  EXPECT_EQ(Write(list), Header("TWideStrings") + body + kEnd);
  TWideStrings back;
  back.Add(u"old");
  Read(Write(list), back);
  ASSERT_EQ(back.Count(), 4);
  EXPECT_EQ(back.Get(2), u"\u65e5\u672c");
  EXPECT_EQ(back.Get(3), u"");

  TateEditorSource source;
  TateStrings& lines = source.Strings();
  lines.SetText(u"one\r\ntwo");
  EXPECT_EQ(Write(lines), Header("TateStrings") + S("Strings") + "\x01" + std::string("\x14\x03\0\0\0one", 8) +
                              std::string("\x14\x03\0\0\0two", 8) + std::string(1, '\0') + kEnd);
  TateEditorSource other;
  Read(Write(lines), other.Strings());
  EXPECT_EQ(other.Strings().GetText(), u"one\r\ntwo");
}

TEST(ComponentStream, LineStorageWritesAgainstAnAncestorOnlyWhenTheLinesDiffer) {
  TateEditorSource a, b;
  a.Strings().SetText(u"x");
  b.Strings().SetText(u"x");
  TWideStrings unrelated;
  const auto write = [](TPersistent& object, TPersistent* ancestor) {
    TMemoryStream s;
    TWriter w(s);
    w.SetAncestor(ancestor);
    w.WriteProperties(object);
    return Bytes(s);
  };
  EXPECT_EQ(write(a.Strings(), &b.Strings()), "");
  b.Strings().SetText(u"y");
  EXPECT_NE(write(a.Strings(), &b.Strings()), "");
  TateEditorSource empty;
  EXPECT_EQ(write(empty.Strings(), nullptr), "");
  EXPECT_NE(write(empty.Strings(), &unrelated), "");  // another kind of ancestor: always
}

TEST(ComponentStream, ADamagedStreamRaisesAndKeepsWhatItDidNotFinish) {
  TWideStrings list;
  list.Add(u"a");
  list.Add(u"b");
  const std::string good = Write(list);
  for (std::size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE(n);
    TWideStrings back;
    back.Add(u"kept");
    EXPECT_THROW(Read(good.substr(0, n), back), EReadError);
    // The list is replaced only once it was read whole (the two end marks follow it).
    ASSERT_EQ(back.Count(), n < good.size() - 2 ? 1 : 2);
  }
  TateUndoRedo undo;
  try {
    Read(good, undo);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), u"The stream holds a TWideStrings, not a TateUndoRedo");
  }
}

TEST(ComponentStream, SourceSettingsApplyAtOnceAndARejectedTabTextChangesNothing) {
  TateEditorSource source;
  TateSourceProperties& p = source.SourceProperties();
  p.SetTabStopColumns(u"2 6");
  EXPECT_EQ(source.TabStops().NextTabStop(3), 6);
  p.UndoRedo().SetGroupUndo(true);
  EXPECT_TRUE(source.UndoManager().GroupUndo());
  p.ResetModified();
  EXPECT_THROW(p.SetTabStopColumns(u"6 2"), Exception);
  EXPECT_EQ(p.TabStopColumns(), u"2 6");
  EXPECT_FALSE(p.Modified);
  EXPECT_EQ(source.TabStops().NextTabStop(3), 6);

  // A stream with a rejected text: the error names the property, the settings stay.
  TateSourceProperties bad;
  bad.SetTabStopColumns(u"x");
  try {
    Read(Write(bad), p);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message().rfind(u"Error reading TateSourceProperties.TabStopColumns: The Tab Stop box", 0), 0u);
  }
  EXPECT_EQ(p.TabStopColumns(), u"2 6");

  TateSourceProperties copy;
  copy.SetUseTabChar(false);
  copy.SetTabStopColumns(u"3");
  copy.UndoRedo().SetAllowUndo(false);
  source.SetSourceProperties(copy);
  EXPECT_FALSE(source.SourceProperties().UseTabChar());
  EXPECT_FALSE(source.UndoManager().AllowUndo());
  EXPECT_EQ(source.TabStops().NextTabStop(1), 3);
  copy.SetTabStopColumns(u"9 1");  // no: nothing of the copy is taken
  copy.SetUseTabChar(true);
  EXPECT_THROW(source.SetSourceProperties(copy), Exception);
  EXPECT_FALSE(source.SourceProperties().UseTabChar());
  TateColors colors;
  EXPECT_THROW(p.Assign(&colors), EConvertError);
}

}  // namespace
}  // namespace pw::editor
