#include "board/grbl_board.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace vertolin {
namespace {

using namespace std::chrono_literals;
using Clock = GrblBoard::Clock;
using Time = Clock::time_point;
using Mm = std::array<double, 3>;

const Time kStart = Time{} + 1h;
constexpr std::string_view kBanner = "\r\nGrbl 1.1h ['$' for help]\r\n";

// Lines answered at once and motion that takes no time: for what the board says.
GrblBoardOptions Instant() {
  GrblBoardOptions options;
  options.baud = 0;
  options.motionScale = 0;
  return options;
}

// Motion at its feed but an instant line: for timing the motion alone.
GrblBoardOptions RealMotion() {
  GrblBoardOptions options;
  options.baud = 0;
  return options;
}

// A board whose banner has been read.
GrblBoard Started(GrblBoardOptions options) {
  GrblBoard board(std::move(options));
  EXPECT_EQ(board.TakeOutput(kStart), kBanner);
  return board;
}

std::string Exchange(GrblBoard& board, std::string_view text, Time at = kStart) {
  board.Receive(text, at);
  return board.TakeOutput(at);
}

// Lets the board run from `from` to `until`, event by event, and gives what it sent.
std::string RunUntil(GrblBoard& board, Time from, Time until) {
  std::string out;
  Time at = from;
  while (const auto next = board.NextEventTime()) {
    if (*next > until) break;
    at = std::max(at, *next);
    out += board.TakeOutput(at);
  }
  return out + board.TakeOutput(until);
}

void ExpectAt(const Mm& actual, const Mm& expected) {
  for (std::size_t axis = 0; axis < 3; ++axis) {
    EXPECT_NEAR(actual[axis], expected[axis], 1e-6) << "axis " << axis;
  }
}

TEST(GrblBoardTest, AnswersEveryLineWithGrblsNumbers) {
  struct Case {
    std::string line;
    const char* answer;
  };
  std::string overlong = "G0";
  for (int i = 0; i < 40; ++i) overlong += " X1";  // 82 characters without the spaces
  const Case cases[] = {
      {"G21 G90", "ok"},
      {"", "ok"},
      {"g0 x1 (lower case, a comment) ; and another", "ok"},
      {"N10 G1 X2 F600", "ok"},
      {"G1 X2 Y-.5 Z+1. F600 S0", "ok"},
      {"M4 S1000", "ok"},
      {"G4 P0.5", "ok"},
      {"10", "error:1"},
      {"X", "error:2"},
      {"G1 X1.2.3 F600", "error:2"},
      {"$Q", "error:3"},
      {"$10=-1", "error:4"},
      {"$H", "error:5"},
      {"G1 X10", "error:22"},
      {"G2 X1 Y1 I1", "error:20"},
      {"G92", "error:26"},
      {"G92.2 X0", "error:20"},
      {"A1", "error:20"},
      {"G0 G1 X1", "error:21"},
      {"M3 M5", "error:21"},
      {"G1.5 X1", "error:23"},
      {"X1 X2", "error:25"},
      {"G38.2 F100", "error:26"},
      {"N0 G0 X1", "error:27"},
      {"G4", "error:28"},
      {"P1", "error:36"},
      {"$999=1", "error:3"},
      {"$-99999999999999999999=1", "error:3"},
      {"$100=0", "error:4"},
      {"G0 X99999999999999999999999999 Y-99999999999999999999999999", "ok"},
      {"$J=G91 X1", "error:22"},
      {"$J=G91 M3 X1 F100", "error:16"},
      {"$J=G1 X1 F100", "error:16"},
      {"$JG91 X1 F100", "error:3"},
      {overlong, "error:11"},
  };
  for (const Case& c : cases) {
    GrblBoard board = Started(Instant());
    EXPECT_EQ(Exchange(board, c.line + "\n"), std::string(c.answer) + "\r\n") << c.line;
    EXPECT_EQ(board.LinesTaken(), 1) << c.line;
  }
}

TEST(GrblBoardTest, ReportsItsSettingsVersionAndModes) {
  GrblBoardOptions options = Instant();
  options.reportMask = 3;
  options.maxPower = 255;
  options.laserMode = false;
  options.stepsPerMm = {80, 80, 400};
  GrblBoard board = Started(options);
  const std::string settings = Exchange(board, "$$\n");
  for (const char* line :
       {"$0=10\r\n", "$10=3\r\n", "$11=0.010\r\n", "$30=255\r\n", "$31=0\r\n", "$32=0\r\n",
        "$100=80.000\r\n", "$102=400.000\r\n", "$110=1000.000\r\n", "$132=200.000\r\n"}) {
    EXPECT_NE(settings.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(settings.rfind("$0=10\r\n", 0), 0u);
  EXPECT_TRUE(settings.ends_with("$132=200.000\r\nok\r\n"));

  EXPECT_EQ(Exchange(board, "$I\n"), "[VER:1.1h.20190825:]\r\n[OPT:V,15,128]\r\nok\r\n");
  EXPECT_EQ(Exchange(board, "$G\n"), "[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]\r\nok\r\n");
  EXPECT_EQ(Exchange(board, "G91 G1 M4 S300 F600\n"), "ok\r\n");
  EXPECT_EQ(Exchange(board, "$G\n"), "[GC:G1 G54 G17 G21 G91 G94 M4 M9 T0 F600 S300]\r\nok\r\n");

  // Written settings take effect: laser mode, the report mask, steps per mm.
  EXPECT_EQ(Exchange(board, "$32=1\n$10=0\n$100=100\n"), "ok\r\nok\r\nok\r\n");
  EXPECT_EQ(board.Setting(32), 1.0);
  EXPECT_EQ(board.Setting(100), 100.0);
  EXPECT_FALSE(board.Setting(7));
  EXPECT_EQ(Exchange(board, "G90 G0 X1\n?"), "ok\r\n<Idle|WPos:1.000,0.000,0.000|FS:0,300>\r\n");
}

TEST(GrblBoardTest, StatusReportFollowsTheMask) {
  const struct {
    int mask;
    const char* report;
  } cases[] = {
      {0, "<Run|WPos:5.000,0.000,0.000|FS:600,300>\r\n"},
      {1, "<Run|MPos:5.000,0.000,0.000|FS:600,300>\r\n"},
      {2, "<Run|WPos:5.000,0.000,0.000|Bf:14,127|FS:600,300>\r\n"},
      {3, "<Run|MPos:5.000,0.000,0.000|Bf:14,127|FS:600,300>\r\n"},
  };
  for (const auto& c : cases) {
    GrblBoardOptions options = RealMotion();
    options.reportMask = c.mask;
    GrblBoard board = Started(options);
    // 10 mm at 600 mm/min: a second; the report comes at once, mid-block.
    EXPECT_EQ(Exchange(board, "M4 S300\nG1 X10 F600\n"), "ok\r\nok\r\n");
    EXPECT_EQ(Exchange(board, "?", kStart + 500ms), c.report) << c.mask;
    // The real-time byte never entered the receive buffer, so it is not a line.
    EXPECT_EQ(board.LinesTaken(), 2);
  }
}

TEST(GrblBoardTest, AlarmLocksGcodeUntilUnlocked) {
  GrblBoardOptions options = Instant();
  options.alarmAtStart = true;
  GrblBoard board(options);
  EXPECT_EQ(board.TakeOutput(kStart), std::string(kBanner) + "[MSG:'$H'|'$X' to unlock]\r\n");
  EXPECT_EQ(board.State(kStart), "Alarm");
  EXPECT_EQ(Exchange(board, "G0 X1\n"), "error:9\r\n");
  EXPECT_EQ(Exchange(board, "$J=G91 X1 F100\n"), "error:8\r\n");
  EXPECT_EQ(Exchange(board, "(only a comment)\n"), "ok\r\n");
  EXPECT_EQ(Exchange(board, "$10=2\n"), "ok\r\n");  // settings may be written in an alarm
  EXPECT_EQ(Exchange(board, "$X\n"), "[MSG:Caution: Unlocked]\r\nok\r\n");
  EXPECT_EQ(board.State(kStart), "Idle");
  EXPECT_EQ(Exchange(board, "G0 X1\n$X\n"), "ok\r\nok\r\n");
  ExpectAt(board.Position(kStart), {1, 0, 0});
}

TEST(GrblBoardTest, ReceiveBufferDropsWhatDoesNotFit) {
  GrblBoardOptions options;  // 115200 baud, motion at its feed
  GrblBoard board = Started(options);
  // Thirty moves of a second each, written at once: the planner takes fifteen,
  // 127 bytes wait, the rest is lost.
  std::string flood;
  std::size_t planned = 0;
  for (int i = 1; i <= 30; ++i) {
    const std::string line = "G1 X" + std::to_string(i) + " F60\n";
    if (i <= 15) planned += line.size();
    flood += line;
  }
  board.Receive(flood, kStart);
  const std::string out = RunUntil(board, kStart, kStart + 100ms);
  EXPECT_EQ(out.size(), 15 * std::string_view("ok\r\n").size());
  EXPECT_EQ(board.Overflowed(), flood.size() - planned - 127);
  EXPECT_EQ(board.PlannerBlocksFree(kStart + 100ms), 0);
}

TEST(GrblBoardTest, CharacterCountingNeverOverflowsAndEveryBlockRunsOnce) {
  GrblBoardOptions options;
  options.motionScale = 20;
  GrblBoard board = Started(options);
  std::vector<std::string> program = {"G21 G90", "M4 S0"};
  for (int i = 1; i <= 150; ++i) {
    // Short raster-like moves of varying length and power, with a comment now and then.
    program.push_back("G1 X" + std::to_string(i * 0.3).substr(0, 5) + " F1200 S" +
                      std::to_string(i % 7 * 100) + (i % 10 == 0 ? " (row)" : ""));
  }
  program.insert(program.end(), {"M5", "M2"});

  std::vector<std::size_t> unanswered;  // bytes of each line sent and not yet answered
  std::size_t inFlight = 0;
  std::size_t next = 0;
  std::size_t answers = 0;
  std::string partial;
  Time at = kStart;
  while (answers < program.size() && at < kStart + 60s) {
    while (next < program.size() && inFlight + program[next].size() + 1 <= 127) {
      const std::string line = program[next++] + "\n";
      board.Receive(line, at);
      unanswered.push_back(line.size());
      inFlight += line.size();
    }
    const auto due = board.NextEventTime();
    ASSERT_TRUE(due.has_value());
    at = std::max(at, *due);
    partial += board.TakeOutput(at);
    for (std::size_t end; (end = partial.find("\r\n")) != std::string::npos;
         partial.erase(0, end + 2)) {
      const std::string reply = partial.substr(0, end);
      if (reply != "ok") continue;
      ++answers;
      inFlight -= unanswered.front();
      unanswered.erase(unanswered.begin());
    }
  }
  EXPECT_EQ(answers, program.size());
  EXPECT_EQ(board.Overflowed(), 0u);
  const auto& executed = board.Executed();
  ASSERT_EQ(executed.size(), program.size());
  for (std::size_t i = 0; i < executed.size(); ++i) {
    EXPECT_EQ(executed[i].line, static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(executed[i].text, program[i]);
  }
  EXPECT_NEAR(executed[151].end[0], 45.0, 1e-9);
  EXPECT_FALSE(executed[1].laserOn);  // M4 S0
  EXPECT_TRUE(executed[2].laserOn);
  EXPECT_EQ(executed[2].power, 100);
  EXPECT_FALSE(executed[8].laserOn);  // S0
}

TEST(GrblBoardTest, SpindleChangesWaitForThePlannerAndOtherLinesDoNot) {
  GrblBoard board = Started(RealMotion());
  // A second of motion, then a line the planner has no part in and an M5.
  EXPECT_EQ(Exchange(board, "M3 S100\nG1 X10 F600\nG21\nM5\nG0 X0\n"), "ok\r\nok\r\nok\r\n");
  ASSERT_EQ(board.Executed().size(), 2u);
  EXPECT_EQ(board.Executed()[1].text, "G21");  // done while line 2 still moves
  EXPECT_EQ(RunUntil(board, kStart, kStart + 990ms), "");
  EXPECT_EQ(RunUntil(board, kStart + 990ms, kStart + 1s), "ok\r\nok\r\n");
  ASSERT_EQ(board.Executed().size(), 4u);
  EXPECT_EQ(board.Executed()[2].line, 2);
  EXPECT_EQ(board.Executed()[3].line, 4);
  EXPECT_FALSE(board.Executed()[3].laserOn);

  // A dwell waits its time after the planner has run empty, outside the planner.
  // (G0 X0 is on its way back until 1.6 s.)
  EXPECT_EQ(Exchange(board, "G4 P0.5\n", kStart + 1s), "");
  EXPECT_EQ(board.PlannerBlocksFree(kStart + 1500ms), 14);
  EXPECT_EQ(board.PlannerBlocksFree(kStart + 1700ms), 15);
  EXPECT_EQ(board.State(kStart + 1700ms), "Idle");
  EXPECT_EQ(RunUntil(board, kStart + 1700ms, kStart + 2090ms), "");
  EXPECT_EQ(RunUntil(board, kStart + 2090ms, kStart + 2110ms), "ok\r\n");
}

TEST(GrblBoardTest, HoldStopsMidBlockAndResumeCompletesItOnce) {
  GrblBoard board = Started(RealMotion());
  Exchange(board, "G1 X10 F600\n");  // 10 mm/s
  board.Receive("!", kStart + 500ms);
  EXPECT_EQ(board.State(kStart + 500ms), "Hold:1");
  EXPECT_EQ(board.State(kStart + 549ms), "Hold:1");
  board.Receive("~", kStart + 520ms);  // ignored while it slows down
  EXPECT_EQ(board.State(kStart + 550ms), "Hold:0");
  // It went on for the deceleration, then stopped with the block unfinished.
  ExpectAt(board.Position(kStart + 2s), {5.5, 0, 0});
  EXPECT_TRUE(board.Executed().empty());
  EXPECT_EQ(board.PlannerBlocksFree(kStart + 2s), 14);
  EXPECT_EQ(Exchange(board, "?", kStart + 2s), "<Hold:0|MPos:5.500,0.000,0.000|FS:0,0>\r\n");

  board.Receive("~", kStart + 3s);
  EXPECT_EQ(board.State(kStart + 3s), "Run");
  ExpectAt(board.Position(kStart + 3200ms), {7.5, 0, 0});
  EXPECT_EQ(board.State(kStart + 3450ms), "Idle");
  ASSERT_EQ(board.Executed().size(), 1u);
  ExpectAt(board.Executed()[0].end, {10, 0, 0});

  // A hold taken while idle holds at once; a new block waits for "~".
  EXPECT_EQ(Exchange(board, "!G1 X0\n", kStart + 4s), "ok\r\n");
  EXPECT_EQ(board.State(kStart + 5s), "Hold:0");
  ExpectAt(board.Position(kStart + 5s), {10, 0, 0});
  board.Receive("~", kStart + 5s);
  EXPECT_EQ(board.State(kStart + 6s + 1ms), "Idle");
  EXPECT_EQ(board.Executed().size(), 2u);
}

TEST(GrblBoardTest, SoftResetKeepsPositionAtRestAndRaisesAlarmInMotion) {
  const struct {
    bool holdFirst;
    const char* output;
    const char* state;
    double x;
  } cases[] = {
      {true, "\r\nGrbl 1.1h ['$' for help]\r\n", "Idle", 5.5},
      {false, "ALARM:3\r\n\r\nGrbl 1.1h ['$' for help]\r\n[MSG:'$H'|'$X' to unlock]\r\n", "Alarm",
       5.0},
  };
  for (const auto& c : cases) {
    GrblBoard board = Started(RealMotion());
    Exchange(board, "M3 S500\nG1 X10 F600\nG1 X20\n");
    if (c.holdFirst) board.Receive("!", kStart + 500ms);
    EXPECT_EQ(Exchange(board, "\x18", kStart + 1500ms - (c.holdFirst ? 0ms : 1000ms)), c.output);
    EXPECT_EQ(board.State(kStart + 3s), c.state);
    ExpectAt(board.Position(kStart + 3s), {c.x, 0, 0});
    EXPECT_FALSE(board.LaserBurning(kStart + 3s));
    EXPECT_EQ(board.PlannerBlocksFree(kStart + 3s), 15);
    // Only the spindle line completed; the cut block never will.
    ASSERT_EQ(board.Executed().size(), 1u);
    EXPECT_EQ(board.Executed()[0].line, 1);
    // The count of lines goes on over the reset.
    board.Receive("$X\nG0 X0\n", kStart + 3s);
    RunUntil(board, kStart + 3s, kStart + 10s);
    EXPECT_EQ(board.Executed().back().line, 5);
  }
}

TEST(GrblBoardTest, LaserInAHoldBurnsOnlyOutsideLaserMode) {
  const struct {
    bool laserMode;
    const char* spindle;
    bool moving;
    bool held;
  } cases[] = {
      {true, "M3", true, false},
      {true, "M4", true, false},
      {false, "M3", true, true},
      {false, "M4", true, true},
  };
  for (const auto& c : cases) {
    GrblBoardOptions options = RealMotion();
    options.laserMode = c.laserMode;
    GrblBoard board = Started(options);
    Exchange(board, std::string(c.spindle) + " S800\nG1 X10 F600\n");
    EXPECT_EQ(board.LaserBurning(kStart + 200ms), c.moving) << c.spindle << c.laserMode;
    board.Receive("!", kStart + 500ms);
    EXPECT_EQ(board.LaserBurning(kStart + 510ms), c.held) << c.spindle << c.laserMode;
    EXPECT_EQ(board.LaserBurning(kStart + 2s), c.held) << c.spindle << c.laserMode;
    board.Receive("~", kStart + 2s);
    EXPECT_EQ(board.LaserBurning(kStart + 2100ms), c.moving);
  }
  // In laser mode a rapid never lights the laser, M4 only lights it in motion,
  // and M3 keeps it lit at rest.
  GrblBoard board = Started(RealMotion());
  Exchange(board, "M4 S800\nG0 X10\n");
  EXPECT_FALSE(board.LaserBurning(kStart + 100ms));
  EXPECT_FALSE(board.LaserBurning(kStart + 2s));
  Exchange(board, "G1 X20 F600\n", kStart + 2s);
  EXPECT_TRUE(board.LaserBurning(kStart + 2500ms));
  EXPECT_FALSE(board.LaserBurning(kStart + 4s));
  Exchange(board, "M3\n", kStart + 4s);
  EXPECT_TRUE(board.LaserBurning(kStart + 4s));
  Exchange(board, "S0\n", kStart + 4s);
  EXPECT_FALSE(board.LaserBurning(kStart + 4s));
}

TEST(GrblBoardTest, ProbeStopsAtTheSurfaceOrRaisesAnAlarm) {
  const struct {
    std::optional<double> surface;
    const char* answer;
    const char* state;
    double z;
  } cases[] = {
      {-2.0, "[PRB:3.000,0.000,-2.000:1]\r\nok\r\n", "Idle", -2},
      {-10.0, "ALARM:5\r\n[PRB:0.000,0.000,0.000:0]\r\nok\r\n", "Alarm", -5},
      {std::nullopt, "ALARM:5\r\n[PRB:0.000,0.000,0.000:0]\r\nok\r\n", "Alarm", -5},
      {1.0, "ALARM:4\r\nok\r\n", "Alarm", 0},
  };
  for (const auto& c : cases) {
    GrblBoardOptions options = RealMotion();
    if (c.surface) options.surface = [z = *c.surface](double, double) { return z; };
    GrblBoard board = Started(options);
    EXPECT_EQ(Exchange(board, "G0 X3\n"), "ok\r\n");
    // 3 mm of rapid at 1000 mm/min, then the probe at 60 mm/min (1 mm a second).
    board.Receive("G38.2 Z-5 F60\n", kStart);
    EXPECT_EQ(RunUntil(board, kStart, kStart + 20s), c.answer) << c.answer;
    EXPECT_EQ(board.State(kStart + 20s), c.state);
    ExpectAt(board.Position(kStart + 20s), {3, 0, c.z});
    // A failed probe locks G-code out.
    EXPECT_EQ(Exchange(board, "G0 Z0\n", kStart + 20s),
              std::string(c.state) == "Alarm" ? "error:9\r\n" : "ok\r\n");
  }
  // The touch comes at the right time: 2 mm at 1 mm/s after the rapid's 0.18 s.
  GrblBoardOptions options = RealMotion();
  options.surface = [](double x, double) { return x > 1 ? -2.0 : 0.0; };
  GrblBoard board = Started(options);
  board.Receive("G0 X3\nG38.2 Z-5 F60\n", kStart);
  EXPECT_EQ(RunUntil(board, kStart, kStart + 2179ms), "ok\r\n");
  EXPECT_EQ(RunUntil(board, kStart + 2179ms, kStart + 2181ms),
            "[PRB:3.000,0.000,-2.000:1]\r\nok\r\n");
}

TEST(GrblBoardTest, JogRunsUntilCancelled) {
  GrblBoard board = Started(RealMotion());
  EXPECT_EQ(Exchange(board, "$J=G91 G21 X10 F600\n"), "ok\r\n");
  EXPECT_EQ(board.State(kStart + 100ms), "Jog");
  EXPECT_EQ(Exchange(board, "G0 X1\n", kStart + 100ms), "error:9\r\n");
  board.Receive("\x85", kStart + 300ms);
  EXPECT_EQ(board.State(kStart + 349ms), "Jog");
  EXPECT_EQ(board.State(kStart + 350ms), "Idle");
  ExpectAt(board.Position(kStart + 1s), {3.5, 0, 0});
  EXPECT_TRUE(board.Executed().empty());  // a cut jog did not complete

  // The jog's G91 is its own: the parser stays absolute. A feed hold cancels a jog too.
  EXPECT_EQ(Exchange(board, "$J=G53 X0 Y1 F600\n", kStart + 1s), "ok\r\n");
  EXPECT_EQ(Exchange(board, "$G\n", kStart + 1s).substr(0, 22), "[GC:G0 G54 G17 G21 G90");
  board.Receive("!", kStart + 1100ms);
  EXPECT_EQ(board.State(kStart + 1200ms), "Idle");
  EXPECT_EQ(Exchange(board, "G0 X1\n", kStart + 2s), "ok\r\n");
  RunUntil(board, kStart + 2s, kStart + 4s);
  EXPECT_EQ(board.Executed().back().text, "G0 X1");
  EXPECT_GT(board.Position(kStart + 4s)[1], 0.0);
}

TEST(GrblBoardTest, AnswersTakeTheirTimeOnTheLine) {
  GrblBoardOptions options;
  options.motionScale = 0;
  GrblBoard board(options);
  board.TakeOutput(kStart);
  // 10 bytes in, 4 bytes out, 10 bits each at 115200 baud: 1.215 ms.
  board.Receive("G0 X1 Y2\r\n", kStart);
  EXPECT_EQ(board.TakeOutput(kStart + 1200us), "");
  EXPECT_EQ(board.NextEventTime(), kStart + 1215277ns);
  EXPECT_EQ(board.TakeOutput(kStart + 1216us), "ok\r\n");
}

TEST(GrblBoardTest, DropsTheLineOrFallsSilentAfterSomeLines) {
  GrblBoardOptions options = RealMotion();
  options.dropAfter = 2;
  GrblBoard board = Started(options);
  EXPECT_EQ(Exchange(board, "G1 X10 F600\nG1 X20\nG1 X30\n?"), "ok\r\nok\r\n");
  EXPECT_TRUE(board.LineDropped());
  // The board went with its line: stopped at once, nothing completed.
  ExpectAt(board.Position(kStart + 5s), {0, 0, 0});
  EXPECT_TRUE(board.Executed().empty());
  EXPECT_FALSE(board.NextEventTime());

  options.dropRunsOut = true;
  GrblBoard powered = Started(options);
  Exchange(powered, "G1 X10 F600\nG1 X20\nG1 X30\n?");
  EXPECT_TRUE(powered.LineDropped());
  ExpectAt(powered.Position(kStart + 5s), {20, 0, 0});
  EXPECT_EQ(powered.Executed().size(), 2u);

  options = RealMotion();
  options.silentAfter = 1;
  GrblBoard silent = Started(options);
  EXPECT_EQ(Exchange(silent, "G1 X10 F600\nG1 X20\n?"), "ok\r\n");
  EXPECT_EQ(RunUntil(silent, kStart, kStart + 5s), "");
  EXPECT_FALSE(silent.LineDropped());
  EXPECT_EQ(silent.Executed().size(), 1u);  // what it had taken still runs out
}

}  // namespace
}  // namespace vertolin
