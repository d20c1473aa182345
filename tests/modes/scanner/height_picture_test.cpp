#include "modes/scanner/height_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "modes/scanner/height_map.h"
#include "modes/scanner/mesh_view.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

HeightMap MapOf(int meshX, int meshY, const std::function<double(int, int)>& height) {
  HeightMap map(meshX, meshY);
  for (int y = 1; y <= meshY; ++y) {
    for (int x = 1; x <= meshX; ++x) map.Set(x, y, static_cast<std::int32_t>(height(x, y)));
  }
  return map;
}

// Lagrange through the four nodes first … first + 3, evaluated at `at`.
double Lagrange(int first, double at, const std::function<double(int)>& value) {
  double sum = 0;
  for (int k = first; k < first + 4; ++k) {
    double basis = 1;
    for (int m = first; m < first + 4; ++m) {
      if (m != k) basis *= (at - m) / (k - m);
    }
    sum += basis * value(k);
  }
  return sum;
}

// The height straight from the mesh position: the four nodes nearest to it
// that lie inside the mesh, one axis after the other.
double Reference(const HeightMap& map, int width, int height, int p, int q) {
  const double u = 1.0 + p * (map.meshX() - 1.0) / width;
  const double v = 1.0 + q * (map.meshY() - 1.0) / height;
  const int firstX = std::clamp(static_cast<int>(std::floor(u)), 2, map.meshX() - 2) - 1;
  const int firstY = std::clamp(static_cast<int>(std::floor(v)), 2, map.meshY() - 2) - 1;
  return Lagrange(firstY, v, [&](int y) {
    return Lagrange(firstX, u, [&](int x) { return static_cast<double>(map.At(x, y)); });
  });
}

TEST(HeightPictureTest, MatchesTheDirectInterpolation) {
  std::mt19937 random(3);
  struct Case {
    int meshX, meshY, width, height;
  };
  for (const Case c :
       {Case{4, 5, 30, 40}, Case{6, 5, 200, 200}, Case{8, 7, 37, 23}, Case{4, 4, 3, 5}}) {
    SCOPED_TRACE(std::to_string(c.meshX) + " x " + std::to_string(c.meshY));
    const HeightMap map = MapOf(c.meshX, c.meshY,
                                [&](int, int) { return static_cast<double>(random() % 256); });
    for (int p = 0; p <= c.width; ++p) {
      for (int q = 0; q <= c.height; ++q) {
        const double expected = Reference(map, c.width, c.height, p, q);
        ASSERT_NEAR(InterpolatedHeight(map, c.width, c.height, p, q), expected, 1e-9)
            << p << "," << q;
        const double grey = RoundHalfEven(InterpolatedHeight(map, c.width, c.height, p, q));
        EXPECT_EQ(InterpolatedGrey(map, c.width, c.height, p, q), std::clamp(grey, 0.0, 255.0));
      }
    }
  }
}

TEST(HeightPictureTest, NodesComeBackExactlyAndOvershootIsClipped) {
  // 6 × 5 nodes over 200 × 200: node (x, y) at pixel (40 (x − 1), 50 (y − 1)),
  // the edge nodes through the held-in base node.
  std::mt19937 random(5);
  const HeightMap map = MapOf(6, 5, [&](int, int) { return static_cast<double>(random() % 256); });
  for (int x = 1; x <= 6; ++x) {
    for (int y = 1; y <= 5; ++y) {
      EXPECT_EQ(InterpolatedHeight(map, 200, 200, 40 * (x - 1), 50 * (y - 1)), map.At(x, y));
    }
  }
  // Raw values far out of range are clipped, not wrapped.
  const HeightMap raw = MapOf(4, 5, [](int x, int) { return x % 2 ? -2e9 : 2e9; });
  EXPECT_EQ(InterpolatedGrey(raw, 30, 40, 0, 0), 0);
  EXPECT_EQ(InterpolatedGrey(raw, 30, 40, 10, 0), 255);
}

TEST(HeightPictureTest, ConstantMapStaysConstantAndTheFillMatchesEveryPixel) {
  for (const int c : {0, 77, 255}) {
    PixelImage view(300, 250);
    ASSERT_EQ(InterpolateInto(view, MapOf(9, 7, [c](int, int) { return c; }), 277, 227), "");
    for (int row = 10; row <= 237; ++row) {
      for (int column = 10; column <= 287; ++column) ASSERT_EQ(view.Grey(column, row), c);
    }
  }
  // The column and row parts computed once give every pixel exactly the
  // per-pixel sum, raw out-of-range values included.
  std::mt19937 random(8);
  const HeightMap map = MapOf(13, 11, [&](int, int) { return int(random() % 900) - 300; });
  PixelImage view(501 + kViewExtra, 333 + kViewExtra);
  ASSERT_EQ(InterpolateInto(view, map, 501, 333), "");
  for (int q = 0; q <= 333; ++q) {
    for (int p = 0; p <= 501; ++p) {
      ASSERT_EQ(view.Grey(p + kViewMargin + 1, q + kViewMargin + 1),
                InterpolatedGrey(map, 501, 333, p, q));
    }
  }
}

TEST(HeightPictureTest, PaintsInsideTheMarginOnlyAndRefusesSmallMaps) {
  const HeightMap map = MapOf(4, 5, [](int x, int y) { return 40 * x + 10 * y; });
  // A picture 30 × 40 in a box made for it; then one too wide for its box.
  for (const int width : {30, 60}) {
    PixelImage view(30 + kViewExtra, 40 + kViewExtra);
    const PixelImage before = view;
    ASSERT_EQ(InterpolateInto(view, map, width, 40), "");
    for (int row = 0; row < view.height(); ++row) {
      for (int column = 0; column < view.width(); ++column) {
        const int p = column - kViewMargin;
        const int q = row - kViewMargin;
        const bool inside = p >= 0 && p <= width && q >= 0 && q <= 40;
        EXPECT_EQ(view.Grey(column + 1, row + 1), inside ? InterpolatedGrey(map, width, 40, p, q)
                                                         : before.Grey(column + 1, row + 1));
      }
    }
  }
  for (const HeightMap& small : {HeightMap(), HeightMap(3, 5), HeightMap(4, 3)}) {
    PixelImage view(52, 62);
    const PixelImage before = view;
    EXPECT_EQ(InterpolateInto(view, small, 30, 40), texts::kInterpolationNeedsNodes);
    EXPECT_EQ(view, before);
  }
}

}  // namespace
}  // namespace vertolin
