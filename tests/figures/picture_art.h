// Small test pictures drawn as text: '#' black, '.' white, one string a row.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "figures/figure_table.h"
#include "figures/figure_tree.h"
#include "figures/nesting_pairs.h"
#include "figures/outline.h"
#include "picture/pixel_image.h"

namespace vertolin {

inline PixelImage PictureFromArt(const std::vector<std::string>& rows) {
  PixelImage image(rows.empty() ? 0 : static_cast<int>(rows[0].size()),
                   static_cast<int>(rows.size()));
  for (int y = 1; y <= image.height(); ++y) {
    for (int x = 1; x <= image.width(); ++x) {
      if (rows[static_cast<std::size_t>(y - 1)][static_cast<std::size_t>(x - 1)] == '#')
        image.SetGrey(x, y, 0);
    }
  }
  return image;
}

// Readable failure messages.
inline void PrintTo(const Figure& f, std::ostream* os) {
  *os << "{level " << f.level << ", colour " << f.colour << ", state " << f.state << "}";
}
inline void PrintTo(const NestingPair& p, std::ostream* os) {
  *os << "(" << p.outer << ", " << p.inner << ")";
}
inline void PrintTo(const FigureTreeNode& n, std::ostream* os) {
  *os << "P" << n.figure << "<P" << n.parent;
}
inline void PrintTo(const Step& s, std::ostream* os) { *os << "(" << s.dx << ", " << s.dy << ")"; }
inline void PrintTo(const Pixel& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

}  // namespace vertolin
