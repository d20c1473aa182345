#include "app/settings_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <string>
#include <string_view>
#include <utility>

#include "link/connection_check.h"
#include "settings/settings_store.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "ui/number_field_widget.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

const char* const kBaudRates[] = {"4800",  "9600",  "14400", "19200",
                                  "28800", "38400", "57600", "115200"};

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* Label(const char* name, const QString& caption, QWidget* buddy) {
  auto* label = Named(new QLabel(caption), name);
  label->setBuddy(buddy);
  return label;
}

QLineEdit* NumberField(const char* name) {
  auto* field = Named(new QLineEdit, name);
  NumberKeyFilter::Install(field);
  return field;
}

// What the port menu says about each simulated board.
QString SimulatedCaption(std::string_view name) {
  const char kind = name.back();
  const char* work = kind == 'M'   ? "фрезеровка"
                     : kind == 'S' ? "сканер"
                     : kind == 'P' ? "лазерная гравировка"
                     : kind == 'B' ? "выжигание по дереву"
                                   : "резка по рисунку";
  return Text(name) + QStringLiteral("   (имитатор платы: ") + QString::fromUtf8(work) +
         QStringLiteral(")");
}

}  // namespace

SettingsWindow::SettingsWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      text1_(NumberField("Text1")),
      text2_(NumberField("Text2")),
      text3_(NumberField("Text3")),
      text4_(Named(new QLineEdit, "Text4")),
      text5_(NumberField("Text5")),
      combo1_(Named(new QComboBox, "Combo1")),
      check1_(Named(new QCheckBox(QStringLiteral("Оптимизация")), "Check1")),
      portMenu_(new QMenu(this)) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("Настройка и калибровка"));

  auto* frame2 = Named(
      new QGroupBox(QStringLiteral("Перемещение в мм, соответствующее одному шагу ШД")), "Frame2");
  auto* ratios = new QGridLayout(frame2);
  ratios->addWidget(Label("Label2", QStringLiteral("X:"), text1_), 0, 0);
  ratios->addWidget(text1_, 0, 1);
  ratios->addWidget(Label("Label3", QStringLiteral("Y:"), text2_), 1, 0);
  ratios->addWidget(text2_, 1, 1);
  ratios->addWidget(Label("Label4", QStringLiteral("Z:"), text3_), 2, 0);
  ratios->addWidget(text3_, 2, 1);

  auto* frame3 =
      Named(new QGroupBox(QStringLiteral("Задержка между шагами при холостом ходе")), "Frame3");
  auto* delay = new QHBoxLayout(frame3);
  delay->addWidget(text5_);
  delay->addWidget(Label("Label1", QStringLiteral("микросекунд"), text5_));

  combo1_->setEditable(true);
  // A typed speed is used as it is, not added to the list.
  combo1_->setInsertPolicy(QComboBox::NoInsert);
  auto* frame4 = Named(new QGroupBox(QStringLiteral("Скорость")), "Frame4");
  auto* speed = new QHBoxLayout(frame4);
  speed->addWidget(combo1_, 1);
  speed->addWidget(Label("Label5", QStringLiteral("бод"), combo1_));

  auto* label6 = Named(
      new QLabel(QStringLiteral(
          "\"Оптимизация\" означает режим, при котором следующая команда посылается не "
          "дожидаясь окончания текущей. Даёт выигрыш в скорости. На некоторых Arduino ведёт "
          "себя непредсказуемо.")),
      "Label6");
  label6->setWordWrap(true);

  // The port stays free text; the menu beside it only offers the ports this
  // machine has and the simulated boards.
  auto* frame1 = Named(new QGroupBox(QStringLiteral("Виртуальный COM-порт")), "Frame1");
  auto* portRow = new QHBoxLayout(frame1);
  auto* portChoice = Named(new QToolButton, "PortChoice");
  portChoice->setText(QStringLiteral("…"));
  portChoice->setToolTip(QStringLiteral("Выбрать порт из найденных на компьютере"));
  portChoice->setPopupMode(QToolButton::InstantPopup);
  portChoice->setMenu(portMenu_);
  portMenu_->setObjectName(QStringLiteral("PortMenu"));
  connect(portMenu_, &QMenu::aboutToShow, this, &SettingsWindow::FillPortMenu);
  portRow->addWidget(text4_, 1);
  portRow->addWidget(portChoice);

  auto* command3 = Named(new QPushButton(QStringLiteral("Проверить соединение")), "Command3");
  auto* command1 = Named(new QPushButton(QStringLiteral("ОК")), "Command1");
  auto* command2 = Named(new QPushButton(QStringLiteral("Отмена")), "Command2");
  connect(command1, &QPushButton::clicked, this, &SettingsWindow::Command1_Click);
  connect(command2, &QPushButton::clicked, this, &SettingsWindow::Command2_Click);
  connect(command3, &QPushButton::clicked, this, &SettingsWindow::Command3_Click);

  auto* left = new QVBoxLayout;
  left->addWidget(frame2);
  left->addWidget(frame3);
  left->addWidget(frame4);
  left->addStretch();

  auto* right = new QVBoxLayout;
  right->addWidget(frame1);
  right->addWidget(command3);
  right->addSpacing(12);
  right->addWidget(check1_);
  right->addWidget(label6);
  right->addStretch();

  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addSpacing(12);
  columns->addLayout(right, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(command1);
  buttons->addWidget(command2);

  auto* root = new QVBoxLayout(this);
  root->addLayout(columns);
  root->addLayout(buttons);
  resize(640, 360);
}

