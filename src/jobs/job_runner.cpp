#include "jobs/job_runner.h"

#include <algorithm>
#include <chrono>

#include "link/link.h"
#include "link/link_error.h"
#include "link/serial_port.h"
#include "link/window_link.h"

namespace vertolin {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kProgressInterval{100};

}  // namespace

JobResult JobRunner::Run(JobProgram program) {
  Link& link = window_.link();
  const std::int64_t sentBefore = window_.linesSent();
  const std::int64_t ackedBefore = window_.acknowledged();
  // The job's own lines count from here; a resumed job's first ones are
  // replayed, not sent, and count as done.
  const std::int64_t programBefore = window_.programLines();
  const std::int64_t depthBefore = window_.resumePoint().depth;
  const std::int64_t resumedAfter = window_.replayLeft();
  ResumeRecorder* const recorder = window_.resumeRecorder();
  const Clock::time_point start = Clock::now();
  Clock::time_point lastProgress = start;
  const auto point = [&] {
    const ResumePoint now = window_.resumePoint();
    return ResumePoint{std::max<std::int64_t>(0, now.lines - programBefore),
                       now.depth - depthBefore};
  };
  const auto report = [&](bool finished) {
    JobProgress progress;
    progress.linesSent = window_.programLines() - programBefore;
    progress.acknowledged = point().lines;
    progress.elapsedSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    progress.finished = finished;
    progress.resumedAfter = resumedAfter;
    link.frontend().ShowProgress(progress);
  };
  JobResult result;
  const auto finish = [&](JobOutcome outcome) {
    result.outcome = outcome;
    result.linesSent = window_.linesSent() - sentBefore;
    result.acknowledged = window_.acknowledged() - ackedBefore;
    if (recorder != nullptr) {
      if (outcome == JobOutcome::Done) {
        recorder->Completed();
      } else {
        recorder->Record(point(), true);
      }
    }
    report(true);
    return result;
  };
  try {
    while (program.Next()) {
      const ProgramStep& step = program.value();
      switch (step.kind) {
        case ProgramStep::Kind::Move:
          window_.Checkpoint(step.wait);
          window_.Send(step.move, step.scale, step.wait);
          break;
        case ProgramStep::Kind::Setup:
          window_.SendSetup(step.setup);
          break;
        case ProgramStep::Kind::Ack:
          window_.AwaitOwedAck();
          break;
        case ProgramStep::Kind::Probe:
          window_.Checkpoint(false);
          window_.Send(step.move, step.scale, false);
          step.answer->value = window_.ReadProbe();
          break;
      }
      ++result.stepsDone;
      // A dry run waits for nothing: this is where "Стоп" and the rest of
      // the window get their turn. Progress goes by the pump's last clock
      // reading (its own or a wait's), not a clock reading per step.
      link.pump().Tick();
      if (link.pump().last() - lastProgress >= kProgressInterval) {
        lastProgress = link.pump().last();
        report(false);
        if (recorder != nullptr) recorder->Record(point(), false);
      }
    }
  } catch (const MoveRefused&) {
    window_.SwitchLaserOff();
    return finish(JobOutcome::Refused);
  } catch (const LinkError&) {
    const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
    window_.SwitchLaserOff();
    return finish(lost ? JobOutcome::LinkLost : JobOutcome::Stopped);
  }
  return finish(JobOutcome::Done);
}

}  // namespace vertolin
