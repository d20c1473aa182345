// The positioning controls every mode window carries: the three move fields,
// "Ручная уст-ка", "Стоп", the status line, the drive switch and (all but the
// scanner) the return switch; and the window links, one per opening, through
// which the controls and the window's jobs drive the board.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "link/window_link.h"
#include "modes/positioning/manual_move.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vertolin {

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

  // After a job or a move: a board lost on the way ("Ошибка чтения данных
  // с Ардуино") is said in the status line and on the main window's status
  // bar instead of the handshake's "Com-порт открыт"; a later job or move
  // that ends well gives the handshake's status back. The windows call it
  // whenever a job starts or ends.
  void ShowLinkState();

  bool DriveOn() const;        // the drive switch (Check1) checked
  bool ReturnToStart() const;  // the return switch (Check2) checked, false without one

  QCheckBox* driveSwitch() const { return driveSwitch_; }
  QCheckBox* returnSwitch() const { return returnSwitch_; }  // nullptr for the scanner
  // "Стоп" (Command9); the window moves it among its own job buttons.
  QPushButton* stopButton() const { return stopButton_; }

 private:
  void ManualMove();  // "Ручная уст-ка" (Command3)
  void MoveNow(double dx, double dy, double dz);

  WindowLink& windowLink_;
  ManualMoveHandler manualMove_;
  QLineEdit* moveFields_[3];
  QPushButton* manualMoveButton_;
  QPushButton* stopButton_;
  QLabel* statusLabel_;
  QCheckBox* driveSwitch_;
  QCheckBox* returnSwitch_ = nullptr;
  QString handshakeStatus_;  // while the status line says the link is lost
};

// The window's end of the protocol, one per opening. A closed window abandons
// the link a job or move is still waiting on; the next opening starts a fresh
// one. Links are never destroyed: the positioning controls and a job that has
// not yet unwound still refer to theirs.
class OpeningLinks {
 public:
  OpeningLinks(Link& link, const LinkFormat& format);

  WindowLink& first() { return *links_.front(); }   // the controls' own
  WindowLink& current() { return *links_.back(); }  // this opening's
  bool MovesWaiting() const { return movesWaiting_ > 0; }

  // At Load: a fresh link, driven by `driveSwitch` (none: the format's own
  // rule), when the last closing abandoned one. The old job has read what
  // its board still owed before it ended, and the handshake empties the
  // port of any late acknowledgement left.
  void Open(QCheckBox* driveSwitch);
  // At Unload: StopFlag (unless `requestStop` is false), and the link
  // abandoned while `jobRunning` or a manual move waits, a laser left on
  // switched off. False when the window was not open.
  bool Close(bool jobRunning, bool requestStop = true);

  // "Ручная уст-ка" now; the window stays usable when the move fails (shown
  // already: read failure, refused move).
  void MoveNow(double dx, double dy, double dz);

 private:
  Link& link_;
  const LinkFormat& format_;
  std::vector<std::unique_ptr<WindowLink>> links_;
  bool open_ = false;  // between Load and Unload
  bool abandoned_ = false;
  int movesWaiting_ = 0;  // manual moves on the stack
};

}  // namespace vertolin
