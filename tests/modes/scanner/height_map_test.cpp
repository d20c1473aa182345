#include "modes/scanner/height_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vertolin {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(HeightMapTest, NormalisationStretchesToGreyLevels) {
  struct Case {
    std::vector<std::int32_t> raw;
    std::vector<std::int32_t> grey;
    bool flat = false;
  };
  const Case cases[] = {
      {{40, 90, 140}, {0, 128, 255}},    // 127.5 rounds to even
      {{0, 1, 5, 510}, {0, 0, 2, 255}},  // 0.5 and 2.5 too
      {{40, 90, 140, 90, 40, 140}, {0, 128, 255, 128, 0, 255}},
      {{7, 7, 7}, {0, 0, 0}, true},
      {{2000, 2000, 2000}, {0, 0, 0}, true},
      {{3000, 2500}, {255, 128}},  // lo starts at 2000
      {{-100, -50}, {0, 128}},     // hi starts at 0
      {{kMin, kMax, 0}, {0, 255, 128}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.raw));
    HeightMap map(static_cast<int>(c.raw.size()), 1);
    map.values() = c.raw;
    EXPECT_EQ(NormaliseHeights(map).flat, c.flat);
    EXPECT_EQ(map.values(), c.grey);
  }
}

TEST(HeightMapTest, DryRunValuesAreUnitsTimes255RoundedAndClipped) {
  const std::vector<double> units = {0.0, 0.5, 0.25, 0.9999, 1.0, 7.0, -0.5, NAN};
  const std::vector<std::int32_t> expected = {0, 128, 64, 255, 255, 255, 0, 0};
  std::size_t next = 0;
  DryRunValues values([&] { return units[next++]; });
  std::vector<std::int32_t> got;
  for (std::size_t i = 0; i < units.size(); ++i) got.push_back(values.Next());
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

TEST(HeightMapTextTest, WritesRowsAndReadsThemBack) {
  HeightMap map(3, 2);
  map.values() = {1, -2, 2147483647, 0, 255, -2147483647 - 1};
  EXPECT_EQ(HeightMapText(map), "1 -2 2147483647\n0 255 -2147483648\n");
  std::string error;
  EXPECT_EQ(ParseHeightMapText(HeightMapText(map), error), map);
  EXPECT_EQ(ParseHeightMapText("1 -2 2147483647\r\n0 255 -2147483648", error), map);
  for (const char* bad :
       {"", "1 2\n3\n", "1  2\n", "1 2 \n", "1,5\n", "2147483648\n", "x\n", "1\n\n2\n"}) {
    error.clear();
    EXPECT_FALSE(ParseHeightMapText(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace vertolin
