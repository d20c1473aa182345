// Form7: the milling job stands between two commands; the person may raise or
// lower the cutter, then go on or stop.
#pragma once

#include <QDialog>

#include "link/interruption.h"

class QLineEdit;

namespace vertolin {

class SettingsStore;

class InterruptionDialog : public QDialog {
  Q_OBJECT

 public:
  InterruptionDialog(Link& link, SettingsStore& settings, QWidget* parent = nullptr);

  // Shows the dialog modally: 1 = go on (also when closed by its frame), 0 = stop.
  static int Ask(Link& link, SettingsStore& settings, QWidget* parent);

  int result() const { return result_; }

  // Form_Load and Form_Unload: the distance from and to the settings.
  void Load();
  void Unload();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RaiseLower(bool raise);
  void Finish(int result);

  Link& link_;
  SettingsStore& settings_;
  InterruptionLink motion_;
  QLineEdit* distance_;
  int result_ = 1;
  bool unloaded_ = false;
};

}  // namespace vertolin
