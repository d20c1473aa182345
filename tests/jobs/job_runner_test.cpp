#include "jobs/job_runner.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vertolin
