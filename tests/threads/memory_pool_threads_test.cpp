// Memory pools on several threads at once: their pages come from chunks shared by the whole
// process, and no two live pools ever hold the same page.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "core/containers/memory_pool.h"

namespace pw {
namespace {

TEST(MemoryPoolThreads, PoolsMadeAndDroppedOnManyThreadsNeverShareAPage) {
  constexpr int kThreads = 4, kRounds = 50, kPools = 8;
  std::vector<std::set<TMemoryPool::PageHeader*>> pagesSeen(kThreads);
  std::vector<int> wrong(kThreads, 0);
  // The last round's pools stay until every thread has looked at its pages.
  std::vector<std::vector<std::unique_ptr<TMemoryPool>>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<TMemoryPool>> pools;
        std::vector<unsigned char*> blocks;
        for (int p = 0; p < kPools; ++p) {
          pools.push_back(std::make_unique<TMemoryPool>(256));
          for (int b = 0; b < 300; ++b) {  // a little over one page each
            auto* block = static_cast<unsigned char*>(pools.back()->AllocItem());
            std::memset(block, t * kPools + p, 256);
            blocks.push_back(block);
          }
        }
        // Every block still holds what its own thread and pool wrote.
        for (std::size_t i = 0; i < blocks.size(); ++i) {
          const auto mark = static_cast<unsigned char>(t * kPools + static_cast<int>(i / 300));
          if (blocks[i][0] != mark || blocks[i][255] != mark) ++wrong[t];
          if (round == kRounds - 1) pagesSeen[t].insert(TMemoryPool::PageOf(blocks[i]));
        }
        if (round == kRounds - 1) kept[t] = std::move(pools);
      }
    });
  for (auto& thread : threads) thread.join();
  std::set<TMemoryPool::PageHeader*> all;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_EQ(pagesSeen[t].size(), static_cast<std::size_t>(2 * kPools)) << "thread " << t;
    all.insert(pagesSeen[t].begin(), pagesSeen[t].end());
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(2 * kPools * kThreads));
}

}  // namespace
}  // namespace pw
