// The window link's parts on their own: the scaling with its carry, and the
// lines in flight with the resume point they give.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "link/lines_in_flight.h"
#include "link/step_scaler.h"

namespace vertolin {
namespace {

using Steps = std::array<std::int32_t, 3>;

TEST(StepScaler, EachRuleRoundsOnceAndTheCarryNeverAddsUp) {
  struct Case {
    const char* name;
    StepScaler::Rule rule;
    StepScale scale;
    std::vector<JobMotion> moves;
    std::vector<Steps> steps;
  };
  using K = MotionKind;
  const Case cases[] = {
      // 0.3 a pixel: 0, 1, 1, 1 ... the sum is always the exact position rounded.
      {"carry",
       StepScaler::Rule::Carry,
       {0.3, 0.3, 2},
       {{K::Cut, 1}, {K::Cut, 1}, {K::Cut, 1}, {K::Cut, 1}, {K::Plunge, 0, 0, -1}},
       {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, -2}}},
      // Halves go to even against the steps already taken.
      {"halves",
       StepScaler::Rule::Carry,
       {0.5, 1.5, 0},
       {{K::Cut, 1, 1}, {K::Cut, 1, 1}, {K::Cut, 1, 1}},
       {{0, 2, 0}, {1, 1, 0}, {0, 2, 0}}},
      // The raster rounds the steps per pixel, not each move.
      {"whole per pixel",
       StepScaler::Rule::WholePerPixel,
       {2.5, 3.5, 9},
       {{K::Burn, 1, 0, 5}, {K::Travel, -3, 1}},
       {{2, 0, 0}, {-6, 4, 0}}},
      {"as given", StepScaler::Rule::AsGiven, {}, {{K::Travel, 4800, -7}}, {{4800, -7, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StepScaler scaler(c.rule);
    std::array<std::int64_t, 3> sum{};
    for (std::size_t i = 0; i < c.moves.size(); ++i) {
      const auto motion = scaler.Scale(c.moves[i], c.scale);
      ASSERT_TRUE(motion);
      EXPECT_EQ(motion->kind, c.moves[i].kind);
      EXPECT_EQ(motion->steps, c.steps[i]) << "move " << i;
      for (int axis = 0; axis < 3; ++axis) sum[axis] += motion->steps[axis];
    }
    EXPECT_EQ(scaler.accounted(), sum);
  }
}

TEST(StepScaler, PendingStepsGoWithTheNextMoveAndAnOverflowTakesNothing) {
  StepScaler scaler(StepScaler::Rule::Carry);
  ASSERT_TRUE(scaler.AddPending({5, -5, 7}));
  EXPECT_EQ(scaler.Scale({MotionKind::Cut, 1, 1, 1}, {1, 1, 1})->steps, (Steps{6, -4, 8}));
  EXPECT_EQ(scaler.Scale({MotionKind::Cut, 1, 1, 1}, {1, 1, 1})->steps, (Steps{1, 1, 1}));
  const auto before = scaler.accounted();
  EXPECT_FALSE(scaler.Scale({MotionKind::Cut, 1}, {1e10, 1, 1}));
  EXPECT_EQ(scaler.accounted(), before);
  EXPECT_EQ(scaler.Scale({MotionKind::Cut, 1}, {1, 1, 1})->steps, (Steps{1, 0, 0}));
  ASSERT_TRUE(scaler.AddPending({std::numeric_limits<std::int32_t>::max(), 0, 0}));
  EXPECT_FALSE(scaler.AddPending({1, 0, 0}));
}

// Acknowledgements are credited oldest first: the program's own lines make
// the resume point, the lines a stop or restore adds only move the tool.
TEST(LinesInFlight, TheResumePointCountsOnlyProgramLinesTheBoardConfirmed) {
  LinesInFlight lines;
  lines.ProgramLineDone(-10);  // replayed: the board did it before
  lines.ProgramLine(-20, {MotionKind::Plunge, {0, 0, -20}});
  lines.ExtraLine({MotionKind::Lift, {0, 0, 20}},
                  +20);  // a lift after a stop: from the depth in flight
  lines.ProgramLine(-30, {MotionKind::Plunge, {0, 0, -30}});
  EXPECT_EQ(lines.programLines(), 3);
  EXPECT_EQ(lines.DepthInFlight(), -30);
  EXPECT_EQ(lines.resumePoint().lines, 1);
  EXPECT_EQ(lines.resumePoint().depth, -10);

  EXPECT_EQ(lines.Acknowledged()->steps[2], -20);  // the motion goes to the machine model
  EXPECT_EQ(lines.resumePoint().lines, 2);
  EXPECT_EQ(lines.resumePoint().depth, -20);
  lines.Acknowledged();
  EXPECT_EQ(lines.resumePoint().lines, 2);  // the lift is not the program's
  EXPECT_EQ(lines.resumePoint().depth, 0);
  lines.Acknowledged();
  EXPECT_FALSE(lines.Acknowledged());  // a stray acknowledgement credits nothing
  EXPECT_EQ(lines.resumePoint().lines, 3);
  EXPECT_EQ(lines.resumePoint().depth, -30);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace vertolin
