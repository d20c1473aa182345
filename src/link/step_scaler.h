// A job's moves from its own units into whole motor steps, the one place
// where rounding happens. The figure and stroke jobs keep the exact position
// and take each step against it (the carry), so rounding never adds up; the
// raster rounds the steps per pixel once; the scanner's steps come as given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "motion/motion.h"

namespace vertolin {

// Motor steps per unit of a job's move, read by the job from the window's
// fields for every move and passed with it: X and Y per picture pixel, Z per
// grey level (milling only).
struct StepScale {
  double x = 0;
  double y = 0;
  double z = 0;
};

// A move as a job's program says it: what it is, how far in the job's own
// units (picture pixels, the scanner's steps; grey levels down or up for the
// router), with its step delay and value in machine units already.
struct JobMotion {
  MotionKind kind = MotionKind::Travel;
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  std::int32_t dz = 0;
  std::int32_t delay = 0;
  std::int32_t value = 0;
};

class StepScaler {
 public:
  enum class Rule {
    Carry,          // exact position with a carry: rounding never adds up
    WholePerPixel,  // whole steps per pixel, rounded once per move; no carry
    AsGiven,        // the move is in motor steps already
  };
  explicit StepScaler(Rule rule) : rule_(rule) {}

  // The motion in whole steps; nothing when it leaves the 32-bit step range
  // (then nothing is taken, so the position stays as it was).
  std::optional<Motion> Scale(const JobMotion& move, const StepScale& scale);

  // "Ручная уст-ка" during a job: whole steps the next move takes with it.
  // False when the sum leaves the 32-bit range.
  bool AddPending(const std::array<std::int32_t, 3>& steps);
  void ClearPending() { pending_ = {}; }

  // Takes `other`'s position, so that a job counted on another window link
  // rounds as it will on `other`.
  void CopyFrom(const StepScaler& other) {
    exact_ = other.exact_;
    accounted_ = other.accounted_;
    pending_ = other.pending_;
  }

  // Whole steps taken (sent, or counted in a dry run) per axis.
  const std::array<std::int64_t, 3>& accounted() const { return accounted_; }

 private:
  std::optional<std::array<std::int32_t, 3>> CarrySteps(const std::array<double, 3>& displacement);

  Rule rule_;
  std::array<double, 3> exact_{};
  std::array<std::int64_t, 3> accounted_{};
  std::array<std::int32_t, 3> pending_{};
};

}  // namespace vertolin
