#include "figures/figure_set.h"

#include <algorithm>
#include <vector>

#include "figures/cell_allocator.h"

namespace vertolin {

namespace {

// Provisional labels of the first pass, merged with union-find. A label's
// root carries the figure number the group goes by at that moment; parents
// always have smaller labels than their children, so one pass in label
// order resolves every label to its final number.
class ProvisionalLabels {
 public:
  explicit ProvisionalLabels(std::size_t expected) { nodes_.reserve(expected); }

  std::int32_t Add(std::int32_t number) {
    const auto label = static_cast<std::int32_t>(nodes_.size());
    nodes_.push_back({label, number});
    return label;
  }

  // The group of `left` (the pixel's figure) merges into the group of `up`:
  // the upper figure's number survives and the left one's is freed, as the
  // numbering demands.
  void Merge(std::int32_t left, std::int32_t up, FigureTable& figures) {
    const std::int32_t a = Find(left);
    const std::int32_t b = Find(up);
    if (a == b) return;
    figures.Free(nodes_[static_cast<std::size_t>(a)].number);
    const std::int32_t survivor = nodes_[static_cast<std::size_t>(b)].number;
    const std::int32_t root = a < b ? a : b;
    nodes_[static_cast<std::size_t>(a < b ? b : a)].parent = root;
    nodes_[static_cast<std::size_t>(root)].number = survivor;
  }

  // Turns every label's entry into its final figure number; Find is no
  // longer usable afterwards.
  void Resolve() {
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const auto parent = static_cast<std::size_t>(nodes_[i].parent);
      if (parent != i) nodes_[i].number = nodes_[parent].number;
    }
  }

  std::int32_t NumberOf(std::int32_t label) const {
    return nodes_[static_cast<std::size_t>(label)].number;
  }

 private:
  struct Node {
    std::int32_t parent;
    std::int32_t number;
  };

  std::int32_t Find(std::int32_t label) {
    while (nodes_[static_cast<std::size_t>(label)].parent != label) {
      Node& node = nodes_[static_cast<std::size_t>(label)];
      node.parent = nodes_[static_cast<std::size_t>(node.parent)].parent;  // path halving
      label = node.parent;
    }
    return label;
  }

