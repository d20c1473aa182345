// Where the machine is, as far as its board has confirmed it: one model per
// port, like the port and StopFlag. Every acknowledged motion adds its steps
// — a job's lines, a manual move, keyboard jogging, the interruption
// dialog's raise and lower — and moves the tool's state; a line sent and not
// yet confirmed has not happened here, and a dry run sends nothing, so it
// changes nothing.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "motion/motion.h"
#include "util/frontend.h"

namespace vertolin {

struct MachineProfile;

class MachineModel {
 public:
  using Steps = std::array<std::int64_t, 3>;

  // The board confirmed `motion`.
  void Acknowledged(const Motion& motion);

  // A job starts where the head stands: that is its origin. A dry run moves
  // nothing and keeps the last real job's origin.
  void JobStarted(bool dryRun);

  const Steps& position() const { return position_; }
  const ToolTrack& tool() const { return tool_; }
  const Steps& origin() const { return origin_; }
  bool lastRunDry() const { return lastRunDry_; }
  // Acknowledged motions so far: what changed since a report was shown.
  std::int64_t changes() const { return changes_; }

  // The position from the last job's origin in millimetres (the profile's
  // ratios per step), for the person.
  MachinePosition Shown(const MachineProfile& profile) const;

 private:
  Steps position_{};
  Steps origin_{};
  ToolTrack tool_;
  bool lastRunDry_ = false;
  std::int64_t changes_ = 0;
};

}  // namespace vertolin
