// The undo manager against a recording stand-in source: the pass rules, recording rules and
// a callback that raises in the middle of a pass.
#include "editor/undo/undo_manager.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/rtl/exceptions.h"

namespace pw::editor {
namespace {

constexpr char16_t kA[] = u"{11111111-1111-1111-1111-111111111111}";
constexpr char16_t kB[] = u"{22222222-2222-2222-2222-222222222222}";

// Each callback records what it was asked and records the opposite item, as a source does.
class FakeSource : public TateUndoSource {
 public:
  bool GetReadOnly() const override { return readOnly; }
  void SetCaretPos(std::int32_t x, std::int32_t y) override {
    log += "caret(" + std::to_string(x) + "," + std::to_string(y) + ")";
  }
  void RestoreSelection(std::uint8_t, const TRect&) override { log += "sel"; }
  void InsertText(const WideString&, std::int32_t) override {
    log += "insert";
    manager->AddInsert(1);
  }
  void DeleteText(std::int32_t count) override {
    if (failOnDelete) throw std::runtime_error("source failed");
    log += "delete" + std::to_string(count);
    manager->AddDelete(u"x");
  }
  void BreakLine() override { log += "break"; }
  void JoinLines(std::int32_t) override { log += "join"; }
  void SetOutlineHidden(std::int32_t, std::int32_t, bool) override {}
  void RemoveOutline(std::int32_t, std::int32_t) override {}
  void ChangeOutline(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  void RestoreBuffer(const TRect&, const WideString&) override {}
  void SetLineRevision(std::uint8_t, std::int32_t) override {}
  void NotifyChanged() override { log += "|changed"; }
  void NotifyObservers() override { log += "|observers"; }

  bool readOnly = false;
  bool failOnDelete = false;
  std::string log;
  TateUndoManager* manager = nullptr;
};

class UndoManagerTest : public ::testing::Test {
 protected:
  UndoManagerTest() : undo(&source) { source.manager = &undo; }
  void Typed(const char16_t* tag, std::int32_t count = 1) {
    undo.BeginGroup(tag);
    undo.AddInsert(count);
    undo.EndGroup();
  }
  void Moved(const char16_t* tag, std::int32_t x) {
    undo.BeginGroup(tag);
    undo.AddPosition({x, 0});
    undo.EndGroup();
  }
  FakeSource source;
  TateUndoManager undo;
};

TEST_F(UndoManagerTest, GroupUndoReplaysGroupsOfOneTagTogether) {
  Typed(kA, 1);
  Typed(kA, 2);
  undo.Undo();
  EXPECT_EQ(source.log, "delete2|changed|observers");
  undo.Clear();
  source.log.clear();
  undo.SetGroupUndo(true);
  Typed(kA, 1);
  Typed(kA, 2);
  undo.Undo();
  EXPECT_EQ(source.log, "delete2delete1|changed|observers");
  ASSERT_EQ(undo.RedoList().Groups.size(), 1u);
  EXPECT_EQ(undo.RedoList().Groups[0]->GroupId, StringToGuid(kA));
  EXPECT_FALSE(undo.CanUndo());
}

TEST_F(UndoManagerTest, UndoOnlyChangesRunsThroughCaretMoves) {
  undo.SetUndoOnlyChanges(true);
  Moved(kB, 1);
  Moved(kB, 2);
  EXPECT_FALSE(undo.CanUndo());
  undo.Clear();
  Typed(kA);
  Moved(kB, 1);
  Moved(kB, 2);
  EXPECT_TRUE(undo.CanUndo());
  undo.Undo();
  EXPECT_EQ(source.log, "caret(2,0)caret(1,0)|changed|observers");
  EXPECT_EQ(undo.UndoList().Groups.size(), 1u);
}

TEST_F(UndoManagerTest, RecordingOutsideAPassEmptiesRedoButNotDuringIt) {
  Typed(kA);
  undo.Undo();  // the source records an item during the pass: it goes to the redo list
  EXPECT_TRUE(undo.CanRedo());
  Typed(kB);
  EXPECT_FALSE(undo.CanRedo());
}

TEST_F(UndoManagerTest, RecordingRules) {
  undo.BeginGroup(kA);
  undo.AddInsert(0);
  EXPECT_EQ(undo.UndoList().Groups[0]->Items.size(), 0u);
  undo.BeginGroup(kB);  // nested: counts only
  undo.AddInsert(3);
  undo.EndGroup();
  undo.EndGroup();
  ASSERT_EQ(undo.UndoList().Groups.size(), 1u);
  EXPECT_EQ(undo.UndoList().Groups[0]->Items.size(), 1u);
  // No group open: a group of its own, null tag.
  undo.AddJoin();
  ASSERT_EQ(undo.UndoList().Groups.size(), 2u);
  EXPECT_EQ(undo.UndoList().Groups[1]->GroupId, GUID_NULL);
  source.readOnly = true;
  undo.BeginGroup(kA);
  EXPECT_EQ(undo.GroupDepth(), 0);
  undo.AddJoin();
  EXPECT_EQ(undo.UndoList().Groups.size(), 2u);
  source.readOnly = false;
  EXPECT_THROW(undo.BeginGroup(u"not a guid"), Exception);
  EXPECT_EQ(undo.GroupDepth(), 0);
}

TEST_F(UndoManagerTest, OptionChangesClearOnlyWhenTheyChange) {
  Typed(kA);
  undo.SetGroupUndo(false);
  EXPECT_TRUE(undo.CanUndo());
  undo.SetGroupUndo(true);
  EXPECT_FALSE(undo.CanUndo());
}

TEST_F(UndoManagerTest, NothingToReplayRaises) {
  try {
    undo.Undo();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Cannot undo.");
  }
  try {
    undo.Redo();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Cannot Redo.");
  }
}

TEST_F(UndoManagerTest, ACallbackRaisingMidPassLeavesAUsableHistory) {
  undo.SetGroupUndo(true);
  Typed(kA, 1);
  Typed(kA, 2);
  source.failOnDelete = true;
  EXPECT_THROW(undo.Undo(), std::runtime_error);
  // The pass ended: recording goes to the undo list again, the pass was notified, and the
  // group that raised is gone (it never replays twice).
  EXPECT_FALSE(undo.InUndoRedo());
  EXPECT_EQ(undo.GroupDepth(), 0);
  EXPECT_EQ(source.log, "|changed|observers");
  EXPECT_EQ(undo.UndoList().Groups.size(), 1u);
  source.failOnDelete = false;
  Typed(kB, 5);
  EXPECT_FALSE(undo.CanRedo());
  source.log.clear();
  undo.Undo();
  EXPECT_EQ(source.log, "delete5|changed|observers");
  undo.Undo();
  EXPECT_EQ(source.log, "delete5|changed|observersdelete1|changed|observers");
  EXPECT_FALSE(undo.CanUndo());
}

}  // namespace
}  // namespace pw::editor
