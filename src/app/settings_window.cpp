#include "app/settings_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
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
#include <vector>

#include "link/connection_check.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "settings/machine_profile.h"
#include "settings/settings_store.h"
#include "util/numbers.h"
#include "ui/number_field_widget.h"

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

// The G-code keys from their fields' texts, checked already.
GrblProfile GrblFromTexts(const std::vector<std::pair<const char*, std::string>>& texts) {
  GrblProfile grbl;
  for (const auto& [key, text] : texts) {
    const std::string_view name = key;
    const std::optional<double> number = ParseNumber(text);
    if (!number) continue;  // only the laser's power may be empty
    const auto whole = static_cast<std::int32_t>(*number);
    if (name == "grbl_S_max") grbl.maxPower = whole;
    if (name == "grbl_laser_power") grbl.laserPower = whole;
    if (name == "grbl_raster_feed") grbl.rasterFeed = *number;
    if (name == "grbl_spindle_speed") grbl.spindleSpeed = whole;
    if (name == "grbl_probe_depth") grbl.probeDepth = *number;
    if (name == "grbl_probe_feed") grbl.probeFeed = *number;
  }
  return grbl;
}

}  // namespace

SettingsWindow::SettingsWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      xRatioField_(NumberField("Text1")),
      yRatioField_(NumberField("Text2")),
      zRatioField_(NumberField("Text3")),
      portField_(Named(new QLineEdit, "Text4")),
      idleDelayField_(NumberField("Text5")),
      baudField_(Named(new QComboBox, "Combo1")),
      optimisationBox_(Named(new QCheckBox(QStringLiteral("Оптимизация")), "Check1")),
      protocolField_(Named(new QComboBox, "protocolChoice")),
      maxPowerField_(NumberField("grblMaxPower")),
      laserPowerField_(NumberField("grblLaserPower")),
      rasterFeedField_(NumberField("grblRasterFeed")),
      spindleSpeedField_(NumberField("grblSpindleSpeed")),
      probeDepthField_(NumberField("grblProbeDepth")),
      probeFeedField_(NumberField("grblProbeFeed")),
      portMenu_(new QMenu(this)) {
  setObjectName(QStringLiteral("Form4"));
  setWindowTitle(QStringLiteral("Настройка и калибровка"));

  auto* ratioFrame = Named(
      new QGroupBox(QStringLiteral("Перемещение в мм, соответствующее одному шагу ШД")), "Frame2");
  auto* ratios = new QGridLayout(ratioFrame);
  ratios->addWidget(Label("Label2", QStringLiteral("X:"), xRatioField_), 0, 0);
  ratios->addWidget(xRatioField_, 0, 1);
  ratios->addWidget(Label("Label3", QStringLiteral("Y:"), yRatioField_), 1, 0);
  ratios->addWidget(yRatioField_, 1, 1);
  ratios->addWidget(Label("Label4", QStringLiteral("Z:"), zRatioField_), 2, 0);
  ratios->addWidget(zRatioField_, 2, 1);

  auto* delayFrame = Named(new QGroupBox(QStringLiteral("Задержка между шагами при холостом ходе")),
                           "Frame3");
  auto* delay = new QHBoxLayout(delayFrame);
  delay->addWidget(idleDelayField_);
  delay->addWidget(Label("Label1", QStringLiteral("микросекунд"), idleDelayField_));

  baudField_->setEditable(true);
  // A typed speed is used as it is, not added to the list.
  baudField_->setInsertPolicy(QComboBox::NoInsert);
  auto* speedFrame = Named(new QGroupBox(QStringLiteral("Скорость")), "Frame4");
  auto* speed = new QHBoxLayout(speedFrame);
  speed->addWidget(baudField_, 1);
  speed->addWidget(Label("Label5", QStringLiteral("бод"), baudField_));

  auto* optimisationNote = Named(
      new QLabel(QStringLiteral(
          "\"Оптимизация\" означает режим, при котором следующая команда посылается не "
          "дожидаясь окончания текущей. Даёт выигрыш в скорости. На некоторых Arduino ведёт "
          "себя непредсказуемо.")),
      "Label6");
  optimisationNote->setWordWrap(true);

  // The port stays free text; the menu beside it only offers the ports this
  // machine has and the simulated boards.
  auto* portFrame = Named(new QGroupBox(QStringLiteral("Виртуальный COM-порт")), "Frame1");
  auto* portRow = new QHBoxLayout(portFrame);
  auto* portChoice = Named(new QToolButton, "PortChoice");
  portChoice->setText(QStringLiteral("…"));
  portChoice->setToolTip(QStringLiteral("Выбрать порт из найденных на компьютере"));
  portChoice->setPopupMode(QToolButton::InstantPopup);
  portChoice->setMenu(portMenu_);
  portMenu_->setObjectName(QStringLiteral("PortMenu"));
  connect(portMenu_, &QMenu::aboutToShow, this, &SettingsWindow::FillPortMenu);
  portRow->addWidget(portField_, 1);
  portRow->addWidget(portChoice);

  checkButton_ = Named(new QPushButton(QStringLiteral("Проверить соединение")), "Command3");
  okButton_ = Named(new QPushButton(QStringLiteral("ОК")), "Command1");
  cancelButton_ = Named(new QPushButton(QStringLiteral("Отмена")), "Command2");
  checkState_ = Named(new QLabel, "checkState");
  checkState_->setWordWrap(true);
  connect(okButton_, &QPushButton::clicked, this, &SettingsWindow::SaveAndClose);
  connect(cancelButton_, &QPushButton::clicked, this, &SettingsWindow::Cancel);
  connect(checkButton_, &QPushButton::clicked, this, &SettingsWindow::CheckConnection);

  protocolField_->addItem(QStringLiteral("native"));
  protocolField_->addItem(QStringLiteral("grbl"));
  protocolField_->setToolTip(
      QStringLiteral("native: строки прошивок Vertolin; grbl: G-code (grbl 1.1)"));
  auto* gcodeFrame = Named(new QGroupBox(QStringLiteral("Протокол и G-code")), "gcodeFrame");
  auto* gcode = new QFormLayout(gcodeFrame);
  gcode->addRow(QStringLiteral("Протокол"), protocolField_);
  gcode->addRow(QStringLiteral("S max ($30)"), maxPowerField_);
  gcode->addRow(QStringLiteral("Мощность контура, S"), laserPowerField_);
  laserPowerField_->setToolTip(QStringLiteral("Пусто: S max"));
  gcode->addRow(QStringLiteral("Подача растра, мм/мин"), rasterFeedField_);
  gcode->addRow(QStringLiteral("Шпиндель, об/мин"), spindleSpeedField_);
  spindleSpeedField_->setToolTip(QStringLiteral("0: без M3"));
  gcode->addRow(QStringLiteral("Глубина щупа, мм"), probeDepthField_);
  gcode->addRow(QStringLiteral("Подача щупа, мм/мин"), probeFeedField_);

  auto* left = new QVBoxLayout;
  left->addWidget(ratioFrame);
  left->addWidget(delayFrame);
  left->addWidget(speedFrame);
  left->addStretch();

  auto* right = new QVBoxLayout;
  right->addWidget(portFrame);
  right->addWidget(checkButton_);
  right->addWidget(checkState_);
  right->addSpacing(12);
  right->addWidget(optimisationBox_);
  right->addWidget(optimisationNote);
  right->addWidget(gcodeFrame);
  right->addStretch();

  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addSpacing(12);
  columns->addLayout(right, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);

  auto* root = new QVBoxLayout(this);
  root->addLayout(columns);
  root->addLayout(buttons);
  resize(640, 360);
}

