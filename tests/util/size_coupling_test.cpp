#include "util/size_coupling.h"

#include <gtest/gtest.h>

namespace vertolin {
namespace {

TEST(SizeCoupling, HeightAndWidthFollowEachOtherWithTheRemainderDropped) {
  EXPECT_EQ(HeightForWidth("200", 500, 300), "120");
  EXPECT_EQ(WidthForHeight("100", 500, 300), "166");
  EXPECT_EQ(HeightForWidth("0,5", 3, 5), "0");  // 2.5 rounds to 2, then 2 ÷ 3
  EXPECT_EQ(HeightForWidth("-10", 4, 3), "-7");
  EXPECT_FALSE(HeightForWidth("abc", 500, 300));
  EXPECT_FALSE(HeightForWidth("200", 0, 300));
  EXPECT_FALSE(WidthForHeight("100", 500, 0));
}

TEST(SizeCoupling, StepsPerPixelAreDerivedFromTheWidthWithoutRounding) {
  EXPECT_EQ(StepsPerPixelForWidth("200", 0.005, 400), "100");
  EXPECT_EQ(StepsPerPixelForWidth("200", -0.005, 400), "100");  // a reversed axis counts too
  EXPECT_EQ(StepsPerPixelForWidth("10,5", 0.005, 200), "10,5");
  EXPECT_EQ(WidthForStepsPerPixel("10", 0.005, 400), "20");
  EXPECT_EQ(WidthForStepsPerPixel("10.5", 0.005, 400), "21");
  EXPECT_FALSE(StepsPerPixelForWidth("200", 0, 400));
  EXPECT_FALSE(WidthForStepsPerPixel("", 0.005, 400));
}

}  // namespace
}  // namespace vertolin
