#include "jobs/job_estimate.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace vertolin {

namespace {

// The numbers of a command line "a,b,c,d;"; fields left out or empty are 0.
std::array<std::int64_t, 4> Fields(std::string_view line) {
  std::array<std::int64_t, 4> fields{};
  if (!line.empty() && line.back() == ';') line.remove_suffix(1);
  std::size_t field = 0;
  while (field < fields.size()) {
    const std::size_t comma = line.find(',');
    const std::string_view text = line.substr(0, comma);
    std::from_chars(text.data(), text.data() + text.size(), fields[field]);
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
    ++field;
  }
  return fields;
}

}  // namespace

JobEstimator::JobEstimator(const LinkFormat& format, std::int32_t idleDelay, std::int32_t baud)
    : format_(format), idleDelay_(std::max(idleDelay, 0)), baud_(baud) {
  estimate_.hasTool = format.stepText != LinkFormat::StepText::XYProbe;
  estimate_.baud = baud;
}

void JobEstimator::Add(std::string_view line) {
  ++estimate_.lines;
  estimate_.linesFingerprint.Add(line);
  estimate_.bytes += static_cast<std::int64_t>(line.size());
  const double wireSeconds = baud_ > 0 ? static_cast<double>(line.size()) * 10.0 / baud_ : 0.0;

  const auto f = Fields(line);
  std::int64_t z = 0;
  std::int64_t delay = 0;
  bool toolOn = false;
  switch (format_.stepText) {
    case LinkFormat::StepText::XYZDelay:
      z = f[2];
      delay = f[3];
      z_ += z;
      toolOn = z_ != 0;
      break;
    case LinkFormat::StepText::XYValue:
      // ",,,k,d;" opens the raster and moves nothing; a burn carries its delay.
      delay = f[2];
      toolOn = delay > 0;
      break;
    case LinkFormat::StepText::LaserCompact:
      if (f[2] > 0) laserOn_ = true;
      if (f[2] < 0) laserOn_ = false;
      delay = f[3];
      toolOn = laserOn_;
      break;
    case LinkFormat::StepText::XYProbe:
      break;
  }
  const std::int64_t x = std::abs(f[0]);
  const std::int64_t y = std::abs(f[1]);
  estimate_.steps[0] += x;
  estimate_.steps[1] += y;
  estimate_.steps[2] += std::abs(z);
  if (toolOn) ++estimate_.toolOnLines;
  const std::int64_t most = std::max({x, y, std::abs(z)});
  const double stepSeconds = static_cast<double>(most) *
                             static_cast<double>(delay > 0 ? delay : idleDelay_) * 1e-6;
  estimate_.stepSeconds += stepSeconds;
  // The raster's opening line is not awaited, so every later line goes out
  // while the board still steps the one before it; the board takes the bytes
  // in meanwhile, and only the part of their time those steps do not cover
  // keeps it waiting. The other jobs send a line once the one before is done.
  const bool oneAhead = format_.stepText == LinkFormat::StepText::XYValue;
  estimate_.transferSeconds += oneAhead ? std::max(wireSeconds - lastStepSeconds_, 0.0)
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
