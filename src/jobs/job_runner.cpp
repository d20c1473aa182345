#include "jobs/job_runner.h"

#include <algorithm>
#include <chrono>

#include "link/link.h"
#include "link/link_error.h"
#include "link/serial_port.h"
#include "link/texts.h"
#include "link/window_link.h"

namespace vertolin {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kProgressInterval{100};

// What one run keeps beside its program: where the job's own lines and the
// router's depth started on this window link, and when it last reported.
struct RunLedger {
  WindowLink& window;
  std::int64_t sentBefore = window.linesSent();
  std::int64_t ackedBefore = window.acknowledged();
  // The job's own lines count from here; a resumed job's first ones are
  // replayed, not sent, and count as done.
  std::int64_t programBefore = window.programLines();
  std::int64_t depthBefore = window.resumePoint().depth;
  std::int64_t resumedAfter = window.replayLeft();
  ResumeRecorder* recorder = window.resumeRecorder();
  Clock::time_point start = Clock::now();
  Clock::time_point lastProgress = start;

  ResumePoint Point() const {
    const ResumePoint now = window.resumePoint();
    return {std::max<std::int64_t>(0, now.lines - programBefore), now.depth - depthBefore};
  }
  void Report(bool finished) const {
    JobProgress progress;
    progress.linesSent = window.programLines() - programBefore;
    progress.acknowledged = Point().lines;
    progress.elapsedSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    progress.finished = finished;
    progress.resumedAfter = resumedAfter;
    window.link().frontend().ShowProgress(progress);
  }
  // At most every kProgressInterval, by the pump's last clock reading (its
  // own or a wait's), not a clock reading per step.
  void MaybeReport() {
    const Clock::time_point now = window.link().pump().last();
    if (now - lastProgress < kProgressInterval) return;
    lastProgress = now;
    Report(false);
    if (recorder != nullptr) recorder->Record(Point(), false);
  }
  JobResult Finish(JobOutcome outcome, std::int64_t stepsDone) const {
    // A grbl board may have done lines beyond those counted before the link
    // went: their ends tell, once it answers again, how many.
    const auto maybeDone = outcome == JobOutcome::LinkLost ? window.GrblUncountedLines()
                                                           : std::nullopt;
    // The journal of a job that ended early says what the board has done,
    // not what it had confirmed when the job stopped waiting; a lost link
    // has nothing more to tell.
    if (recorder != nullptr && outcome != JobOutcome::Done && outcome != JobOutcome::LinkLost) {
      window.DrainInFlight();
    }
    // What is still unanswered now never will be: a later acknowledgement
    // belongs to a later line.
    window.ForgetInFlight();
    JobResult result;
    result.outcome = outcome;
    result.stepsDone = stepsDone;
    result.linesSent = window.linesSent() - sentBefore;
    result.acknowledged = window.acknowledged() - ackedBefore;
    MachineModel& machine = window.link().machine();
    if (recorder != nullptr) {
      if (outcome == JobOutcome::Done) {
        recorder->Completed();
      } else {
        // Where the head stands is known once the board has answered for
        // every line; after a lost link it is not.
        if (outcome != JobOutcome::LinkLost && window.DriveOn()) {
          recorder->Placed(machine.Place());
          const auto& origin = window.grblJobOrigin();
          const auto head = window.grblMachineHead();
          if (origin && head) recorder->MachinePlace(*origin, *head);
        } else if (outcome == JobOutcome::LinkLost && window.StreamsGrbl()) {
          // The place after the lines counted, which the board passed.
          const auto& origin = window.grblJobOrigin();
          const auto counted = window.grblCountedEnd();
          if (origin && counted && maybeDone) {
            recorder->Placed(machine.Place());
            recorder->MachinePlace(*origin, *counted);
            recorder->MaybeDone(*maybeDone);
          }
        }
        recorder->Record(Point(), true);
      }
    }
    machine.JobEnded(outcome == JobOutcome::Done);
    Report(true);
    window.link().ShowPosition();
    return result;
  }
};

// Sends one step through the window link.
void Take(WindowLink& window, const ProgramStep& step) {
  switch (step.kind) {
    case ProgramStep::Kind::Move:
      window.Checkpoint(step.wait);
      window.Send(step.move, step.scale, step.wait);
      break;
    case ProgramStep::Kind::Setup:
      window.SendSetup(step.setup);
      break;
    case ProgramStep::Kind::Ack:
      window.AwaitOwedAck();
      break;
    case ProgramStep::Kind::Probe:
      window.Checkpoint(false);
      window.Send(step.move, step.scale, false);
      step.answer->value = window.ReadProbe();
      break;
  }
}

// A fresh start after a job that did not run to its end, with the head away
// from that job's origin: the person chooses between going back there first
// and starting where the head stands.
void OfferReturnToStoppedJob(WindowLink& window) {
  Link& link = window.link();
  if (!link.PortOpen()) return;
  const auto away = link.machine().AwayFromStoppedJob();
  if (!away) return;
  const MachineProfile& profile = link.profile();
  const double ratios[3] = {profile.xRatio, profile.yRatio, profile.zRatio};
  MachinePosition shown;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    shown.millimetres[axis] = static_cast<double>((*away)[axis]) * ratios[axis];
  }
  const std::string question =
      "Предыдущее задание не было закончено, и головка стоит не в его начале: " +
      PositionText(shown) +
      " от него.\r\nВернуть головку в начало задания (инструмент поднят, лазер выключен)?"
      "\r\nДа - вернуть. Нет - начать там, где головка стоит.";
  if (!link.frontend().AskYesNo(texts::kTitleWarning, question)) return;
  link.frontend().ShowStatus("Головка возвращается в начало задания");
  window.ReturnToOrigin(*away);
}

}  // namespace

JobResult JobRunner::Run(JobProgram program) {
  Link& link = window_.link();
  const bool dry = !window_.DriveOn();
  // G-code goes to a board only once it has said it is grbl: a native
  // board would take it for its own lines.
  // (Counting and printing ports take no time: they are no board.)
  if (window_.WritesGcode() && link.PortOpen() && link.port()->TakesTime() && !dry &&
      !window_.StreamsGrbl()) {
    link.frontend().ShowMessage(texts::kTitleError, texts::kGrblNotConnected);
    return {JobOutcome::Refused};
  }
  if (!dry && !window_.ReadGrblAgainIfLost()) return {JobOutcome::Refused};
  RunLedger run{window_};
  std::int64_t stepsDone = 0;
  try {
    if (!dry && window_.replayLeft() == 0) {
      OfferReturnToStoppedJob(window_);
      // The job's depths count from where the return left the tool.
      run.depthBefore = window_.resumePoint().depth;
    }
    window_.JobBegins();
    link.machine().JobStarted(dry, window_.resumeOrigin());
    window_.GrblJobOpens();
    while (program.Next()) {
      Take(window_, program.value());
      ++stepsDone;
      // A dry run waits for nothing: this is where "Стоп" and the rest of
      // the window get their turn.
      link.pump().Tick();
      run.MaybeReport();
    }
    // A grbl board has taken the lines, not yet carried them out.
    window_.GrblJobCloses();
  } catch (const MoveRefused&) {
    window_.SwitchLaserOff();
    return run.Finish(JobOutcome::Refused, stepsDone);
  } catch (const LinkError&) {
    const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
    window_.SwitchLaserOff();
    return run.Finish(lost ? JobOutcome::LinkLost : JobOutcome::Stopped, stepsDone);
  }
  return run.Finish(JobOutcome::Done, stepsDone);
}

}  // namespace vertolin
