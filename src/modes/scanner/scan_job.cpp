#include "modes/scanner/scan_job.h"

#include <thread>
#include <utility>
#include <vector>

#include "jobs/job_count.h"
#include "jobs/job_runner.h"
#include "link/link.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "modes/dry_run.h"

namespace vertolin {

namespace {

JobProgram ScanProgram(const std::vector<NodeVisit>& walk, HeightMap& map, bool dryRun,
                       ScanProgress& progress, ScanOptions& options) {
  ProbeAnswer answer;
  for (const NodeVisit& node : walk) {
    if (node.stepX != 0 || node.stepY != 0) {
      co_yield ProgramStep::Move({MotionKind::Travel, node.stepX, node.stepY}, StepScale{});
    }
    co_yield ProgramStep::Probe({MotionKind::Probe, 0, 0, 0, 0, kProbeArgument}, answer);
    const std::int32_t value = answer.value ? *answer.value : options.dryRun.Next();
    map.Set(node.x, node.y, value);
    progress.Measured(node.x, node.y, value);
    if (dryRun) options.pause(kDryRunPause);
  }
}

}  // namespace

ScanResult RunScan(WindowLink& window, const ScanFields& fields, HeightMap& map,
                   ScanProgress& progress, ScanOptions options) {
  Link& link = window.link();
  const ScanPlanResult planned = PlanScan(fields);
  if (!planned.plan) {
    link.frontend().ShowMessage(planned.refusalTitle, planned.refusal);
    return {JobResult{JobOutcome::Refused}};
  }
  link.ClearStop();
  const ScanPlan& plan = *planned.plan;
  map = HeightMap(plan.meshX, plan.meshY);
  if (!options.pause) {
    options.pause = [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); };
  }
  // Read once: the switch decides what the whole scan's values are.
  const bool dryRun = !window.DriveOn();
  const std::vector<NodeVisit> walk = WalkOrder(plan);

  const DryWatch dry(window);
  ScanResult result;
  result.job = JobRunner(window).Run(ScanProgram(walk, map, dryRun, progress, options));
  if (result.job.outcome != JobOutcome::Done) return result;
  if (!dryRun) {
    result.flat = NormaliseHeights(map).flat;
    if (result.flat) link.frontend().ShowMessage(texts::kTitleVertolin, texts::kSurfaceFlat);
  }
  link.frontend().ShowMessage(texts::kTitleVertolin,
                              DoneMessage(texts::kScanFinished, dry.StayedDry()));
  return result;
}

std::optional<JobEstimate> CountScan(WindowLink& window, const ScanFields& fields,
                                     MotionObserver* also) {
  class Unseen : public ScanProgress {
   public:
    void Measured(int, int, std::int32_t) override {}
  };
  return CountJob(
      window,
      [&](WindowLink& counting) {
        HeightMap map;
        Unseen unseen;
        return RunScan(counting, fields, map, unseen).job;
      },
      also);
}

}  // namespace vertolin
