#include "modes/milling/router_head.h"

#include "settings/machine_profile.h"

namespace vertolin {

double RouterHead::ZStepsPerGreyLevel(double depthMm, const MachineProfile& profile) const {
  return depthMm / profile.zRatio / 255;
}

JobMotion RouterHead::Start(std::uint8_t startBlue, std::int32_t cuttingDelay) const {
  return {MotionKind::Plunge, 0, 0, -(255 - startBlue), cuttingDelay};
}

JobMotion RouterHead::Along(int dx, int dy, std::uint8_t blue) const {
  return {MotionKind::Cut, dx, dy, -((255 - blue) - depth_), 0};
}

JobMotion RouterHead::End(std::int32_t idleDelay) const {
  return {MotionKind::Lift, 0, 0, depth_, idleDelay};
}

}  // namespace vertolin
