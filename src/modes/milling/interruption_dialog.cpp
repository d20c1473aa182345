#include "modes/milling/interruption_dialog.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/link_error.h"
#include "link/texts.h"
#include "settings/settings_store.h"
#include "ui/frontend_dialog.h"
#include "ui/job_host_widget.h"
#include "ui/number_field_widget.h"

namespace vertolin {

namespace {

constexpr std::string_view kDistanceKey = "mill_change_depth";
constexpr std::string_view kDistanceDefault = "10";

QPushButton* Button(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

InterruptionDialog::InterruptionDialog(Link& link, SettingsStore& settings, QWidget* parent)
    : QDialog(parent), link_(link), settings_(settings), motion_(link) {
  setObjectName(QStringLiteral("Form7"));
  setWindowTitle(DisplayText(texts::kTitleWarning));
  setModal(true);

  auto* heading = new QLabel(QStringLiteral("Гравировка остановлена, выберите действие"), this);
  heading->setObjectName(QStringLiteral("Label3"));

  auto* cutter = new QGroupBox(QStringLiteral("Фреза"), this);
  cutter->setObjectName(QStringLiteral("Frame1"));
  auto* depthLabel = new QLabel(QStringLiteral("Глубина:"), cutter);
  depthLabel->setObjectName(QStringLiteral("Label1"));
  distance_ = new QLineEdit(cutter);
  distance_->setObjectName(QStringLiteral("Text1"));
  distance_->setMaximumWidth(80);
  NumberKeyFilter::Install(distance_);
  auto* unit = new QLabel(QStringLiteral("мм."), cutter);
  unit->setObjectName(QStringLiteral("Label2"));
  auto* raise = Button("Command2", QStringLiteral("Поднять"), cutter);
  auto* lower = Button("Command1", QStringLiteral("Опустить"), cutter);
  auto* cutterLayout = new QHBoxLayout(cutter);
  cutterLayout->addWidget(depthLabel);
  cutterLayout->addWidget(distance_);
  cutterLayout->addWidget(unit);
  cutterLayout->addStretch();
  cutterLayout->addWidget(raise);
  cutterLayout->addWidget(lower);

  auto* job = new QGroupBox(QStringLiteral("Гравировка"), this);
  job->setObjectName(QStringLiteral("Frame2"));
  auto* goOn = Button("Command3", QStringLiteral("Продолжить"), job);
  auto* stop = Button("Command4", QStringLiteral("Остановить"), job);
  auto* jobLayout = new QHBoxLayout(job);
  jobLayout->addWidget(goOn);
  jobLayout->addWidget(stop);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addWidget(cutter);
  layout->addWidget(job);

  connect(raise, &QPushButton::clicked, this, [this] { RaiseLower(true); });
  connect(lower, &QPushButton::clicked, this, [this] { RaiseLower(false); });
  connect(goOn, &QPushButton::clicked, this, [this] { Finish(1); });
  connect(stop, &QPushButton::clicked, this, [this] { Finish(0); });
  goOn->setDefault(true);
}

int InterruptionDialog::Ask(Link& link, SettingsStore& settings, QWidget* parent) {
  // The person's time in the dialog is no job time.
  const JobHost::DialogTime personsTime;
  InterruptionDialog dialog(link, settings, parent);
  dialog.Load();
  dialog.exec();
  dialog.Unload();
  return dialog.result();
}

void InterruptionDialog::Load() {
  result_ = 1;
  unloaded_ = false;
  distance_->setText(QString::fromStdString(settings_.ReadSetting(kDistanceKey, kDistanceDefault)));
}

void InterruptionDialog::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  settings_.WriteSetting(kDistanceKey, distance_->text().toStdString());
}

void InterruptionDialog::RaiseLower(bool raise) {
  try {
    motion_.RaiseLower(distance_->text().toStdString(), raise);
  } catch (const LinkError&) {
    // The read-failure message has been shown; the dialog stays usable so
    // that the person can still choose to stop.
  }
}

void InterruptionDialog::Finish(int result) {
  result_ = result;
  accept();
}

void InterruptionDialog::closeEvent(QCloseEvent* event) {
  motion_.Abandon();  // a raise or lower still waiting ends with the dialog
  event->accept();
}

}  // namespace vertolin
