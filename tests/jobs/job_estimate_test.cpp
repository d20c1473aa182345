#include "jobs/job_estimate.h"

#include <gtest/gtest.h>

#include <vector>

namespace vertolin {
namespace {

struct Written {
  Motion motion;
  const char* line;
};

struct EstimateCase {
  const char* name;
  std::vector<Written> lines;
  std::array<std::int64_t, 3> steps;
  std::int64_t toolOnLines;
  double stepSeconds;      // at an idle delay of 2000 µs
  double transferSeconds;  // at 9600 baud, ten bits a byte
};

constexpr double kByte = 10 / 9600.0;

TEST(JobEstimate, StepsToolShareAndStepTimePerFirmware) {
  using K = MotionKind;
  const EstimateCase cases[] = {
      // Plunge 50 steps at 400 µs, travel 10 at the idle delay, lift at 2000.
      {"router",
       {{{K::Plunge, {0, 0, -50}, 400}, "0,0,-50,400;"},
        {{K::Cut, {10, -3, 0}, 0}, "10,-3,0,0;"},
        {{K::Lift, {0, 0, 50}, 2000}, "0,0,50,2000;"}},
       {10, 3, 100},
       2,
       50 * 400e-6 + 10 * 2000e-6 + 50 * 2000e-6,
       34 * kByte},
      // The opening moves nothing; travel at the idle delay; a burn at its
      // own. The PC is one line ahead: the first two lines go out together,
      // then each line's bytes come while the one before steps, so only the
      // burn's bytes after the 2 ms step keep the board waiting.
      {"raster",
       {{{K::RasterOpen, {}, 0, 10}, ",,,10,2000;"},
        {{K::Travel, {10, 0, 0}, 0}, "10,0,0;"},
        {{K::Burn, {1, 0, 0}, 0}, "1,0,0;"},
        {{K::Burn, {-11, 0, 0}, 4000}, "-11,0,4000;"},
        {{K::Travel, {0, 10, 0}, 0}, "0,10,0;"}},
       {22, 10, 0},
       1,
       10 * 2000e-6 + 1 * 2000e-6 + 11 * 4000e-6 + 10 * 2000e-6,
       (11 + 7 + 11) * kByte - 2000e-6},
      // Laser on, a compact step with no delay field, laser off.
      {"laser",
       {{{K::ToolOn, {}, 1000}, "0,0,1,1000;"},
        {{K::Cut, {5, 0, 0}}, "5;"},
        {{K::Cut, {0, -7, 0}}, "0,-7;"},
        {{K::ToolOff, {}, 2000}, "0,0,-1,2000;"}},
       {5, 7, 0},
       3,
       5 * 2000e-6 + 7 * 2000e-6,
       30 * kByte},
  };
  for (const EstimateCase& c : cases) {
    SCOPED_TRACE(c.name);
    JobEstimator estimator(2000, 9600);
    std::int64_t bytes = 0;
    for (const Written& written : c.lines) {
      estimator.Written(written.motion, written.line);
      bytes += static_cast<std::int64_t>(std::string_view(written.line).size());
    }
    const JobEstimate& estimate = estimator.estimate();
    EXPECT_EQ(estimate.lines, static_cast<std::int64_t>(c.lines.size()));
    EXPECT_EQ(estimate.bytes, bytes);
    EXPECT_EQ(estimate.steps, c.steps);
    EXPECT_EQ(estimate.toolOnLines, c.toolOnLines);
    EXPECT_NEAR(estimate.stepSeconds, c.stepSeconds, 1e-9);
    EXPECT_NEAR(estimate.transferSeconds, c.transferSeconds, 1e-9);
  }
}

TEST(JobEstimate, JsonCarriesEveryFigureAndNoToolShareForTheProbe) {
  JobEstimator probe(1000, 115200);
  probe.Written({MotionKind::Probe, {4800, 0, 0}, 0, 100}, "4800,0,-200;");
  EXPECT_EQ(EstimateJson(probe.estimate()),
            "{\"lines\":1,\"bytes\":12,\"steps\":{\"x\":4800,\"y\":0,\"z\":0},"
            "\"tool_on_share\":null,\"baud\":115200,\"seconds\":4.801}");
}

TEST(JobEstimate, TimeLeftFromTheEstimateFirstThenFromTheBoardsRate) {
  struct Case {
    std::int64_t sent, acknowledged;
    double elapsed;
    const char* text;
  };
  // 1000 lines estimated at 100 s.
  const Case cases[] = {
      {0, 0, 0, "строка 0 из 1000, прошло 0:00, осталось 1:40"},
      // Before three seconds the estimate holds, whatever the rate.
      {101, 100, 2, "строка 101 из 1000, прошло 0:02, осталось 1:30"},
      // Then the board's own pace: 100 lines (and the 101st begun) in 20 s
      // where 10,1 s were estimated leaves 89,9 s twice over.
      {101, 100, 20, "строка 101 из 1000, прошло 0:20, осталось 2:58"},
      {1000, 1000, 3725, "строка 1000 из 1000, прошло 1:02:05, осталось 0:00"},
  };
  for (const Case& c : cases) {
    JobProgress progress;
    progress.linesSent = c.sent;
    progress.acknowledged = c.acknowledged;
    progress.elapsedSeconds = c.elapsed;
    EXPECT_EQ(ProgressText(progress, 1000, 100), c.text);
  }
  JobProgress uncounted;
  uncounted.linesSent = 42;
  uncounted.elapsedSeconds = 61.4;
  EXPECT_EQ(ProgressText(uncounted), "строка 42, прошло 1:01");
}

// One travel of 60 s, then 5000 lines of 0,2 s: more lines than the curve
// keeps points, and the time left must follow the long line, not the count.
TEST(JobEstimate, TimeLeftFollowsWhereTheTimeGoesAndStaysWithinAFewTimesTheEstimate) {
  JobEstimator estimator(2000, 0);
  estimator.Written({MotionKind::Travel, {30000, 0, 0}, 0}, "30000,0,0;");
  for (int i = 0; i < 5000; ++i) estimator.Written({MotionKind::Cut, {100, 0, 0}, 0}, "100;");
  const JobEstimate& estimate = estimator.estimate();
  ASSERT_NEAR(estimate.seconds(), 1060, 1e-6);
  EXPECT_LE(estimate.curve.size(), JobEstimate::kCurvePoints);
  EXPECT_NEAR(estimate.SecondsAt(1), 60, 1e-6);
  EXPECT_NEAR(estimate.SecondsAt(2501), 560, 0.5);

  struct Case {
    const char* what;
    std::int64_t acknowledged, resumedAfter;
    double elapsed, lowest, highest;
  };
  const Case cases[] = {
      // Half-way through the travel: the estimate less the time gone.
      {"travelling", 0, 0, 30, 1029, 1031},
      // The travel done on time: the rest as estimated (a count of lines
      // would say 5000 × 61 s).
      {"after the travel", 1, 0, 61, 990, 1030},
      // A board ten times slower than the estimate: at most four times it.
      {"slow board", 100, 0, 800, 3900, 4 * (1060 - 80.2) + 1},
      // A resumed job measures its pace from where it went on.
      {"resumed", 2601, 2501, 20, 479, 481},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobProgress progress;
    progress.linesSent = c.acknowledged + 1;
    progress.acknowledged = c.acknowledged;
    progress.resumedAfter = c.resumedAfter;
    progress.elapsedSeconds = c.elapsed;
    const double left = SecondsLeft(progress, estimate);
    EXPECT_GE(left, c.lowest);
    EXPECT_LE(left, c.highest);
  }

  // Each shorter text fits a narrower place; the last is the time left alone.
  JobProgress progress;
  progress.linesSent = 2;
  progress.acknowledged = 1;
  progress.elapsedSeconds = 61;
  const std::vector<std::string> texts = ProgressTexts(progress, estimate);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "строка 2 из 5001, прошло 1:01, осталось 16:53");
  EXPECT_EQ(texts[3], "ост. 16:53");
  for (std::size_t i = 1; i < texts.size(); ++i) EXPECT_LT(texts[i].size(), texts[i - 1].size());
}

}  // namespace
}  // namespace vertolin
