#include "jobs/job_runner.h"

#include "link/link.h"
#include "link/link_error.h"
#include "link/serial_port.h"
#include "link/window_link.h"

namespace vertolin {

JobResult JobRunner::Run(JobProgram program) {
  Link& link = window_.link();
  const std::int64_t sentBefore = window_.linesSent();
  const std::int64_t ackedBefore = window_.acknowledged();
  JobResult result;
  const auto finish = [&](JobOutcome outcome) {
    result.outcome = outcome;
    result.linesSent = window_.linesSent() - sentBefore;
    result.acknowledged = window_.acknowledged() - ackedBefore;
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
        case ProgramStep::Kind::Line:
          window_.WriteLine(step.line);
          break;
        case ProgramStep::Kind::Ack:
          window_.AwaitOwedAck();
          break;
      }
      ++result.stepsDone;
      // A dry run waits for nothing: this is where "Стоп" and the rest of
      // the window get their turn.
      link.pump().Tick();
    }
  } catch (const MoveRefused&) {
    return finish(JobOutcome::Refused);
  } catch (const LinkError&) {
    const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
    // A stop that ended a wait may leave the laser burning on one spot.
    if (!lost) window_.LaserOffAfterStop();
    return finish(lost ? JobOutcome::LinkLost : JobOutcome::Stopped);
  }
  return finish(JobOutcome::Done);
}

}  // namespace vertolin
