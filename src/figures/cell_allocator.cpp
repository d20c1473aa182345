#include "figures/cell_allocator.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vertolin {

namespace {

#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the ordinary heap does as well.
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;

bool Large(std::size_t bytes) { return bytes >= kLargeBlock; }
std::size_t RoundUp(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
#endif

}  // namespace

void* AllocateLargeBlock(std::size_t bytes) {
#if defined(__linux__)
  if (Large(bytes)) {
    void* block = std::aligned_alloc(kHugePage, RoundUp(bytes));
    if (block == nullptr) throw std::bad_alloc();
    madvise(block, RoundUp(bytes), MADV_HUGEPAGE);  // a hint: without it, ordinary pages
    return block;
  }
#endif
  return ::operator new(bytes);
}

void FreeLargeBlock(void* block, std::size_t bytes) {
#if defined(__linux__)
  if (Large(bytes)) {
    std::free(block);
    return;
  }
#endif
  ::operator delete(block, bytes);
}

}  // namespace vertolin
