#include "modes/milling/router_head.h"

#include "settings/machine_profile.h"

namespace vertolin {

double RouterHead::ThirdPerGreyLevel(double depthMm, const MachineProfile& profile) const {
  return depthMm / profile.zRatio / 255;
}

JobStep RouterHead::Start(std::uint8_t startBlue, std::int32_t cuttingDelay) const {
  return {0, 0, -(255 - startBlue), cuttingDelay};
}

JobStep RouterHead::Along(int dx, int dy, std::uint8_t blue) const {
  return {dx, dy, -((255 - blue) - depth_), 0};
}

JobStep RouterHead::End(std::int32_t idleDelay) const { return {0, 0, depth_, idleDelay}; }

}  // namespace vertolin
