#include "picture/offset_gradient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

// --- The operations exactly as the milling window defines them, pixel by
// pixel over the whole square of each pixel: slow, and plainly right.

long long DirectBound(double radius) {
  double bound = RoundHalfEven(radius);
  if (bound < radius) bound += 1;
  return static_cast<long long>(bound);
}

bool WithinRadius(long long i, long long j, double radius) {
  return static_cast<double>(i * i + j * j) <= radius * radius;
}

PixelImage DirectGradient(const PixelImage& a, double r) {
  PixelImage c = a;
  if (!std::isfinite(r)) return c;
  const long long R = DirectBound(r);
  if (R < 0) return c;  // an empty square: nothing to compare
  for (long long y = R + 1; y <= a.height() - R; ++y) {
    for (long long x = R + 1; x <= a.width() - R; ++x) {
      const int grey = a.Grey(static_cast<int>(x), static_cast<int>(y));
      for (long long y2 = y - R; y2 <= y + R; ++y2) {
        for (long long x2 = x - R; x2 <= x + R; ++x2) {
          if (WithinRadius(x - x2, y - y2, r) &&
              std::abs(grey - a.Grey(static_cast<int>(x2), static_cast<int>(y2))) > 10) {
            c.SetPixel(static_cast<int>(x), static_cast<int>(y), 255, 255, 255);
          }
        }
      }
    }
  }
  return c;
}

PixelImage DirectOffset(const PixelImage& a, double d) {
  PixelImage c = a;
  if (!std::isfinite(d)) return c;
  const long long D = DirectBound(d);
  if (D < 0) return c;
  for (long long y = D + 1; y <= a.height() - D; ++y) {
    for (long long x = D + 1; x <= a.width() - D; ++x) {
      for (long long y2 = y - D; y2 <= y + D; ++y2) {
        for (long long x2 = x - D; x2 <= x + D; ++x2) {
          if (WithinRadius(x - x2, y - y2, d) &&
              a.Grey(static_cast<int>(x2), static_cast<int>(y2)) == 255) {
            c.SetPixel(static_cast<int>(x), static_cast<int>(y), 255, 255, 255);
          }
        }
      }
    }
  }
  return c;
}

// The passes as functions of their source.
PixelImage Gradient(const PixelImage& base, double r) {
  PixelImage work(3, 2);  // a Work layer left from an earlier picture
  GradientPass(base, r, work);
  return work;
}

PixelImage Offset(PixelImage work, double d) {
  OffsetPass(work, d);
  return work;
}

// --- Pictures.

PixelImage Filled(int width, int height, std::uint8_t grey) {
  PixelImage picture(width, height);
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x <= width; ++x) picture.SetGrey(x, y, grey);
  return picture;
}

bool IsWhite(const PixelImage& p, int x, int y) {
  const std::size_t at = p.Offset(x, y);
  return p.bytes()[at] == 255 && p.bytes()[at + 1] == 255 && p.bytes()[at + 2] == 255;
}

// Random pictures of the kinds the passes meet: noise, flat areas with steps
// just above and at the threshold, sparse dots on a flat ground (so that
// the nearest step lies anywhere in or just outside the disc), and smooth
// slopes. Green, red and the row padding are random too: they must never be
// read and only the whitened pixels' bytes may change.
enum class Kind { Noise, Areas, Dots, Slope };

PixelImage RandomPicture(std::mt19937& random, int width, int height, Kind kind, double density) {
  PixelImage p(width, height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::uint8_t& b : p.bytes()) b = static_cast<std::uint8_t>(byte(random));
  std::uniform_real_distribution<double> unit(0, 1);
  const std::vector<int> levels = {0, 40, 50, 51, 100, 200, 244, 245, 254, 255};
  const int ground = levels[random() % levels.size()];
  std::vector<int> marks;  // rectangles for Areas: x0, y0, x1, y1, level
  for (int k = 0; k < 6; ++k) {
    const int x0 = 1 + static_cast<int>(random() % width);
    const int y0 = 1 + static_cast<int>(random() % height);
    marks.insert(marks.end(),
                 {x0, y0, x0 + static_cast<int>(random() % 20),
                  y0 + static_cast<int>(random() % 20), levels[random() % levels.size()]});
  }
  const double slopeX = unit(random) * 4 - 2;
  const double slopeY = unit(random) * 4 - 2;
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      int grey = ground;
      switch (kind) {
        case Kind::Noise:
          grey = unit(random) < density ? byte(random) : ground + static_cast<int>(random() % 5);
          break;
        case Kind::Areas:
          for (std::size_t m = 0; m < marks.size(); m += 5) {
            if (x >= marks[m] && x <= marks[m + 2] && y >= marks[m + 1] && y <= marks[m + 3])
              grey = marks[m + 4];
          }
          break;
        case Kind::Dots:
          if (unit(random) < density)
            grey = ground + (random() % 2 ? 1 : -1) * (10 + static_cast<int>(random() % 3));
          break;
        case Kind::Slope:
          grey = ground + static_cast<int>(slopeX * x + slopeY * y);
          break;
      }
      p.bytes()[p.Offset(x, y)] = static_cast<std::uint8_t>(std::clamp(grey, 0, 255));
    }
  }
  return p;
}

