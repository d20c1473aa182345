#include "link/window_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "link/interruption.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"

namespace vertolin {
namespace {

class WindowLinkTest : public ::testing::Test {
 protected:
  test::ScriptedPort& UseScript() {
    auto port = std::make_unique<test::ScriptedPort>(script_);
    auto& ref = *port;
    link_.Attach(std::move(port));
    return ref;
  }

  SimulatedBoard& UseBoard(char kind, BoardFaults faults = {}) {
    auto port = std::make_unique<SimPort>(SimulatedBoard(kind, std::move(faults)));
    auto& board = port->board();
    link_.Attach(std::move(port));
    return board;
  }

  static std::vector<std::string> Lines(const SimulatedBoard& board) {
    std::vector<std::string> lines;
    for (const auto& command : board.Record()) lines.push_back(command.text);
    return lines;
  }

  // A move as the firmware's fields put it: the third field is the router's
  // depth, the raster's delay, the laser's switch or the probe's argument.
  struct Step {
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    std::int32_t third = 0;
    std::int32_t delay = 0;
  };

  // A window link whose job steps all go at one scale.
  class ScaledWindow : public WindowLink {
   public:
    ScaledWindow(Link& link, const LinkFormat& format, StepScale scale)
        : WindowLink(link, format), scale_(scale) {}
    void SendStep(const Step& step, bool wait) {
      Checkpoint(wait);
      Send(Motion(step), scale_, wait);
    }
    void SendAt(const Step& step, const StepScale& scale, bool wait) {
      Send(Motion(step), scale, wait);
    }

   private:
    JobMotion Motion(const Step& s) const {
      using K = MotionKind;
      switch (format().dialect.steps) {
        case NativeDialect::Steps::XYZDelay:
          return {K::Cut, s.dx, s.dy, s.third, s.delay};
        case NativeDialect::Steps::LaserCompact:
          return {s.third > 0   ? K::ToolOn
                  : s.third < 0 ? K::ToolOff
                                : K::Cut,
                  s.dx, s.dy, 0, s.delay};
        case NativeDialect::Steps::XYValue:
          return {s.third > 0 ? K::Burn : K::Travel, s.dx, s.dy, 0, s.third};
        case NativeDialect::Steps::XYProbe:
          break;
      }
      return {s.third != 0 ? K::Probe : K::Travel, s.dx, s.dy, 0, 0, s.third};
    }

    StepScale scale_;
  };

