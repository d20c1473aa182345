#include "link/machine_model.h"

#include "settings/machine_profile.h"

namespace vertolin {

void MachineModel::Acknowledged(const Motion& motion) {
  for (int axis = 0; axis < 3; ++axis) position_[axis] += motion.steps[axis];
  tool_.Follow(motion);
  ++changes_;
}

void MachineModel::JobStarted(bool dryRun) {
  lastRunDry_ = dryRun;
  if (!dryRun) origin_ = position_;
  ++changes_;
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

}  // namespace vertolin