// White pixels (blue 255) at a density, some of them with other colours in
// green and red; light greys up to 254 around them.
PixelImage RandomWork(std::mt19937& random, int width, int height, double density) {
  PixelImage p(width, height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::uint8_t& b : p.bytes()) b = static_cast<std::uint8_t>(byte(random));
  std::uniform_real_distribution<double> unit(0, 1);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      const double roll = unit(random);
      std::uint8_t blue = 0;
      if (roll < density) {
        blue = 255;
      } else if (roll < density + 0.2) {
        blue = static_cast<std::uint8_t>(101 + random() % 154);  // 101 … 254
      } else {
        blue = static_cast<std::uint8_t>(random() % 101);
      }
      p.bytes()[p.Offset(x, y)] = blue;
    }
  }
  return p;
}

const std::vector<double> kRadii = {0,   0.3, 0.5,  0.99, 1,    1.2, 1.5,  2,   2.2,  2.5,
                                    2.9, 3,   3.49, 3.5,  4.1,  4.5, 5,    5.5, 6.5,  7.07,
                                    7.5, 8.6, 10,   10.5, 12.5, 13,  17,   20,  24.5, 29.5,
                                    31,  45,  100,  -0.3, -0.5, -1,  -2.5, 1e12};

std::string Case(int width, int height, double radius, int round) {
  return std::to_string(width) + "x" + std::to_string(height) + " r=" + FieldText(radius) + " #" +
         std::to_string(round);
}

// The size of a random-picture round: the fixed sizes first, then random
// ones up to 60 × 60.
std::pair<int, int> RoundSize(std::mt19937& random, int round,
                              const std::vector<std::pair<int, int>>& fixedSizes) {
  if (round < static_cast<int>(fixedSizes.size())) return fixedSizes[round];
  const int width = 1 + static_cast<int>(random() % 60);
  const int height = 1 + static_cast<int>(random() % 60);
  return {width, height};
}

// "Градиент" matches the direct definition into a new Work layer, on the
// Base layer whitened where it stands, and into a layer of the same size
// holding other bytes.
void ExpectGradientAsDefined(std::mt19937& random, const PixelImage& base, double r,
                             const std::string& label) {
  const PixelImage expected = DirectGradient(base, r);
  ASSERT_EQ(Gradient(base, r), expected) << label;
  PixelImage same = base;
  GradientPass(same, r, same);
  ASSERT_EQ(same, expected) << label;
  PixelImage layer = RandomPicture(random, base.width(), base.height(), Kind::Noise, 1.0);
  GradientPass(base, r, layer);
  ASSERT_EQ(layer, expected) << label;
}

// --- The radius and its bound.

