#include "link/step_scaler.h"

#include <cmath>
#include <limits>

#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool FitsInt32(std::int64_t value) { return value >= kInt32Min && value <= kInt32Max; }

}  // namespace

std::optional<std::array<std::int32_t, 3>> StepScaler::CarrySteps(
    const std::array<double, 3>& displacement) {
  std::array<std::int32_t, 3> steps{};
  for (int axis = 0; axis < 3; ++axis) {
    const double exact = exact_[axis] + displacement[axis] + pending_[axis];
    const double step = RoundHalfEven(exact - static_cast<double>(accounted_[axis]));
    if (!std::isfinite(step) || step < kInt32Min || step > kInt32Max ||
        !FitsInt32(accounted_[axis] + static_cast<std::int64_t>(step))) {
      return std::nullopt;
    }
    steps[axis] = static_cast<std::int32_t>(step);
  }
  // Taken only once the whole step is known to be sound.
  for (int axis = 0; axis < 3; ++axis) {
    exact_[axis] += displacement[axis] + pending_[axis];
    pending_[axis] = 0;
    // Accounted before anything is sent: a command once written counts even
    // when its wait then ends the job.
    accounted_[axis] += steps[axis];
  }
  return steps;
}

std::optional<Motion> StepScaler::Scale(const JobMotion& move, const StepScale& scale) {
  Motion motion{move.kind, {}, move.delay, move.value};
  switch (rule_) {
    case Rule::Carry: {
      const auto steps = CarrySteps({move.dx * scale.x, move.dy * scale.y, move.dz * scale.z});
      if (!steps) return std::nullopt;
      motion.steps = *steps;
      return motion;
    }
    case Rule::WholePerPixel: {
      const double x = move.dx * RoundHalfEven(scale.x);
      const double y = move.dy * RoundHalfEven(scale.y);
      if (!(std::abs(x) <= kInt32Max && std::abs(y) <= kInt32Max)) return std::nullopt;
      motion.steps = {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), 0};
      break;
    }
    case Rule::AsGiven:
      motion.steps = {move.dx, move.dy, 0};
      break;
  }
  for (int axis = 0; axis < 3; ++axis) accounted_[axis] += motion.steps[axis];
  return motion;
}

bool StepScaler::AddPending(const std::array<std::int32_t, 3>& steps) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!FitsInt32(std::int64_t{pending_[axis]} + steps[axis])) return false;
  }
  for (int axis = 0; axis < 3; ++axis) pending_[axis] += steps[axis];
  return true;
}

}  // namespace vertolin
