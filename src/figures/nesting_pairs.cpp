#include "figures/nesting_pairs.h"

#include <algorithm>
#include <bit>

namespace vertolin {

std::uint64_t NestingPairList::KeyOf(std::int32_t a, std::int32_t b) {
  const auto low = static_cast<std::uint32_t>(std::min(a, b));
  const auto high = static_cast<std::uint32_t>(std::max(a, b));
  // Plus one keeps 0 free as the empty mark; only (−1, −1) would wrap to it,
  // and that pair is kept out of the set by Add.
  return ((std::uint64_t{low} << 32) | high) + 1;
}

std::size_t NestingPairList::Home(std::uint64_t key) const {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift_);
}

bool NestingPairList::Find(std::uint64_t key) const {
  if (keys_.empty()) return false;
  const std::size_t mask = keys_.size() - 1;
  for (std::size_t i = Home(key);; i = (i + 1) & mask) {
    if (keys_[i] == key) return true;
    if (keys_[i] == 0) return false;
  }
}

bool NestingPairList::Insert(std::uint64_t key) {
  if ((used_ + 1) * 2 > keys_.size()) {
    // Grow to keep the table at most half full.
    auto old = std::move(keys_);
    std::size_t size = 64;
    while (size < (used_ + 1) * 4) size *= 2;
    keys_.assign(size, 0);
    shift_ = 64 - std::countr_zero(size);
    const std::size_t mask = size - 1;
    for (const std::uint64_t k : old) {
      if (k == 0) continue;
      std::size_t i = Home(k);
      while (keys_[i] != 0) i = (i + 1) & mask;
      keys_[i] = k;
    }
  }
  const std::size_t mask = keys_.size() - 1;
  std::size_t i = Home(key);
  for (; keys_[i] != 0; i = (i + 1) & mask) {
    if (keys_[i] == key) return false;
  }
  keys_[i] = key;
  ++used_;
  return true;
}

void NestingPairList::Add(std::int32_t left, std::int32_t right) {
  const std::uint64_t key = KeyOf(left, right);
  if (key == 0) {
    // (−1, −1): no figure has that number; compare against the list itself.
    if (Contains(left, right)) return;
  } else if (!Insert(key)) {
    return;
  }
  pairs_.push_back({left, right});
  if (count() > capacity_) capacity_ *= 2;
}

bool NestingPairList::Contains(std::int32_t a, std::int32_t b) const {
  const std::uint64_t key = KeyOf(a, b);
  if (key != 0) return Find(key);
  return std::any_of(pairs_.begin(), pairs_.end(), [&](const NestingPair& p) {
    return (p.outer == a && p.inner == b) || (p.outer == b && p.inner == a);
  });
}

void NestingPairList::EmptySlots() {
  std::fill(pairs_.begin(), pairs_.end(), NestingPair{});
  capacity_ = kInitialSlots;
  keys_.clear();
  used_ = 0;
  shift_ = 64;
}

}  // namespace vertolin