TEST(ToolRadius, BoundIsTheSmallestWholeNumberNotBelowTheRadius) {
  EXPECT_EQ(WholeBound(0), 0);
  EXPECT_EQ(WholeBound(0.4), 1);
  EXPECT_EQ(WholeBound(2.5), 3);   // rounds to 2 (halves to even), which is below
  EXPECT_EQ(WholeBound(3.49), 4);  // rounds to 3, below
  EXPECT_EQ(WholeBound(3.5), 4);
  EXPECT_EQ(WholeBound(3.51), 4);
  EXPECT_EQ(WholeBound(4), 4);
  EXPECT_EQ(WholeBound(-0.5), 0);
  EXPECT_EQ(WholeBound(-1), -1);
  EXPECT_EQ(WholeBound(-1.5), -1);
  EXPECT_EQ(WholeBound(2147483646.6), 2147483647);
  EXPECT_EQ(WholeBound(2147483647.2), std::nullopt);
  EXPECT_EQ(WholeBound(3e9), std::nullopt);
  EXPECT_EQ(WholeBound(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(WholeBound(std::nan("")), std::nullopt);
}

TEST(ToolRadius, PixelsFromTheFields) {
  // A 3 mm tool on a 500-pixel picture finished 200 mm wide.
  EXPECT_DOUBLE_EQ(ToolRadiusPixels(3, 500, 200), 3.75);
  EXPECT_DOUBLE_EQ(ToolDiameterPixels(3, 500, 200), 7.5);
  EXPECT_TRUE(std::isnan(ToolRadiusPixels(0, 500, 0)));
  // An undefined scale changes nothing.
  const PixelImage picture = Filled(9, 9, 0);
  EXPECT_EQ(Gradient(picture, ToolRadiusPixels(0, 9, 0)), picture);
  EXPECT_EQ(Offset(picture, ToolDiameterPixels(3, 9, 0)), picture);
}

// --- Both passes against the direct definition, byte for byte.

TEST(GradientPass, MatchesTheDirectDefinitionOnRandomPictures) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 60; ++round) {
    const auto [width, height] = RoundSize(random, round,
                                           {{1, 1}, {1, 60}, {60, 1}, {2, 2}, {3, 7}, {60, 60}});
    const auto kind = static_cast<Kind>(round % 4);
    const double density = std::vector<double>{0.002, 0.01, 0.05, 0.3, 1.0}[round % 5];
    const PixelImage base = RandomPicture(random, width, height, kind, density);
    for (double r : kRadii) {
      ASSERT_NO_FATAL_FAILURE(
          ExpectGradientAsDefined(random, base, r, Case(width, height, r, round)));
    }
  }
}

// Pictures wider than a strip of columns, with smooth slopes and soft edges
// (so that many pixels have their nearest step about a radius away), dots on
// a flat ground and noise: every strip, every cap and the seams between
// strips meet the direct definition.
TEST(GradientPass, MatchesTheDirectDefinitionAcrossStrips) {
  std::mt19937 random(31337);
  const int width = 1400;
  const int height = 44;
  for (const Kind kind : {Kind::Slope, Kind::Dots, Kind::Noise}) {
    PixelImage base = RandomPicture(random, width, height, kind, 0.01);
    if (kind == Kind::Slope) {
      // Ripples of several lengths on top of the slope.
      for (int y = 1; y <= height; ++y) {
        for (int x = 1; x <= width; ++x) {
          const double wave = 30 * std::sin(x / 37.0) + 20 * std::cos((x + 3 * y) / 23.0) +
                              10 * std::sin(y / 7.0);
          base.bytes()[base.Offset(x, y)] =
              static_cast<std::uint8_t>(std::clamp(128 + wave, 0.0, 255.0));
        }
      }
    }
    for (double r : {6.0, 7.5, 10.5, 13.0, 16.2}) {
      ASSERT_NO_FATAL_FAILURE(
          ExpectGradientAsDefined(random, base, r, Case(width, height, r, static_cast<int>(kind))));
    }
  }
}

TEST(OffsetPass, MatchesTheDirectDefinitionOnRandomPictures) {
  std::mt19937 random(77);
  for (int round = 0; round < 60; ++round) {
    const auto [width, height] = RoundSize(random, round,
                                           {{1, 1}, {1, 60}, {60, 1}, {2, 2}, {5, 3}, {60, 60}});
    const double density = std::vector<double>{0, 0.002, 0.01, 0.05, 0.3, 0.7, 1.0}[round % 7];
    const PixelImage work = RandomWork(random, width, height, density);
    for (double d : kRadii) {
      ASSERT_EQ(Offset(work, d), DirectOffset(work, d)) << Case(width, height, d, round);
    }
  }
}

// --- The outlining window's "Градиент": the 3 × 3 square, margin 1.

PixelImage DirectNeighbourGradient(const PixelImage& a) {
  PixelImage c = a;
  for (int y = 2; y <= a.height() - 1; ++y) {
    for (int x = 2; x <= a.width() - 1; ++x) {
      for (int j = -1; j <= 1; ++j) {
        for (int i = -1; i <= 1; ++i) {
          if (std::abs(a.Grey(x, y) - a.Grey(x + i, y + j)) > 10) c.SetPixel(x, y, 255, 255, 255);
        }
      }
    }
  }
  return c;
}

