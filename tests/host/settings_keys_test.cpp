// Groups and pages of the settings and options services keep their keys unique, also when
// several threads create one key at the same moment.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <thread>
#include <vector>

#include "host/test_host.h"

namespace pw {
namespace {

GUID RoundKey(int round) {
  GUID key = MakeGuid("{22222222-0000-0000-0000-000000000000}");
  key.Data2 = static_cast<std::uint16_t>(round);
  return key;
}

// Runs `create` on `threads` threads released together; answers how many succeeded.
int CreateAtOnce(int threads, const std::function<HRESULT(int)>& create) {
  std::latch ready(threads);
  std::atomic<int> succeeded{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      ready.arrive_and_wait();  // every thread has reached its create before any starts it
      if (Succeeded(create(t))) ++succeeded;
    });
  for (auto& w : workers) w.join();
  return succeeded.load();
}

int CountKey(const std::vector<ComPtr<host::TSettingsGroup>>& list, const GUID& key) {
  int n = 0;
  for (const auto& g : list) n += g->Key() == key;
  return n;
}

TEST(SettingsKeys, OneKeyCreatedFromManyThreadsAtOnceExistsOnce) {
  host::TestHost host;
  auto& settings = host.Settings();
  auto& options = host.Options();
  BString caption(u"Race"), empty(u""), path(u"Race\\Page");
  for (int round = 0; round < 40; ++round) {
    const GUID key = RoundKey(round);
    SCOPED_TRACE(round);
    switch (round % 3) {
      case 0:  // the settings service's groups
        EXPECT_EQ(
            CreateAtOnce(
                8, [&](int) { return settings.CreateGroup(key, caption.Get(), empty.Get(), -1, 0, empty.Get()); }),
            1);
        EXPECT_EQ(CountKey(settings.Groups(), key), 1);
        break;
      case 1:  // the options service's groups
        EXPECT_EQ(CreateAtOnce(
                      8, [&](int) { return options.CreateGroup(key, caption.Get(), empty.Get(), -1, 0, empty.Get()); }),
                  1);
        EXPECT_TRUE(options.FindEntry(key));
        EXPECT_EQ(CountKey(options.Pages(), key), 0);
        break;
      case 2:  // groups and pages share one key space
        EXPECT_EQ(CreateAtOnce(8,
                               [&](int t) {
                                 return t % 2
                                            ? options.CreatePage(key, path.Get(), 0, -1, 0, 0, caption.Get())
                                            : options.CreateGroup(key, caption.Get(), empty.Get(), -1, 0, empty.Get());
                               }),
                  1);
        break;
    }
  }
  std::int32_t groups = 0, pages = 0;
  ASSERT_EQ(options.GetCount(&groups), S_OK);
  ASSERT_EQ(options.GetPageCount(&pages), S_OK);
  // 13 rounds of groups, 13 of mixed creates, and the host's own "Open Applications" group.
  EXPECT_EQ(groups + pages, 13 + 13 + 1);
}

TEST(SettingsKeys, DefiningAGroupTwiceAnswersTheFirst) {
  host::TestHost host;
  const GUID key = RoundKey(1000);
  auto first = host.Options().DefineGroup(key, u"One");
  auto second = host.Options().DefineGroup(key, u"Two");
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(second->Caption(), u"One");
}

}  // namespace
}  // namespace pw
