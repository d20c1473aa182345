#include "motion/native_protocol.h"

#include <gtest/gtest.h>

namespace vertolin {
namespace {

TEST(NativeProtocol, FieldsAreJoinedWithEmptyFieldsLeftBlank) {
  EXPECT_EQ(CommandLine({12, -3, 0, 2000}), "12,-3,0,2000;");
  EXPECT_EQ(CommandLine({std::nullopt, std::nullopt, std::nullopt, 10, 2000}), ",,,10,2000;");
  EXPECT_EQ(CommandLine({-2147483648LL, 2147483647}), "-2147483648,2147483647;");
}

TEST(NativeProtocol, TrailingZeroFieldsAreDroppedUpToFour) {
  EXPECT_EQ(WithoutTrailingZeros("5,0,0,1000;"), "5,0,0,1000;");
  EXPECT_EQ(WithoutTrailingZeros("5,3,0,0;"), "5,3;");
  EXPECT_EQ(WithoutTrailingZeros("12,0,0,0;"), "12;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,0,0;"), "0;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,1,0;"), "0,0,1;");
  // A field that merely ends in 0 is not a zero field.
  EXPECT_EQ(WithoutTrailingZeros("5,0,0,10;"), "5,0,0,10;");
  EXPECT_EQ(WithoutTrailingZeros("0,0,-1,2000;"), "0,0,-1,2000;");
}

TEST(NativeProtocol, PositioningTextFollowsTheKindLetter) {
  EXPECT_EQ(PositioningMoveText('M', 100, 0, -5, 2000), "100,0,-5,2000;");
  EXPECT_EQ(PositioningMoveText('P', 100, 0, -5, 2000), "100,0,,,2000;");
  for (const char kind : {'S', 'O', 'B'}) {
    EXPECT_EQ(PositioningMoveText(kind, 100, 7, -5, 2000), "100,7,,2000;") << kind;
  }
  EXPECT_FALSE(PositioningMoveText('X', 1, 2, 3, 4));
  EXPECT_FALSE(PositioningMoveText(0, 1, 2, 3, 4));
}

// Every motion of every dialect, as the boards take it.
TEST(NativeProtocol, EncodesEachMotionInEachDialect) {
  using K = MotionKind;
  using S = NativeDialect::Steps;
  struct Case {
    S steps;
    Motion motion;
    const char* line;  // nullptr: nothing is sent
  };
  const Case cases[] = {
      {S::XYZDelay, {K::Travel, {12, -3, 0}, 2000}, "12,-3,0,2000;"},
      {S::XYZDelay, {K::Plunge, {0, 0, -50}, 400}, "0,0,-50,400;"},
      {S::XYZDelay, {K::Cut, {1, 0, 2}, 0}, "1,0,2,0;"},
      {S::XYZDelay, {K::Travel, {0, 0, 0}, 2000}, "0,0,0,2000;"},  // a pause of the board's own
      {S::XYZDelay, {K::Cut, {0, 0, 0}, 0}, nullptr},
      {S::LaserCompact, {K::ToolOn, {0, 0, 0}, 1000}, "0,0,1,1000;"},
      {S::LaserCompact, {K::Cut, {5, 0, 0}, 0}, "5;"},
      {S::LaserCompact, {K::Cut, {0, -7, 0}, 0}, "0,-7;"},
      {S::LaserCompact, {K::ToolOff, {0, 0, 0}, 2000}, "0,0,-1,2000;"},
      {S::LaserCompact, {K::Travel, {0, 0, 0}, 0}, nullptr},
      {S::XYValue, {K::RasterOpen, {}, 0, 10}, ",,,10,2000;"},
      {S::XYValue, {K::RasterOpen, {}, 0, 0}, ",,2000;"},
      {S::XYValue, {K::Burn, {-1, 0, 0}, 2996}, "-1,0,2996;"},
      {S::XYValue, {K::Travel, {0, 10, 0}, 0}, "0,10,0;"},
      {S::XYProbe, {K::Travel, {4800, 0, 0}, 0}, "4800,0,0;"},
      {S::XYProbe, {K::Probe, {}, 0, 100}, "0,0,-200;"},
  };
  for (const Case& c : cases) {
    NativeProtocol protocol({c.steps, NativeDialect::Jog::Plain});
    const auto line = protocol.Encode(c.motion, 2000);
    if (c.line == nullptr) {
      EXPECT_FALSE(line) << *line;
    } else {
      EXPECT_EQ(line.value_or("(nothing)"), c.line);
    }
  }
}

TEST(NativeProtocol, AJogIsWrittenAsTheWindowOrTheBoardWantsIt) {
  const Motion jog{MotionKind::Jog, {100, 0, -5}};
  EXPECT_EQ(NativeProtocol({{}, NativeDialect::Jog::WithIdleDelay}).Encode(jog, 2000),
            "100,0,-5,2000;");
  // A board without Z: never the laser's switch, a burn delay or a probe.
  EXPECT_EQ(NativeProtocol({{}, NativeDialect::Jog::Plain}).Encode(jog, 2000), "100,0,0;");
  NativeProtocol byKind({{}, NativeDialect::Jog::ByKindLetter});
  EXPECT_FALSE(byKind.Encode(jog, 2000));  // no board has answered yet
  byKind.Identified('P');
  EXPECT_EQ(byKind.Encode(jog, 2000), "100,0,,,2000;");
}

}  // namespace
}  // namespace vertolin
