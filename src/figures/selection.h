// The Selection layer for a figure clicked in the tree: the Work layer with
// every pixel of that figure painted green.
#pragma once

#include <cstdint>

#include "figures/label_map.h"
#include "picture/pixel_image.h"

namespace vertolin {

// A map left from an earlier picture of another size is applied to the part
// both cover.
PixelImage SelectionOf(const PixelImage& work, const LabelMap& labels, std::int32_t figure);

}  // namespace vertolin
