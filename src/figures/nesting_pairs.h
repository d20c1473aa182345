// The pairs of figures that touch side by side, each stored once, in the
// order they were first met. The first figure met on the left is the outer
// one; the tree and the milling of holes read the list in this order.
#pragma once

#include <cstdint>
#include <vector>

#include "figures/cell_allocator.h"

namespace vertolin {

struct NestingPair {
  std::int32_t outer = 0;
  std::int32_t inner = 0;
  friend bool operator==(const NestingPair&, const NestingPair&) = default;
};

class NestingPairList {
 public:
  static constexpr int kInitialSlots = 100;

  NestingPairList() = default;

  // Stores (outer = left, inner = right) unless the two figures are already
  // a pair in either order. Constant time: a parse adds millions of pairs.
  void Add(std::int32_t left, std::int32_t right);
  bool Contains(std::int32_t a, std::int32_t b) const;

  int count() const { return static_cast<int>(pairs_.size()); }
  // Slots: 100, doubling whenever the count would exceed them.
  int capacity() const { return capacity_; }
  // Pair `number`, 1 to count().
  const NestingPair& operator[](int number) const {
    return pairs_[static_cast<std::size_t>(number - 1)];
  }
  const std::vector<NestingPair>& pairs() const { return pairs_; }

  // "Градиент" and "Отступить" empty the slots but leave the count: the
  // pairs read (0, 0) until the next parse.
  void EmptySlots();

 private:
  // Open addressing over (smaller, larger) keys; 0 marks an empty slot, so
  // the keys are stored plus one.
  bool Insert(std::uint64_t key);
  bool Find(std::uint64_t key) const;
  std::size_t Home(std::uint64_t key) const;
  static std::uint64_t KeyOf(std::int32_t a, std::int32_t b);

  std::vector<NestingPair> pairs_;
  int capacity_ = kInitialSlots;
  std::vector<std::uint64_t, CellAllocator<std::uint64_t>> keys_;
  std::size_t used_ = 0;
  int shift_ = 64;
};

}  // namespace vertolin
