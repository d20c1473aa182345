#include "link/move_text.h"

#include <gtest/gtest.h>

namespace vertolin {
namespace {

TEST(MoveText, FieldsAreJoinedWithEmptyFieldsLeftBlank) {
  EXPECT_EQ(CommandLine({12, -3, 0, 2000}), "12,-3,0,2000;");
  EXPECT_EQ(CommandLine({std::nullopt, std::nullopt, std::nullopt, 10, 2000}), ",,,10,2000;");
  EXPECT_EQ(CommandLine({-2147483648LL, 2147483647}), "-2147483648,2147483647;");
}

TEST(MoveText, TrailingZeroFieldsAreDroppedUpToFour) {
  EXPECT_EQ(WithoutTrailingZeros("5,0,0,1000;"), "5,0,0,1000;");
  EXPECT_EQ(WithoutTrailingZeros("5,3,0,0;"), "5,3;");
  EXPECT_EQ(WithoutTrailingZeros("12,0,0,0;"), "12;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,0,0;"), "0;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,1,0;"), "0,0,1;");
  // A field that merely ends in 0 is not a zero field.
  EXPECT_EQ(WithoutTrailingZeros("5,0,0,10;"), "5,0,0,10;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,-1,2000;"), "0,0,-1,2000;");
}

TEST(MoveText, PositioningTextFollowsTheKindLetter) {
  EXPECT_EQ(PositioningMoveText('M', 100, 0, -5, 2000), "100,0,-5,2000;");
  EXPECT_EQ(PositioningMoveText('P', 100, 0, -5, 2000), "100,0,,,2000;");
  for (const char kind : {'S', 'O', 'B'}) {
    EXPECT_EQ(PositioningMoveText(kind, 100, 7, -5, 2000), "100,7,,2000;") << kind;
  }
  EXPECT_FALSE(PositioningMoveText('X', 1, 2, 3, 4));
  EXPECT_FALSE(PositioningMoveText(0, 1, 2, 3, 4));
}

}  // namespace
}  // namespace vertolin
