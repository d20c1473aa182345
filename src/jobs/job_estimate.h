// What a job's motions ask of the board and how long the board will take:
// the bytes of their lines at the port's speed plus each motion's own step
// time (its largest axis step count times its delay, the idle delay where it
// gives none). On the raster the PC keeps one line ahead, so a line's bytes
// come while the board steps the line before and only what that does not
// cover adds. The motions are the ones the job sends, as --print writes them,
// so the estimate needs no board.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/window_link.h"
#include "motion/motion.h"
#include "util/fingerprint.h"
#include "util/frontend.h"

namespace vertolin {

struct JobEstimate {
  std::int64_t lines = 0;
  std::int64_t bytes = 0;
  std::array<std::int64_t, 3> steps{};  // motor steps per axis, X Y Z
  // Lines sent with the tool at work: the laser on, the router below its
  // start, a raster line that burns.
  std::int64_t toolOnLines = 0;
  bool hasTool = false;  // the firmware has such a state at all
  double stepSeconds = 0;
  double transferSeconds = 0;  // the time on the wire the board waits for
  std::int32_t baud = 0;
  // Over the lines one by one: equal for jobs that send the same lines,
  // which is what a resume needs to hold.
  Fingerprint linesFingerprint;
  // How the time is spread over the lines (one long travel, then short
  // burns): the seconds after some of the lines, in order, at most
  // kCurvePoints of them whatever the job's length. Where the time runs
  // evenly the points thin out; the corners (a long line) stay.
  struct CurvePoint {
    std::int64_t line = 0;
    double seconds = 0;
  };
  static constexpr std::size_t kCurvePoints = 1024;
  std::vector<CurvePoint> curve;

  double seconds() const { return stepSeconds + transferSeconds; }
  // The estimated seconds of the first `line` lines, between the curve's points
  // in proportion.
  double SecondsAt(std::int64_t line) const;
};

// Counts the motions a window link writes (it is the link's MotionObserver):
// their steps and the tool's work from the motions, their bytes from the
// lines, so it knows no protocol's text.
class JobEstimator : public MotionObserver {
 public:
  // `idleDelay` in µs (SM_delay), `baud` the port's speed (8 data bits, one
  // start and one stop bit per byte).
  JobEstimator(std::int32_t idleDelay, std::int32_t baud);

  void Written(const Motion& motion, std::string_view line) override;

  const JobEstimate& estimate() const { return estimate_; }

 private:
  std::int32_t idleDelay_;
  std::int32_t baud_;
  JobEstimate estimate_;
  ToolTrack tool_;
  bool oneAhead_ = false;       // a raster: the PC keeps one line ahead
  double lastStepSeconds_ = 0;  // the line before's step time
};

// The seconds a running job has left: the estimate of the lines still to
// come, scaled by how the board has kept to the estimate so far (the seconds
// elapsed over the estimated seconds of the lines it acknowledged, the line it
// works on counted as far as the time has gone), once a few seconds have
// passed. The scale stays within a few times either way, so that one line that
// took long (a travel, a slow answer) cannot make hours of a job of minutes.
double SecondsLeft(const JobProgress& progress, const JobEstimate& estimate);
// The same for an estimate known only by its totals: the time spread evenly.
double SecondsLeft(const JobProgress& progress, std::int64_t totalLines, double estimatedSeconds);

// "строка N из M, прошло m:ss, осталось m:ss".
std::string ProgressText(const JobProgress& progress, std::int64_t totalLines,
                         double estimatedSeconds);

// The same text, then ever shorter forms of it for a narrow place, down to the
// time left alone: "строка N из M, прошло m:ss, осталось m:ss", "N из M,
// прошло m:ss, осталось m:ss", "N/M, m:ss, ост. m:ss", "ост. m:ss".
std::vector<std::string> ProgressTexts(const JobProgress& progress, const JobEstimate& estimate);

// "строка N, прошло m:ss": a running job whose length is not counted ahead.
std::string ProgressText(const JobProgress& progress);

// One line of JSON for the estimate: lines, bytes, steps, tool share, seconds.
std::string EstimateJson(const JobEstimate& estimate);

}  // namespace vertolin
