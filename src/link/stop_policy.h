// What a job does when StopFlag is found set before its next step, as the
// window's LinkFormat::onStop says: ask, show the interruption dialog, pause
// the laser around the question, or end at once. The decision is here; the
// asking and the writing are the window link's.
#pragma once

#include "link/link_format.h"

namespace vertolin {

// The window's side of a stop.
class StopActions {
 public:
  virtual ~StopActions() = default;
  // The interruption dialog: true to go on.
  virtual bool InterruptionGoesOn() = 0;
  // "Остановить?": true to stop.
  virtual bool AskToStop() = 0;
  // Switches a lit laser off for the question (false) and on again after it.
  virtual void PauseLaser(bool on) = 0;
};

enum class StopDecision {
  Stop,   // the job ends here
  GoOn,   // the person chose to go on: StopFlag is cleared
  Stand,  // the window runs no jobs: StopFlag is left as it is
};

// `pauseLaser`: the lines sent have left the laser on and a person answers
// the question, so the laser is paused around it (only then: going on must
// not light a laser that was off). Where the answer comes at once (the tool)
// nothing pauses; a stop leaves the laser to the job's end, which switches
// it off with a whole line.
StopDecision DecideStop(LinkFormat::OnStop onStop, bool pauseLaser, StopActions& actions);

}  // namespace vertolin
