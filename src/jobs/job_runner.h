// The one loop that runs every job: it takes the program's steps one by one,
// passes each through the window's checkpoint (StopFlag: the question, the
// interruption dialog), sends it, lets the windows' events run at most every
// ~15 ms, and counts what was sent and acknowledged. Nothing else in a job
// decides when it stops.
#pragma once

#include <functional>

#include "jobs/job_outcome.h"
#include "jobs/job_program.h"

namespace vertolin {

class WindowLink;

class JobRunner {
 public:
  explicit JobRunner(WindowLink& window) : window_(window) {}

  // Runs the program to its end or until it is stopped. A LinkError (the
  // person stopped, the link failed) ends it as Stopped or LinkLost, a
  // refused move as Refused; the program is destroyed where it stood, a
  // laser it left on is switched off (WindowLink::SwitchLaserOff), and a job
  // that keeps a journal reads the acknowledgements still in flight
  // (WindowLink::DrainInFlight) before its last record.
  JobResult Run(JobProgram program);

  WindowLink& window() { return window_; }

 private:
  WindowLink& window_;
};

}  // namespace vertolin
