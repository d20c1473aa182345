#include "modes/cutting/picture_filters.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "modes/cutting/filter_reference.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

using test::Reference;

// Every byte random, padding included, with blue often next to the dark limit.
PixelImage RandomPicture(int width, int height, std::mt19937& random) {
  PixelImage picture(width, height);
  for (auto& b : picture.bytes())
    b = static_cast<std::uint8_t>(random() % 4 == 0 ? 98 + random() % 4 : random());
  return picture;
}

TEST(PictureFilters, MatchTheirDefinitionsOnRandomPictures) {
  const int sizes[][2] = {{1, 1}, {2, 6}, {3, 3}, {4, 5}, {5, 5}, {7, 9}, {13, 6}, {16, 11}};
  std::mt19937 random(7);
  for (const CuttingFilter filter : {CuttingFilter::ST, CuttingFilter::CN, CuttingFilter::CR,
                                     CuttingFilter::CL, CuttingFilter::GS}) {
    const int margin = filter == CuttingFilter::CN ? 2 : 1;
    for (const auto& [width, height] : sizes) {
      std::vector<int> visited;
      for (int y = 1 + margin; y <= height - margin; ++y) visited.push_back(y);
      for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(FilterLabel(filter, width * 100 + height));
        PixelImage expected = RandomPicture(width, height, random);
        PixelImage actual = expected;
        const bool expectedChange = Reference(filter, expected);
        std::vector<int> rows;
        EXPECT_EQ(ApplyFilter(filter, actual, [&](int y) { rows.push_back(y); }),
                  filter == CuttingFilter::CR && expectedChange);
        ASSERT_EQ(actual.bytes(), expected.bytes());
        EXPECT_EQ(rows, visited);
      }
    }
  }
}

// Checks the reference on the values the filters are known by.
TEST(PictureFilters, KnownValues) {
  struct Case {
    CuttingFilter filter;
    std::uint8_t blue, green, red;  // every pixel of a 5 × 5 picture
    std::uint8_t centre;            // (3, 3) afterwards
  };
  const Case cases[] = {
      {CuttingFilter::ST, 100, 100, 100, 255}, {CuttingFilter::ST, 99, 99, 99, 99},
      {CuttingFilter::ST, 0, 0, 200, 60},      {CuttingFilter::CN, 40, 40, 40, 80},
      {CuttingFilter::CN, 200, 200, 200, 255}, {CuttingFilter::GS, 99, 255, 255, 0},
      {CuttingFilter::GS, 100, 0, 0, 255},
  };
  for (const Case& c : cases) {
    PixelImage picture(5, 5);
    for (int y = 1; y <= 5; ++y) {
      for (int x = 1; x <= 5; ++x) picture.SetPixel(x, y, c.blue, c.green, c.red);
    }
    Reference(c.filter, picture);
    EXPECT_EQ(picture.bytes()[picture.Offset(3, 3) + 2], c.centre) << FilterLabel(c.filter, c.blue);
  }
}

TEST(PictureFilters, RemovalThinsARectangleToItsBottomRowAndRightColumn) {
  PixelImage picture(15, 8), line(15, 8);
  for (int y = 2; y <= 7; ++y) {
    for (int x = 2; x <= 14; ++x) picture.SetGrey(x, y, 0);
    if (y < 7) line.SetGrey(14, y, 0);
  }
  // The corner goes too (code 26), as on every one-pixel bend.
  for (int x = 2; x <= 13; ++x) line.SetGrey(x, 7, 0);
  EXPECT_TRUE(RemovePatterns(picture));
  EXPECT_EQ(picture, line);
  EXPECT_FALSE(RemovePatterns(picture));
}

TEST(PictureFilters, RemovalRepeatedLeavesNoRemovalCode) {
  std::mt19937 random(11);
  for (int round = 0; round < 30; ++round) {
    PixelImage picture = RandomPicture(12, 10, random);
    PixelImage expected = picture;
    int passes = 0, expectedPasses = 0;
    while (RemovePatterns(picture)) ++passes;
    while (Reference(CuttingFilter::CR, expected)) ++expectedPasses;
    ASSERT_EQ(picture, expected);
    EXPECT_EQ(passes, expectedPasses);
    for (int y = 2; y < 10; ++y) {
      for (int x = 2; x < 12; ++x) {
        EXPECT_FALSE(test::IsDark(picture, x, y) && kRemovalCodes[test::Code(picture, x, y)])
            << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

// Dark blobs of several sizes on noise, like a photograph after ST and CN:
// many passes, most of them changing little.
PixelImage BlobPicture(int width, int height, std::mt19937& random) {
  PixelImage picture(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) picture.SetGrey(x, y, random() % 9 == 0 ? 0 : 255);
  }
  const int blobs = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < blobs; ++i) {
    const int cx = 1 + static_cast<int>(random() % static_cast<unsigned>(width));
    const int cy = 1 + static_cast<int>(random() % static_cast<unsigned>(height));
    const int r = 1 + static_cast<int>(random() % 9);
    for (int y = cy - r; y <= cy + r; ++y) {
      for (int x = cx - r; x <= cx + r; ++x) {
        if (x >= 1 && y >= 1 && x <= width && y <= height &&
            (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
          picture.SetGrey(x, y, static_cast<std::uint8_t>(random() % 100));
        }
      }
    }
  }
  return picture;
}

TEST(PictureFilters, PatternRemovalPassesMatchWholePasses) {
  std::mt19937 random(31);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const int width = 1 + static_cast<int>(random() % 40);
    const int height = 1 + static_cast<int>(random() % 40);
    PixelImage expected = round % 2 == 0 ? BlobPicture(width, height, random)
                                         : RandomPicture(width, height, random);
    PixelImage actual = expected;
    PatternRemoval removal(actual);
    for (int pass = 1;; ++pass) {
      SCOPED_TRACE(pass);
      const bool expectedChange = Reference(CuttingFilter::CR, expected);
      std::vector<int> rows;
      ASSERT_EQ(removal.Pass([&](int y) { rows.push_back(y); }), expectedChange);
      ASSERT_EQ(actual, expected);
      EXPECT_EQ(rows.size(), static_cast<std::size_t>(std::max(0, height - 2)));
      if (!expectedChange) break;
    }
  }
}

}  // namespace
}  // namespace vertolin
