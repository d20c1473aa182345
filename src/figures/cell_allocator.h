// Allocation for the label map, which is as large as the picture (48 MB for a
// 12-megapixel photograph) and written cell by cell anyway: cells are left
// unfilled, and large blocks ask for huge pages where the system offers them,
// so that a parse does not spend its time zeroing memory and taking a page
// fault for every 4 KB.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace vertolin {

void* AllocateLargeBlock(std::size_t bytes);
void FreeLargeBlock(void* block, std::size_t bytes);

template <typename T>
struct CellAllocator {
  using value_type = T;

  CellAllocator() = default;
  template <typename U>
  CellAllocator(const CellAllocator<U>&) {}

  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLargeBlock(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { FreeLargeBlock(p, n * sizeof(T)); }

  // Default-initialise: no zeroing on resize.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const CellAllocator&, const CellAllocator&) { return true; }
};

}  // namespace vertolin
