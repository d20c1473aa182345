// Form4: calibration (millimetres per step), idle step delay, optimisation
// mode, port and speed; checks the connection on the spot.
#pragma once

#include "ui/mode_window.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace vertolin {

class Link;
class SettingsStore;

class SettingsWindow : public ModeWindow {
  Q_OBJECT

 public:
  SettingsWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);

  void Load() override;
  void Unload() override;

 private:
  void SaveAndClose();     // "ОК" (Command1)
  void Cancel();           // "Отмена" (Command2)
  void CheckConnection();  // "Проверить соединение" (Command3)
  void FillPortMenu();
  void CloseWindow();

  Link& link_;
  SettingsStore& settings_;
  // A connection check opened a port or speed other than the profile's:
  // closing without "ОК" goes back to the profile's.
  bool testedOther_ = false;
  QLineEdit* xRatioField_;      // Text1
  QLineEdit* yRatioField_;      // Text2
  QLineEdit* zRatioField_;      // Text3
  QLineEdit* portField_;        // Text4
  QLineEdit* idleDelayField_;   // Text5
  QComboBox* baudField_;        // Combo1
  QCheckBox* optimisationBox_;  // Check1
  // The protocol and what G-code needs (keys Protocol, grbl_*).
  QComboBox* protocolField_;
  QLineEdit* maxPowerField_;
  QLineEdit* laserPowerField_;
  QLineEdit* rasterFeedField_;
  QLineEdit* spindleSpeedField_;
  QLineEdit* probeDepthField_;
  QLineEdit* probeFeedField_;
  QMenu* portMenu_;
  // The connection check's buttons, held still while it runs, and the line
  // that says which port it checks and what it found ("checkState").
  QPushButton* checkButton_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QLabel* checkState_;
};

}  // namespace vertolin