  ScaledWindow Window(const LinkFormat& format, bool drive = true, StepScale scale = {1, 1, 1}) {
    ScaledWindow window(link_, format, scale);
    window.SetDriveSwitch([this] { return drive_; });
    window.SetInterruptionPrompt(&frontend_);
    drive_ = drive;
    return window;
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  test::ScriptedPort::Shared script_;
  bool drive_ = true;
};

TEST_F(WindowLinkTest, MillimetresRoundToWholeStepsHalvesToEven) {
  link_.profile().xRatio = 0.25;
  auto& board = UseBoard('M');
  ScaledWindow window = Window(formats::kRouter);
  window.ArduinoMoveMM(0.625, 0, 0);  // 2.5 steps
  window.ArduinoMoveMM(0.875, 0, 0);  // 3.5 steps
  window.ArduinoMoveMM(-0.625, 0.01, 0);
  EXPECT_EQ(Lines(board), (std::vector<std::string>{"2,0,0,2000;", "4,0,0,2000;", "-2,2,0,2000;"}));
}

// A negative ratio reverses its axis; a machine without Z moves only on X
// and Y, and neither it nor its model moves on Z.
TEST_F(WindowLinkTest, MillimetreMoveTextDependsOnTheWindow) {
  link_.profile().zRatio = -0.005;
  const std::string idle = std::to_string(link_.profile().idleDelay);
  auto& router = UseBoard('M');
  Window(formats::kRouter).ArduinoMoveMM(1, 2, 3);
  EXPECT_EQ(Lines(router), std::vector<std::string>{"200,400,-600," + idle + ";"});
  EXPECT_EQ(link_.machine().position()[2], -600);
  auto& laser = UseBoard('P');
  Window(formats::kGradation).ArduinoMoveMM(1, 2, 3);
  EXPECT_EQ(Lines(laser), std::vector<std::string>{"200,400,0;"});
  EXPECT_FALSE(laser.LaserOn());
  EXPECT_EQ(link_.machine().position()[2], -600);
}

TEST_F(WindowLinkTest, MoveThatCannotBeExpressedInStepsIsRefusedAndNothingSent) {
  auto& port = UseScript();
  (void)port;
  ScaledWindow window = Window(formats::kRouter);
  EXPECT_THROW(window.ArduinoMoveMM(1e9, 0, 0), MoveRefused);
  link_.profile().yRatio = 0;
  EXPECT_THROW(window.ArduinoMoveMM(0, 1, 0), MoveRefused);
  EXPECT_TRUE(script_.written.empty());
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_EQ(frontend_.messages[0].title, texts::kTitleError);
}

TEST_F(WindowLinkTest, MillingCarryNeverLosesFractionsOfASteps) {
  auto& board = UseBoard('M');
  ScaledWindow window = Window(formats::kRouter, true, {0.3, 0.3, 1});
  for (int i = 0; i < 10; ++i) window.SendStep({1, 0, 0, 100}, true);
  std::int64_t sum = 0;
  for (const auto& command : board.Record()) sum += command.fields[0].value_or(0);
  EXPECT_EQ(sum, 3);
  EXPECT_EQ(board.Position()[0], 3);
  EXPECT_EQ(window.accounted()[0], 3);
}

TEST_F(WindowLinkTest, DryRunSendsNothingButKeepsTheSameRounding) {
  UseScript();
  ScaledWindow window = Window(formats::kRouter, false, {0.3, 0.3, 1});
  for (int i = 0; i < 10; ++i) window.SendStep({1, 0, 0, 100}, true);
  window.AwaitAck();  // returns at once: nothing was sent
  EXPECT_TRUE(script_.written.empty());
  EXPECT_EQ(window.accounted()[0], 3);

  // The carry goes on when the drive is switched on.
  drive_ = true;
  script_.ackEveryWrite = true;
  window.SendStep({1, 0, 0, 0}, true);  // exact 3.3, accounted 3: nothing to send
  window.SendStep({1, 0, 0, 0}, true);  // exact 3.6 -> one step
  EXPECT_EQ(script_.written, std::vector<std::string>{"1,0,0,0;"});
}

TEST_F(WindowLinkTest, MillingStopShowsTheInterruptionDialog) {
  script_.ackEveryWrite = true;
  UseScript();
  ScaledWindow window = Window(formats::kRouter);
  link_.RequestStop();
  frontend_.dialogAnswers = {1};
  window.SendStep({2, 0, 0, 500}, true);
  EXPECT_EQ(frontend_.dialogs, 1);
  EXPECT_FALSE(link_.StopRequested());
  EXPECT_EQ(script_.written, std::vector<std::string>{"2,0,0,500;"});

  link_.RequestStop();
  frontend_.dialogAnswers = {0};
  EXPECT_THROW(window.SendStep({2, 0, 0, 500}, true), LinkError);
  EXPECT_EQ(script_.written.size(), 1u);
}

TEST_F(WindowLinkTest, PendingOffsetsJoinTheNextMoveOnce) {
  script_.ackEveryWrite = true;
  UseScript();
  ScaledWindow window = Window(formats::kRouter, true, {10, 10, 2});
  window.AddPendingSteps({5, -5, 7});
  window.SendStep({1, 1, 1, 0}, true);
  window.SendStep({1, 1, 1, 0}, true);
  EXPECT_EQ(script_.written, (std::vector<std::string>{"15,5,9,0;", "10,10,2,0;"}));
}

TEST_F(WindowLinkTest, OutliningCompactsItsLinesAndPausesTheLaserAroundTheQuestion) {
  auto& board = UseBoard('P');
  ScaledWindow window = Window(formats::kOutlining, true, {1, 1, 0});
  window.SendStep({5, 0, 0, 1000}, true);
  window.SendStep({5, 3, 0, 0}, true);
  window.SendStep({0, 0, 1, 1000}, true);  // laser on
  link_.RequestStop();
  frontend_.yesNoAnswers = {false};  // go on
  window.SendStep({1, 0, 0, 0}, true);
  EXPECT_EQ(Lines(board), (std::vector<std::string>{"5,0,0,1000;", "5,3;", "0,0,1,1000;", "0,0,-1",
                                                    "0,0,1", "1;"}));
  ASSERT_EQ(frontend_.questions.size(), 1u);
  EXPECT_EQ(frontend_.questions[0].text, texts::kStopQuestion);

  link_.RequestStop();
  frontend_.yesNoAnswers = {true};  // stop: laser off, and nothing more
  EXPECT_THROW(window.SendStep({1, 0, 0, 0}, true), LinkError);
  EXPECT_TRUE(link_.StopRequested());
  EXPECT_EQ(Lines(board).back(), "0,0,-1");
  EXPECT_FALSE(board.LaserOn());

  // StopFlag stays set, so the next job's first move (a travel, as "Грав-ть
  // всё" starts without clearing it) asks again. The laser is off by now:
  // going on must not switch it on for the travel.
  frontend_.yesNoAnswers = {false};
  window.SendStep({3, 0, 0, 1000}, true);
  const std::vector<std::string> lines = Lines(board);
  EXPECT_EQ(lines.back(), "3,0,0,1000;");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "0,0,1"), 1);
  EXPECT_FALSE(board.LaserOn());
}

TEST_F(WindowLinkTest, ClearingTheDriveSwitchWithTheLaserOnSwitchesItOffOnce) {
  auto& board = UseBoard('P');
  ScaledWindow window = Window(formats::kOutlining, true, {1, 1, 0});
  window.SendStep({0, 0, 1, 1000}, true);
  window.SendStep({2, 0, 0, 0}, true);
  drive_ = false;  // "Гравировать" cleared during the pass
  window.SendStep({2, 0, 0, 0}, true);
  window.SendStep({0, 0, -1, 2000}, true);
  EXPECT_EQ(Lines(board), (std::vector<std::string>{"0,0,1,1000;", "2;", "0,0,-1,2000;"}));
  EXPECT_FALSE(board.LaserOn());
  EXPECT_FALSE(window.reply().HasAck());  // its acknowledgement was taken
}

TEST_F(WindowLinkTest, OutliningWithTheLaserOffAsksWithoutPauseLines) {
  script_.ackEveryWrite = true;
  UseScript();
  ScaledWindow window = Window(formats::kCutting, true, {1, 1, 0});
  window.SendStep({0, 0, -1, 0}, true);
  link_.RequestStop();
  frontend_.yesNoAnswers = {false};
  window.SendStep({0, 0, 0, 0}, true);  // nothing to move: nothing sent
  EXPECT_EQ(script_.written, std::vector<std::string>{"0,0,-1;"});
}

TEST_F(WindowLinkTest, GradationUsesWholeStepsPerPixelWithoutCarry) {
  auto& board = UseBoard('P');
  ScaledWindow window = Window(formats::kGradation, true, {9.6, 10.5, 0});
  window.SendStep({3, 0, 0, 0}, true);
  window.SendStep({1, 0, 2500, 0}, true);
  window.SendStep({0, 1, 0, 0}, true);
  EXPECT_EQ(Lines(board), (std::vector<std::string>{"30,0,0;", "10,0,2500;", "0,10,0;"}));
}

TEST_F(WindowLinkTest, TheToolEndsAWaitAtAStopAndForAnOverdueBoard) {
  using namespace std::chrono_literals;
  link_.ackPolicy() = {.stopEndsWait = true, .overdueLosesLink = true, .limit = 100ms};
  UseScript();  // never answers
  ScaledWindow window = Window(formats::kRouter);
  window.SendStep({1, 0, 0, 500}, false);
  EXPECT_THROW(window.SendStep({2, 0, 0, 500}, true), LinkError);
  EXPECT_EQ(link_.stopCause(), Link::StopCause::LinkLost);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find("строку 2 «2,0,0,500;»"), std::string::npos);

