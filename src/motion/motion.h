// The one form every job's program takes on its way to the board: what the
// machine is to do, in its own units (motor steps per axis, step delays in
// µs), with the rounding carry already applied. Protocols encode motions into
// lines; the estimate, the count ahead and the journal's replay read motions,
// never the lines, so a new protocol touches none of them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

namespace vertolin {

enum class MotionKind : std::uint8_t {
  Travel,      // a move with the tool off or above the work
  Cut,         // a move with the tool at work (the laser lit, the cutter in the work)
  Plunge,      // the router's cutter goes down into the work at the cutting delay
  Lift,        // and comes up out of it
  ToolOn,      // the laser is switched on; its delay is the cutting delay that follows
  ToolOff,     // and off
  RasterOpen,  // a raster begins: `value` whole steps per pixel (0: the board needs none),
               // `delay` the darkest pixel's delay
  Burn,        // a raster move burning at `delay` µs per step: the darker, the slower
  Probe,       // the probe goes down and the board answers with the height; `value` its argument
  Jog,         // a move by hand (positioning, "Ручная уст-ка") at the idle delay
};

struct Motion {
  MotionKind kind = MotionKind::Travel;
  std::array<std::int32_t, 3> steps{};  // X, Y, Z relative, motor steps; Z is positive upwards
  std::int32_t delay = 0;               // µs per step; 0 or less: the board's idle delay
  std::int32_t value = 0;               // RasterOpen: steps per pixel; Probe: its argument

  bool Moves() const { return steps[0] != 0 || steps[1] != 0 || steps[2] != 0; }
  std::int64_t LargestSteps() const {
    return std::max({std::abs(std::int64_t{steps[0]}), std::abs(std::int64_t{steps[1]}),
                     std::abs(std::int64_t{steps[2]})});
  }
  // The delay the board steps this motion at, with `idle` where it gives none.
  std::int64_t StepDelay(std::int32_t idle) const { return delay > 0 ? delay : idle; }
  bool operator==(const Motion&) const = default;
};

// What the machine's tool is doing, followed motion by motion: the laser's
// switch and the router's depth below where the job began.
struct ToolTrack {
  bool laserLit = false;
  std::int64_t depth = 0;  // steps, negative below the start

  void Follow(const Motion& motion) {
    if (motion.kind == MotionKind::ToolOn) laserLit = true;
    if (motion.kind == MotionKind::ToolOff) laserLit = false;
    depth += motion.steps[2];
  }
  // The tool works during `motion`: the laser lit, the cutter below the start,
  // a raster burn.
  bool AtWork(const Motion& motion) const {
    if (motion.kind == MotionKind::Burn) return motion.delay > 0;
    return laserLit || depth != 0;
  }
};

}  // namespace vertolin
