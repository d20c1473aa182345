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

#include "app/frontend_dialog.h"
#include "settings/settings_store.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "ui/number_field_widget.h"
#include "modes/positioning/positioning_widget.h"

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
  auto* frame1 = new QGroupBox(QStringLiteral("Перемещение по осям в мм"), this);
  frame1->setObjectName(QStringLiteral("Frame1"));
  auto* grid1 = new QGridLayout(frame1);
  const char* names[3] = {"tx", "ty", "tz"};
  const char* axes[3] = {"X", "Y", "Z"};
  for (int axis = 0; axis < 3; ++axis) {
    fields_[axis] = CreateMoveField(names[axis], kMoveFieldTips[axis], frame1);
    grid1->addWidget(Caption(axes[axis], frame1), axis, 0);
    grid1->addWidget(fields_[axis], axis, 1, 1, 2);
  }
  command3_ = new QPushButton(QStringLiteral("Переместить"), frame1);
  command3_->setObjectName(QStringLiteral("Command3"));
  command9_ = new QPushButton(QStringLiteral("Стоп"), frame1);
  command9_->setObjectName(QStringLiteral("Command9"));
  grid1->addWidget(command3_, 3, 0, 1, 2);
  grid1->addWidget(command9_, 3, 2);
  grid1->setColumnStretch(1, 1);

  // Keyboard jogging.
  auto* frame3 = new QGroupBox(QStringLiteral("Перемещение клавишами"), this);
  frame3->setObjectName(QStringLiteral("Frame3"));
  auto* box3 = new QVBoxLayout(frame3);
  auto* toggleRow = new QHBoxLayout;
  command1_ = new QPushButton(frame3);
  command1_->setObjectName(QStringLiteral("Command1"));
  label19_ = new QLabel(frame3);
  label19_->setObjectName(QStringLiteral("Label19"));
  label19_->setCursor(Qt::PointingHandCursor);
  label19_->installEventFilter(this);
  toggleRow->addWidget(command1_);
  toggleRow->addWidget(label19_, 1);
  box3->addLayout(toggleRow);

  auto* stepRow = new QHBoxLayout;
  text1_ = new QLineEdit(frame3);
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setMaximumWidth(80);
  NumberKeyFilter::Install(text1_);
  stepRow->addWidget(text1_);
  stepRow->addWidget(Caption(" мм на одно нажатие клавиши", frame3), 1);
  box3->addLayout(stepRow);

  auto* legend = new QGridLayout;
  const char* keys[6][2] = {{"стрелка влево", "ось X влево"}, {"стрелка вправо", "ось X вправо"},
                            {"стрелка вверх", "ось Y от"},    {"стрелка вниз", "ось Y на"},
                            {"буква Q", "ось Z вверх"},       {"буква A", "ось Z вниз"}};
  for (int row = 0; row < 6; ++row) {
    legend->addWidget(Caption(keys[row][0], frame3), row, 0);
    legend->addWidget(Caption(keys[row][1], frame3), row, 1);
  }
  legend->setColumnStretch(1, 1);
  box3->addLayout(legend);

  // Status.
  auto* statusRow = new QHBoxLayout;
  auto* label1 = new QLabel(QStringLiteral("Статус:"), this);
  label1->setObjectName(QStringLiteral("Label1"));
  label4_ = new QLabel(DisplayText(texts::kStatusNoPort), this);
  label4_->setObjectName(QStringLiteral("Label4"));
  statusRow->addWidget(label1);
  statusRow->addWidget(label4_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame1);
  layout->addWidget(frame3);
  layout->addLayout(statusRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Enter in a field moves; no other button takes Enter.
  for (QPushButton* button : {command1_, command3_, command9_}) button->setAutoDefault(false);
  command3_->setDefault(true);

  connect(command3_, &QPushButton::clicked, this, &PositioningWindow::MoveTyped);
  connect(command9_, &QPushButton::clicked, this, [this] { link_.RequestStop(); });
  connect(command1_, &QPushButton::clicked, this, &PositioningWindow::ToggleKeyboard);
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
  label4_->setText(DisplayText(texts::kStatusNoPort));
  try {
    const HandshakeResult result = RunHandshake(link_, kAnyKind);
    label4_->setText(DisplayText(result.status));
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
  command3_->setEnabled(linkUsable_);
  command9_->setEnabled(linkUsable_);
  text1_->setText(QString::fromStdString(settings_.ReadSetting(kHandStepKey, "1")));
}

void PositioningWindow::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  LeaveKeyboardMode();
  links_.Close(false, false);  // a closed window's move does not stop a job
  settings_.WriteSetting(kHandStepKey, text1_->text().toStdString());
}

void PositioningWindow::done(int result) {
  Unload();
  QDialog::done(result);
}

bool PositioningWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == label19_ && event->type() == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) ToggleKeyboard();
    return true;
  }
  // While keyboard mode is on this filter sits on the application, so the
  // jog keys reach the window before any of its controls (arrows would move
  // the focus otherwise).
  if (!keyboardMode_ || event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || widget->window() != this) return false;
  const JogKey key = JogKeyOf(*static_cast<QKeyEvent*>(event));
  if (key == JogKey::None) return false;
  Jog(key);
  return true;
}

void PositioningWindow::MoveTyped() {
  const auto distances = ReadTypedMoveOrTell(link_.frontend(), fields_[0]->text().toStdString(),
                                             fields_[1]->text().toStdString(),
                                             fields_[2]->text().toStdString());
  if (distances) Move(*distances);
}

void PositioningWindow::ToggleKeyboard() {
  if (label4_->text() == DisplayText(texts::kStatusNoPort)) {
    link_.frontend().ShowMessage(texts::kTitleError, texts::kNoPortForKeys);
    return;
  }
  if (text1_->isEnabled()) {
    EnterKeyboardMode();
  } else {
    LeaveKeyboardMode();
  }
}

void PositioningWindow::EnterKeyboardMode() {
  link_.ClearStop();
  for (QLineEdit* field : fields_) field->setEnabled(false);
  text1_->setEnabled(false);
  command3_->setEnabled(false);
  command9_->setEnabled(false);
  label19_->setText(QStringLiteral("Стоп"));
  command1_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
  command1_->setToolTip(label19_->text());
  command1_->setFocus();
  if (!keyboardMode_) QCoreApplication::instance()->installEventFilter(this);
  keyboardMode_ = true;
}

void PositioningWindow::LeaveKeyboardMode() {
  if (keyboardMode_) QCoreApplication::instance()->removeEventFilter(this);
  keyboardMode_ = false;
  for (QLineEdit* field : fields_) field->setEnabled(true);
  text1_->setEnabled(true);
  // The buttons a failed handshake disabled stay disabled.
  command3_->setEnabled(linkUsable_);
  command9_->setEnabled(linkUsable_);
  label19_->setText(QStringLiteral("Поехали"));
  command1_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  command1_->setToolTip(label19_->text());
}

void PositioningWindow::Jog(JogKey key) {
  // A step that is not a number moves nothing; the field is disabled while
  // the keys are live, so a message per key press would only get in the way.
  const auto distances = JogMove(key, text1_->text().toStdString());
  if (distances) Move(*distances);
}

void PositioningWindow::Move(const std::array<double, 3>& distances) {
  links_.MoveNow(distances[0], distances[1], distances[2]);
}

}  // namespace vertolin
