#include "ui/frontend_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>
#include <cmath>
#include <limits>

#include "jobs/job_estimate.h"
#include "link/machine_model.h"
#include "ui/firmware_warning_dialog.h"
#include "ui/job_host_widget.h"

namespace vertolin {

QString DisplayText(std::string_view text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

void DialogFrontend::Attach(QWidget* owner) { owner_ = owner; }

void DialogFrontend::ShowMessage(std::string_view title, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, DisplayText(title), DisplayText(text), QMessageBox::Ok,
                  owner_);
  box.exec();
}

bool DialogFrontend::AskYesNo(std::string_view title, std::string_view text) {
  QMessageBox box(QMessageBox::Question, DisplayText(title), DisplayText(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  // The questions say "Да - …, Нет - …": the buttons must read so too,
  // whether or not Qt's own translations are installed.
  box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
  box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
  return box.exec() == QMessageBox::Yes;
}

bool DialogFrontend::OfferResume(std::string_view text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Vertolin"), DisplayText(text),
                  QMessageBox::NoButton, owner_);
  QPushButton* resume = box.addButton(QStringLiteral("Продолжить с места остановки"),
                                      QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("Начать сначала"), QMessageBox::RejectRole);
  box.setDefaultButton(resume);
  box.exec();
  return box.clickedButton() == resume;
}

void DialogFrontend::ShowFirmwareWarning(std::string_view text) {
  FirmwareWarningDialog dialog(text, owner_);
  dialog.exec();
}

void DialogFrontend::RunPendingEvents() { QCoreApplication::processEvents(); }

void DialogFrontend::ShowProgress(const JobProgress& progress) {
  if (JobHost::ShowProgress(progress) && !progress.finished) return;
  auto* main = qobject_cast<QMainWindow*>(owner_);
  if (main == nullptr) return;
  // The last report stays a while, so that the person sees how the job ended.
  constexpr int kFinishedShownMs = 15000;
  main->statusBar()->showMessage(QString::fromStdString(ProgressText(progress)),
                                 progress.finished ? kFinishedShownMs : 0);
}

void DialogFrontend::ShowPosition(const MachinePosition& position) {
  auto* main = qobject_cast<QMainWindow*>(owner_);
  if (main == nullptr) return;
  auto* label = main->statusBar()->findChild<QLabel*>(QStringLiteral("machinePosition"));
  if (label == nullptr) {
    label = new QLabel;
    label->setObjectName(QStringLiteral("machinePosition"));
    main->statusBar()->addPermanentWidget(label);
  }
  label->setText(QString::fromStdString(PositionText(position)));
}

void DialogFrontend::ShowStatus(std::string_view text) {
  auto* main = qobject_cast<QMainWindow*>(owner_);
  if (main == nullptr) return;
  if (text.empty()) {
    main->statusBar()->clearMessage();
  } else {
    main->statusBar()->showMessage(DisplayText(text));
  }
}

QProgressBar* NewJobProgressBar() {
  auto* bar = new QProgressBar;
  bar->setObjectName(QStringLiteral("jobProgress"));
  bar->setTextVisible(true);
  bar->setAlignment(Qt::AlignCenter);
  bar->hide();
  return bar;
}

void ShowJobProgress(QProgressBar& bar, std::string_view text, std::int64_t done,
                     std::int64_t total) {
  // The bar counts in int: a longer job is shown in proportion.
  constexpr std::int64_t kMost = std::numeric_limits<int>::max();
  const std::int64_t most = std::max<std::int64_t>(total, 1);
  const std::int64_t shownTotal = std::min(most, kMost);
  const std::int64_t shownDone = std::clamp<std::int64_t>(done, 0, most) * shownTotal / most;
  bar.setMaximum(static_cast<int>(shownTotal));
  bar.setValue(static_cast<int>(shownDone));
  bar.setFormat(DisplayText(text));
  if (bar.isHidden()) bar.show();
}

void HideJobProgress(QProgressBar& bar) {
  bar.hide();
  bar.reset();
}

void DropJobProgressBar(QProgressBar* bar) {
  if (bar != nullptr && bar->parent() == nullptr) delete bar;
}

}  // namespace vertolin
