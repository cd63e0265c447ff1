// The persistent formatting records: change masks, notifications, Assign, and
// the conversion to and from the RTF records.
#include "editor/rtf/editor_attributes.h"

#include <gtest/gtest.h>

namespace pw::editor {
namespace {

class CountingAttributes : public TateCustomEditorAttributes {
 public:
  std::uint16_t GetAssignedMask() const override { return assigned; }
  void Changed() override { ++changes; }
  void BeginUpdate() override { ++updates; }
  void EndUpdate() override { --updates; }
  std::uint16_t assigned = 0;
  int changes = 0, updates = 0;
};

TEST(EditorAttributes, EverySetterMarksItsBitsAndNotifies) {
  struct Case {
    const char* name;
    void (*set)(TateCustomEditorAttributes&);
    std::uint16_t bits;
  };
  const Case cases[] = {
      {"Color", [](TateCustomEditorAttributes& a) { a.SetColor(0x123456); }, 0x0001},
      {"BackColor", [](TateCustomEditorAttributes& a) { a.SetBackColor(5); }, 0x0002},
      {"Name", [](TateCustomEditorAttributes& a) { a.SetName(u"Arial"); }, 0x0004},
      {"Charset", [](TateCustomEditorAttributes& a) { a.SetCharset(238); }, 0x0008},
      {"Pitch", [](TateCustomEditorAttributes& a) { a.SetPitch(1); }, 0x0010},
      {"Size", [](TateCustomEditorAttributes& a) { a.SetSize(12); }, 0x0020},
      {"Style none", [](TateCustomEditorAttributes& a) { a.SetStyle(0); }, 0x1000},
      {"Style bold", [](TateCustomEditorAttributes& a) { a.SetStyle(kStyleBold); }, 0x1040},
      {"Style italic", [](TateCustomEditorAttributes& a) { a.SetStyle(kStyleItalic); }, 0x1080},
      {"Style underline", [](TateCustomEditorAttributes& a) { a.SetStyle(kStyleUnderline); }, 0x1200},
      {"Style strike-out", [](TateCustomEditorAttributes& a) { a.SetStyle(kStyleStrikeOut); }, 0x1100},
      {"Position 0", [](TateCustomEditorAttributes& a) { a.SetPosition(0); }, 0x2000},
      {"Position 1", [](TateCustomEditorAttributes& a) { a.SetPosition(1); }, 0x2400},
      {"Position 2", [](TateCustomEditorAttributes& a) { a.SetPosition(2); }, 0x2800},
      {"Value", [](TateCustomEditorAttributes& a) { a.SetValue(7); }, 0x4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountingAttributes a;
    c.set(a);
    EXPECT_EQ(a.ChangeMask(), c.bits);
    EXPECT_EQ(a.changes, 1);
    // With this class's empty assigned mask, an equal value marks and notifies again.
    c.set(a);
    EXPECT_EQ(a.changes, 2);
    // Once the assigned mask has the bit, an equal value does nothing.
    a.assigned = 0xFFFF;
    c.set(a);
    EXPECT_EQ(a.changes, 2);
  }
}

TEST(EditorAttributes, StyleBitsAccumulatePositionBitsReplace) {
  TateCustomEditorAttributes a;
  a.SetStyle(kStyleBold);
  a.SetStyle(kStyleItalic);
  EXPECT_EQ(a.ChangeMask(), 0x10C0);  // bold's bit stays though bold is off
  EXPECT_EQ(a.Style(), kStyleItalic);
  a.SetPosition(1);
  a.SetPosition(2);
  EXPECT_EQ(a.ChangeMask() & 0x0C00, 0x0800);
  a.SetPosition(0);
  EXPECT_EQ(a.ChangeMask() & 0x0C00, 0);
  a.ClearChangeMask();
  EXPECT_EQ(a.ChangeMask(), 0);
}

TEST(EditorAttributes, AssignCopiesEveryValueInOneBracket) {
  TateCustomEditorAttributes from;
  from.SetColor(1);
  from.SetBackColor(2);
  from.SetName(u"Courier New");
  from.SetCharset(238);
  from.SetSize(14);
  from.SetStyle(kStyleBold | kStyleUnderline);
  from.SetPitch(1);
  from.SetPosition(2);
  from.SetValue(-9);
  CountingAttributes to;
  to.Assign(&from);
  EXPECT_EQ(to.updates, 0);
  EXPECT_EQ(to.changes, 9);
  EXPECT_EQ(to.ToRecord(), from.ToRecord());
  EXPECT_EQ(to.Value(), -9);
  EXPECT_EQ(to.ChangeMask(), from.ChangeMask());

  TateCustomParagraph paragraph;
  try {
    to.Assign(&paragraph);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Cannot assign a TateCustomParagraph to a TateCustomEditorAttributes");
  }
  EXPECT_THROW(to.Assign(nullptr), EConvertError);
}

TEST(EditorAttributes, RecordsConvertBothWays) {
  TateRtfAttributes r;
  r.FontName = u"Times New Roman";
  r.Charset = 238;
  r.Pitch = 2;
  r.Size = 11;
  r.Color = 0x00FF00;
  r.Background = kRtfNoColor;
  r.Style = kStyleItalic | kStyleStrikeOut;
  r.Vertical = 1;
  TateCustomEditorAttributes a;
  a.AssignRecord(r);
  EXPECT_EQ(a.ToRecord(), r);

  TateRtfParagraph p;
  p.Alignment = 2;
  p.Numbering = 2;
  p.Number = 7;
  p.FirstIndent = -10;
  p.LeftIndent = 30;
  p.RightIndent = 5;
  TateCustomParagraph para;
  para.AssignRecord(p);
  EXPECT_EQ(para.ToRecord(), p);
  p.Numbering = 1;
  para.AssignRecord(p);
  EXPECT_EQ(para.ToRecord(), p);  // the record's indents win over the bullet's
}

class CountingParagraph : public TateCustomParagraph {
 public:
  void Changed() override { ++changes; }
  int changes = 0;
};

TEST(EditorParagraph, SettersNotifyOnlyOnChangeListSetsAHangingIndent) {
  CountingParagraph p;
  EXPECT_EQ(p.Number(), 1);
  p.SetLeftIndent(0);
  EXPECT_EQ(p.changes, 0);
  p.SetLeftIndent(10);
  p.SetRightIndent(3);
  p.SetNumber(4);
  EXPECT_EQ(p.changes, 3);
  p.SetList(true);
  EXPECT_EQ(p.changes, 4);
  EXPECT_EQ(p.LeftIndent(), 48);
  EXPECT_EQ(p.FirstIndent(), -24);
  EXPECT_EQ(p.Number(), 1);
  EXPECT_EQ(p.RightIndent(), 3);
  p.SetList(true);
  EXPECT_EQ(p.changes, 4);
  p.SetLeftIndent(5);
  p.SetList(false);  // turning it off leaves the values
  EXPECT_EQ(p.LeftIndent(), 5);
  EXPECT_EQ(p.FirstIndent(), -24);

  CountingParagraph copy;
  p.SetList(true);
  p.SetLeftIndent(70);
  p.SetAlignment(3);
  copy.Assign(&p);  // List first, so the source's indent survives
  EXPECT_EQ(copy.ToRecord(), p.ToRecord());
  EXPECT_EQ(copy.LeftIndent(), 70);
  TateCustomEditorObject object;
  EXPECT_THROW(copy.Assign(&object), EConvertError);
}

class CountingObject : public TateCustomEditorObject {
 public:
  void Changed(bool flag) override { flags.push_back(flag); }
  std::vector<bool> flags;
};

TEST(EditorObject, SettersReportWhichChangeItWas) {
  CountingObject o;
  EXPECT_EQ(o.Width(), 16);
  EXPECT_EQ(o.Height(), 16);
  EXPECT_EQ(o.Graphic(), nullptr);
  o.SetWidth(16);
  o.SetHeight(16);
  o.SetUnscaled(false);
  EXPECT_TRUE(o.flags.empty());
  o.SetWidth(20);
  o.SetHeight(30);
  o.SetUnscaled(true);
  EXPECT_EQ(o.flags, (std::vector<bool>{false, true, true}));
}

}  // namespace
}  // namespace pw::editor

namespace pw::editor {
namespace {

// A paragraph whose notification raises at the Nth change.
class RaisingParagraph : public TateCustomParagraph {
 public:
  void Changed() override {
    if (++changes == raiseAt) throw EConvertError(u"refused");
  }
  void BeginUpdate() override { ++updates; }
  void EndUpdate() override { --updates; }
  int changes = 0, raiseAt = 0, updates = 0;
};

// Assign and AssignRecord close their update bracket also when a change raises.
TEST(EditorParagraph, AssignClosesTheBracketWhenAChangeRaises) {
  TateCustomParagraph from;
  from.SetList(true);
  from.SetRightIndent(9);
  from.SetAlignment(2);
  for (int at = 1; at <= 3; ++at) {
    SCOPED_TRACE(at);
    RaisingParagraph to;
    to.raiseAt = at;
    EXPECT_THROW(to.Assign(&from), EConvertError);
    EXPECT_EQ(to.updates, 0);
    RaisingParagraph record;
    record.raiseAt = at;
    EXPECT_THROW(record.AssignRecord(from.ToRecord()), EConvertError);
    EXPECT_EQ(record.updates, 0);
  }
  RaisingParagraph quiet;
  quiet.Assign(&from);
  EXPECT_EQ(quiet.updates, 0);
  EXPECT_EQ(quiet.ToRecord(), from.ToRecord());
}

TEST(EditorObject, APictureObjectHoldsItsGraphic) {
  TateRtfPicture picture;
  picture.Type = TateRtfPicture::Enhanced;
  picture.Bytes = {1, 2, 3};
  picture.GraphicWidth = 7;
  TateRtfPictureObject object(picture);
  ASSERT_NE(object.Graphic(), nullptr);
  EXPECT_EQ(object.Graphic()->Bytes, picture.Bytes);
  EXPECT_EQ(object.Graphic()->GraphicWidth, 7);
  EXPECT_EQ(object.Width(), 16);  // shown at the object's size until it is set
  EXPECT_EQ(object.ClassName(), u"TateRtfPictureObject");
}

}  // namespace
}  // namespace pw::editor
