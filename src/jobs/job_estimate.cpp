#include "jobs/job_estimate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vertolin {

namespace {

// Drops about half the points of a full curve: those that the straight line
// between their neighbours misses least, never two neighbours at once, never
// the last.
void ThinOut(std::vector<JobEstimate::CurvePoint>& curve) {
  const std::size_t count = curve.size();
  if (count < 3) return;
  std::vector<double> miss(count, 0);
  for (std::size_t i = 0; i + 1 < count; ++i) {
    const JobEstimate::CurvePoint before = i == 0 ? JobEstimate::CurvePoint{} : curve[i - 1];
    const JobEstimate::CurvePoint& point = curve[i];
    const JobEstimate::CurvePoint& after = curve[i + 1];
    const double between = before.seconds + (after.seconds - before.seconds) *
                                                static_cast<double>(point.line - before.line) /
                                                static_cast<double>(after.line - before.line);
    miss[i] = std::abs(point.seconds - between);
  }
  std::vector<double> sorted(miss.begin(), miss.end() - 1);
  const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
  std::nth_element(sorted.begin(), middle, sorted.end());
  const double threshold = *middle;
  std::size_t kept = 0;
  bool droppedLast = false;
  for (std::size_t i = 0; i < count; ++i) {
    const bool drop = i + 1 < count && !droppedLast && miss[i] <= threshold;
    droppedLast = drop;
    if (!drop) curve[kept++] = curve[i];
  }
  curve.resize(kept);
}

}  // namespace

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

  estimate_.curve.push_back({estimate_.lines, estimate_.seconds()});
  if (estimate_.curve.size() >= JobEstimate::kCurvePoints) ThinOut(estimate_.curve);
}

double JobEstimate::SecondsAt(std::int64_t line) const {
  if (line <= 0 || lines <= 0) return 0;
  if (line >= lines) return seconds();
  const auto after = std::lower_bound(
      curve.begin(), curve.end(), line,
      [](const CurvePoint& point, std::int64_t wanted) { return point.line < wanted; });
  if (after == curve.end()) return seconds();
  if (after->line == line) return after->seconds;
  const CurvePoint before = after == curve.begin() ? CurvePoint{} : *(after - 1);
  return before.seconds + (after->seconds - before.seconds) *
                              static_cast<double>(line - before.line) /
                              static_cast<double>(after->line - before.line);
}

namespace {

// `secondsAt(n)`: the estimated seconds of the first n lines.
template <class SecondsAt>
double Left(const JobProgress& progress, std::int64_t totalLines, const SecondsAt& secondsAt) {
  constexpr double kRateAfterSeconds = 3;
  constexpr double kMostScale = 4;  // "a few times" the estimate, either way
  if (totalLines <= 0) return 0;
  const std::int64_t done = std::clamp<std::int64_t>(progress.acknowledged, 0, totalLines);
  const double total = secondsAt(totalLines);
  // The line the board works on counts as far as the time has gone, up to
  // its own estimate: a long travel shows the time left going down.
  const double resumedFrom = secondsAt(std::clamp<std::int64_t>(progress.resumedAfter, 0, done));
  const double credited = std::clamp(resumedFrom + progress.elapsedSeconds, secondsAt(done),
                                     secondsAt(std::min(done + 1, totalLines)));
  const double estimatedLeft = std::max(total - credited, 0.0);
  // A resumed job's first lines were done before: they tell nothing of the rate.
  const double estimatedSince = credited - resumedFrom;
  if (progress.elapsedSeconds < kRateAfterSeconds || estimatedSince <= 0) return estimatedLeft;
  const double scale = std::clamp(progress.elapsedSeconds / estimatedSince, 1 / kMostScale,
                                  kMostScale);
  return estimatedLeft * scale;
}

}  // namespace

double SecondsLeft(const JobProgress& progress, const JobEstimate& estimate) {
  return Left(progress, estimate.lines,
              [&estimate](std::int64_t line) { return estimate.SecondsAt(line); });
}

double SecondsLeft(const JobProgress& progress, std::int64_t totalLines, double estimatedSeconds) {
  return Left(progress, totalLines, [&](std::int64_t line) {
    return estimatedSeconds * static_cast<double>(line) / static_cast<double>(totalLines);
  });
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

std::vector<std::string> ProgressTexts(const JobProgress& progress, const JobEstimate& estimate) {
  const std::string sent = std::to_string(progress.linesSent);
  const std::string total = std::to_string(estimate.lines);
  const std::string elapsed = Clock(progress.elapsedSeconds);
  const std::string left = Clock(SecondsLeft(progress, estimate));
  return {"строка " + sent + " из " + total + ", прошло " + elapsed + ", осталось " + left,
          sent + " из " + total + ", прошло " + elapsed + ", осталось " + left,
          sent + "/" + total + ", " + elapsed + ", ост. " + left, "ост. " + left};
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
