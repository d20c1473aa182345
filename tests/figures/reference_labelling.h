// The parse done the slow, literal way: a whole-map rewrite at every merge, a
// linear search for the lowest free slot and for every pair, a recursive
// tree fill. Kept in the tests only, as the yardstick the fast parse must
// match number for number.
#pragma once

#include <cstdint>
#include <vector>

#include "figures/figure_table.h"
#include "figures/nesting_pairs.h"
#include "figures/figure_tree.h"
#include "picture/pixel_image.h"

namespace vertolin::reference {

struct Parsed {
  int width = 0;
  int height = 0;
  std::vector<std::int32_t> cells;  // (W + 2) × (H + 2), rows from 0
  std::vector<Figure> figures;      // [0] unused
  std::vector<NestingPair> pairs;
  int pairSlots = 0;
  std::vector<FigureTreeNode> tree;

  std::int32_t at(int x, int y) const {
    return cells[static_cast<std::size_t>(y * (width + 2) + x)];
  }
};

Parsed Parse(const PixelImage& work);

}  // namespace vertolin::reference
