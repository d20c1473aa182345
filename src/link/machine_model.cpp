#include "link/machine_model.h"

#include <cmath>
#include <charconv>
#include <random>

#include "settings/machine_profile.h"

namespace vertolin {

namespace {

std::uint64_t NewSession() {
  std::random_device random;
  const auto clock =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  // Below 2^63, so that a journal keeps it as a plain whole number.
  return ((std::uint64_t{random()} << 32 ^ random()) ^ clock) & 0x7fff'ffff'ffff'ffffu;
}

}  // namespace

MachineModel::MachineModel() : session_(NewSession()) {}

void MachineModel::Acknowledged(const Motion& motion) {
  for (int axis = 0; axis < 3; ++axis) position_[axis] += motion.steps[axis];
  tool_.Follow(motion);
  ++changes_;
}

void MachineModel::JobStarted(bool dryRun, std::optional<Steps> origin) {
  lastRunDry_ = dryRun;
  if (!dryRun) {
    origin_ = origin.value_or(position_);
    unfinished_ = true;
  }
  ++changes_;
}

void MachineModel::JobEnded(bool completed) {
  if (!lastRunDry_) unfinished_ = !completed;
}

void MachineModel::StoppedJobAt(const Steps& origin) {
  origin_ = origin;
  unfinished_ = true;
  ++changes_;
}

std::optional<MachineModel::Steps> MachineModel::AwayFromStoppedJob() const {
  if (!unfinished_ || position_ == origin_) return std::nullopt;
  return Steps{position_[0] - origin_[0], position_[1] - origin_[1], position_[2] - origin_[2]};
}

MachineModel::Steps MachineModel::OriginOf(const HeadPlace& place) const {
  if (place.session == session_) return place.origin;
  Steps origin;
  for (int axis = 0; axis < 3; ++axis) {
    origin[axis] = position_[axis] - (place.position[axis] - place.origin[axis]);
  }
  return origin;
}

MachinePosition MachineModel::Shown(const MachineProfile& profile) const {
  const double ratios[3] = {profile.xRatio, profile.yRatio, profile.zRatio};
  MachinePosition shown;
  for (int axis = 0; axis < 3; ++axis) {
    shown.millimetres[axis] = static_cast<double>(position_[axis] - origin_[axis]) * ratios[axis];
  }
  shown.laserOn = tool_.laserLit;
  shown.lastRunDry = lastRunDry_;
  return shown;
}

std::string PositionText(const MachinePosition& position) {
  std::string text;
  const char* axes[] = {"X", "Y", "Z"};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (axis > 0) text += "  ";
    // A decimal comma, as in every field of the program; no "-0,00".
    const double mm = position.millimetres[axis];
    char number[64];
    const auto written = std::to_chars(number, number + sizeof number,
                                       std::abs(mm) < 0.005 ? 0.0 : mm, std::chars_format::fixed,
                                       2);
    std::string shown(number, written.ptr);
    for (char& c : shown) {
      if (c == '.') c = ',';
    }
    text += std::string(axes[axis]) + ' ' + shown;
  }
  text += " мм";
  if (position.laserOn) text += " · лазер вкл.";
  if (position.lastRunDry) text += " · прогон без станка";
  return text;
}

}  // namespace vertolin
