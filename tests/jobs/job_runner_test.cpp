#include "jobs/job_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "link/link.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"

namespace vertolin {
namespace {

using namespace std::chrono_literals;

ProgramStep RouterMove(std::int32_t dx, std::int32_t dz, std::int32_t delay, bool wait) {
  return ProgramStep::Move({MotionKind::Cut, dx, 0, dz, delay}, StepScale{1, 1, 1}, wait);
}

// An optimised figure pass: the travel goes unawaited, the rest collect the
// acknowledgement of the line before, and the last wait takes what is owed.
JobProgram OptimisedPass(std::int32_t travel) {
  co_yield RouterMove(travel, 0, 0, false);
  co_yield RouterMove(0, -5, 100, true);
  co_yield RouterMove(0, 5, 0, true);
  co_yield ProgramStep::Ack();
}

TEST(JobRunnerTest, TheLastWaitAwaitsOnlyWhatWasSent) {
  for (const std::int32_t travel : {3, 0}) {
    test::RecordingFrontend frontend;
    Link link(frontend);
    test::ScriptedPort::Shared script;
    script.ackEveryWrite = true;
    link.Attach(std::make_unique<test::ScriptedPort>(script));
    // A wait that never ends fails the test instead of hanging it.
    link.ackPolicy() = {.stopEndsWait = false, .overdueLosesLink = true, .limit = 500ms};
    WindowLink window(link, formats::kRouter);
    window.SetDriveSwitch([] { return true; });
    const JobResult result = JobRunner(window).Run(OptimisedPass(travel));
    EXPECT_EQ(result, JobOutcome::Done) << travel;
    // A travel of no steps and no delay is not sent at all.
    EXPECT_EQ(result.linesSent, travel != 0 ? 3 : 2);
    EXPECT_EQ(result.acknowledged, result.linesSent);
  }
}

ProgramStep LaserMove(std::int32_t dx, std::int32_t laser) {
  const MotionKind kind = laser > 0   ? MotionKind::ToolOn
                          : laser < 0 ? MotionKind::ToolOff
                                      : MotionKind::Cut;
  return ProgramStep::Move({kind, dx, 0, 0, 100}, StepScale{1, 1, 1});
}

JobProgram LaserStroke() {
  co_yield LaserMove(1, 1);
  co_yield LaserMove(5, 0);
  co_yield LaserMove(0, -1);
}

TEST(JobRunnerTest, AStopThatEndsAWaitSwitchesTheLaserOff) {
  test::RecordingFrontend frontend;
  Link link(frontend);
  test::ScriptedPort::Shared script;
  auto port = std::make_unique<test::ScriptedPort>(script);
  port->Script("T");  // the first line is answered, the second never
  link.Attach(std::move(port));
  link.ackPolicy() = {.stopEndsWait = true, .overdueLosesLink = true, .limit = 5000ms};
  frontend.onEvents = [&] {
    if (script.written.size() == 2) link.RequestStop();
  };
  WindowLink window(link, formats::kOutlining);
  window.SetDriveSwitch([] { return true; });
  const JobResult result = JobRunner(window).Run(LaserStroke());
  EXPECT_EQ(result, JobOutcome::Stopped);
  EXPECT_EQ(script.written, (std::vector<std::string>{"1,0,1,100;", "5,0,0,100;", "0,0,-1,2000;"}));
}

// Keeps the resume point a job writes at its end.
struct FinalPoint : ResumeRecorder {
  std::optional<ResumePoint> point;
  void Record(const ResumePoint& at, bool final) override {
    if (final) point = at;
  }
  void Completed() override {}
};

// Two lines go out unawaited (the raster's line ahead), then the job ends
// before its third: its journal must count what the board still answers.
JobProgram TwoLinesAhead(bool laser, const std::function<void()>& end) {
  co_yield ProgramStep::Move({laser ? MotionKind::ToolOn : MotionKind::Cut, 1, 0, 0, 100},
                             StepScale{1, 1, 1}, false);
  co_yield ProgramStep::Move({MotionKind::Cut, 2, 0, 0, 100}, StepScale{1, 1, 1}, false);
  end();
  co_yield ProgramStep::Move({MotionKind::Cut, 3, 0, 0, 100}, StepScale{1, 1, 1}, true);
}

TEST(JobRunnerTest, AJobEndedEarlyJournalsWhatTheBoardStillAcknowledges) {
  struct Case {
    const char* name;
    bool laser;  // the stop switches the laser off: one more line in flight
    std::function<void(Link&, WindowLink&)> end;
    std::vector<int> reads;  // what the board answers after the job's end
    JobOutcome outcome;
    std::int64_t lines;  // the journal's K
    std::size_t unread;  // replies left on the line
  };
  const auto stop = [](Link& link, WindowLink&) { link.RequestStop(); };
  const Case cases[] = {
      {"stopped", false, stop, {'T', 'T'}, JobOutcome::Stopped, 2, 0},
      {"stopped with the laser on", true, stop, {'T', 'T', 'T', 'T'}, JobOutcome::Stopped, 2, 0},
      {"window closed",
       false,
       [](Link& link, WindowLink& window) {
         link.RequestStop();
         window.Abandon();
       },
       {'T', 'T'},
       JobOutcome::Stopped,
       2,
       0},
      // The board answers the first line and then keeps silent: the job ends
      // once the second is overdue.
      {"silent board", false, stop, {'T'}, JobOutcome::Stopped, 1, 0},
      // The program ends (or a second Ctrl-C): nothing more is waited for.
      {"program closing",
       false,
       [](Link& link, WindowLink&) {
         link.RequestStop();
         link.SetClosing(true);
       },
       {'T', 'T'},
       JobOutcome::Stopped,
       0,
       2},
      // The line is gone: what came before the failure is all there is.
      {"link lost", false, [](Link&, WindowLink&) {}, {-2, 'T', 'T'}, JobOutcome::LinkLost, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::RecordingFrontend frontend;
    Link link(frontend);
    test::ScriptedPort::Shared script;
    script.reads.assign(c.reads.begin(), c.reads.end());
    link.Attach(std::make_unique<test::ScriptedPort>(script));
    link.ackPolicy() = {.stopEndsWait = false, .overdueLosesLink = false, .limit = 300ms};
    WindowLink window(link, c.laser ? formats::kCutting : formats::kRouter);
    window.SetDriveSwitch([] { return true; });
    FinalPoint journal;
    window.SetResumeRecorder(&journal);
    const auto start = std::chrono::steady_clock::now();
    const JobResult result =
        JobRunner(window).Run(TwoLinesAhead(c.laser, [&] { c.end(link, window); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(result, c.outcome);
    ASSERT_TRUE(journal.point.has_value());
    EXPECT_EQ(journal.point->lines, c.lines);
    EXPECT_EQ(script.reads.size(), c.unread);
    // The laser's pause and the whole laser-off line after the question, or
    // the third line that the failed read waited for.
    const std::size_t written = c.laser ? 4u : c.outcome == JobOutcome::LinkLost ? 3u : 2u;
    EXPECT_EQ(script.written.size(), written);
    if (c.laser) {
      EXPECT_EQ(script.written.back(), "0,0,-1,2000;");
    }
  }
}

}  // namespace
}  // namespace vertolin
