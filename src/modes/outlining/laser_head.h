// The laser as a figure job's tool: switched on at the pass's start (+1,
// with the cutting delay of Text4), moved along the path without a third
// value, switched off at its end (−1, with the idle delay). It has no depth:
// the grey of the path plays no part.
#pragma once

#include "modes/figure_session.h"

namespace vertolin {

class LaserHead : public ToolHead {
 public:
  bool UsesDepth() const override { return false; }
  double ZStepsPerGreyLevel(double, const MachineProfile&) const override { return 0; }
  JobMotion Start(std::uint8_t startBlue, std::int32_t cuttingDelay) const override;
  JobMotion Along(int dx, int dy, std::uint8_t blue) const override;
  JobMotion End(std::int32_t idleDelay) const override;
  void Arrived(std::uint8_t) override {}
  int depth() const override { return 0; }
};

// Where the outlining jobs differ from milling beyond the head:
// the 3 × 3 "Градиент", "Грав-ть всё" leaving StopFlag as it is, a width or
// spot diameter of 0 or less refused, and the window's own words.
FigureRules LaserRules();

}  // namespace vertolin
