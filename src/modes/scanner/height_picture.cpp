#include "modes/scanner/height_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

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

// The three factors of the basis on the nodes −1, 0, 1, 2 in the order they
// are multiplied, and the basis' divisor.
using Factors = std::array<double, 3>;
Factors FactorsOf(int node, double t) {
  switch (node) {
    case -1:
      return {t, t - 1, t - 2};
    case 0:
      return {t - 1, t - 2, t + 1};
    case 1:
      return {t + 1, t, t - 2};
    default:
      return {t + 1, t, t - 1};
  }
}
constexpr double Divisor(int node) {
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

// Each weight is one closed product taken left to right, the three X factors
// then the three Y factors, divided once by the product of the divisors:
// (fx − 1)(fx − 2)(fx + 1)(fy − 1)(fy − 2)(fy + 1) ÷ 4 for (0, 0). So the
// X part is a prefix of the product and can be computed once per column,
// the rest multiplied in per pixel without changing a single rounding.
double XPrefix(int i, double fx) {
  const Factors f = FactorsOf(i, fx);
  return f[0] * f[1] * f[2];
}
double Weight(double xPrefix, const Factors& y, double divisor) {
  return xPrefix * y[0] * y[1] * y[2] / divisor;
}

bool Interpolable(const HeightMap& map) {
  return map.meshX() >= kLeastNodes && map.meshY() >= kLeastNodes;
}

std::uint8_t Grey(double height) {
  // Clipped before the conversion: raw values of a stopped scan overshoot far.
  return static_cast<std::uint8_t>(std::clamp(RoundHalfEven(height), 0.0, 255.0));
}

}  // namespace

double InterpolatedHeight(const HeightMap& map, int width, int height, int p, int q) {
  const AxisPlace x = Place(p, width, map.meshX());
  const AxisPlace y = Place(q, height, map.meshY());
  double sum = 0;
  for (const Term term : kTerms) {
    const double weight = Weight(XPrefix(term.i, x.offset), FactorsOf(term.j, y.offset),
                                 Divisor(term.i) * Divisor(term.j));
    sum += weight * map.At(x.base + term.i, y.base + term.j);
  }
  return sum;
}

std::uint8_t InterpolatedGrey(const HeightMap& map, int width, int height, int p, int q) {
  return Grey(InterpolatedHeight(map, width, height, p, q));
}

std::string_view InterpolateInto(PixelImage& view, const HeightMap& map, int width, int height) {
  if (!Interpolable(map)) return texts::kInterpolationNeedsNodes;
  const int lastP = std::min(width, view.width() - 1 - kViewMargin);
  const int lastQ = std::min(height, view.height() - 1 - kViewMargin);
  if (lastP < 0 || lastQ < 0) return {};
  const std::size_t columns = static_cast<std::size_t>(lastP) + 1;

  // What depends on the column alone: its base node and the X prefix of
  // every term's weight.
  std::vector<int> baseX(columns);
  std::vector<std::array<double, kTerms.size()>> prefix(columns);
  for (int p = 0; p <= lastP; ++p) {
    const AxisPlace x = Place(p, width, map.meshX());
    baseX[static_cast<std::size_t>(p)] = x.base;
    for (std::size_t k = 0; k < kTerms.size(); ++k) {
      prefix[static_cast<std::size_t>(p)][k] = XPrefix(kTerms[k].i, x.offset);
    }
  }
  std::array<double, kTerms.size()> divisor{};
  for (std::size_t k = 0; k < kTerms.size(); ++k) {
    divisor[k] = Divisor(kTerms[k].i) * Divisor(kTerms[k].j);
  }

  std::uint8_t* bytes = view.bytes().data();
  for (int q = 0; q <= lastQ; ++q) {
    // What depends on the row alone: its base node and the Y factors.
    const AxisPlace y = Place(q, height, map.meshY());
    std::array<Factors, kTerms.size()> factorsY{};
    std::array<int, kTerms.size()> rowY{};
    for (std::size_t k = 0; k < kTerms.size(); ++k) {
      factorsY[k] = FactorsOf(kTerms[k].j, y.offset);
      rowY[k] = y.base + kTerms[k].j;
    }
    std::uint8_t* pixel = bytes + view.Offset(kViewMargin + 1, q + kViewMargin + 1);
    for (std::size_t p = 0; p < columns; ++p, pixel += PixelImage::kBytesPerPixel) {
      double sum = 0;
      for (std::size_t k = 0; k < kTerms.size(); ++k) {
        const double weight = Weight(prefix[p][k], factorsY[k], divisor[k]);
        sum += weight * map.At(baseX[p] + kTerms[k].i, rowY[k]);
      }
      const std::uint8_t grey = Grey(sum);
      pixel[0] = pixel[1] = pixel[2] = grey;
    }
  }
  return {};
}

}  // namespace vertolin
