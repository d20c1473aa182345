#include "modes/positioning/positioning_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <utility>

#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "ui/frontend_dialog.h"
#include "ui/number_field_widget.h"

namespace vertolin {

namespace {

// The board stopped answering (or the port failed) under a job or a move:
// the port may still be open, but nothing goes through it.
constexpr std::string_view kLinkLost = "Связь с платой потеряна";
constexpr std::string_view kLinkLostJob =
    "Связь с платой потеряна: задание прервано. Проверьте кабель и питание платы.";

}  // namespace

QLineEdit* CreateMoveField(const char* name, std::string_view tip, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setToolTip(DisplayText(tip));
  NumberKeyFilter::Install(field);
  return field;
}

PositioningControls::PositioningControls(WindowLink& windowLink, const QString& driveCaption,
                                         bool withReturnSwitch, QWidget* parent)
    : QWidget(parent), windowLink_(windowLink) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  const char* names[3] = {"tx", "ty", "tz"};
  const char* axes[3] = {"X", "Y", "Z"};
  for (int axis = 0; axis < 3; ++axis) {
    moveFields_[axis] = CreateMoveField(names[axis], kMoveFieldTips[axis], this);
    grid->addWidget(new QLabel(QString::fromLatin1(axes[axis]), this), axis, 0);
    grid->addWidget(moveFields_[axis], axis, 1, 1, 2);
  }

  manualMoveButton_ = new QPushButton(QStringLiteral("Ручная уст-ка"), this);
  manualMoveButton_->setObjectName(QStringLiteral("Command3"));
  stopButton_ = new QPushButton(QStringLiteral("Стоп"), this);
  stopButton_->setObjectName(QStringLiteral("Command9"));
  grid->addWidget(manualMoveButton_, 3, 0, 1, 2);
  grid->addWidget(stopButton_, 3, 2);

  driveSwitch_ = new QCheckBox(driveCaption, this);
  driveSwitch_->setObjectName(QStringLiteral("Check1"));
  // Its caption is the job's verb, as the start button's: the tip says that
  // this one decides whether the machine works at all.
  driveSwitch_->setToolTip(
      QStringLiteral("Работа на станке: с галочкой задание посылает команды станку, "
                     "без неё идёт только на экране (без станка)"));
  grid->addWidget(driveSwitch_, 4, 0, 1, 3);
  if (withReturnSwitch) {
    returnSwitch_ = new QCheckBox(QStringLiteral("С возвратом в исх."), this);
    returnSwitch_->setObjectName(QStringLiteral("Check2"));
    grid->addWidget(returnSwitch_, 5, 0, 1, 3);
  }

  auto* statusCaption = new QLabel(QStringLiteral("Статус:"), this);
  statusCaption->setObjectName(QStringLiteral("Label1"));
  statusLabel_ = new QLabel(DisplayText(texts::kStatusNoPort), this);
  statusLabel_->setObjectName(QStringLiteral("Label4"));
  statusLabel_->setWordWrap(true);
  grid->addWidget(statusCaption, 6, 0);
  grid->addWidget(statusLabel_, 6, 1, 1, 2);
  grid->setColumnStretch(1, 1);

  // A laser, hot wire or probe has no Z to move: its field is not asked for.
  if (!windowLink_.HasZ()) {
    moveFields_[2]->setEnabled(false);
    moveFields_[2]->setToolTip(QStringLiteral("У этой машины нет оси Z"));
  }

  // Guarded: the window link may be asked after these controls are gone.
  windowLink_.SetDriveSwitch(
      [box = QPointer<QCheckBox>(driveSwitch_)] { return box && box->isChecked(); });
  manualMove_ = [this](double dx, double dy, double dz) { MoveNow(dx, dy, dz); };

  connect(manualMoveButton_, &QPushButton::clicked, this, &PositioningControls::ManualMove);
  connect(stopButton_, &QPushButton::clicked, this, [this] { windowLink_.link().RequestStop(); });
}

