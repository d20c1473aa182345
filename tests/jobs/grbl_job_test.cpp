// Jobs streamed to the simulated grbl 1.1 board in this process: what the
// machine carried out, against what the window link wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "board/grbl_board.h"
#include "jobs/job_runner.h"
#include "link/grbl_stream.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/sim_port.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

using Clock = std::chrono::steady_clock;

// Collects the lines the window link wrote for the job's own motions.
class LineLog : public MotionObserver {
 public:
  void Written(const Motion&, std::string_view line) override {
    std::string_view rest = line;
    while (true) {
      const std::size_t end = rest.find('\n');
      lines.emplace_back(rest.substr(0, end));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
  std::vector<std::string> lines;
};

// Sees the machine at the moment the person is asked.
struct AskingFrontend : test::RecordingFrontend {
  bool AskYesNo(std::string_view title, std::string_view text) override {
    if (onAsk) onAsk();
    return RecordingFrontend::AskYesNo(title, text);
  }
  std::function<void()> onAsk;
};

// A board whose motion runs `scale` times faster than its feeds.
GrblBoardOptions Fast(double scale) {
  GrblBoardOptions options;
  options.motionScale = scale;
  return options;
}

class GrblJobTest : public ::testing::Test {
 protected:
  GrblJobTest() : link_(frontend_, Profile()) {
    // A wait that never ends fails the test instead of hanging it.
    link_.ackPolicy() = {
        .stopEndsWait = true, .overdueLosesLink = true, .limit = std::chrono::milliseconds(3000)};
  }

  static MachineProfile Profile() {
    MachineProfile profile;
    profile.protocol = BoardProtocol::Grbl;
    profile.xRatio = profile.yRatio = profile.zRatio = 0.1;
    return profile;
  }

  GrblBoard& UseBoard(GrblBoardOptions options) {
    auto port = std::make_unique<SimPort>(GrblBoard(std::move(options)));
    GrblBoard& board = port->grbl();
    link_.Attach(std::move(port));
    return board;
  }

  // A raster of `pixels` one-step moves, alternately burnt and passed over.
  static JobProgram Raster(int pixels) {
    co_yield ProgramStep::Setup({MotionKind::RasterOpen, {}, 3000, 1});
    for (int pixel = 0; pixel < pixels; ++pixel) {
      const bool burn = pixel % 3 != 0;
      co_yield ProgramStep::Move(
          {burn ? MotionKind::Burn : MotionKind::Travel, pixel % 40 == 39 ? -39 : 1,
           pixel % 40 == 39 ? 1 : 0, 0, burn ? 1000 + 50 * (pixel % 7) : 0},
          StepScale{1, 1, 1});
    }
  }

  // The job's own lines the board carried out, in order, without the
  // sender's set-up and closing.
  std::vector<std::string> ProgramLinesExecuted(const GrblBoard& board) const {
    std::vector<std::string> lines;
    for (const GrblExecuted& block : board.Executed()) {
      if (block.text.starts_with("$") || block.text.starts_with("G92") || block.text == "G21 G90" ||
          block.text == "M5" || block.text == "M2" || block.text.empty())
        continue;
      lines.push_back(block.text);
    }
    return lines;
  }

  // The raster of 240 pixels run whole on a board of instant motion: the
  // moves that the runs of a stopped and resumed job must add up to.
  std::vector<std::pair<std::array<double, 3>, double>> WholeRasterMoves();

  test::RecordingFrontend frontend_;
  Link link_;
};

TEST_F(GrblJobTest, ARasterStreamsWithoutOverflowAndEveryLineIsCarriedOutOnce) {
  GrblBoard& board = UseBoard(Fast(50));
  WindowLink window(link_, formats::kGradation);
  LineLog log;
  window.AddMotionObserver(&log);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl())
      << (frontend_.messages.empty() ? "" : frontend_.messages[0].text);
  const JobResult result = JobRunner(window).Run(Raster(400));
  EXPECT_EQ(result, JobOutcome::Done);
  EXPECT_EQ(board.Overflowed(), 0u);
  EXPECT_EQ(ProgramLinesExecuted(board), log.lines);
  EXPECT_EQ(window.resumePoint().lines, 401);  // the opening and every pixel
  EXPECT_FALSE(board.LaserBurning(Clock::now()));
  EXPECT_EQ(board.State(Clock::now()), "Idle");
  // The status mask is as the board had it.
  EXPECT_EQ(board.Setting(10), 1.0);
}

TEST_F(GrblJobTest, AStopHoldsAtOnceAndCountsExactlyWhatTheMachineDid) {
  struct Case {
    int stopAfterEvents;
    bool goOn;
  };
  for (const Case c : {Case{5, false}, Case{40, false}, Case{30, true}}) {
    SCOPED_TRACE(c.stopAfterEvents);
    AskingFrontend frontend;
    Link link(frontend, Profile());
    link.ackPolicy() = link_.ackPolicy();
    auto port = std::make_unique<SimPort>(GrblBoard(Fast(4)));
    GrblBoard& board = port->grbl();
    link.Attach(std::move(port));
    WindowLink window(link, formats::kGradation);
    window.SetDriveSwitch([] { return true; });
    ASSERT_TRUE(window.ConnectGrbl());
    int events = 0;
    std::optional<std::string> stateAtQuestion;
    bool burningAtQuestion = true;
    frontend.onEvents = [&] {
      if (++events == c.stopAfterEvents) link.RequestStop();
    };
    frontend.onAsk = [&] {
      stateAtQuestion = board.State(Clock::now());
      burningAtQuestion = board.LaserBurning(Clock::now());
    };
    frontend.yesNoAnswers = {!c.goOn};
    const JobResult result = JobRunner(window).Run(Raster(600));
    ASSERT_EQ(frontend.questions.size(), 1u);
    // Asked while the machine holds, the laser dark.
    EXPECT_EQ(stateAtQuestion, "Hold:0");
    EXPECT_FALSE(burningAtQuestion);
    if (c.goOn) {
      EXPECT_EQ(result, JobOutcome::Done);
      EXPECT_EQ(window.resumePoint().lines, 601);
    } else {
      EXPECT_EQ(result, JobOutcome::Stopped);
      // The program lines the machine completed are the ones counted: the
      // opening, then one pixel per line.
      const auto done = static_cast<std::int64_t>(ProgramLinesExecuted(board).size());
      EXPECT_EQ(window.resumePoint().lines, done);
    }
    EXPECT_FALSE(board.LaserBurning(Clock::now()));
    EXPECT_EQ(board.Overflowed(), 0u);
    EXPECT_EQ(board.Setting(10), 1.0);
  }
}

TEST_F(GrblJobTest, TheBoardIsReadAndRefusedWhereAJobCannotRunSafely) {
  struct Case {
    const char* name;
    bool laserMode;
    bool alarm;
    const LinkFormat* format;
    const char* said;  // "" : connected
  };
  const Case cases[] = {
      {"laser mode on", true, false, &formats::kGradation, ""},
      {"router without laser mode", false, false, &formats::kRouter, ""},
      {"laser without laser mode", false, false, &formats::kOutlining, "$32=1"},
      {"alarm", true, true, &formats::kGradation, "$X"},
      {"scanner", true, false, &formats::kScanner, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingFrontend frontend;
    Link link(frontend, Profile());
    GrblBoardOptions options;
    options.laserMode = c.laserMode;
    options.alarmAtStart = c.alarm;
    link.Attach(std::make_unique<SimPort>(GrblBoard(options)));
    WindowLink window(link, *c.format);
    const bool connected = window.ConnectGrbl();
    EXPECT_EQ(connected, std::string_view(c.said).empty());
    if (connected) {
      EXPECT_EQ(window.grblIdentity()->version, "1.1h");
      EXPECT_EQ(window.grblIdentity()->Setting(100, 0), 250.0);
    } else {
      ASSERT_EQ(frontend.messages.size(), 1u);
      EXPECT_NE(frontend.messages[0].text.find(c.said), std::string::npos)
          << frontend.messages[0].text;
    }
  }
}

TEST_F(GrblJobTest, ALineTheBoardRefusesEndsTheJobWithItsNumberTextAndMeaning) {
  GrblBoard& board = UseBoard(Fast(0));
  GrblStream stream(link_);
  ASSERT_TRUE(stream.Connect());
  stream.Send("G21 G90", false, false);
  stream.Send("G1 X1", true, false);  // no feed yet: grbl's error 22
  EXPECT_THROW(stream.Finish(), MoveRefused);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  const std::string& text = frontend_.messages[0].text;
  EXPECT_NE(text.find("error:22"), std::string::npos) << text;
  EXPECT_NE(text.find("«G1 X1»"), std::string::npos) << text;
  EXPECT_NE(text.find("подача"), std::string::npos) << text;
  stream.Halt();
  EXPECT_EQ(board.State(Clock::now()), "Idle");
}

TEST_F(GrblJobTest, ABoardThatFallsSilentEndsTheJobAsALostLink) {
  GrblBoardOptions options = Fast(20);
  options.silentAfter = 30;
  UseBoard(options);
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl());
  const auto start = Clock::now();
  EXPECT_EQ(JobRunner(window).Run(Raster(300)), JobOutcome::LinkLost);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

// The sender held up for longer than the silence allows (a loaded machine)
// right after it asked for the status: the report waiting is read, and the
// job goes on.
TEST_F(GrblJobTest, ASenderHeldUpFindsTheReportWaitingAndGoesOn) {
  class StallingPort : public SerialPort {
   public:
    explicit StallingPort(GrblBoardOptions options) : board_(GrblBoard(std::move(options))) {}
    void Write(std::string_view bytes) override {
      board_.Write(bytes);
      if (bytes == "?" && ++asked_ == 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override {
      return board_.WriteChecked(bytes, limit);
    }
    int ReadByte() override { return board_.ReadByte(); }

   private:
    SimPort board_;
    int asked_ = 0;
  };
  link_.Attach(std::make_unique<StallingPort>(Fast(20)));
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl());
  EXPECT_EQ(JobRunner(window).Run(Raster(300)), JobOutcome::Done)
      << (frontend_.messages.empty() ? "" : frontend_.messages[0].text);
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

TEST_F(GrblJobTest, MovesByHandJogAndStopShortWhenLetGo) {
  GrblBoard& board = UseBoard(Fast(1));
  WindowLink window(link_, formats::kPositioning);
  ASSERT_TRUE(window.ConnectGrbl());
  window.ArduinoMoveMM(1, 2, -0.5);
  ASSERT_FALSE(board.Executed().empty());
  // The board keeps its lines without spaces.
  EXPECT_TRUE(board.Executed().back().text.starts_with("$J=G91G21X1.000Y2.000Z-0.500F"))
      << board.Executed().back().text;
  EXPECT_EQ(link_.machine().position(), (MachineSteps{10, 20, -5}));

  // A long jog let go of early: the head stops short, and the model follows
  // the board, not the jog asked for.
  int events = 0;
  frontend_.onEvents = [&] {
    if (++events == 10) window.CancelJog();
  };
  window.ArduinoMoveMM(30, 0, 0);
  const auto at = board.Position(Clock::now());
  EXPECT_GT(at[0], 1.0);
  EXPECT_LT(at[0], 20.0);
  EXPECT_NEAR(static_cast<double>(link_.machine().position()[0]) * 0.1, at[0], 0.1);
  EXPECT_EQ(board.State(Clock::now()), "Idle");
}

JobProgram Probes(int count, std::vector<std::optional<std::int32_t>>& heights) {
  ProbeAnswer answer;
  for (int i = 0; i < count; ++i) {
    co_yield ProgramStep::Move({MotionKind::Travel, 10, 0, 0, 0}, StepScale{1, 1, 1});
    co_yield ProgramStep::Probe({MotionKind::Probe, 0, 0, 0, 0, 1}, answer);
    heights.push_back(answer.value);
  }
}

TEST_F(GrblJobTest, AProbeScanReadsHeightsAndAMissEndsItKeepingWhatWasMeasured) {
  GrblBoardOptions options = Fast(0);
  // A slope that falls away past x = 2.5 mm, below the probe's reach.
  options.surface = [](double x, double) { return x < 2.5 ? -0.25 * x : -50.0; };
  GrblBoard& board = UseBoard(options);
  WindowLink window(link_, formats::kScanner);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl());
  std::vector<std::optional<std::int32_t>> heights;
  EXPECT_EQ(JobRunner(window).Run(Probes(4, heights)), JobOutcome::Refused);
  // Thousandths of a millimetre from the start, at x = 1 mm and 2 mm, to
  // the board's step (4 µm).
  ASSERT_EQ(heights.size(), 2u);
  EXPECT_NEAR(heights[0].value_or(0), -250, 4);
  EXPECT_NEAR(heights[1].value_or(0), -500, 4);
  ASSERT_FALSE(frontend_.messages.empty());
  EXPECT_NE(frontend_.messages.back().text.find("ALARM:5"), std::string::npos);
  EXPECT_FALSE(board.LaserBurning(Clock::now()));
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

// What a journal keeps of a stopped job.
struct KeptPoint : ResumeRecorder {
  void Record(const ResumePoint& at, bool final) override {
    if (final) point = at;
  }
  void MachinePlace(const std::array<double, 3>& at, const std::array<double, 3>& stood) override {
    origin = at;
    head = stood;
  }
  void MaybeDone(std::vector<std::optional<std::array<double, 3>>> ends) override {
    maybeDone = std::move(ends);
  }
  void Completed() override { completed = true; }
  std::optional<std::vector<std::optional<std::array<double, 3>>>> maybeDone;
  ResumePoint point;
  std::optional<std::array<double, 3>> origin;
  std::optional<std::array<double, 3>> head;
  bool completed = false;
};

// The program's moves the board completed: where each ended and at what
// power, without the sender's own lines (its set-up, the way back).
std::vector<std::pair<std::array<double, 3>, double>> ProgramMoves(const GrblBoard& board,
                                                                   std::size_t from = 0) {
  std::vector<std::pair<std::array<double, 3>, double>> moves;
  for (std::size_t i = from; i < board.Executed().size(); ++i) {
    const GrblExecuted& block = board.Executed()[i];
    const std::string& text = block.text;
    if (text.empty() || text[0] == '$' || text[0] == 'M' || text.starts_with("G92") ||
        text.starts_with("G21") || text.starts_with("G0"))
      continue;
    moves.emplace_back(block.end, block.power);
  }
  return moves;
}

std::vector<std::pair<std::array<double, 3>, double>> GrblJobTest::WholeRasterMoves() {
  GrblBoard& whole = UseBoard(Fast(0));
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  EXPECT_TRUE(window.ConnectGrbl());
  EXPECT_EQ(JobRunner(window).Run(Raster(240)), JobOutcome::Done);
  return ProgramMoves(whole);
}

TEST_F(GrblJobTest, StoppedAnywhereAndResumedEveryMoveIsCarriedOutOnce) {
  const auto expected = WholeRasterMoves();
  ASSERT_FALSE(expected.empty());

  for (const int stopAfterEvents : {4, 11, 23, 37}) {
    SCOPED_TRACE(stopAfterEvents);
    test::RecordingFrontend frontend;
    Link link(frontend, Profile());
    link.ackPolicy() = link_.ackPolicy();
    auto port = std::make_unique<SimPort>(GrblBoard(Fast(3)));
    GrblBoard& board = port->grbl();
    link.Attach(std::move(port));
    KeptPoint kept;
    {
      WindowLink window(link, formats::kGradation);
      window.SetDriveSwitch([] { return true; });
      window.SetResumeRecorder(&kept);
      ASSERT_TRUE(window.ConnectGrbl());
      int events = 0;
      frontend.onEvents = [&] {
        if (++events == stopAfterEvents) link.RequestStop();
      };
      ASSERT_EQ(JobRunner(window).Run(Raster(240)), JobOutcome::Stopped);
      frontend.onEvents = nullptr;
    }
    ASSERT_TRUE(kept.origin && kept.head);
    EXPECT_EQ(kept.point.lines, static_cast<std::int64_t>(ProgramMoves(board).size()) + 1);
    // Another window link, as another run of the program would have: the
    // journal's point and places are all it knows.
    link.ClearStop();
    WindowLink again(link, formats::kGradation);
    again.SetDriveSwitch([] { return true; });
    ASSERT_TRUE(again.ConnectGrbl());
    again.ResumeGrblJob(*kept.origin, kept.head);
    again.Replay(kept.point.lines, kept.point.depth);
    EXPECT_EQ(JobRunner(again).Run(Raster(240)), JobOutcome::Done);
    EXPECT_EQ(ProgramMoves(board), expected);
    EXPECT_EQ(board.Overflowed(), 0u);
  }
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

// The line dropped mid-job, the board keeping its own power: it ran out what
// it had planned. Once it answers again, where it stands tells how many of
// the lines it may have done it did, and the job goes on from there. A board
// that restarted meanwhile began its coordinates again: that is refused.
TEST_F(GrblJobTest, ALinkLostAnywhereAndResumedCarriesOutEveryMoveOnce) {
  const auto expected = WholeRasterMoves();
  ASSERT_FALSE(expected.empty());

  // A board that greets again does so at once; one that did not restart is
  // first waited for (kBannerWait), so there are few of those.
  for (const bool restarted : {false, true}) {
    for (const int dropAfter : restarted ? std::vector<int>{40} : std::vector<int>{9, 40, 150}) {
      SCOPED_TRACE((restarted ? "restarted, " : "kept its power, ") + std::to_string(dropAfter));
      test::RecordingFrontend frontend;
      Link link(frontend, Profile());
      link.ackPolicy() = link_.ackPolicy();
      GrblBoardOptions options = Fast(3);
      options.dropAfter = dropAfter;
      options.dropRunsOut = !restarted;
      auto port = std::make_unique<SimPort>(GrblBoard(options));
      SimPort& line = *port;
      GrblBoard& board = port->grbl();
      link.Attach(std::move(port));
      KeptPoint kept;
      {
        WindowLink window(link, formats::kGradation);
        window.SetDriveSwitch([] { return true; });
        window.SetResumeRecorder(&kept);
        ASSERT_TRUE(window.ConnectGrbl());
        ASSERT_EQ(JobRunner(window).Run(Raster(240)), JobOutcome::LinkLost);
      }
      ASSERT_TRUE(kept.origin) << "origin";
      ASSERT_TRUE(kept.maybeDone) << "maybe";
      // Never more than the board completed.
      EXPECT_LE(kept.point.lines, static_cast<std::int64_t>(ProgramMoves(board).size()) + 1);
      link.ClearStop();
      if (restarted) {
        link.Attach(std::make_unique<SimPort>(GrblBoard(Fast(3))));
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        line.LineBack();
      }
      WindowLink again(link, formats::kGradation);
      again.SetDriveSwitch([] { return true; });
      ASSERT_TRUE(again.ConnectGrbl());
      const auto more = again.GrblDoneAfterLoss(*kept.maybeDone);
      if (restarted) {
        EXPECT_FALSE(more);
        continue;
      }
      ASSERT_TRUE(more);
      again.ResumeGrblJob(*kept.origin, std::nullopt);
      again.Replay(kept.point.lines + *more, kept.point.depth);
      EXPECT_EQ(JobRunner(again).Run(Raster(240)), JobOutcome::Done);
      EXPECT_EQ(ProgramMoves(board), expected);
      EXPECT_EQ(board.Overflowed(), 0u);
    }
  }
}

// The readout follows the status reports, so a long move shows its way, not
// only its end.
TEST_F(GrblJobTest, ThePositionShownFollowsTheHeadAlongALongMove) {
  struct Readout : test::RecordingFrontend {
    void ShowPosition(const MachinePosition& position) override {
      shown.push_back(position.millimetres);
    }
    std::vector<std::array<double, 3>> shown;
  } frontend;
  Link link(frontend, Profile());
  link.ackPolicy() = link_.ackPolicy();
  link.Attach(std::make_unique<SimPort>(GrblBoard(Fast(3))));
  WindowLink window(link, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl());
  const auto longMove = []() -> JobProgram {
    co_yield ProgramStep::Move({MotionKind::Travel, 5, 0, 0, 0}, StepScale{1, 1, 1});
    co_yield ProgramStep::Move({MotionKind::Travel, 300, 0, 0, 0}, StepScale{1, 1, 1});
  };
  ASSERT_EQ(JobRunner(window).Run(longMove()), JobOutcome::Done);
  ASSERT_FALSE(frontend.shown.empty());
  const bool midway = std::any_of(frontend.shown.begin(), frontend.shown.end(), [](const auto& at) {
    return at[0] > 2.0 && at[0] < 29.0 && std::abs(at[1]) < 1e-9;
  });
  EXPECT_TRUE(midway);
  // Never past the end, never back before the start.
  for (const auto& at : frontend.shown) {
    EXPECT_GE(at[0], -1e-9);
    EXPECT_LE(at[0], 30.5 + 1e-9);
  }
  EXPECT_NEAR(frontend.shown.back()[0], 30.5, 1e-9);
}

TEST_F(GrblJobTest, AFreshStartAfterAStopGoesBackToTheJobsOriginFirst) {
  GrblBoard& board = UseBoard(Fast(3));
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  ASSERT_TRUE(window.ConnectGrbl());
  int events = 0;
  frontend_.onEvents = [&] {
    if (++events == 15) link_.RequestStop();
  };
  ASSERT_EQ(JobRunner(window).Run(Raster(240)), JobOutcome::Stopped);
  frontend_.onEvents = nullptr;
  const std::size_t stoppedAt = board.Executed().size();
  ASSERT_GT(board.Position(Clock::now())[0], 0.5);
  link_.ClearStop();
  frontend_.yesNoAnswers = {true};  // go back first
  ASSERT_EQ(JobRunner(window).Run(Raster(240)), JobOutcome::Done);
  // The whole job again, from the first job's origin.
  std::vector<std::pair<std::array<double, 3>, double>> again;
  for (std::size_t i = stoppedAt; i < board.Executed().size(); ++i) {
    const GrblExecuted& block = board.Executed()[i];
    if (block.text.starts_with("X") || block.text.starts_with("G1") || block.text.starts_with("Y"))
      again.emplace_back(block.end, block.power);
  }
  ASSERT_FALSE(again.empty());
  EXPECT_NEAR(again.front().first[0], 0.1, 1e-9);
  EXPECT_NEAR(again.back().first[1], 0.6, 1e-9);  // six rows
  EXPECT_EQ(again.size(), 240u);
}

}  // namespace
}  // namespace vertolin
