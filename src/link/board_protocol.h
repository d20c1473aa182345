// Which Protocol a window link speaks, from the machine profile's Protocol
// key, and the G-code options its grbl_* keys and ratios give.
#pragma once

#include <memory>

#include "link/link_format.h"
#include "motion/gcode_protocol.h"
#include "motion/protocol.h"
#include "settings/machine_profile.h"

namespace vertolin {

// The spindle is the router's only: the laser windows never write M3.
GcodeOptions GcodeOptionsFor(const MachineProfile& profile, const LinkFormat& format);

std::unique_ptr<Protocol> MakeProtocol(const MachineProfile& profile, const LinkFormat& format);

}  // namespace vertolin