  // A board that talks without end is overdue all the same, and a stop
  // during its talk ends the wait too.
  for (const bool stop : {false, true}) {
    link_.ClearStop();
    link_.ackPolicy().limit = stop ? std::nullopt : std::optional(100ms);
    BoardFaults babble;
    babble.babble = true;
    UseBoard('M', babble);
    frontend_.onEvents = [&] {
      if (stop) link_.RequestStop();
    };
    ScaledWindow babbled = Window(formats::kRouter);
    EXPECT_THROW(babbled.SendStep({1, 0, 0, 500}, true), LinkError);
    EXPECT_EQ(link_.stopCause(), stop ? Link::StopCause::Person : Link::StopCause::LinkLost);
  }
}

TEST_F(WindowLinkTest, TheWindowsWaitOnButSayHowLongTheBoardHasKeptSilent) {
  using namespace std::chrono_literals;
  auto& port = UseScript();
  ScaledWindow window = Window(formats::kRouter);
  // A stop while the board is not yet overdue leaves the wait to its answer.
  frontend_.onEvents = [&] {
    link_.RequestStop();
    if (frontend_.eventRuns == 3) port.Script("T");
  };
  EXPECT_NO_THROW(window.SendAt({1, 0, 0, 500}, {1, 1, 1}, true));
  // It says at once that the stop was taken, and no more once answered.
  ASSERT_EQ(frontend_.statuses.size(), 2u);
  EXPECT_EQ(frontend_.statuses[0],
            "«Стоп» принят: плата заканчивает строку 1 «1,0,0,500;», затем задание остановится.");
  EXPECT_EQ(frontend_.statuses[1], "");
  frontend_.statuses.clear();
  link_.ClearStop();

  link_.ackPolicy().limit = 30ms;
  frontend_.onEvents = [&] {
    if (!frontend_.statuses.empty() && script_.reads.empty()) port.Script("T");
  };
  window.SendAt({1, 0, 0, 500}, {1, 1, 1}, true);
  ASSERT_EQ(frontend_.statuses.size(), 2u);
  EXPECT_NE(frontend_.statuses[0].find("не отвечает на строку 2"), std::string::npos);
  EXPECT_EQ(frontend_.statuses[1], "");  // gone once it answers

  // Once it is overdue, "Стоп" ends the wait.
  frontend_.onEvents = [&] { link_.RequestStop(); };
  EXPECT_THROW(window.SendAt({1, 0, 0, 500}, {1, 1, 1}, true), LinkError);
  EXPECT_EQ(link_.stopCause(), Link::StopCause::Person);
  EXPECT_EQ(frontend_.statuses.back(), "");
}

