// Form5 "Обведение силуэтов и орнаментов": the outlining window, the figure
// window with the laser (modes/figure_window.h). It has no depth; "Грав-ть
// всё" fills the dark areas with outlines one spot diameter apart, and
// "Ручная уст-ка" always moves at once.
#pragma once

#include <memory>

#include "modes/figure_window.h"

namespace vertolin {

class OutliningSession;

class OutliningWindow : public FigureWindow {
  Q_OBJECT

 public:
  OutliningWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~OutliningWindow() override;

  // The session of the current opening; nullptr while the window is closed.
  const OutliningSession* session() const;

 protected:
  std::shared_ptr<FigureSession> NewSession(WindowLink& window) override;
};

}  // namespace vertolin
