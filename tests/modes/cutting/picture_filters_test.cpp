#include "modes/cutting/picture_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "modes/cutting/filter_reference.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

using test::Reference;

// Every byte random, padding included, with blue often near the dark limit.
PixelImage RandomPicture(int width, int height, std::mt19937& random) {
  PixelImage picture(width, height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto& b : picture.bytes()) b = static_cast<std::uint8_t>(byte(random));
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      if (byte(random) < 64) picture.bytes()[picture.Offset(x, y)] = static_cast<std::uint8_t>(98 + byte(random) % 4);
    }
  }
  return picture;
}

PixelImage Picture(const std::vector<std::string>& rows) {  // '#' black, anything else white
  PixelImage picture(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (int y = 1; y <= picture.height(); ++y) {
    for (int x = 1; x <= picture.width(); ++x) {
      if (rows[static_cast<std::size_t>(y - 1)][static_cast<std::size_t>(x - 1)] == '#') picture.SetGrey(x, y, 0);
    }
  }
  return picture;
}

TEST(PictureFilters, MatchTheirDefinitionsOnRandomPictures) {
  const std::vector<std::pair<int, int>> sizes = {{1, 1}, {2, 6}, {3, 3}, {4, 5}, {5, 5}, {7, 9}, {13, 6}, {16, 11}};
  std::mt19937 random(7);
  for (const CuttingFilter filter : {CuttingFilter::ST, CuttingFilter::CN, CuttingFilter::CR, CuttingFilter::CL,
                                     CuttingFilter::GS}) {
    for (const auto& [width, height] : sizes) {
      for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(FilterLabel(filter, width * 100 + height));
        const PixelImage picture = RandomPicture(width, height, random);
        PixelImage expected = picture;
        const bool expectedChange = Reference(filter, expected);
        PixelImage actual = picture;
        std::vector<int> rows;
        const bool changed = ApplyFilter(filter, actual, [&](int y) { rows.push_back(y); });
        ASSERT_EQ(actual.bytes(), expected.bytes());
        EXPECT_EQ(changed, filter == CuttingFilter::CR && expectedChange);
        const int margin = filter == CuttingFilter::CN ? 2 : 1;
        std::vector<int> visited;
        for (int y = 1 + margin; y <= height - margin; ++y) visited.push_back(y);
        EXPECT_EQ(rows, visited);
      }
    }
  }
}

TEST(PictureFilters, SinglePixelValues) {
  struct Case {
    CuttingFilter filter;
    std::uint8_t blue, green, red;  // every pixel of a 5 × 5 picture
    std::uint8_t centre;            // grey of (3, 3) afterwards
  };
  const Case cases[] = {
      {CuttingFilter::ST, 100, 100, 100, 255}, {CuttingFilter::ST, 99, 99, 99, 99},
      {CuttingFilter::ST, 0, 0, 200, 60},      {CuttingFilter::CN, 40, 40, 40, 80},
      {CuttingFilter::CN, 200, 200, 200, 255}, {CuttingFilter::CN, 0, 0, 0, 0},
      {CuttingFilter::GS, 99, 255, 255, 0},    {CuttingFilter::GS, 100, 0, 0, 255},
  };
  for (const Case& c : cases) {
    PixelImage picture(5, 5);
    for (int y = 1; y <= 5; ++y) {
      for (int x = 1; x <= 5; ++x) picture.SetPixel(x, y, c.blue, c.green, c.red);
    }
    const PixelImage before = picture;
    ApplyFilter(c.filter, picture);
    EXPECT_EQ(picture.Grey(3, 3), c.centre) << FilterLabel(c.filter, c.blue);
    EXPECT_EQ(picture.bytes()[picture.Offset(3, 3) + 2], c.centre);
    EXPECT_EQ(picture.bytes()[picture.Offset(1, 3)], before.Grey(1, 3));  // the border keeps its value
  }
}

TEST(PictureFilters, RemovalTableHoldsExactlyTheList) {
  EXPECT_EQ(std::count(kRemovalCodes.begin(), kRemovalCodes.end(), true), 117);
  for (const int code : {16, 18, 24, 48, 144, 318}) EXPECT_FALSE(kRemovalCodes[static_cast<std::size_t>(code)]);
  for (const int code : {23, 152, 317, 511}) EXPECT_TRUE(kRemovalCodes[static_cast<std::size_t>(code)]);
}

TEST(PictureFilters, RemovalThinsARectangleToItsBottomRowAndRightColumn) {
  std::vector<std::string> rows(8, std::string(15, '.'));
  for (std::size_t y = 1; y <= 6; ++y) rows[y].replace(1, 13, 13, '#');
  PixelImage picture = Picture(rows);
  EXPECT_TRUE(RemovePatterns(picture));
  // The corner itself goes too (code 26), as on any one-pixel bend.
  std::vector<std::string> line(8, std::string(15, '.'));
  for (std::size_t y = 1; y <= 5; ++y) line[y][13] = '#';
  line[6].replace(1, 12, 12, '#');
  EXPECT_EQ(picture, Picture(line));
  EXPECT_FALSE(RemovePatterns(picture));
}

TEST(PictureFilters, RemovalRepeatedReachesAPictureWithoutRemovalCodes) {
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
        EXPECT_FALSE(picture.Grey(x, y) < 100 && kRemovalCodes[test::Code(picture, x, y)]) << x << "," << y;
      }
    }
  }
}

TEST(PictureFilters, CleanUpTakesLonePixelsAndLineEnds) {
  PixelImage picture = Picture({".......", ".#.....", ".......", ".#####.", "......."});
  CleanUp(picture);
  EXPECT_EQ(picture, Picture({".......", ".......", ".......", "..###..", "......."}));
}

}  // namespace
}  // namespace vertolin