void SettingsWindow::Load() {
  // The profile in use, not the file: it is what the machine runs with now.
  const MachineProfile& profile = link_.profile();
  text1_->setText(Text(FieldText(profile.xRatio)));
  text2_->setText(Text(FieldText(profile.yRatio)));
  text3_->setText(Text(FieldText(profile.zRatio)));
  text5_->setText(Text(IntText(profile.idleDelay)));
  check1_->setChecked(profile.optim == 1);
  text4_->setText(Text(profile.port));
  combo1_->clear();
  for (const char* rate : kBaudRates) combo1_->addItem(QString::fromLatin1(rate));
  combo1_->setCurrentText(QString::number(profile.baud));
}

// The window has no keys of its own: the profile is written on "ОК" only.
void SettingsWindow::Unload() {}

void SettingsWindow::Command1_Click() {
  SettingsFields fields;
  fields.xRatio = text1_->text().toStdString();
  fields.yRatio = text2_->text().toStdString();
  fields.zRatio = text3_->text().toStdString();
  fields.delay = text5_->text().toStdString();
  fields.baud = combo1_->currentText().toStdString();
  fields.port = text4_->text().toStdString();
  fields.optimised = check1_->isChecked();

  const FieldsReading reading = ReadSettingsFields(fields);
  if (!reading.ok()) {
    link_.frontend().ShowMessage(texts::kTitleError, reading.message);
    QWidget* bad = combo1_;
    if (reading.badField == SettingsField::XRatio) bad = text1_;
    if (reading.badField == SettingsField::YRatio) bad = text2_;
    if (reading.badField == SettingsField::ZRatio) bad = text3_;
    if (reading.badField == SettingsField::Delay) bad = text5_;
    bad->setFocus();
    return;
  }

  try {
    Reconnect(link_, fields.port, fields.baud, false);
  } catch (const LinkError&) {
    // The read failure has been shown; the values are kept all the same, as
    // for a board that does not answer.
  }
  link_.profile() = reading.profile;

  const std::string optim = fields.optimised ? "1" : "0";
  const std::pair<const char*, std::string_view> entries[] = {
      {"SM_X_ratio", fields.xRatio},
      {"SM_Y_ratio", fields.yRatio},
      {"SM_Z_ratio", fields.zRatio},
      {"SM_delay", fields.delay},
      {"SM_optim", optim},
      {"port", fields.port},
      {"speed", fields.baud},
  };
  for (const auto& [key, text] : entries) {
    // A failed write has been reported; the window stays open so the person
    // can try again once the file is writable, instead of seven messages.
    if (!settings_.WriteSetting(key, text)) return;
  }
  CloseWindow();
}

void SettingsWindow::Command2_Click() { CloseWindow(); }

void SettingsWindow::Command3_Click() {
  try {
    Reconnect(link_, text4_->text().toStdString(), combo1_->currentText().toStdString(), true);
  } catch (const LinkError&) {
    // The read failure has been shown and StopFlag set.
  }
}

void SettingsWindow::FillPortMenu() {
  portMenu_->clear();
  bool simulated = false;
  bool devices = false;
  for (const std::string& port : AvailablePorts()) {
    const bool sim = port.rfind("sim:", 0) == 0;
    if (sim && !simulated) {
      if (!devices) portMenu_->addAction(QStringLiteral("Порты не найдены"))->setEnabled(false);
      portMenu_->addSeparator();
      simulated = true;
    }
    devices = devices || !sim;
    QAction* action = portMenu_->addAction(sim ? SimulatedCaption(port) : Text(port));
    const QString name = Text(port);
    connect(action, &QAction::triggered, this, [this, name] { text4_->setText(name); });
  }
}

void SettingsWindow::CloseWindow() {
  // Inside the main window the frame is closed, which closes this window too.
  if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    frame->close();
  } else {
    close();
  }
}

}  // namespace vertolin
