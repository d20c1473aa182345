#include "link/stop_policy.h"

namespace vertolin {

StopDecision DecideStop(LinkFormat::OnStop onStop, bool pauseLaser, StopActions& actions) {
  switch (onStop) {
    case LinkFormat::OnStop::InterruptionDialog:
      return actions.InterruptionGoesOn() ? StopDecision::GoOn : StopDecision::Stop;
    case LinkFormat::OnStop::Question:
      return actions.AskToStop() ? StopDecision::Stop : StopDecision::GoOn;
    case LinkFormat::OnStop::LaserOffThenQuestion:
      if (pauseLaser) actions.PauseLaser(false);
      // Stopped, the laser stays off: the job's end switches nothing on.
      if (actions.AskToStop()) return StopDecision::Stop;
      if (pauseLaser) actions.PauseLaser(true);
      return StopDecision::GoOn;
    case LinkFormat::OnStop::EndAtOnce:
      return StopDecision::Stop;
    case LinkFormat::OnStop::None:
      break;
  }
  return StopDecision::Stand;
}

}  // namespace vertolin
