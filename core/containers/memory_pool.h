// TMemoryPool: a fixed-size block allocator over 64 KiB pages.
//
// Every page is 65536 bytes aligned to 65536, so the page of a block is the block's address with
// the low 16 bits cleared. A page starts with its header (use count, owning pool, next page;
// kPageHeaderSize bytes, 24 on 64-bit targets); the blocks follow, the first one at the header's
// end rounded up to the alignment, each `Stride()` bytes apart. A freed block goes to the head of
// the free list (its first pointer-sized word links to the next free block, so a block is never
// smaller than a pointer); AllocItem takes the most recently freed block first, then the newest
// page's blocks not yet handed out, in address order, then a new page. A page's blocks are
// carved one at a time as they are asked for (nothing writes to the rest of the page, so a pool
// that holds a few records touches a few hundred bytes of its page, not all 64 KiB). Pages go
// back only with the destructor: blocks still in use then become invalid. Pages come from 1 MiB
// chunks shared by all pools of the process (memory_pool.cpp): a chunk is freed once all its
// pages are back, except for a few kept for the next pools.
//
// With 28-byte blocks and alignment 1 a page holds (65536 - kPageHeaderSize) div 28 blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/rtl/rtl.h"

namespace pw {

class TMemoryPool : public TObject {
 public:
  struct PageHeader {
    std::uint32_t useCount;  // always 0: blocks are not counted per page
    TMemoryPool* pool;
    PageHeader* next;  // the page allocated before this one
  };
  static constexpr std::size_t kPageSize = 0x10000;
  static constexpr std::size_t kPageHeaderSize = sizeof(PageHeader);

  explicit TMemoryPool(std::uint32_t itemSize);
  ~TMemoryPool() override;

  std::uint32_t ItemSize() const { return itemSize_; }
  std::uint32_t Alignment() const { return alignment_; }
  // A power of two (1 after construction). It can change only while the pool has no pages;
  // anything else raises EpfException.
  void SetAlignment(std::uint32_t alignment);

  // Bytes between two blocks: the item size (at least a pointer) rounded up to the alignment.
  std::size_t Stride() const;
  // Blocks carved from each new page.
  std::size_t BlocksPerPage() const;
  std::size_t PageCount() const { return pageCount_; }

  // A block of ItemSize bytes, contents undefined. Raises std::bad_alloc when no page can be
  // had, EpfException when not even one block fits in a page.
  void* AllocItem();
  // Returns a block of this pool to it (nil is ignored).
  void FreeItem(void* block);

  // The page that holds a block of any pool, and the pool it belongs to.
  static PageHeader* PageOf(const void* block) {
    return reinterpret_cast<PageHeader*>(reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{kPageSize - 1});
  }
  static TMemoryPool* PoolOf(const void* block) { return PageOf(block)->pool; }

 private:
  std::size_t FirstBlockOffset() const;
  void NewPage();

  std::uint32_t itemSize_;
  std::uint32_t alignment_ = 1;
  PageHeader* pages_ = nullptr;  // most recently allocated page first
  void* freeList_ = nullptr;
  // The newest page's blocks not yet handed out: [next_, end_) in steps of the stride.
  unsigned char* next_ = nullptr;
  unsigned char* end_ = nullptr;
  std::size_t pageCount_ = 0;
};

}  // namespace pw