// A probe whose measurement never comes whole is overdue as any line: the
// tool ends it as a lost link (after --ack-timeout), the windows say how long
// the board has kept silent and "Стоп" ends it.
TEST_F(WindowLinkTest, AProbeReplyThatNeverComesWholeRunsOutAsEveryWaitDoes) {
  using namespace std::chrono_literals;
  const struct {
    const char* label;
    std::string reply;
  } cases[] = {
      {"silent", ""},
      {"babble", std::string(5000, '#')},
      {"acknowledgement instead", "123T"},
      {"no K", "123O\r\n"},
  };
  for (const auto& c : cases) {
    for (const bool tool : {true, false}) {
      SCOPED_TRACE(std::string(c.label) + (tool ? ", tool" : ", window"));
      link_.ClearStop();
      frontend_.messages.clear();
      frontend_.statuses.clear();
      link_.ackPolicy() = {.stopEndsWait = tool, .overdueLosesLink = tool, .limit = 100ms};
      auto& port = UseScript();
      port.Script(c.reply);
      frontend_.onEvents = [&] {
        if (!frontend_.statuses.empty()) link_.RequestStop();
      };
      ScaledWindow window = Window(formats::kScanner);
      window.SendStep({0, 0, 100, 0}, false);
      EXPECT_THROW(window.ReadProbe(), LinkError);
      if (tool) {
        EXPECT_EQ(link_.stopCause(), Link::StopCause::LinkLost);
        ASSERT_EQ(frontend_.messages.size(), 1u);
        EXPECT_NE(frontend_.messages[0].text.find("не ответила на строку"), std::string::npos);
      } else {
        EXPECT_EQ(link_.stopCause(), Link::StopCause::Person);
        ASSERT_FALSE(frontend_.statuses.empty());
        EXPECT_NE(frontend_.statuses[0].find("не отвечает на строку"), std::string::npos);
        EXPECT_TRUE(frontend_.messages.empty());
      }
    }
  }
  // The reply that does come whole is the measurement.
  link_.ClearStop();
  frontend_.onEvents = nullptr;
  auto& port = UseScript();
  port.Script("-137\r\nOK");
  ScaledWindow window = Window(formats::kScanner);
  window.SendStep({0, 0, 100, 0}, false);
  EXPECT_EQ(window.ReadProbe(), 137);
}

