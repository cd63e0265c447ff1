#include "core/containers/memory_pool.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/containers/simple_iterator.h"

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

}  // namespace

TMemoryPool::TMemoryPool(std::uint32_t itemSize) : itemSize_(itemSize) {}

TMemoryPool::~TMemoryPool() {
  while (PageHeader* page = pages_) {
    pages_ = page->next;
    std::free(page);
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
  void* memory = std::aligned_alloc(kPageSize, kPageSize);
  if (!memory) throw std::bad_alloc();

  auto* base = static_cast<unsigned char*>(memory);
  const std::size_t stride = Stride();
  unsigned char* block = base + FirstBlockOffset();
  for (std::size_t i = 0; i + 1 < blocks; ++i, block += stride) SetNextFree(block, block + stride);
  SetNextFree(block, freeList_);  // empty here: a page is only made when the free list is
  freeList_ = base + FirstBlockOffset();

  auto* header = static_cast<PageHeader*>(memory);
  header->useCount = 0;
  header->pool = this;
  header->next = pages_;
  pages_ = header;
  ++pageCount_;
}

void* TMemoryPool::AllocItem() {
  if (!freeList_) NewPage();
  void* block = freeList_;
  freeList_ = NextFree(block);
  return block;
}

void TMemoryPool::FreeItem(void* block) {
  if (!block) return;
  SetNextFree(block, freeList_);
  freeList_ = block;
}

}  // namespace pw
