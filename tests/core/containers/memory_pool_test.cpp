#include "core/containers/memory_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "core/containers/simple_iterator.h"

namespace pw {
namespace {

std::uintptr_t Addr(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

TEST(TMemoryPool, PageHeaderIsUseCountPoolAndNextPage) {
  // The header this build uses; blocks per page follow from it.
  EXPECT_EQ(TMemoryPool::kPageHeaderSize, 3 * sizeof(void*));
  EXPECT_EQ(TMemoryPool::kPageSize, 65536u);
}

TEST(TMemoryPool, BlocksPerPageFollowStrideAndAlignment) {
  struct Case {
    std::uint32_t itemSize, alignment;
    std::size_t stride, blocks;
  };
  const std::size_t h = TMemoryPool::kPageHeaderSize;
  const auto up = [](std::size_t x, std::size_t a) { return (x + a - 1) / a * a; };
  for (const Case& c : {
           Case{28, 1, 28, (65536 - h) / 28},  // 2339 with the 24-byte header of 64-bit targets
           Case{32, 1, 32, (65536 - h) / 32},
           Case{28, 16, 32, (65536 - up(h, 16)) / 32},
           Case{28, 64, 64, (65536 - 64) / 64},
           Case{1, 1, sizeof(void*), (65536 - h) / sizeof(void*)},  // a free block holds a link
           Case{0, 1, sizeof(void*), (65536 - h) / sizeof(void*)},
       }) {
    TMemoryPool pool(c.itemSize);
    pool.SetAlignment(c.alignment);
    EXPECT_EQ(pool.Stride(), c.stride) << c.itemSize << "/" << c.alignment;
    EXPECT_EQ(pool.BlocksPerPage(), c.blocks) << c.itemSize << "/" << c.alignment;
  }
  if (sizeof(void*) == 8) {
    EXPECT_EQ(TMemoryPool(28).BlocksPerPage(), 2339u);
  }
}

TEST(TMemoryPool, APageIsCarvedInAddressOrderAndFoundFromEachBlock) {
  TMemoryPool pool(28);
  const std::size_t n = pool.BlocksPerPage();
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < n; ++i) blocks.push_back(pool.AllocItem());
  EXPECT_EQ(pool.PageCount(), 1u);

  TMemoryPool::PageHeader* page = TMemoryPool::PageOf(blocks[0]);
  EXPECT_EQ(Addr(page) % 65536, 0u);
  EXPECT_EQ(page->pool, &pool);
  EXPECT_EQ(page->next, nullptr);
  EXPECT_EQ(Addr(blocks[0]), Addr(page) + TMemoryPool::kPageHeaderSize);
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(TMemoryPool::PageOf(blocks[i]), page);
    EXPECT_EQ(TMemoryPool::PoolOf(blocks[i]), &pool);
    if (i > 0) {
      EXPECT_EQ(Addr(blocks[i]) - Addr(blocks[i - 1]), 28u);
    }
    std::memset(blocks[i], static_cast<int>(i), 28);  // the whole block is usable
  }
  EXPECT_LE(Addr(blocks.back()) + 28, Addr(page) + 65536);
  for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[27], static_cast<unsigned char>(i));

  // The next block comes from a second page, which heads the page list.
  void* more = pool.AllocItem();
  EXPECT_EQ(pool.PageCount(), 2u);
  EXPECT_NE(TMemoryPool::PageOf(more), page);
  EXPECT_EQ(TMemoryPool::PageOf(more)->next, page);
  EXPECT_EQ(TMemoryPool::PoolOf(more), &pool);
}

TEST(TMemoryPool, FreedBlocksAreReusedLastFreedFirstAndPagesStay) {
  TMemoryPool pool(32);
  void* a = pool.AllocItem();
  void* b = pool.AllocItem();
  void* c = pool.AllocItem();
  EXPECT_EQ(Addr(b) - Addr(a), 32u);
  pool.FreeItem(a);
  pool.FreeItem(c);
  pool.FreeItem(nullptr);  // ignored
  EXPECT_EQ(pool.AllocItem(), c);
  EXPECT_EQ(pool.AllocItem(), a);
  EXPECT_EQ(Addr(pool.AllocItem()) - Addr(c), 32u);  // then on through the page

  // Every block back: the pages are kept until the pool goes.
  TMemoryPool big(1000);
  std::set<void*> seen;
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < 3 * big.BlocksPerPage(); ++i) blocks.push_back(big.AllocItem());
  EXPECT_EQ(big.PageCount(), 3u);
  for (void* p : blocks) big.FreeItem(p);
  EXPECT_EQ(big.PageCount(), 3u);
  for (std::size_t i = 0; i < blocks.size(); ++i) seen.insert(big.AllocItem());
  EXPECT_EQ(seen, std::set<void*>(blocks.begin(), blocks.end()));
  EXPECT_EQ(big.PageCount(), 3u);
}