TEST(NeighbourGradientPass, MatchesTheThreeByThreeDefinitionAndKeepsTheOuterRing) {
  std::mt19937 random(6303);
  for (int round = 0; round < 40; ++round) {
    const auto [width, height] = RoundSize(random, round,
                                           {{1, 1}, {2, 9}, {3, 3}, {9, 2}, {60, 60}});
    const PixelImage base = RandomPicture(random, width, height, static_cast<Kind>(round % 4),
                                          round % 2 == 0 ? 0.05 : 0.5);
    PixelImage work(1, 1);
    NeighbourGradientPass(base, work);
    ASSERT_EQ(work, DirectNeighbourGradient(base)) << Case(width, height, 1.5, round);
    PixelImage same = base;  // in place
    NeighbourGradientPass(same, same);
    ASSERT_EQ(same, work) << Case(width, height, 1.5, round);
  }
}

TEST(NeighbourGradientPass, FortyAndFiftyOneGetALineOnEachSideFortyAndFiftyNone) {
  for (int right : {50, 51}) {
    PixelImage base = Filled(12, 6, 40);
    for (int y = 1; y <= 6; ++y)
      for (int x = 7; x <= 12; ++x) base.SetGrey(x, y, static_cast<std::uint8_t>(right));
    PixelImage work;
    NeighbourGradientPass(base, work);
    for (int y = 1; y <= 6; ++y) {
      const bool inner = y >= 2 && y <= 5;
      const bool cut = right == 51 && inner;
      EXPECT_EQ(work.Grey(5, y), 40);
      EXPECT_EQ(work.Grey(6, y), cut ? 255 : 40) << y;
      EXPECT_EQ(work.Grey(7, y), cut ? 255 : right) << y;
      EXPECT_EQ(work.Grey(8, y), right);
    }
  }
}

// --- "Градиент".

TEST(GradientPass, OneGreyLevelStaysAsItIs) {
  const PixelImage base = Filled(30, 20, 90);
  for (double r : {1.0, 2.5, 7.0}) EXPECT_EQ(Gradient(base, r), base);
}

TEST(GradientPass, StepsOfTenKeepOneAreaAndStepsOfElevenAreCut) {
  // Left half blue 40, right half 50 or 51; the step lies between x = 20 and 21.
  for (int right : {50, 51}) {
    PixelImage base = Filled(40, 20, 40);
    for (int y = 1; y <= 20; ++y)
      for (int x = 21; x <= 40; ++x) base.SetGrey(x, y, static_cast<std::uint8_t>(right));
    const PixelImage work = Gradient(base, 2.5);  // R = 3
    if (right == 50) {
      EXPECT_EQ(work, base);
      continue;
    }
    for (int y = 4; y <= 17; ++y) {
      for (int x = 4; x <= 37; ++x) {
        // Whitened exactly within r of the other side: columns 19 … 22.
        EXPECT_EQ(IsWhite(work, x, y), x >= 19 && x <= 22) << x << "," << y;
      }
    }
    // The margin of R = 3 keeps the Base colour, band or not.
    for (int x : {1, 3, 38, 40}) EXPECT_EQ(work.Grey(x, 10), base.Grey(x, 10));
    for (int y : {1, 3, 18, 20}) EXPECT_EQ(work.Grey(20, y), 40);
  }
}

TEST(GradientPass, ADotWhitensTheDiscOfTheFractionalRadiusWithinTheWholeBound) {
  // r = 3.49: R = 4, so the margin is four pixels wide, while the disc holds
  // offsets with i² + j² ≤ 12.18: (3, 1) is in it, (3, 2) and (0, 4) are not.
  PixelImage base = Filled(21, 21, 100);
  base.SetGrey(11, 11, 120);
  const PixelImage work = Gradient(base, 3.49);
  for (int y = 1; y <= 21; ++y) {
    for (int x = 1; x <= 21; ++x) {
      const int i = x - 11;
      const int j = y - 11;
      const bool inside = x >= 5 && x <= 17 && y >= 5 && y <= 17;
      EXPECT_EQ(IsWhite(work, x, y), inside && i * i + j * j <= 12) << x << "," << y;
    }
  }
}

TEST(GradientPass, ADotWhitensExactlyItsDiscAtLargerRadii) {
  // Every pixel of the disc around the dot sees it at a different offset,
  // out to the disc's widest row and tallest column.
  for (double r : {5.0, 7.5, 10.7, 16.2}) {
    const int R = *WholeBound(r);
    const int size = 4 * R + 1;
    const int centre = 2 * R + 1;
    PixelImage base = Filled(size, size, 30);
    base.SetGrey(centre, centre, 0);
    const PixelImage work = Gradient(base, r);
    for (int y = 1; y <= size; ++y) {
      for (int x = 1; x <= size; ++x) {
        const int i = x - centre;
        const int j = y - centre;
        ASSERT_EQ(IsWhite(work, x, y), i * i + j * j <= r * r)
            << "r=" << r << " at " << i << "," << j;
      }
    }
  }
}

