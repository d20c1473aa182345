// Form4: calibration (millimetres per step), idle step delay, optimisation
// mode, port and speed; checks the connection on the spot.
#pragma once

#include "app/mode_window.h"

namespace vertolin {

class Link;
class SettingsStore;

class SettingsWindow : public ModeWindow {
  Q_OBJECT

 public:
  SettingsWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);

  void Load() override;
  void Unload() override;
};

}  // namespace vertolin
