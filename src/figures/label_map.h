// The figure number of every picture pixel, with a one-cell frame around the
// picture that holds the frame figure (light). Columns 0 to W + 1, rows 0 to
// H + 1; picture pixel (x, y) is cell (x, y). Four bytes a cell, nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "figures/cell_allocator.h"

namespace vertolin {

class LabelMap {
 public:
  LabelMap() = default;
  // A map for a W × H picture, every cell 0.
  LabelMap(int width, int height)
      : width_(width), height_(height), cells_(CellCount(width, height), 0) {}

  // A map whose cells are left unset, for a labelling that writes them all.
  static LabelMap Unfilled(int width, int height) {
    LabelMap map;
    map.width_ = width;
    map.height_ = height;
    map.cells_.resize(CellCount(width, height));
    return map;
  }

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return cells_.empty(); }

  // Cells 0 ≤ x ≤ W + 1, 0 ≤ y ≤ H + 1.
  bool Contains(int x, int y) const {
    return x >= 0 && y >= 0 && x <= width_ + 1 && y <= height_ + 1;
  }
  bool IsFrame(int x, int y) const {
    return x == 0 || y == 0 || x == width_ + 1 || y == height_ + 1;
  }
  std::int32_t at(int x, int y) const { return cells_[Index(x, y)]; }
  std::int32_t& at(int x, int y) { return cells_[Index(x, y)]; }
  // Row y from column 0: W + 2 cells.
  std::int32_t* row(int y) { return cells_.data() + Index(0, y); }
  const std::int32_t* row(int y) const { return cells_.data() + Index(0, y); }

  // The number the frame holds (1 unless a merge renumbered the frame figure).
  std::int32_t frameFigure() const { return cells_.empty() ? 0 : cells_[0]; }

  friend bool operator==(const LabelMap&, const LabelMap&) = default;

 private:
  static std::size_t CellCount(int width, int height) {
    return static_cast<std::size_t>(width + 2) * static_cast<std::size_t>(height + 2);
  }
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_ + 2) +
           static_cast<std::size_t>(x);
  }

  int width_ = 0;
  int height_ = 0;
  std::vector<std::int32_t, CellAllocator<std::int32_t>> cells_;
};

}  // namespace vertolin
