// The outlining window's picture and jobs: the figure session with the laser
// as its tool.
#pragma once

#include <memory>

#include "modes/figure_session.h"
#include "modes/outlining/laser_head.h"

namespace vertolin {

using OutliningFields = FigureFields;  // Depth() is not read
using OutliningView = FigureView;

class OutliningSession : public FigureSession {
 public:
  // `window` is a laser outline window link (formats::kOutlining).
  explicit OutliningSession(WindowLink& window)
      : FigureSession(window, std::make_unique<LaserHead>(), LaserRules()) {}
};

}  // namespace vertolin
