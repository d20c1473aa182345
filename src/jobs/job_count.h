// A job counted before it starts: run once, quietly, on a link of its own
// whose port answers every line at once, with every line handed to a
// JobEstimator. The windows' progress bar takes its total and its first
// estimate of the time left from it.
#pragma once

#include <functional>
#include <optional>

#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"

namespace vertolin {

class MotionObserver;
class WindowLink;

// Runs the job on `window`, the counting link, with the same code as the
// real run but on copies of whatever the job changes (the pictures it marks,
// the figures it mills, the layers it paints), so that counting leaves the
// window as it was.
using CountedRun = std::function<JobResult(WindowLink& window)>;

// What `run` sends for a job about to run through `real`: counted on a
// window link of the same format and machine profile, its drive switch
// ticked. Nothing when `real` runs dry (its drive switch clear: nothing will
// be sent) or when the job does not end Done (refused fields, a question
// answered "stop"), for the real job then says why itself. Nothing of the
// count reaches the person or the event loop. A probe is answered with a
// measurement of 0.
// `also` sees every motion and line of the count too (a G-code export); a
// count with it runs whatever the drive switch of `real` says.
std::optional<JobEstimate> CountJob(WindowLink& real, const CountedRun& run,
                                    MotionObserver* also = nullptr);

}  // namespace vertolin
