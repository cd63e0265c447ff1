// The key map: bindings, chords, replacement, exact shift states, and the default tables
// dispatched to a stand-in control that records its handler calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/control/key_map.h"

namespace pw::editor {
namespace {

class RecordingEditor : public TcvEditorIntf, public TateKeyCommands {
 public:
  void ExecuteMoveCommand(std::uint8_t) override {}
  void SetRange(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  void GetCaretPos(TPoint& pos) const override { pos = {}; }
  void SetCaretPos(const TPoint&) override {}
  TPoint GetStoredPoint() const override { return {}; }
  void SetStoredPoint(const TPoint&) override {}
  TateHighLighter* GetCurrentHighlighter() const override { return nullptr; }
  std::int32_t GetStoredValue() const override { return 0; }
  void SetStoredValue(std::int32_t) override {}
  std::int32_t QueryLine(std::int32_t, std::int32_t) const override { return 0; }

  void MoveCommand(std::uint8_t c) override { calls.push_back("move " + std::to_string(c)); }
  void SelectCommand(std::uint8_t c) override { calls.push_back("select " + std::to_string(c)); }
  void BlockSelectCommand(std::uint8_t c) override { calls.push_back("block " + std::to_string(c)); }
  void DeleteCommand(std::uint8_t c) override { calls.push_back("delete " + std::to_string(c)); }
  void LineCommand(std::uint8_t c) override { calls.push_back("line " + std::to_string(c)); }
  void EditCommand(std::uint8_t c) override { calls.push_back("edit " + std::to_string(c)); }
  void InsertModeCommand(std::uint8_t c) override { calls.push_back("insert-mode " + std::to_string(c)); }

  std::string Last() const { return calls.empty() ? "" : calls.back(); }
  std::vector<std::string> calls;
};

// A control that is not a key-command target.
class NotCommands : public TcvEditorIntf {
 public:
  void ExecuteMoveCommand(std::uint8_t) override {}
  void SetRange(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  void GetCaretPos(TPoint& pos) const override { pos = {}; }
  void SetCaretPos(const TPoint&) override {}
  TPoint GetStoredPoint() const override { return {}; }
  void SetStoredPoint(const TPoint&) override {}
  TateHighLighter* GetCurrentHighlighter() const override { return nullptr; }
  std::int32_t GetStoredValue() const override { return 0; }
  void SetStoredValue(std::int32_t) override {}
  std::int32_t QueryLine(std::int32_t, std::int32_t) const override { return 0; }
};

TEST(KeyMapTest, BindingCountsAndUnboundProcessor) {
  RecordingEditor editor;
  TateKeysCustomProcessor custom;
  EXPECT_FALSE(custom.ProcessKey(vk::Left, 0));  // unbound
  custom.SetEditor(&editor);
  EXPECT_EQ(custom.Keys().Count(), 51);
  TateKeysDefaultProcessor defaults;
  defaults.SetEditor(&editor);
  EXPECT_EQ(defaults.Keys().Count(), 67);
  defaults.SetEditor(nullptr);
  EXPECT_EQ(defaults.Keys().Count(), 0);
  EXPECT_FALSE(defaults.ProcessKey(vk::Left, 0));
  EXPECT_TRUE(editor.calls.empty());

  NotCommands other;
  EXPECT_THROW(custom.SetEditor(&other), EInvalidCast);
  EXPECT_EQ(custom.Editor(), &editor);  // the old binding stays
  EXPECT_EQ(custom.Keys().Count(), 51);
}

TEST(KeyMapTest, ListOrderFindAndReplace) {
  TateKeyList keys;
  keys.AddKey('A', kCtrl, 1, 0, {}, 1);
  keys.AddKey('A', kCtrl, -1, 0, {}, 2);
  keys.AddKey('A', kShift, 0, 0, {}, 3);
  keys.AddKey(vk::Left, 0, 0, 0, {}, 4);
  keys.AddKey('A', kCtrl, 1, 2, {}, 5);  // replaces the first
  ASSERT_EQ(keys.Count(), 4);
  // Key, then shift weight, then chord as a signed byte.
  EXPECT_EQ(keys.Item(0)->Command, 4);
  EXPECT_EQ(keys.Item(1)->Command, 3);
  EXPECT_EQ(keys.Item(2)->Command, 2);
  EXPECT_EQ(keys.Item(3)->Command, 5);
  EXPECT_EQ(keys.Item(3)->NextChord, 2);

  struct {
    std::uint16_t key;
    std::uint8_t shift;
    std::int32_t state;
    int command;  // -1: none
  } cases[] = {
      {'A', kCtrl, 1, 5},  {'A', kCtrl, 0, 2},
      {'A', kCtrl, 2, 2},  {'A', kCtrl, -1, 2},
      {'A', kShift, 0, 3}, {'A', kShift, 1, -1},
      {'A', 0, 0, -1},     {'B', kCtrl, 0, -1},
      {vk::Left, 0, 0, 4}, {vk::Left, kCtrl | kAlt, 0, -1},
  };
  for (const auto& c : cases) {
    const TateKeyData* d = keys.FindKey(c.key, c.shift, c.state);
    EXPECT_EQ(d ? d->Command : -1, c.command) << c.key << " " << int(c.shift) << " " << c.state;
  }
}

TEST(KeyMapTest, ChordsAndDispatch) {
  RecordingEditor editor;
  TateKeysDefaultProcessor p;
  p.SetEditor(&editor);

  // I alone finds nothing and is typed.
  EXPECT_FALSE(p.ProcessKey('I', 0));
  EXPECT_TRUE(editor.calls.empty());
  // Ctrl+K opens chord 1 without a handler; I in it indents and closes it.
  EXPECT_FALSE(p.ProcessKey('K', kCtrl));
  EXPECT_TRUE(p.IsInChord());
  EXPECT_EQ(p.ChordState, 1);
  EXPECT_TRUE(p.ProcessKey('I', 0));
  EXPECT_EQ(editor.Last(), "edit 33");
  EXPECT_FALSE(p.IsInChord());
  // A key without a binding for the chord leaves it open.
  p.ProcessKey('K', kCtrl);
  EXPECT_FALSE(p.ProcessKey('W', 0));
  EXPECT_EQ(p.ChordState, 1);
  // Any-state bindings apply in a chord and close it.
  EXPECT_TRUE(p.ProcessKey(vk::Left, 0));
  EXPECT_EQ(editor.Last(), "move 2");
  EXPECT_EQ(p.ChordState, 0);
  // Chord 2 has only the any-state bindings.
  p.ProcessKey('Q', kCtrl);
  EXPECT_EQ(p.ChordState, 2);
  EXPECT_FALSE(p.ProcessKey(vk::Home, 0));
  EXPECT_TRUE(p.ProcessKey(vk::Down, kShift));
  EXPECT_EQ(editor.Last(), "select 1");
  // Shift states match exactly.
  EXPECT_FALSE(p.ProcessKey(vk::Left, kCtrl | kAlt));

  // A key bound for any state and for chord 1 runs the chord's binding only in the chord.
  p.Keys().AddKey(vk::Left, 0, 1, 0, {&editor, &TateKeyCommands::EditCommand}, 99);
  EXPECT_TRUE(p.ProcessKey(vk::Left, 0));
  EXPECT_EQ(editor.Last(), "move 2");
  p.ProcessKey('K', kCtrl);
  EXPECT_TRUE(p.ProcessKey(vk::Left, 0));
  EXPECT_EQ(editor.Last(), "edit 99");
}

TEST(KeyMapTest, DefaultTables) {
  struct {
    std::uint16_t key;
    std::uint8_t shift;
    const char* custom;  // nullptr: no handler runs
    const char* defaults;
  } cases[] = {
      {vk::Home, 0, "move 10", "move 10"},
      {vk::Home, kCtrl, nullptr, "move 12"},
      {vk::Left, kCtrl, nullptr, "move 8"},
      {vk::Up, kCtrl, nullptr, "move 49"},
      {vk::Back, kShift, "delete 2", "delete 2"},
      {vk::Back, kCtrl, nullptr, "delete 8"},
      {vk::Delete, kShift, "edit 23", "edit 23"},
      {vk::Return, kShift, "line 16", "line 16"},
      {vk::Tab, 0, "line 18", "edit 33"},
      {vk::Tab, kShift, "line 19", "edit 37"},
      {'U', kCtrl | kShift, nullptr, "edit 37"},
      {'I', kCtrl | kShift, nullptr, "edit 33"},
      {vk::Home, kCtrl | kShift, "select 12", "select 12"},
      {vk::Right, kCtrl | kAlt | kShift, "block 9", "block 9"},
      {vk::Next, kAlt | kShift, "block 5", "block 5"},
      {'V', kCtrl, nullptr, "edit 24"},
      {'Y', kCtrl, nullptr, "delete 48"},
      {'T', kCtrl, nullptr, "delete 9"},
      {'Z', kCtrl | kShift, "edit 21", "edit 21"},
      {vk::Back, kAlt, "edit 20", "edit 20"},
      {vk::Insert, kCtrl, "edit 22", "edit 22"},
      {vk::Insert, 0, "insert-mode 53", "insert-mode 53"},
  };
  for (const auto& c : cases) {
    for (bool useDefault : {false, true}) {
      RecordingEditor editor;
      TateKeysCustomProcessor custom;
      TateKeysDefaultProcessor def;
      TateKeysCustomProcessor& p = useDefault ? def : custom;
      p.SetEditor(&editor);
      const char* expected = useDefault ? c.defaults : c.custom;
      EXPECT_EQ(p.ProcessKey(c.key, c.shift), expected != nullptr) << c.key << " " << int(c.shift);
      EXPECT_EQ(editor.Last(), expected ? expected : "") << c.key << " " << int(c.shift) << " " << useDefault;
    }
  }
  // U after Ctrl+K unindents with the default processor.
  RecordingEditor editor;
  TateKeysDefaultProcessor p;
  p.SetEditor(&editor);
  p.ProcessKey('K', kCtrl);
  EXPECT_TRUE(p.ProcessKey('U', 0));
  EXPECT_EQ(editor.Last(), "edit 37");
}

TEST(EditorIntfTest, ClampRangeLines) {
  struct {
    std::int32_t count, y1, y2, e1, e2;
  } cases[] = {
      {10, 2, 5, 2, 5}, {10, -3, 5, 0, 5}, {10, 4, 2, 4, 4}, {10, 12, 20, 9, 9}, {10, 3, 99, 3, 9}, {0, 5, 7, 0, 0},
  };
  for (const auto& c : cases) {
    std::int32_t y1 = c.y1, y2 = c.y2;
    TcvEditorIntf::ClampRangeLines(c.count, y1, y2);
    EXPECT_EQ(y1, c.e1);
    EXPECT_EQ(y2, c.e2);
  }
}

}  // namespace
}  // namespace pw::editor
