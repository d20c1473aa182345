#include "modes/scanner/height_picture.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "modes/scanner/height_map.h"
#include "modes/scanner/mesh_view.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

constexpr int kLeastNodes = 4;

// Base node and offset along one axis: node = pixel ÷ (side ÷ (nodes − 1)) + 1,
// the base held within 2 … nodes − 2 so that base − 1 … base + 2 exist.
struct AxisPlace {
  int base = 0;
  double offset = 0;
};
AxisPlace Place(int pixel, int side, int nodes) {
  // A picture 0 wide is the one column of the first node (and no 0 ÷ 0).
  const double u = side == 0 ? 1.0 : pixel / (side / static_cast<double>(nodes - 1)) + 1.0;
  const double base = std::clamp(std::floor(u), 2.0, static_cast<double>(nodes - 2));
  // Exact, as stepping the base one node at a time would be.
  return {static_cast<int>(base), u - base};
}

// The numerators of the basis on the nodes −1, 0, 1, 2, and their divisors.
double Numerator(int node, double t) {
  switch (node) {
    case -1:
      return t * (t - 1) * (t - 2);
    case 0:
      return (t - 1) * (t - 2) * (t + 1);
    case 1:
      return (t + 1) * t * (t - 2);
    default:
      return (t + 1) * t * (t - 1);
  }
}
double Divisor(int node) {
  switch (node) {
    case -1:
      return -6;
    case 0:
      return 2;
    case 1:
      return -2;
    default:
      return 6;
  }
}

struct Term {
  int i;
  int j;
};
// The order the sixteen terms are added in, so that every pixel sums alike.
constexpr std::array<Term, 16> kTerms = {{{0, 0},
                                          {1, 0},
                                          {0, 1},
                                          {1, 1},
                                          {-1, 0},
                                          {0, -1},
                                          {-1, 1},
                                          {1, -1},
                                          {2, 0},
                                          {0, 2},
                                          {-1, -1},
                                          {2, 1},
                                          {1, 2},
                                          {2, -1},
                                          {-1, 2},
                                          {2, 2}}};

bool Interpolable(const HeightMap& map) {
  return map.meshX() >= kLeastNodes && map.meshY() >= kLeastNodes;
}

}  // namespace

double InterpolatedHeight(const HeightMap& map, int width, int height, int p, int q) {
  const AxisPlace x = Place(p, width, map.meshX());
  const AxisPlace y = Place(q, height, map.meshY());
  double sum = 0;
  for (const Term term : kTerms) {
    // One closed product per weight.
    const double weight = Numerator(term.i, x.offset) * Numerator(term.j, y.offset) /
                          (Divisor(term.i) * Divisor(term.j));
    sum += weight * map.At(x.base + term.i, y.base + term.j);
  }
  return sum;
}

std::uint8_t InterpolatedGrey(const HeightMap& map, int width, int height, int p, int q) {
  // Clipped before the conversion: raw values of a stopped scan overshoot far.
  const double grey = std::clamp(RoundHalfEven(InterpolatedHeight(map, width, height, p, q)), 0.0,
                                 255.0);
  return static_cast<std::uint8_t>(grey);
}

std::string_view InterpolateInto(PixelImage& view, const HeightMap& map, int width, int height) {
  if (!Interpolable(map)) return texts::kInterpolationNeedsNodes;
  const int lastP = std::min(width, view.width() - 1 - kViewMargin);
  const int lastQ = std::min(height, view.height() - 1 - kViewMargin);
  for (int p = 0; p <= lastP; ++p) {
    for (int q = 0; q <= lastQ; ++q) {
      // 1-based picture coordinates of the 0-based pixel (p + 9, q + 9).
      view.SetGrey(p + kViewMargin + 1, q + kViewMargin + 1,
                   InterpolatedGrey(map, width, height, p, q));
    }
  }
  return {};
}

}  // namespace vertolin
