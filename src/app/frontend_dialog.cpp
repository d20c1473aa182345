#include "app/frontend_dialog.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include "jobs/job_estimate.h"
#include "ui/firmware_warning_dialog.h"

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
  return box.exec() == QMessageBox::Yes;
}

void DialogFrontend::ShowFirmwareWarning(std::string_view text) {
  FirmwareWarningDialog dialog(text, owner_);
  dialog.exec();
}

void DialogFrontend::RunPendingEvents() { QCoreApplication::processEvents(); }

void DialogFrontend::ShowProgress(const JobProgress& progress) {
  auto* main = qobject_cast<QMainWindow*>(owner_);
  if (main == nullptr) return;
  // The last report stays a while, so that the person sees how the job ended.
  constexpr int kFinishedShownMs = 15000;
  main->statusBar()->showMessage(QString::fromStdString(ProgressText(progress)),
                                 progress.finished ? kFinishedShownMs : 0);
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

}  // namespace vertolin
