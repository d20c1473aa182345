#include "modes/positioning/positioning_window.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "settings/settings_store.h"
#include "ui/frontend_dialog.h"
#include "ui/number_field_widget.h"

namespace vertolin {

namespace {

constexpr const char* kHandStepKey = "hand_step";

// Arrows by key code; letters by key code on a Latin layout and by the typed
// character on a Cyrillic one, so that either layout jogs Z.
JogKey JogKeyOf(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Left:
      return JogKey::Left;
    case Qt::Key_Right:
      return JogKey::Right;
    case Qt::Key_Up:
      return JogKey::Up;
    case Qt::Key_Down:
      return JogKey::Down;
    case Qt::Key_Q:
      return JogKey::ZUp;
    case Qt::Key_A:
      return JogKey::ZDown;
    default:
      break;
  }
  const QString text = event.text();
  if (text.size() != 1) return JogKey::None;
  return JogKeyForLetter(text.at(0).unicode());
}

QLabel* Caption(const char* text, QWidget* parent) {
  return new QLabel(QString::fromUtf8(text), parent);
}

}  // namespace

PositioningWindow::PositioningWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : QDialog(parent), link_(link), settings_(settings), links_(link, formats::kPositioning) {
  setObjectName(QStringLiteral("Form6"));
  setWindowTitle(QStringLiteral("Установка положения"));
  links_.current().SetReady(false);  // only a handshake makes it ready

  // Typed distances.
  auto* typedFrame = new QGroupBox(QStringLiteral("Перемещение по осям в мм"), this);
  typedFrame->setObjectName(QStringLiteral("Frame1"));
  auto* typedGrid = new QGridLayout(typedFrame);
  const char* names[3] = {"tx", "ty", "tz"};
  const char* axes[3] = {"X", "Y", "Z"};
  for (int axis = 0; axis < 3; ++axis) {
    moveFields_[axis] = CreateMoveField(names[axis], kMoveFieldTips[axis], typedFrame);
    typedGrid->addWidget(Caption(axes[axis], typedFrame), axis, 0);
    typedGrid->addWidget(moveFields_[axis], axis, 1, 1, 2);
  }
  moveButton_ = new QPushButton(QStringLiteral("Переместить"), typedFrame);
  moveButton_->setObjectName(QStringLiteral("Command3"));
  stopButton_ = new QPushButton(QStringLiteral("Стоп"), typedFrame);
  stopButton_->setObjectName(QStringLiteral("Command9"));
  typedGrid->addWidget(moveButton_, 3, 0, 1, 2);
  typedGrid->addWidget(stopButton_, 3, 2);
  typedGrid->setColumnStretch(1, 1);

  // Keyboard jogging.
  auto* keysFrame = new QGroupBox(QStringLiteral("Перемещение клавишами"), this);
  keysFrame->setObjectName(QStringLiteral("Frame3"));
  auto* keysColumn = new QVBoxLayout(keysFrame);
  auto* toggleRow = new QHBoxLayout;
  keyboardButton_ = new QPushButton(keysFrame);
  keyboardButton_->setObjectName(QStringLiteral("Command1"));
  keyboardCaption_ = new QLabel(keysFrame);
  keyboardCaption_->setObjectName(QStringLiteral("Label19"));
  keyboardCaption_->setCursor(Qt::PointingHandCursor);
  keyboardCaption_->installEventFilter(this);
  toggleRow->addWidget(keyboardButton_);
  toggleRow->addWidget(keyboardCaption_, 1);
  keysColumn->addLayout(toggleRow);

  auto* stepRow = new QHBoxLayout;
  stepField_ = new QLineEdit(keysFrame);
  stepField_->setObjectName(QStringLiteral("Text1"));
  stepField_->setMaximumWidth(80);
  NumberKeyFilter::Install(stepField_);
  stepRow->addWidget(stepField_);
  stepRow->addWidget(Caption(" мм на одно нажатие клавиши", keysFrame), 1);
  keysColumn->addLayout(stepRow);

  auto* legend = new QGridLayout;
  const char* keys[6][2] = {{"стрелка влево", "ось X влево"}, {"стрелка вправо", "ось X вправо"},
                            {"стрелка вверх", "ось Y от"},    {"стрелка вниз", "ось Y на"},
                            {"буква Q", "ось Z вверх"},       {"буква A", "ось Z вниз"}};
  for (int row = 0; row < 6; ++row) {
    legend->addWidget(Caption(keys[row][0], keysFrame), row, 0);
    legend->addWidget(Caption(keys[row][1], keysFrame), row, 1);
  }
  legend->setColumnStretch(1, 1);
  keysColumn->addLayout(legend);

  // Status.
  auto* statusRow = new QHBoxLayout;
  auto* statusCaption = new QLabel(QStringLiteral("Статус:"), this);
  statusCaption->setObjectName(QStringLiteral("Label1"));
  statusLabel_ = new QLabel(DisplayText(texts::kStatusNoPort), this);
  statusLabel_->setObjectName(QStringLiteral("Label4"));
  statusRow->addWidget(statusCaption);
  statusRow->addWidget(statusLabel_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(typedFrame);
  layout->addWidget(keysFrame);
  layout->addLayout(statusRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Enter in a field moves; no other button takes Enter.
  for (QPushButton* button : {keyboardButton_, moveButton_, stopButton_})
    button->setAutoDefault(false);
  moveButton_->setDefault(true);

  connect(moveButton_, &QPushButton::clicked, this, &PositioningWindow::MoveTyped);
  connect(stopButton_, &QPushButton::clicked, this, [this] { link_.RequestStop(); });
  connect(keyboardButton_, &QPushButton::clicked, this, &PositioningWindow::ToggleKeyboard);
  LeaveKeyboardMode();
}

PositioningWindow::~PositioningWindow() = default;

void PositioningWindow::Load() {
  loaded_ = true;
  LeaveKeyboardMode();
  links_.Open(nullptr);
  WindowLink& windowLink = links_.current();
  windowLink.SetKindLetter(0);
  windowLink.SetReady(false);
  linkUsable_ = false;
  // The design caption stays when the handshake fails with a read error.
  statusLabel_->setText(DisplayText(texts::kStatusNoPort));
  try {
    const HandshakeResult result = windowLink.Handshake(kAnyKind);
    statusLabel_->setText(DisplayText(result.status));
    if (result.driveEnabled) {
      windowLink.SetKindLetter(result.kindLetter);
      windowLink.SetReady(true);
      linkUsable_ = true;
    } else {
      WarnAboutFirmware(link_.frontend(), result);
    }
  } catch (const LinkError&) {
    // The read failure has been shown; the window opens unable to move.
  }
  moveButton_->setEnabled(linkUsable_);
  stopButton_->setEnabled(linkUsable_);
  stepField_->setText(QString::fromStdString(settings_.ReadSetting(kHandStepKey, "1")));
}

void PositioningWindow::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  LeaveKeyboardMode();
  links_.Close(false, false);  // a closed window's move does not stop a job
  settings_.WriteSetting(kHandStepKey, stepField_->text().toStdString());
}

void PositioningWindow::done(int result) {
  Unload();
  QDialog::done(result);
}

bool PositioningWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == keyboardCaption_ && event->type() == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) ToggleKeyboard();
    return true;
  }
  // While keyboard mode is on this filter sits on the application, so the
  // jog keys reach the window before any of its controls (arrows would move
  // the focus otherwise).
  if (!keyboardMode_) return false;
  const bool pressed = event->type() == QEvent::KeyPress;
  if (!pressed && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  const auto* keyEvent = static_cast<QKeyEvent*>(event);
  const JogKey key = JogKeyOf(*keyEvent);
  if (key == JogKey::None) return false;
  if (pressed) {
    Jog(key);
  } else if (!keyEvent->isAutoRepeat()) {
    // A grbl board's jog stops when its key is let go.
    links_.current().CancelJog();
  }
  return true;
}

