// "Разобрать": the Work layer split into light and dark figures, the pairs of
// figures that touch and the nesting tree, as the milling, outlining and
// cutting windows keep them between parses.
#pragma once

#include <cstdint>

#include "figures/figure_table.h"
#include "figures/figure_tree.h"
#include "figures/label_map.h"
#include "figures/nesting_pairs.h"
#include "picture/pixel_image.h"

namespace vertolin {

// A pixel is light when its blue byte is above this, dark otherwise.
inline constexpr std::uint8_t kDarkUpTo = 100;
inline bool IsLight(std::uint8_t blue) { return blue > kDarkUpTo; }

struct FigureSet {
  LabelMap labels;
  FigureTable figures;
  NestingPairList pairs;
  FigureTree tree;

  // After "Градиент" and "Отступить": 100 free figure slots and emptied pair
  // slots; the pair count, the map and the tree stay until the next parse.
  void ResetTables() {
    figures.Reset();
    pairs.EmptySlots();
  }
};

// Labels every pixel of the picture, records the touching pairs and fills the
// tree. Connectivity, for both colours: the four side neighbours and the
// upper-left/lower-right diagonals; light pixels reaching the top or left
// edge join the frame figure. The figure numbers, the free slots, the pairs
// and their order come out exactly as a pixel-by-pixel labelling that
// renumbers the whole map at each merge would leave them; the time grows
// with the area only.
FigureSet Parse(const PixelImage& work);

}  // namespace vertolin