void PositioningControls::ApplyHandshake(const HandshakeResult& result) {
  ApplyHandshake(result, DisabledOnFailure(windowLink_.format()));
}

void PositioningControls::ApplyHandshake(const HandshakeResult& result,
                                         DriveControls disabledOnFailure) {
  statusLabel_->setText(DisplayText(result.status));
  handshakeStatus_.clear();
  driveSwitch_->setChecked(false);  // every opening starts as a dry run
  const bool ok = result.driveEnabled;
  driveSwitch_->setEnabled(ok || !disabledOnFailure.driveSwitch);
  if (returnSwitch_ != nullptr) returnSwitch_->setEnabled(ok || !disabledOnFailure.returnSwitch);
  manualMoveButton_->setEnabled(ok || !disabledOnFailure.manualMove);
}

void PositioningControls::SetManualMoveHandler(ManualMoveHandler handler) {
  manualMove_ = std::move(handler);
}

void PositioningControls::ShowLinkState() {
  Link& link = windowLink_.link();
  const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
  if (lost) {
    if (handshakeStatus_.isEmpty()) handshakeStatus_ = statusLabel_->text();
    statusLabel_->setText(DisplayText(kLinkLost));
    link.frontend().ShowStatus(kLinkLostJob);
  } else if (!handshakeStatus_.isEmpty()) {
    statusLabel_->setText(handshakeStatus_);
    handshakeStatus_.clear();
  }
}

bool PositioningControls::DriveOn() const { return driveSwitch_->isChecked(); }

bool PositioningControls::ReturnToStart() const {
  return returnSwitch_ != nullptr && returnSwitch_->isChecked();
}

void PositioningControls::ManualMove() {
  const auto distances = ReadTypedMoveOrTell(
      windowLink_.link().frontend(), moveFields_[0]->text().toStdString(),
      moveFields_[1]->text().toStdString(),
      windowLink_.HasZ() ? moveFields_[2]->text().toStdString() : std::string("0"));
  if (!distances || !manualMove_) return;
  // The handler's failure has been shown; what it means for the link stays.
  const QPointer<PositioningControls> alive(this);
  manualMove_((*distances)[0], (*distances)[1], (*distances)[2]);
  if (alive) ShowLinkState();
}

void PositioningControls::MoveNow(double dx, double dy, double dz) {
  try {
    windowLink_.ArduinoMoveMM(dx, dy, dz);
  } catch (const LinkError&) {
    // The message, where there is one, has been shown; the window goes on.
  }
}

OpeningLinks::OpeningLinks(Link& link, const LinkFormat& format) : link_(link), format_(format) {
  links_.push_back(std::make_unique<WindowLink>(link_, format_));
}

void OpeningLinks::Open(QCheckBox* driveSwitch) {
  open_ = true;
  if (!abandoned_) return;
  links_.push_back(std::make_unique<WindowLink>(link_, format_));
  if (driveSwitch != nullptr) {
    current().SetDriveSwitch(
        [box = QPointer<QCheckBox>(driveSwitch)] { return box && box->isChecked(); });
  }
  abandoned_ = false;
}

bool OpeningLinks::Close(bool jobRunning, bool requestStop) {
  if (!open_) return false;
  open_ = false;
  if (requestStop) link_.RequestStop();
  if (jobRunning || movesWaiting_ > 0) {
    // A board that never answers must not keep a closed window's job waiting.
    current().Abandon();
    abandoned_ = true;
    // Nor may the laser burn on while the job unwinds (or the program ends
    // and closes the port first).
    current().SwitchLaserOff();
  }
  return true;
}

void OpeningLinks::MoveNow(double dx, double dy, double dz) {
  QScopedValueRollback<int> waiting(movesWaiting_, movesWaiting_ + 1);
  try {
    current().ArduinoMoveMM(dx, dy, dz);
  } catch (const LinkError&) {
    // Shown already (read failure, refused move); the window stays usable.
  }
}

}  // namespace vertolin
