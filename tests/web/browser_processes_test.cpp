// The processes of a browser: parent chains (with loops) and the frame process of a tab.
#include "web/navigation/browser_processes.h"

#include <gtest/gtest.h>

#include <map>

namespace pw::web {
namespace {

TEST(BelongsToBrowser, Table) {
  // 100 browser; 110 its child, 120 a grandchild; 200 unrelated; 300 and 301 parents of each
  // other (ids reused); 400 a child of the loop; 500 the host's current browser, 510 its child.
  std::map<std::int32_t, std::int32_t> parents = {{100, 1},   {110, 100}, {120, 110}, {200, 1},   {300, 301},
                                                  {301, 300}, {400, 300}, {500, 1},   {510, 500}, {1, 0}};
  int lookups = 0;
  ParentProcessLookup parentOf = [&](std::int32_t id) {
    ++lookups;
    auto it = parents.find(id);
    return it == parents.end() ? 0 : it->second;
  };
  struct Case {
    std::int32_t pid, current;
    bool belongs;
  } cases[] = {
      {0, kNoCurrentBrowser, false},
      {100, kNoCurrentBrowser, true},
      {110, kNoCurrentBrowser, true},
      {120, kNoCurrentBrowser, true},
      {200, kNoCurrentBrowser, false},
      {999, kNoCurrentBrowser, false},
      {300, kNoCurrentBrowser, false},
      {400, kNoCurrentBrowser, false},
      {510, kNoCurrentBrowser, false},
      {510, 500, true},
      {500, 500, true},
      {200, 500, false},
  };
  for (const auto& c : cases) {
    lookups = 0;
    EXPECT_EQ(BelongsToBrowser(c.pid, 100, c.current, parentOf), c.belongs) << c.pid;
    EXPECT_LE(lookups, 5) << c.pid;  // a loop ends after its ids came round once
  }
  EXPECT_FALSE(BelongsToBrowser(0, 0, kNoCurrentBrowser, parentOf));  // id 0 never belongs
  EXPECT_TRUE(BelongsToBrowser(100, 100, kNoCurrentBrowser, nullptr));
  EXPECT_FALSE(BelongsToBrowser(110, 100, kNoCurrentBrowser, nullptr));  // no lookup: no parents
}

TEST(FrameProcessIdOf, Table) {
  struct Case {
    const char16_t* commandLine;
    std::optional<std::int32_t> id;
  } cases[] = {
      {u"\"C:\\Program Files\\iexplore.exe\" SCODEF:3456 CREDAT:79617", 3456},
      {u"iexplore.exe SCODEF:12", 12},
      {u"iexplore.exe SCODEF:12\tX", 12},
      {u"iexplore.exe", std::nullopt},
      {u"iexplore.exe SCODEF: 12", std::nullopt},
      {u"iexplore.exe SCODEF:12a", std::nullopt},
      {u"iexplore.exe SCODEF:-12", std::nullopt},
      {u"iexplore.exe SCODEF:2147483647", 2147483647},
      {u"iexplore.exe SCODEF:2147483648", std::nullopt},
      {u"iexplore.exe scodef:12", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FrameProcessIdOf(c.commandLine), c.id);
}

}  // namespace
}  // namespace pw::web