TEST_F(WindowLinkTest, StopWhileIdleFailsTheNextPlainMoveAtItsWait) {
  auto& board = UseBoard('P');
  ScaledWindow window = Window(formats::kGradation);
  link_.RequestStop();
  EXPECT_THROW(window.ArduinoMoveMM(1, 0, 0), LinkError);
  EXPECT_EQ(Lines(board), std::vector<std::string>{"200,0,0;"});  // sent, then the wait failed
}

TEST_F(WindowLinkTest, CheckedWriteClearsTheStopForTheMillingMove) {
  auto& board = UseBoard('M');
  ScaledWindow window = Window(formats::kRouter);
  link_.RequestStop();
  window.ArduinoMoveMM(1, 0, 0);
  EXPECT_FALSE(link_.StopRequested());
  EXPECT_EQ(Lines(board), std::vector<std::string>{"200,0,0,2000;"});
}

TEST_F(WindowLinkTest, MoveWithTheDriveSwitchClearIsSentButNotAwaited) {
  script_.ackEveryWrite = true;
  UseScript();
  ScaledWindow window = Window(formats::kGradation, false);
  window.ArduinoMoveMM(1, 0, 0);
  EXPECT_EQ(script_.written.size(), 1u);
  EXPECT_EQ(window.reply().text(), "");
  drive_ = true;
  script_.ackEveryWrite = false;
  window.SendStep({1, 0, 0, 0}, true);  // finds the earlier move's "T"
  EXPECT_EQ(script_.written.size(), 2u);
  EXPECT_TRUE(script_.reads.empty());
}

TEST_F(WindowLinkTest, DoubleAcknowledgementMakesTheNextWaitReturnAtOnce) {
  auto& port = UseScript();
  ScaledWindow window = Window(formats::kRouter);
  port.Script("TT\r\n");
  window.AwaitAck();
  window.AwaitAck();  // the second "T" was already there
  EXPECT_EQ(script_.idleReads, 0);
  frontend_.onEvents = [&] { window.Abandon(); };
  EXPECT_THROW(window.AwaitAck(), LinkError);  // a third one is really waited for
  EXPECT_GT(script_.idleReads, 0);
}

TEST_F(WindowLinkTest, ScannerStopsWithoutAQuestionAndEmptiesItsBufferPerWait) {
  auto& board = UseBoard('S');
  ScaledWindow window = Window(formats::kScanner);
  window.SendStep({4800, 0, 0, 0}, true);
  window.SendStep({0, 0, -100, 0}, false);  // the probe line: answered with digits and "OK"
  window.SendStep({0, 5, 0, 0}, true);      // the measurement is discarded by this wait
  EXPECT_EQ(Lines(board), (std::vector<std::string>{"4800,0,0;", "0,0,200;", "0,5,0;"}));
  link_.RequestStop();
  EXPECT_THROW(window.SendStep({1, 0, 0, 0}, true), LinkError);
  EXPECT_TRUE(frontend_.questions.empty());
}

TEST_F(WindowLinkTest, ReadFailureIsToldAndEndsTheWait) {
  auto& port = UseScript();
  script_.reads = {'x', -2};
  ScaledWindow window = Window(formats::kRouter);
  (void)port;
  EXPECT_THROW(window.AwaitAck(), LinkError);
  EXPECT_TRUE(link_.StopRequested());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Vertolin");
  EXPECT_EQ(frontend_.messages[0].text, texts::kReadError);
}

TEST_F(WindowLinkTest, ClosingTheWindowOrTheProgramEndsAWaitForASilentBoard) {
  BoardFaults silent;
  silent.silent = true;
  UseBoard('M', silent);
  ScaledWindow window = Window(formats::kRouter);
  frontend_.onEvents = [&] {
    if (frontend_.eventRuns == 3) window.Abandon();
  };
  EXPECT_THROW(window.ArduinoMoveMM(1, 0, 0), LinkError);

  WindowLink other = Window(formats::kGradation);
  frontend_.onEvents = [&] { link_.SetClosing(true); };
  EXPECT_THROW(other.ArduinoMoveMM(1, 0, 0), LinkError);
}

TEST_F(WindowLinkTest, BoardThatTalksWithoutEndKeepsTheWindowResponsiveAndBounded) {
  BoardFaults babble;
  babble.babble = true;
  UseBoard('M', babble);
  ScaledWindow window = Window(formats::kRouter);
  std::size_t largest = 0;
  frontend_.onEvents = [&] {
    largest = std::max(largest, window.reply().text().size());
    if (frontend_.eventRuns == 20) window.Abandon();
  };
  EXPECT_THROW(window.ArduinoMoveMM(1, 0, 0), LinkError);
  EXPECT_EQ(frontend_.eventRuns, 20);
  EXPECT_LE(largest, ReplyBuffer::kLimit);
}