void SettingsWindow::Load() {
  // The profile in use, not the file: it is what the machine runs with now.
  const MachineProfile& profile = link_.profile();
  xRatioField_->setText(Text(FieldText(profile.xRatio)));
  yRatioField_->setText(Text(FieldText(profile.yRatio)));
  zRatioField_->setText(Text(FieldText(profile.zRatio)));
  idleDelayField_->setText(Text(IntText(profile.idleDelay)));
  optimisationBox_->setChecked(profile.optim == 1);
  portField_->setText(Text(profile.port));
  baudField_->clear();
  for (const char* rate : kBaudRates) baudField_->addItem(QString::fromLatin1(rate));
  baudField_->setCurrentText(QString::number(profile.baud));
  protocolField_->setCurrentIndex(profile.protocol == BoardProtocol::Grbl ? 1 : 0);
  const GrblProfile& grbl = profile.grbl;
  maxPowerField_->setText(Text(IntText(grbl.maxPower)));
  laserPowerField_->setText(grbl.laserPower ? Text(IntText(*grbl.laserPower)) : QString());
  rasterFeedField_->setText(Text(FieldText(grbl.rasterFeed)));
  spindleSpeedField_->setText(Text(IntText(grbl.spindleSpeed)));
  probeDepthField_->setText(Text(FieldText(grbl.probeDepth)));
  probeFeedField_->setText(Text(FieldText(grbl.probeFeed)));
}

// The window has no keys of its own: the profile is written on "ОК" only.
// A port another check left open is closed again for the profile's, so that
// the windows do not talk to a board the settings do not name.
void SettingsWindow::Unload() {
  if (!std::exchange(testedOther_, false)) return;
  try {
    Reconnect(link_, link_.profile().port, std::to_string(link_.profile().baud), false);
  } catch (const LinkError&) {
    // The read failure has been shown.
  }
}