TEST(TMemoryPool, FreedBlocksComeBeforeTheRestOfThePageAndANewPageOnlyAfterBoth) {
  // The blocks a page has not handed out yet come after every freed block, in address order;
  // a new page is made only when neither is left.
  TMemoryPool pool(100);
  const std::size_t n = pool.BlocksPerPage();
  std::vector<void*> blocks;
  for (std::size_t i = 0; i + 2 < n; ++i) blocks.push_back(pool.AllocItem());
  pool.FreeItem(blocks[5]);
  pool.FreeItem(blocks[1]);
  EXPECT_EQ(pool.AllocItem(), blocks[1]);
  EXPECT_EQ(pool.AllocItem(), blocks[5]);
  void* last1 = pool.AllocItem();
  void* last2 = pool.AllocItem();
  EXPECT_EQ(Addr(last1), Addr(blocks.back()) + 100);
  EXPECT_EQ(Addr(last2), Addr(last1) + 100);
  EXPECT_EQ(pool.PageCount(), 1u);
  pool.FreeItem(last1);
  EXPECT_EQ(pool.AllocItem(), last1);  // the page is full: the freed block, still no new page
  EXPECT_EQ(pool.PageCount(), 1u);
  void* second = pool.AllocItem();
  EXPECT_EQ(pool.PageCount(), 2u);
  EXPECT_EQ(Addr(second), Addr(TMemoryPool::PageOf(second)) + TMemoryPool::kPageHeaderSize);
  // A block freed from the first page is taken before the second page's next one.
  pool.FreeItem(blocks[7]);
  EXPECT_EQ(pool.AllocItem(), blocks[7]);
  EXPECT_EQ(Addr(pool.AllocItem()), Addr(second) + 100);
}

TEST(TMemoryPool, PoolsMadeAndDroppedInMixedOrderNeverShareAPage) {
  // Pages come from chunks shared by every pool: each live pool's pages are its own, also after
  // other pools went and new ones took their pages.
  std::vector<std::unique_ptr<TMemoryPool>> pools;
  std::vector<std::vector<unsigned char*>> blocks;
  auto fill = [&](std::size_t i) {
    // Two pages' worth of 1000-byte blocks, each written whole with the pool's mark.
    blocks[i].clear();
    for (std::size_t n = 0; n < 2 * pools[i]->BlocksPerPage(); ++n) {
      auto* b = static_cast<unsigned char*>(pools[i]->AllocItem());
      std::memset(b, static_cast<int>(i & 0xFF), 1000);
      blocks[i].push_back(b);
    }
  };
  for (std::size_t i = 0; i < 40; ++i) {
    pools.push_back(std::make_unique<TMemoryPool>(1000));
    blocks.emplace_back();
    fill(i);
  }
  for (std::size_t i = 0; i < 40; i += 3) pools[i].reset();
  for (std::size_t i = 39; i < 40; i -= 6) {
    pools[i] = std::make_unique<TMemoryPool>(1000);
    fill(i);
  }
  std::set<TMemoryPool::PageHeader*> pages;
  std::size_t live = 0;
  for (std::size_t i = 0; i < pools.size(); ++i) {
    if (!pools[i]) continue;
    ++live;
    EXPECT_EQ(pools[i]->PageCount(), 2u);
    for (unsigned char* b : blocks[i]) {
      EXPECT_EQ(TMemoryPool::PoolOf(b), pools[i].get());
      EXPECT_EQ(b[0], static_cast<unsigned char>(i & 0xFF));
      EXPECT_EQ(b[999], static_cast<unsigned char>(i & 0xFF));
      pages.insert(TMemoryPool::PageOf(b));
    }
  }
  EXPECT_EQ(pages.size(), 2 * live);
  for (auto* page : pages) EXPECT_EQ(Addr(page) % 65536, 0u);
}

TEST(TMemoryPool, AlignedBlocks) {
  for (std::uint32_t alignment : {1u, 2u, 8u, 16u, 64u, 256u}) {
    TMemoryPool pool(28);
    pool.SetAlignment(alignment);
    EXPECT_EQ(pool.Alignment(), alignment);
    for (int i = 0; i < 500; ++i) {
      void* p = pool.AllocItem();
      EXPECT_EQ(Addr(p) % alignment, 0u) << "alignment " << alignment;
      std::memset(p, 0xAB, 28);
    }
  }
}

TEST(TMemoryPool, BadAlignmentAndOversizedBlocksRaise) {
  TMemoryPool pool(28);
  for (std::uint32_t bad : {0u, 3u, 24u, 0x80000001u}) EXPECT_THROW(pool.SetAlignment(bad), EpfException) << bad;
  EXPECT_EQ(pool.Alignment(), 1u);
  pool.AllocItem();
  EXPECT_THROW(pool.SetAlignment(16), EpfException);  // blocks are carved already
  pool.SetAlignment(1);                               // no change is fine
  EXPECT_EQ(pool.Alignment(), 1u);

  TMemoryPool huge(70000);
  EXPECT_EQ(huge.BlocksPerPage(), 0u);
  EXPECT_THROW(huge.AllocItem(), EpfException);
  EXPECT_EQ(huge.PageCount(), 0u);
  TMemoryPool overAligned(8);
  overAligned.SetAlignment(65536);
  EXPECT_THROW(overAligned.AllocItem(), EpfException);
}

}  // namespace
}  // namespace pw
