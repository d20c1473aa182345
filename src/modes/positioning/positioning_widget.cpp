#include "modes/positioning/positioning_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "app/frontend_dialog.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "ui/number_field_widget.h"

namespace vertolin {

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
    fields_[axis] = CreateMoveField(names[axis], kMoveFieldTips[axis], this);
    grid->addWidget(new QLabel(QString::fromLatin1(axes[axis]), this), axis, 0);
    grid->addWidget(fields_[axis], axis, 1, 1, 2);
  }

  command3_ = new QPushButton(QStringLiteral("Ручная уст-ка"), this);
  command3_->setObjectName(QStringLiteral("Command3"));
  command9_ = new QPushButton(QStringLiteral("Стоп"), this);
  command9_->setObjectName(QStringLiteral("Command9"));
  grid->addWidget(command3_, 3, 0, 1, 2);
  grid->addWidget(command9_, 3, 2);

  check1_ = new QCheckBox(driveCaption, this);
  check1_->setObjectName(QStringLiteral("Check1"));
  grid->addWidget(check1_, 4, 0, 1, 3);
  if (withReturnSwitch) {
    check2_ = new QCheckBox(QStringLiteral("С возвратом в исх."), this);
    check2_->setObjectName(QStringLiteral("Check2"));
    grid->addWidget(check2_, 5, 0, 1, 3);
  }

  auto* label1 = new QLabel(QStringLiteral("Статус:"), this);
  label1->setObjectName(QStringLiteral("Label1"));
  label4_ = new QLabel(DisplayText(texts::kStatusNoPort), this);
  label4_->setObjectName(QStringLiteral("Label4"));
  label4_->setWordWrap(true);
  grid->addWidget(label1, 6, 0);
  grid->addWidget(label4_, 6, 1, 1, 2);
  grid->setColumnStretch(1, 1);

  // Guarded: the window link may be asked after these controls are gone.
  windowLink_.SetDriveSwitch(
      [box = QPointer<QCheckBox>(check1_)] { return box && box->isChecked(); });
  manualMove_ = [this](double dx, double dy, double dz) { MoveNow(dx, dy, dz); };

  connect(command3_, &QPushButton::clicked, this, &PositioningControls::ManualMove);
  connect(command9_, &QPushButton::clicked, this, [this] { windowLink_.link().RequestStop(); });
}

void PositioningControls::ApplyHandshake(const HandshakeResult& result) {
  ApplyHandshake(result, DisabledOnFailure(windowLink_.format()));
}

void PositioningControls::ApplyHandshake(const HandshakeResult& result,
                                         DriveControls disabledOnFailure) {
  label4_->setText(DisplayText(result.status));
  check1_->setChecked(false);  // every opening starts as a dry run
  const bool ok = result.driveEnabled;
  check1_->setEnabled(ok || !disabledOnFailure.driveSwitch);
  if (check2_ != nullptr) check2_->setEnabled(ok || !disabledOnFailure.returnSwitch);
  command3_->setEnabled(ok || !disabledOnFailure.manualMove);
}

void PositioningControls::SetManualMoveHandler(ManualMoveHandler handler) {
  manualMove_ = std::move(handler);
}

bool PositioningControls::DriveOn() const { return check1_->isChecked(); }

bool PositioningControls::ReturnToStart() const {
  return check2_ != nullptr && check2_->isChecked();
}

void PositioningControls::ManualMove() {
  const auto distances = ReadTypedMoveOrTell(
      windowLink_.link().frontend(), fields_[0]->text().toStdString(),
      fields_[1]->text().toStdString(), fields_[2]->text().toStdString());
  if (!distances || !manualMove_) return;
  manualMove_((*distances)[0], (*distances)[1], (*distances)[2]);
}

void PositioningControls::MoveNow(double dx, double dy, double dz) {
  try {
    windowLink_.ArduinoMoveMM(dx, dy, dz);
  } catch (const LinkError&) {
    // The message, where there is one, has been shown; the window goes on.
  }
}

}  // namespace vertolin