void PositioningWindow::MoveTyped() {
  const auto distances = ReadTypedMoveOrTell(link_.frontend(), moveFields_[0]->text().toStdString(),
                                             moveFields_[1]->text().toStdString(),
                                             moveFields_[2]->text().toStdString());
  if (distances) Move(*distances);
}

void PositioningWindow::ToggleKeyboard() {
  if (statusLabel_->text() == DisplayText(texts::kStatusNoPort)) {
    link_.frontend().ShowMessage(texts::kTitleError, texts::kNoPortForKeys);
    return;
  }
  if (stepField_->isEnabled()) {
    EnterKeyboardMode();
  } else {
    LeaveKeyboardMode();
  }
}

void PositioningWindow::EnterKeyboardMode() {
  link_.ClearStop();
  for (QLineEdit* field : moveFields_) field->setEnabled(false);
  stepField_->setEnabled(false);
  moveButton_->setEnabled(false);
  stopButton_->setEnabled(false);
  keyboardCaption_->setText(QStringLiteral("Стоп"));
  keyboardButton_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  keyboardButton_->setToolTip(keyboardCaption_->text());
  keyboardButton_->setFocus();
  if (!keyboardMode_) QCoreApplication::instance()->installEventFilter(this);
  keyboardMode_ = true;
}

void PositioningWindow::LeaveKeyboardMode() {
  if (keyboardMode_) QCoreApplication::instance()->removeEventFilter(this);
  keyboardMode_ = false;
  for (QLineEdit* field : moveFields_) field->setEnabled(true);
  stepField_->setEnabled(true);
  // The buttons a failed handshake disabled stay disabled.
  moveButton_->setEnabled(linkUsable_);
  stopButton_->setEnabled(linkUsable_);
  keyboardCaption_->setText(QStringLiteral("Поехали"));
  keyboardButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  keyboardButton_->setToolTip(keyboardCaption_->text());
}

void PositioningWindow::Jog(JogKey key) {
  // A step that is not a number moves nothing; the field is disabled while
  // the keys are live, so a message per key press would only get in the way.
  const auto distances = JogMove(key, stepField_->text().toStdString());
  if (distances) Move(*distances);
}

void PositioningWindow::Move(const std::array<double, 3>& distances) {
  links_.MoveNow(distances[0], distances[1], distances[2]);
}

}  // namespace vertolin
