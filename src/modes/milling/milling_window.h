// Form1 "Vertolin": the milling window, the figure window with the router
// (modes/figure_window.h): the depth field, the interruption dialog on a
// stop, and "Ручная уст-ка" carried by the job's next move while one runs.
#pragma once

#include <memory>

#include "modes/figure_window.h"

namespace vertolin {

class MillingSession;

class MillingWindow : public FigureWindow {
  Q_OBJECT

 public:
  MillingWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~MillingWindow() override;

  // The session of the current opening; nullptr while the window is closed.
  const MillingSession* session() const;

 protected:
  std::shared_ptr<FigureSession> NewSession(WindowLink& window) override;

 private:
  class DialogPrompt;

  std::unique_ptr<DialogPrompt> dialogPrompt_;
};

}  // namespace vertolin
