// Form4: calibration (millimetres per step), idle step delay, optimisation
// mode, port and speed; checks the connection on the spot.
#pragma once

#include "app/mode_window.h"

class QCheckBox;
class QComboBox;
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
  void Command1_Click();  // "ОК"
  void Command2_Click();  // "Отмена"
  void Command3_Click();  // "Проверить соединение"
  void FillPortMenu();
  void CloseWindow();

  Link& link_;
  SettingsStore& settings_;
  QLineEdit* text1_;  // X ratio
  QLineEdit* text2_;  // Y ratio
  QLineEdit* text3_;  // Z ratio
  QLineEdit* text4_;  // port
  QLineEdit* text5_;  // idle delay
  QComboBox* combo1_;  // baud
  QCheckBox* check1_;  // optimisation
  QMenu* portMenu_;
};

}  // namespace vertolin
