// The milling window's picture and jobs: the figure session with the router
// as its tool.
#pragma once

#include <memory>

#include "modes/figure_session.h"
#include "modes/milling/router_head.h"

namespace vertolin {

using MillingFields = FigureFields;
using MillingView = FigureView;

class MillingSession : public FigureSession {
 public:
  // `window` is a router window link (formats::kRouter).
  explicit MillingSession(WindowLink& window)
      : FigureSession(window, std::make_unique<RouterHead>()) {}
};

}  // namespace vertolin
