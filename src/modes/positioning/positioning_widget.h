// The positioning controls every mode window carries: the three move fields,
// "Ручная уст-ка", "Стоп", the status line, the drive switch and (all but the
// scanner) the return switch.
#pragma once

#include <QWidget>
#include <functional>
#include <string_view>

#include "modes/positioning/manual_move.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vertolin {

class WindowLink;
struct HandshakeResult;

// A move field (tx, ty, tz): object name, tool tip and the numeric key filter.
QLineEdit* CreateMoveField(const char* name, std::string_view tip, QWidget* parent);

// The three move fields' tool tips, X to Z.
inline constexpr std::string_view kMoveFieldTips[3] = {
    "Перемещение по оси X, мм", "Перемещение по оси Y, мм", "Перемещение по оси Z, мм"};

class PositioningControls : public QWidget {
  Q_OBJECT

 public:
  // What "Ручная уст-ка" does with three checked distances in mm.
  using ManualMoveHandler = std::function<void(double dx, double dy, double dz)>;

  // `driveCaption`: "Фрезеровать", "Гравировать" or "Сканировать". The drive
  // switch becomes the window link's drive switch; its Link is the one the
  // controls stop and talk through.
  PositioningControls(WindowLink& windowLink, const QString& driveCaption, bool withReturnSwitch,
                      QWidget* parent = nullptr);

  // At every load, after the handshake: the status text, the drive switch
  // clear, and the drive controls enabled or, after a failure, disabled as
  // the window's row says (by default the row of the link's format).
  void ApplyHandshake(const HandshakeResult& result);
  void ApplyHandshake(const HandshakeResult& result, DriveControls disabledOnFailure);

  // Replaces the default "move now" (the window link's ArduinoMoveMM); the
  // milling window keeps the distances as pending steps during a job.
  void SetManualMoveHandler(ManualMoveHandler handler);

  bool DriveOn() const;        // Check1 checked
  bool ReturnToStart() const;  // Check2 checked (false where there is none)

  QCheckBox* driveSwitch() const { return check1_; }
  QCheckBox* returnSwitch() const { return check2_; }  // nullptr for the scanner

 private:
  void ManualMove();  // Command3_Click
  void MoveNow(double dx, double dy, double dz);

  WindowLink& windowLink_;
  ManualMoveHandler manualMove_;
  QLineEdit* fields_[3];
  QPushButton* command3_;
  QPushButton* command9_;
  QLabel* label4_;
  QCheckBox* check1_;
  QCheckBox* check2_ = nullptr;
};

}  // namespace vertolin
