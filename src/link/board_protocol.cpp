#include "link/board_protocol.h"

#include "motion/native_protocol.h"

namespace vertolin {

GcodeOptions GcodeOptionsFor(const MachineProfile& profile, const LinkFormat& format) {
  GcodeOptions options;
  options.mmPerStep = {profile.xRatio, profile.yRatio, profile.zRatio};
  options.idleDelay = profile.idleDelay;
  options.maxPower = profile.grbl.maxPower;
  options.laserPower = profile.grbl.LaserPower();
  options.rasterFeed = profile.grbl.rasterFeed;
  options.spindleSpeed = format.kind == formats::kRouter.kind ? profile.grbl.spindleSpeed : 0;
  options.probeDepth = profile.grbl.probeDepth;
  options.probeFeed = profile.grbl.probeFeed;
  return options;
}

std::unique_ptr<Protocol> MakeProtocol(const MachineProfile& profile, const LinkFormat& format) {
  if (profile.protocol == BoardProtocol::Grbl) {
    return std::make_unique<GcodeProtocol>(GcodeOptionsFor(profile, format));
  }
  return std::make_unique<NativeProtocol>(format.dialect);
}

}  // namespace vertolin