  std::vector<Node, CellAllocator<Node>> nodes_;
};

// Bit `code` is set when the pixel must merge (left and upper match, bits 0
// and 1, with unequal labels, bit 3) or allocate (no neighbour matches:
// bits 0 to 2 clear).
constexpr std::uint32_t kMergeOrAllocate = (1U << 0b1011) | (1U << 0b1111) | (1U << 0b0000) |
                                           (1U << 0b1000);

// First pass: provisional labels into the map, in raster order, making the
// same allocations and merges in the same order as the per-pixel procedure.
// The frame is label 0, the first figure allocated.
void LabelPixels(const PixelImage& work, LabelMap& labels, FigureTable& figures,
                 ProvisionalLabels& provisional) {
  const int width = work.width();
  const int height = work.height();
  provisional.Add(figures.Allocate(kLightFigure));

  // Colours of the row above and this row, index 0 being the frame column;
  // 1 = light. The row above the picture is the frame: light.
  std::vector<std::uint8_t> above(static_cast<std::size_t>(width) + 1, 1);
  std::vector<std::uint8_t> here(static_cast<std::size_t>(width) + 1, 1);
  const std::uint8_t* bytes = work.bytes().data();
  std::fill_n(labels.row(0), width + 2, 0);
  std::fill_n(labels.row(height + 1), width + 2, 0);

  for (int y = 1; y <= height; ++y) {
    const std::uint8_t* pixel = bytes + static_cast<std::size_t>(y - 1) * work.stride();
    for (int x = 1; x <= width; ++x, pixel += PixelImage::kBytesPerPixel) {
      here[static_cast<std::size_t>(x)] = IsLight(*pixel) ? 1 : 0;
    }
    const std::int32_t* up = labels.row(y - 1);
    std::int32_t* cell = labels.row(y);
    cell[0] = 0;
    cell[width + 1] = 0;
    const std::uint8_t* colourUp = above.data();
    const std::uint8_t* colour = here.data();
    // The left and upper-left neighbours are the last pixel's own and upper
    // values, carried in registers rather than read back from the map.
    unsigned leftColour = 1;  // the frame column: light
    unsigned upperLeftColour = 1;
    std::int32_t leftLabel = 0;
    std::int32_t upperLeftLabel = up[0];
    for (int x = 1; x <= width; ++x) {
      // Left, upper and upper-left are tried in that order; when left and
      // upper both match, the upper label is taken and the two merge. On a
      // grainy picture the colours are unpredictable, so the label is
      // chosen without branching and the one branch left is the rare one.
      const unsigned c = colour[x];
      const unsigned upperColour = colourUp[x];
      const std::int32_t upperLabel = up[x];
      const unsigned left = leftColour == c;
      const unsigned upper = upperColour == c;
      const unsigned upperLeft = upperLeftColour == c;
      const std::int32_t sideLabel = left ? leftLabel : upperLeftLabel;
      std::int32_t label = upper ? upperLabel : sideLabel;
      const unsigned code = left | (upper << 1) | (upperLeft << 2) |
                            (unsigned{leftLabel != upperLabel} << 3);
      if ((kMergeOrAllocate >> code) & 1U) {
        if (left) {
          // Rows mostly repeat the labels of the row above, so unequal
          // labels are rare inside a region.
          provisional.Merge(leftLabel, upperLabel, figures);
        } else {
          label = provisional.Add(figures.Allocate(c ? kLightFigure : kDarkFigure));
        }
      }
      cell[x] = label;
      leftColour = c;
      leftLabel = label;
      upperLeftColour = upperColour;
      upperLeftLabel = upperLabel;
    }
    above.swap(here);
  }
}

// Second pass: final numbers into every cell, frame included, and the pairs
// of side-by-side cells in raster order (columns 2 to W against their left
// neighbours).
void NumberCellsAndPair(LabelMap& labels, const ProvisionalLabels& provisional, int figureSlots,
                        NestingPairList& pairs) {
  const int width = labels.width();
  const int height = labels.height();
  std::vector<std::int32_t> changes(static_cast<std::size_t>(width) + 1);
  std::vector<std::int32_t> partner(static_cast<std::size_t>(figureSlots) + 1, 0);
  for (int y = 0; y <= height + 1; ++y) {
    std::int32_t* cell = labels.row(y);
    cell[0] = provisional.NumberOf(cell[0]);
    cell[width + 1] = provisional.NumberOf(cell[width + 1]);
    if (y < 1 || y > height || width < 1) {
      for (int x = 1; x <= width; ++x) cell[x] = provisional.NumberOf(cell[x]);
      continue;
    }
    // Columns where the figure changes and the pair differs from the last
    // one met in this row (along a boundary the same pair comes back at
    // once), gathered without branching: the changes are unpredictable.
    std::int32_t lastLeft = 0;
    std::int32_t lastRight = 0;
    std::size_t found = 0;
    std::int32_t left = cell[1] = provisional.NumberOf(cell[1]);
    for (int x = 2; x <= width; ++x) {
      const std::int32_t right = cell[x] = provisional.NumberOf(cell[x]);
      const bool same = left == right;
      const bool again = ((left == lastLeft) & (right == lastRight)) |
                         ((left == lastRight) & (right == lastLeft));
      const bool add = !(same | again);
      changes[found] = x;
      found += add;
      lastLeft = add ? left : lastLeft;
      lastRight = add ? right : lastRight;
      left = right;
    }
    for (std::size_t i = 0; i < found; ++i) {
      const std::int32_t a = cell[changes[i] - 1];
      const std::int32_t b = cell[changes[i]];
      // A small figure keeps meeting its one neighbour: remembering each
      // figure's last partner spares most lookups in the pair set.
      if (partner[static_cast<std::size_t>(a)] == b || partner[static_cast<std::size_t>(b)] == a)
        continue;
      partner[static_cast<std::size_t>(a)] = b;
      partner[static_cast<std::size_t>(b)] = a;
      pairs.Add(a, b);
    }
  }
}

}  // namespace

FigureSet Parse(const PixelImage& work) {
  FigureSet set;
  set.labels = LabelMap::Unfilled(work.width(), work.height());
  ProvisionalLabels provisional(1024);
  LabelPixels(work, set.labels, set.figures, provisional);
  provisional.Resolve();
  NumberCellsAndPair(set.labels, provisional, set.figures.size(), set.pairs);
  set.tree = FillTree(set.figures, set.pairs);
  return set;
}

}  // namespace vertolin
