// The router as a figure job's tool: it plunges to the depth that the grey
// of the pass's start pixel stands for, follows the grey along the path and
// lifts at the end.
#pragma once

#include "modes/figure_session.h"

namespace vertolin {

class RouterHead : public ToolHead {
 public:
  bool UsesDepth() const override { return true; }
  double ZStepsPerGreyLevel(double depthMm, const MachineProfile& profile) const override;
  JobMotion Start(std::uint8_t startBlue, std::int32_t cuttingDelay) const override;
  JobMotion Along(int dx, int dy, std::uint8_t blue) const override;
  JobMotion End(std::int32_t idleDelay) const override;
  void Arrived(std::uint8_t blue) override { depth_ = 255 - blue; }
  int depth() const override { return depth_; }

 private:
  int depth_ = 0;  // grey units below the surface; Z is positive upwards
};

}  // namespace vertolin
