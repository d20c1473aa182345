// Form6: moves the machine by typed distances and, in keyboard mode, by a
// fixed step per key press. Shown modally by the main window.
#pragma once

#include <QDialog>

namespace vertolin {

class Link;
class SettingsStore;

class PositioningWindow : public QDialog {
  Q_OBJECT

 public:
  PositioningWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);

  // Form_Load (handshake, then hand_step) and Form_Unload (hand_step back).
  void Load();
  void Unload();
};

}  // namespace vertolin