TEST(GradientPass, ReadsOnlyBlueAndWritesAllThreeBytes) {
  PixelImage base = Filled(15, 15, 60);
  for (int y = 1; y <= 15; ++y)
    for (int x = 1; x <= 15; ++x)
      base.SetPixel(x, y, 60, static_cast<std::uint8_t>(x * 17), static_cast<std::uint8_t>(y * 13));
  EXPECT_EQ(Gradient(base, 3), base);  // green and red steps do not count
  base.SetPixel(8, 8, 200, 1, 2);
  const PixelImage work = Gradient(base, 1);
  for (auto [x, y] : std::vector<std::pair<int, int>>{{8, 8}, {7, 8}, {8, 9}}) {
    EXPECT_TRUE(IsWhite(work, x, y)) << x << "," << y;
  }
  EXPECT_EQ(work.Grey(7, 7), 60);  // the diagonal is outside a radius of 1
}

TEST(GradientPass, TheWholeBoundNotTheRadiusSetsTheMargin) {
  PixelImage base = Filled(9, 12, 0);
  base.SetGrey(5, 6, 255);
  // r = 4: R = 4 leaves column 5 inside the margins.
  EXPECT_TRUE(IsWhite(Gradient(base, 4), 5, 6));
  // r = 4.01: R = 5, so no column has a full margin on a 9-pixel width.
  EXPECT_EQ(Gradient(base, 4.01), base);
}

// --- "Отступить".

TEST(OffsetPass, ANarrowBarVanishesAndAWideOneShrinksByTheDiameter) {
  for (int barWidth : {8, 20}) {
    PixelImage work(40, 30);  // white
    for (int y = 6; y <= 25; ++y)
      for (int x = 11; x < 11 + barWidth; ++x) work.SetGrey(x, y, 0);
    const PixelImage after = Offset(work, 4);  // D = 4
    int dark = 0;
    for (int y = 1; y <= 30; ++y)
      for (int x = 1; x <= 40; ++x) dark += after.Grey(x, y) == 0;
    if (barWidth == 8) {
      EXPECT_EQ(dark, 0);
    } else {
      // Columns 15 … 26 and rows 10 … 21 stay dark.
      EXPECT_EQ(dark, 12 * 12);
      EXPECT_EQ(after.Grey(15, 10), 0);
      EXPECT_EQ(after.Grey(14, 10), 255);
    }
  }
}

TEST(OffsetPass, TheMarginStaysDarkAfterAnyNumberOfPasses) {
  PixelImage work = Filled(30, 30, 0);
  for (int y = 10; y <= 20; ++y)
    for (int x = 10; x <= 20; ++x) work.SetGrey(x, y, 255);
  for (int pass = 0; pass < 5; ++pass) work = Offset(work, 2.5);  // D = 3
  for (int k = 1; k <= 30; ++k) {
    for (int edge : {1, 2, 3, 28, 29, 30}) {
      EXPECT_EQ(work.Grey(k, edge), 0) << k << "," << edge;
      EXPECT_EQ(work.Grey(edge, k), 0) << edge << "," << k;
    }
  }
  EXPECT_TRUE(IsWhite(work, 4, 4));
}

TEST(OffsetPass, OnlyPureWhiteSpreadsAndItsPixelsBecomeFullWhite) {
  PixelImage work = Filled(20, 20, 0);
  work.SetGrey(5, 5, 254);
  work.SetPixel(14, 14, 255, 0, 7);
  const PixelImage after = Offset(work, 1.5);
  EXPECT_EQ(after.Grey(6, 5), 0);  // light grey pushes nothing in
  EXPECT_EQ(after.Grey(5, 5), 254);
  EXPECT_TRUE(IsWhite(after, 14, 14));
  EXPECT_TRUE(IsWhite(after, 13, 13));  // 1² + 1² ≤ 1.5²
  EXPECT_FALSE(IsWhite(after, 12, 14));
  // Even a diameter below one pixel makes the blue-only white full white.
  EXPECT_TRUE(IsWhite(Offset(work, 0.4), 14, 14));
  EXPECT_EQ(Offset(work, -1), work);  // D = −1: an empty square
}

}  // namespace
}  // namespace vertolin
