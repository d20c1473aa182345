#include "jobs/job_estimate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vertolin {

JobEstimator::JobEstimator(std::int32_t idleDelay, std::int32_t baud)
    : idleDelay_(std::max(idleDelay, 0)), baud_(baud) {
  estimate_.baud = baud;
  estimate_.hasTool = true;
}

void JobEstimator::Written(const Motion& motion, std::string_view line) {
  ++estimate_.lines;
  estimate_.linesFingerprint.Add(line);
  estimate_.bytes += static_cast<std::int64_t>(line.size());
  const double wireSeconds = baud_ > 0 ? static_cast<double>(line.size()) * 10.0 / baud_ : 0.0;

  // The probe's firmware has no tool to share the time with.
  if (motion.kind == MotionKind::Probe) estimate_.hasTool = false;
  // The raster's opening is not awaited, so every later line goes out while
  // the board still steps the one before it; the board takes the bytes in
  // meanwhile, and only the part of their time those steps do not cover
  // keeps it waiting. The other jobs send a line once the one before is done.
  if (motion.kind == MotionKind::RasterOpen) oneAhead_ = true;
  tool_.Follow(motion);
  if (tool_.AtWork(motion)) ++estimate_.toolOnLines;
  for (int axis = 0; axis < 3; ++axis) estimate_.steps[axis] += std::abs(motion.steps[axis]);
  const double stepSeconds = static_cast<double>(motion.LargestSteps()) *
                             static_cast<double>(motion.StepDelay(idleDelay_)) * 1e-6;
  estimate_.stepSeconds += stepSeconds;
  estimate_.transferSeconds += oneAhead_ ? std::max(wireSeconds - lastStepSeconds_, 0.0)
                                         : wireSeconds;
  lastStepSeconds_ = stepSeconds;
}

double SecondsLeft(const JobProgress& progress, std::int64_t totalLines, double estimatedSeconds) {
  constexpr double kRateAfterSeconds = 3;
  const auto left =
      static_cast<double>(std::max<std::int64_t>(totalLines - progress.acknowledged, 0));
  // A resumed job's first lines were done before: they tell nothing of the rate.
  const std::int64_t sinceStart = progress.acknowledged - progress.resumedAfter;
  if (progress.elapsedSeconds >= kRateAfterSeconds && sinceStart > 0) {
    return left * progress.elapsedSeconds / static_cast<double>(sinceStart);
  }
  if (totalLines <= 0) return 0;
  return estimatedSeconds * left / static_cast<double>(totalLines);
}

namespace {

std::string Clock(double seconds) {
  const auto whole = static_cast<long long>(std::max(seconds, 0.0) + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

std::string ProgressText(const JobProgress& progress, std::int64_t totalLines,
                         double estimatedSeconds) {
  return "строка " + std::to_string(progress.linesSent) + " из " + std::to_string(totalLines) +
         ", прошло " + Clock(progress.elapsedSeconds) + ", осталось " +
         Clock(SecondsLeft(progress, totalLines, estimatedSeconds));
}

std::string ProgressText(const JobProgress& progress) {
  return "строка " + std::to_string(progress.linesSent) + ", прошло " +
         Clock(progress.elapsedSeconds);
}

std::string EstimateJson(const JobEstimate& estimate) {
  char text[512];
  const double share = estimate.lines > 0 ? static_cast<double>(estimate.toolOnLines) /
                                                static_cast<double>(estimate.lines)
                                          : 0.0;
  char shareText[64] = "null";
  if (estimate.hasTool) std::snprintf(shareText, sizeof shareText, "%.4f", share);
  std::snprintf(
      text, sizeof text,
      "{\"lines\":%lld,\"bytes\":%lld,\"steps\":{\"x\":%lld,\"y\":%lld,\"z\":%lld},"
      "\"tool_on_share\":%s,\"baud\":%d,\"seconds\":%.3f}",
      static_cast<long long>(estimate.lines), static_cast<long long>(estimate.bytes),
      static_cast<long long>(estimate.steps[0]), static_cast<long long>(estimate.steps[1]),
      static_cast<long long>(estimate.steps[2]), shareText, estimate.baud, estimate.seconds());
  return text;
}

}  // namespace vertolin
