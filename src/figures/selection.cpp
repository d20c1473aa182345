#include "figures/selection.h"

#include <algorithm>

namespace vertolin {

PixelImage SelectionOf(const PixelImage& work, const LabelMap& labels, std::int32_t figure) {
  PixelImage selection = work;
  const int width = std::min(work.width(), labels.width());
  const int height = std::min(work.height(), labels.height());
  for (int y = 1; y <= height; ++y) {
    const std::int32_t* cell = labels.row(y);
    for (int x = 1; x <= width; ++x) {
      if (cell[x] == figure) selection.SetPixel(x, y, 0, 255, 0);
    }
  }
  return selection;
}

}  // namespace vertolin
