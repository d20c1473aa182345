// Form6: moves the machine by typed distances and, in keyboard mode, by a
// fixed step per key press. Shown modally by the main window.
#pragma once

#include <QDialog>
#include <array>

#include "modes/positioning/manual_move.h"
#include "modes/positioning/positioning_widget.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace vertolin {

class Link;
class SettingsStore;

class PositioningWindow : public QDialog {
  Q_OBJECT

 public:
  PositioningWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~PositioningWindow() override;

  // Form_Load (handshake, then hand_step) and Form_Unload (hand_step back).
  // Closing the dialog runs Unload once per Load.
  void Load();
  void Unload();

  // The window's end of the protocol: kind letter and ready flag.
  const WindowLink& windowLink() { return links_.current(); }
  bool KeyboardMode() const { return keyboardMode_; }

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void MoveTyped();       // "Переместить" (Command3)
  void ToggleKeyboard();  // the keyboard button (Command1) or its caption (Label19)
  void EnterKeyboardMode();
  void LeaveKeyboardMode();
  void Jog(JogKey key);
  void Move(const std::array<double, 3>& distances);

  Link& link_;
  SettingsStore& settings_;
  OpeningLinks links_;
  QLineEdit* moveFields_[3];
  QPushButton* moveButton_;
  QPushButton* stopButton_;
  QPushButton* keyboardButton_;
  QLabel* keyboardCaption_;
  QLineEdit* stepField_;
  QLabel* statusLabel_;
  bool linkUsable_ = false;  // the handshake succeeded at this opening
  bool keyboardMode_ = false;
  bool loaded_ = false;  // between Load and Unload
};

}  // namespace vertolin
