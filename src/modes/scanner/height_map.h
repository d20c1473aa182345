// The scanner's height map: one 32-bit value per mesh node, raw probe values
// while a real scan runs, grey levels 0 … 255 once it has ended (or after a
// dry run, whose values are random).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vertolin {

class HeightMap {
 public:
  HeightMap() = default;
  // All nodes 0; a size below 1 on either axis gives an empty map.
  HeightMap(int meshX, int meshY);

  int meshX() const { return meshX_; }
  int meshY() const { return meshY_; }
  bool empty() const { return values_.empty(); }

  // Node (x, y), 1-based: x = 1 … meshX, y = 1 … meshY.
  std::int32_t At(int x, int y) const { return values_[Index(x, y)]; }
  void Set(int x, int y, std::int32_t value) { values_[Index(x, y)] = value; }

  // Row by row from y = 1, x increasing within a row.
  std::vector<std::int32_t>& values() { return values_; }
  const std::vector<std::int32_t>& values() const { return values_; }

  friend bool operator==(const HeightMap&, const HeightMap&) = default;

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(meshX_) +
           static_cast<std::size_t>(x - 1);
  }

  int meshX_ = 0;
  int meshY_ = 0;
  std::vector<std::int32_t> values_;
};

// The map as text: meshY lines of meshX integers separated by single
// spaces, node (1, 1) first, each line ended by a line feed.
std::string HeightMapText(const HeightMap& map);

// The same text read back (a CR before a line feed and a last line without
// one are taken too). Nothing, and `error` saying what is wrong, for lines
// of different lengths, anything but 32-bit integers between single spaces,
// or no numbers at all.
std::optional<HeightMap> ParseHeightMapText(std::string_view text, std::string& error);

// Stretches a real scan's raw values to grey levels: lo = min(2000, every
// value), hi = max(0, every value), and each value becomes
// (value − lo) × 255 ÷ (hi − lo), rounded halves to even. The fixed starting
// points keep every result within 0 … 255 whatever the board reports.
//
// A map whose lo and hi coincide has no height to stretch: every node becomes
// 0 and the result says it was flat, so the window can tell the person.
struct Normalisation {
  bool flat = false;
};
Normalisation NormaliseHeights(HeightMap& map);

// The values of a dry run: a number in [0, 1) from `unit` times 255, rounded
// halves to even. The source is injectable so that a test can replay it; the
// window takes the clock-seeded one.
class DryRunValues {
 public:
  using UnitSource = std::function<double()>;

  explicit DryRunValues(UnitSource unit) : unit_(std::move(unit)) {}
  static DryRunValues SeededFromClock();

  // A source that strays outside [0, 1) is clipped to 0 … 255.
  std::int32_t Next();

 private:
  UnitSource unit_;
};

}  // namespace vertolin
