#include "modes/scanner/height_map.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "util/numbers.h"

namespace vertolin {
namespace {

constexpr std::int32_t kLowStart = 2000;
constexpr std::int32_t kHighStart = 0;
constexpr double kTopGrey = 255.0;

}  // namespace

HeightMap::HeightMap(int meshX, int meshY) {
  if (meshX < 1 || meshY < 1) return;
  meshX_ = meshX;
  meshY_ = meshY;
  values_.assign(static_cast<std::size_t>(meshX) * static_cast<std::size_t>(meshY), 0);
}

Normalisation NormaliseHeights(HeightMap& map) {
  std::int32_t lo = kLowStart;
  std::int32_t hi = kHighStart;
  for (const std::int32_t value : map.values()) {
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  }
  if (lo == hi) {
    std::fill(map.values().begin(), map.values().end(), 0);
    return {.flat = true};
  }
  // In double: hi − lo and value − lo can pass the 32-bit range.
  const double span = static_cast<double>(hi) - static_cast<double>(lo);
  for (std::int32_t& value : map.values()) {
    const double stretched = (static_cast<double>(value) - static_cast<double>(lo)) * kTopGrey /
                             span;
    value = static_cast<std::int32_t>(RoundHalfEven(stretched));
  }
  return {};
}

DryRunValues DryRunValues::SeededFromClock() {
  const auto seed = static_cast<std::mt19937::result_type>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  return DryRunValues(
      [engine = std::mt19937(seed),
       unit = std::uniform_real_distribution<double>(0.0, 1.0)]() mutable { return unit(engine); });
}

std::int32_t DryRunValues::Next() {
  const double grey = RoundHalfEven(unit_() * kTopGrey);
  if (!(grey >= 0.0)) return 0;  // also NaN
  return static_cast<std::int32_t>(std::min(grey, kTopGrey));
}

}  // namespace vertolin