void SettingsWindow::SaveAndClose() {
  SettingsFields fields;
  fields.xRatio = xRatioField_->text().toStdString();
  fields.yRatio = yRatioField_->text().toStdString();
  fields.zRatio = zRatioField_->text().toStdString();
  fields.delay = idleDelayField_->text().toStdString();
  fields.baud = baudField_->currentText().toStdString();
  fields.port = portField_->text().toStdString();
  fields.optimised = optimisationBox_->isChecked();

  const FieldsReading reading = ReadSettingsFields(fields);
  if (!reading.ok()) {
    link_.frontend().ShowMessage(texts::kTitleError, reading.message);
    QWidget* bad = baudField_;
    if (reading.badField == SettingsField::XRatio) bad = xRatioField_;
    if (reading.badField == SettingsField::YRatio) bad = yRatioField_;
    if (reading.badField == SettingsField::ZRatio) bad = zRatioField_;
    if (reading.badField == SettingsField::Delay) bad = idleDelayField_;
    bad->setFocus();
    return;
  }

  // The G-code fields, checked as the file's keys are.
  const std::string protocol = protocolField_->currentText().toStdString();
  const std::pair<const char*, QLineEdit*> gcodeFields[] = {
      {"grbl_S_max", maxPowerField_},         {"grbl_laser_power", laserPowerField_},
      {"grbl_raster_feed", rasterFeedField_}, {"grbl_spindle_speed", spindleSpeedField_},
      {"grbl_probe_depth", probeDepthField_}, {"grbl_probe_feed", probeFeedField_},
  };
  std::vector<std::pair<const char*, std::string>> gcodeTexts;
  for (const auto& [key, field] : gcodeFields) {
    std::string text = field->text().trimmed().toStdString();
    if (const auto problem = ProfileValueProblem(key, text)) {
      link_.frontend().ShowMessage(texts::kTitleError, std::string("Значение ") + key + " («" +
                                                           text + "») " + *problem + ".");
      field->setFocus();
      return;
    }
    gcodeTexts.emplace_back(key, std::move(text));
  }

  testedOther_ = false;  // the checked connection becomes the profile's
  try {
    Reconnect(link_, fields.port, fields.baud, false);
  } catch (const LinkError&) {
    // The read failure has been shown; the values are kept all the same, as
    // for a board that does not answer.
  }
  const GrblProfile grbl = GrblFromTexts(gcodeTexts);
  link_.profile() = reading.profile;
  link_.profile().protocol = ParseBoardProtocol(protocol).value_or(BoardProtocol::Native);
  link_.profile().grbl = grbl;

  const std::string optim = fields.optimised ? "1" : "0";
  const std::pair<const char*, std::string_view> entries[] = {
      {"SM_X_ratio", fields.xRatio}, {"SM_Y_ratio", fields.yRatio}, {"SM_Z_ratio", fields.zRatio},
      {"SM_delay", fields.delay},    {"SM_optim", optim},           {"port", fields.port},
      {"speed", fields.baud},        {"Protocol", protocol},
  };
  for (const auto& [key, text] : entries) {
    // A failed write has been reported; the window stays open so the person
    // can try again once the file is writable, instead of seven messages.
    if (!settings_.WriteSetting(key, text)) return;
  }
  for (const auto& [key, text] : gcodeTexts) {
    if (!settings_.WriteSetting(key, text)) return;
  }
  CloseWindow();
}

void SettingsWindow::Cancel() { CloseWindow(); }

void SettingsWindow::CheckConnection() {
  testedOther_ = testedOther_ || portField_->text().toStdString() != link_.profile().port ||
                 baudField_->currentText().toStdString() != std::to_string(link_.profile().baud);
  // A silent board keeps the check waiting for seconds: the window says what
  // it waits for and takes no other click meanwhile.
  const QString port = portField_->text();
  struct Busy {
    SettingsWindow& window;
    explicit Busy(SettingsWindow& w) : window(w) {
      for (QPushButton* button : {w.checkButton_, w.okButton_, w.cancelButton_}) {
        button->setEnabled(false);
      }
      w.setCursor(Qt::BusyCursor);
    }
    ~Busy() {
      for (QPushButton* button : {window.checkButton_, window.okButton_, window.cancelButton_}) {
        button->setEnabled(true);
      }
      window.unsetCursor();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
  } busy(*this);
  checkState_->setText(QStringLiteral("Проверка связи: порт %1, ждём ответа платы…").arg(port));
  link_.frontend().RunPendingEvents();  // shown before the port is opened
  QString found = QStringLiteral("Порт %1: связь потеряна").arg(port);
  try {
    switch (Reconnect(link_, port.toStdString(), baudField_->currentText().toStdString(), true)) {
      case ReconnectResult::Refused:
        found.clear();
        break;
      case ReconnectResult::PortFailed:
        found = QStringLiteral("Порт %1 не открылся").arg(port);
        break;
      case ReconnectResult::NoAnswer:
        found = QStringLiteral("Порт %1: плата не отвечает").arg(port);
        break;
      case ReconnectResult::Answered:
        found = QStringLiteral("Порт %1: плата ответила").arg(port);
        break;
    }
  } catch (const LinkError&) {
    // The read failure has been shown and StopFlag set.
  }
  checkState_->setText(found);
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
    connect(action, &QAction::triggered, this, [this, name] { portField_->setText(name); });
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
