#include "core/containers/memory_pool.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <unordered_map>

#include "core/containers/simple_iterator.h"

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define PW_POOL_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PW_POOL_LEAK_CHECKER 1
#endif
#endif
#ifndef PW_POOL_LEAK_CHECKER
#define PW_POOL_LEAK_CHECKER 0
#endif
#if PW_POOL_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

namespace pw {

namespace {

std::size_t RoundUp(std::size_t x, std::size_t a) { return (x + a - 1) & ~(a - 1); }

// Free blocks need not be pointer-aligned (alignment 1), so their link is copied bytewise.
void* NextFree(void* block) {
  void* next;
  std::memcpy(&next, block, sizeof next);
  return next;
}
void SetNextFree(void* block, void* next) { std::memcpy(block, &next, sizeof next); }

// The pages of every pool come from 1 MiB chunks aligned to 1 MiB, 16 pages each, mapped from
// the system: one mapping serves 16 pages, the heap is never asked for a 64 KiB block aligned to
// 64 KiB (which costs it a search, touches memory around the block and leaves the heap in
// pieces), only the parts of a page that are used are ever touched, and a page's chunk is its
// address with the low 20 bits cleared. Under the leak checker a chunk is a root region: the
// records in the pages hold the only pointers to their names and values. A page given back is
// taken again first (the lowest free page of the lowest chunk that has one); a chunk whose pages
// are all back is unmapped, except for a few kept for the next pools (a program that opens and
// closes storages one after the other does not map and unmap a chunk each time). Shared by all
// threads under one lock; made once and never destroyed, so pools that go at exit still find it.
class PageSource {
 public:
  static PageSource& Instance() {
    static PageSource* source = new PageSource;
    return *source;
  }

  void* Take() {
    std::lock_guard guard(lock_);
    if (withFree_.empty()) {
      const std::uintptr_t base = MapChunk();
      try {
        chunks_.emplace(base, kAllFree);
        withFree_.insert(base);
      } catch (...) {
        chunks_.erase(base);
        UnmapChunk(base);
        throw;
      }
      ++emptyChunks_;
    }
    const std::uintptr_t base = *withFree_.begin();
    std::uint16_t& mask = chunks_.at(base);
    if (mask == kAllFree) --emptyChunks_;
    const int index = std::countr_zero(mask);
    mask = static_cast<std::uint16_t>(mask & ~(1u << index));
    if (mask == 0) withFree_.erase(withFree_.begin());
    return reinterpret_cast<void*>(base + static_cast<std::uintptr_t>(index) * TMemoryPool::kPageSize);
  }

  void Give(void* page) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(page);
    const std::uintptr_t base = address & ~std::uintptr_t{kChunkSize - 1};
    const auto index = static_cast<unsigned>((address - base) / TMemoryPool::kPageSize);
    std::lock_guard guard(lock_);
    auto at = chunks_.find(base);
    if (at == chunks_.end()) return;  // not a page of this source
    std::uint16_t& mask = at->second;
    if (mask == 0) {
      try {
        withFree_.insert(base);
      } catch (...) {
        return;  // the page stays taken: lost, never handed out twice
      }
    }
    mask = static_cast<std::uint16_t>(mask | (1u << index));
    if (mask != kAllFree) return;
    if (emptyChunks_ < kEmptyChunksKept) {
      ++emptyChunks_;
      return;
    }
    withFree_.erase(base);
    chunks_.erase(at);
    UnmapChunk(base);
  }

 private:
  // A chunk aligned to its size: twice its size mapped, the parts before and after given back.
  static std::uintptr_t MapChunk() {
    void* memory = ::mmap(nullptr, 2 * kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t base = (start + kChunkSize - 1) & ~std::uintptr_t{kChunkSize - 1};
    if (base > start) ::munmap(memory, base - start);
    if (const std::uintptr_t tail = start + 2 * kChunkSize - (base + kChunkSize); tail > 0)
      ::munmap(reinterpret_cast<void*>(base + kChunkSize), tail);
#if PW_POOL_LEAK_CHECKER
    __lsan_register_root_region(reinterpret_cast<void*>(base), kChunkSize);
#endif
    return base;
  }
  static void UnmapChunk(std::uintptr_t base) noexcept {
#if PW_POOL_LEAK_CHECKER
    __lsan_unregister_root_region(reinterpret_cast<void*>(base), kChunkSize);
#endif
    ::munmap(reinterpret_cast<void*>(base), kChunkSize);
  }

  static constexpr std::size_t kChunkSize = 16 * TMemoryPool::kPageSize;
  static constexpr std::uint16_t kAllFree = 0xFFFF;
  static constexpr std::size_t kEmptyChunksKept = 4;

  std::mutex lock_;
  std::unordered_map<std::uintptr_t, std::uint16_t> chunks_;  // base -> the pages not taken
  std::set<std::uintptr_t> withFree_;                         // the chunks with a page not taken
  std::size_t emptyChunks_ = 0;
};

}  // namespace

TMemoryPool::TMemoryPool(std::uint32_t itemSize) : itemSize_(itemSize) {}

TMemoryPool::~TMemoryPool() {
  while (PageHeader* page = pages_) {
    pages_ = page->next;
    PageSource::Instance().Give(page);
  }
}

void TMemoryPool::SetAlignment(std::uint32_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0)
    throw EpfException(u"The alignment of a memory pool must be a power of two");
  if (alignment == alignment_) return;
  if (pages_) throw EpfException(u"The alignment of a memory pool cannot change once it has pages");
  alignment_ = alignment;
}

std::size_t TMemoryPool::Stride() const {
  return RoundUp(itemSize_ < sizeof(void*) ? sizeof(void*) : itemSize_, alignment_);
}

std::size_t TMemoryPool::FirstBlockOffset() const { return RoundUp(kPageHeaderSize, alignment_); }

std::size_t TMemoryPool::BlocksPerPage() const {
  const std::size_t first = FirstBlockOffset();
  return first >= kPageSize ? 0 : (kPageSize - first) / Stride();
}

void TMemoryPool::NewPage() {
  const std::size_t blocks = BlocksPerPage();
  if (blocks == 0) throw EpfException(u"The blocks of a memory pool do not fit in a page");
  void* memory = PageSource::Instance().Take();

  // Its blocks are handed out from next_ as they are asked for; the previous page's are all out.
  auto* base = static_cast<unsigned char*>(memory);
  next_ = base + FirstBlockOffset();
  end_ = next_ + blocks * Stride();

  auto* header = static_cast<PageHeader*>(memory);
  header->useCount = 0;
  header->pool = this;
  header->next = pages_;
  pages_ = header;
  ++pageCount_;
}

void* TMemoryPool::AllocItem() {
  if (void* block = freeList_) {
    freeList_ = NextFree(block);
    return block;
  }
  if (next_ == end_) NewPage();
  void* block = next_;
  next_ += Stride();
  return block;
}

void TMemoryPool::FreeItem(void* block) {
  if (!block) return;
  SetNextFree(block, freeList_);
  freeList_ = block;
}

}  // namespace pw