TEST_F(WindowLinkTest, PositioningDropsPressesThatArriveDuringAMove) {
  BoardFaults late;
  late.replyDelay = std::chrono::milliseconds(60);
  auto& board = UseBoard('M', late);
  WindowLink window(link_, formats::kPositioning);
  window.SetKindLetter('M');
  int presses = 0;
  frontend_.onEvents = [&] {
    ++presses;
    window.ArduinoMoveMM(0, 0, 1);  // a key repeat during the move
  };
  window.ArduinoMoveMM(1, 0, 0);
  EXPECT_GT(presses, 0);
  EXPECT_EQ(Lines(board), std::vector<std::string>{"200,0,0,2000;"});
  EXPECT_TRUE(window.Ready());
}

TEST_F(WindowLinkTest, PositioningRefusesAKindWithoutAMoveTextAndStaysReady) {
  UseScript();
  WindowLink window(link_, formats::kPositioning);
  window.SetKindLetter('X');
  EXPECT_THROW(window.ArduinoMoveMM(1, 0, 0), MoveRefused);
  EXPECT_TRUE(script_.written.empty());
  EXPECT_EQ(frontend_.messages.size(), 1u);
  EXPECT_TRUE(window.Ready());
}

TEST_F(WindowLinkTest, InterruptionDialogRaisesAndLowersByTheDistance) {
  auto& board = UseBoard('M');
  InterruptionLink dialog(link_);
  link_.RequestStop();  // the dialog's own wait ignores the stop that brought it up
  EXPECT_TRUE(dialog.RaiseLower("10", true));
  EXPECT_TRUE(dialog.RaiseLower("10", false));
  EXPECT_TRUE(dialog.RaiseLower("0", true));
  EXPECT_TRUE(dialog.RaiseLower("2,5", true));
  EXPECT_EQ(Lines(board),
            (std::vector<std::string>{"0,0,2000,2000;", "0,0,-2000,2000;", "0,0,500,2000;"}));
  EXPECT_FALSE(dialog.RaiseLower("abc", true));
  EXPECT_EQ(Lines(board).size(), 3u);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, texts::kTitleError);
}

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

// The machine model holds what the board has confirmed: a job's lines, a
// move by hand and the interruption dialog's raise all end where the board
// says the head is; a dry run moves nothing and keeps the last origin.
TEST_F(WindowLinkTest, TheMachineModelFollowsEveryConfirmedMotionAndNothingElse) {
  auto& board = UseBoard('M');
  ScaledWindow window = Window(formats::kRouter, true, {0.3, 0.3, 2});
  link_.machine().JobStarted(false);
  for (int i = 0; i < 7; ++i) window.SendStep({1, -1, -1, 100}, true);
  window.ArduinoMoveMM(1, 0, 0.5);
  InterruptionLink raiseLower(link_);
  ASSERT_TRUE(raiseLower.RaiseLower("1", true));
  const auto [x, y, z] = board.Position();
  EXPECT_EQ(link_.machine().position(), (MachineModel::Steps{x, y, z}));
  EXPECT_EQ(z, -14 + 100 + 200);

  // Lines written and not yet confirmed have not happened.
  auto& script = UseScript();
  ScaledWindow whole = Window(formats::kRouter);
  whole.SendStep({1, 0, 0, 100}, false);
  EXPECT_EQ(link_.machine().position()[0], x);
  script.Script("T");
  whole.AwaitAck();
  EXPECT_EQ(link_.machine().position()[0], x + 1);

  drive_ = false;
  link_.machine().JobStarted(true);
  whole.SendStep({10, 0, 0, 100}, true);
  EXPECT_EQ(link_.machine().position()[0], x + 1);
  EXPECT_TRUE(link_.machine().lastRunDry());
  EXPECT_EQ(link_.machine().origin(), (MachineModel::Steps{}));
  link_.profile().xRatio = -0.005;
  EXPECT_DOUBLE_EQ(link_.machine().Shown(link_.profile()).millimetres[0], (x + 1) * -0.005);
}

}  // namespace
}  // namespace vertolin
