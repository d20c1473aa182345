// The five cutting filters exactly as defined, pixel by pixel through the
// picture's own accessors: slow, and plainly right.
#pragma once

#include <algorithm>
#include <cstdint>

#include "modes/cutting/picture_filters.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin::test {

inline bool IsDark(const PixelImage& p, int x, int y) { return p.Grey(x, y) < 100; }

// Σ 2^b over the dark cells, b row by row from the top left.
inline std::size_t Code(const PixelImage& p, int x, int y) {
  std::size_t code = 0;
  for (int b = 0; b < 9; ++b) {
    if (IsDark(p, x + b % 3 - 1, y + b / 3 - 1)) code += std::size_t{1} << b;
  }
  return code;
}

// Applies `filter` to `p`; true when CR whitened a pixel.
inline bool Reference(CuttingFilter filter, PixelImage& p) {
  const PixelImage snapshot = p;
  const int margin = filter == CuttingFilter::CN ? 3 : 2;
  bool changed = false;
  for (int y = margin; y <= p.height() - margin + 1; ++y) {
    for (int x = margin; x <= p.width() - margin + 1; ++x) {
      const std::size_t at = p.Offset(x, y);
      switch (filter) {
        case CuttingFilter::ST: {
          const double grey = RoundHalfEven(0.3 * p.bytes()[at + 2] + 0.59 * p.bytes()[at + 1] +
                                            0.11 * p.bytes()[at]);
          p.SetGrey(x, y, grey >= 100 ? 255 : static_cast<std::uint8_t>(grey));
          break;
        }
        case CuttingFilter::CN: {
          const double k = 2;
          double s = (k + 2) * snapshot.Grey(x, y);
          for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
              if (dx != 0 || dy != 0) s -= k * snapshot.Grey(x + dx, y + dy) / 8;
            }
          }
          s = std::clamp(s, 0.0, 255.0);
          p.SetGrey(x, y, static_cast<std::uint8_t>(RoundHalfEven(s)));
          break;
        }
        case CuttingFilter::CR:
          if (IsDark(p, x, y) &&
              std::count(kRemovalCodeList.begin(), kRemovalCodeList.end(), Code(p, x, y)) == 1) {
            p.SetGrey(x, y, 255);
            changed = true;
          }
          break;
        case CuttingFilter::CL: {
          if (!IsDark(snapshot, x, y)) break;
          int dark = 0;
          for (int b = 0; b < 9; ++b) dark += IsDark(snapshot, x + b % 3 - 1, y + b / 3 - 1);
          if (dark < 3) p.SetGrey(x, y, 255);
          break;
        }
        case CuttingFilter::GS:
          p.SetGrey(x, y, IsDark(p, x, y) ? 0 : 255);
          break;
      }
    }
  }
  return changed;
}

}  // namespace vertolin::test
