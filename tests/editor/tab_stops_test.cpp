// Tab stops: accepted and rejected settings, stop arithmetic and huge columns.
#include "editor/text/tab_stops.h"

#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"

namespace pw::editor {
namespace {

TEST(TabStops, DefaultEveryFour) {
  TateTabStopList t(u"4");
  EXPECT_EQ(t.NextTabStop(0), 4);
  EXPECT_EQ(t.NextTabStop(4), 8);
  EXPECT_EQ(t.ExpandTabs(u"\tab"), u"    ab");
  EXPECT_EQ(t.ExpandTabs(u"a\tb\t"), u"a   b   ");
  EXPECT_EQ(t.PrevTabStop(0), 0);
  EXPECT_EQ(t.PrevTabStop(9), 8);
  EXPECT_EQ(t.PrevTabStop(8), 4);
  EXPECT_EQ(t.ColumnToIndex(u"a", 5), 5);
  EXPECT_EQ(t.ColumnToIndex(u"\tab", 5), 2);
  EXPECT_EQ(t.IndexToColumn(u"\tab", 2), 5);
  EXPECT_EQ(t.SnapColumn(u"a\tb", 2), 4);
  EXPECT_EQ(t.SnapColumn(u"a\tb", 4), 4);
}

TEST(TabStops, LastIntervalRepeats) {
  TateTabStopList t(u"4 6");
  std::vector<std::int32_t> stops;
  for (std::int32_t c = 0, i = 0; i < 5; ++i) stops.push_back(c = t.NextTabStop(c));
  EXPECT_EQ(stops, (std::vector<std::int32_t>{4, 6, 8, 10, 12}));
  EXPECT_EQ(t.PrevTabStop(7), 6);
}

TEST(TabStops, RejectedSettingsKeepTheOldStops) {
  TateTabStopList t(u"4");
  const char16_t* bad[] = {u"4,8", u"4.5", u"8 4", u"0", u"256", u"  ", u"", u"4 x", u"4 4"};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(::testing::Message() << "setting #" << i);
    try {
      t.SetTabStops(bad[i]);
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(),
                u"The Tab Stop box must hold a string that contains integer values in ascending order and separated "
                u"with spaces.");
    }
    EXPECT_EQ(t.Text(), u"4");
    EXPECT_EQ(t.NextTabStop(5), 8);
  }
  t.SetTabStops(u"2 \"8\" 16");
  EXPECT_EQ(t.Stops(), (std::vector<std::int32_t>{2, 8, 16}));
  EXPECT_THROW(TateTabStopList(u"x"), Exception);
}

TEST(TabStops, HugeAndNegativeColumns) {
  TateTabStopList t(u"4");
  EXPECT_EQ(t.NextTabStop(MaxInt), MaxInt);
  EXPECT_EQ(t.NextTabStop(2147483646), MaxInt);  // no cache of 8 GB: computed, saturated
  EXPECT_EQ(t.NextTabStop(1000000001), 1000000004);
  EXPECT_EQ(t.NextTabStop(-5), 4);
  EXPECT_EQ(t.PrevTabStop(1000000001), 1000000000);
  EXPECT_EQ(t.ColumnToIndex(u"ab", MaxInt), MaxInt);
  EXPECT_EQ(t.ColumnToIndex(u"ab", 2147483600), 2147483600);
}

}  // namespace
}  // namespace pw::editor
