#include "ui/frontend_dialog.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
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
  const JobHost::DialogTime personsTime;
  QMessageBox box(QMessageBox::NoIcon, DisplayText(title), DisplayText(text), QMessageBox::Ok,
                  owner_);
  box.exec();
}

bool DialogFrontend::AskYesNo(std::string_view title, std::string_view text) {
  const JobHost::DialogTime personsTime;
  QMessageBox box(QMessageBox::Question, DisplayText(title), DisplayText(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  // The questions say "Да - …, Нет - …": the buttons must read so too,
  // whether or not Qt's own translations are installed.
  box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
  box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
  return box.exec() == QMessageBox::Yes;
}

bool DialogFrontend::OfferResume(std::string_view text) {
  const JobHost::DialogTime personsTime;
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
  const JobHost::DialogTime personsTime;
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

namespace {

// The bar's texts, fitted again when its width changes, and its clock.
class ProgressFitter : public QObject {
 public:
  explicit ProgressFitter(QProgressBar& bar) : QObject(&bar), bar_(bar), ticks_(this) {
    bar.installEventFilter(this);
    ticks_.setInterval(1000);
    connect(&ticks_, &QTimer::timeout, this, [this] {
      if (tick_) tick_();
    });
  }

  void Show(const std::vector<std::string>& texts) {
    texts_ = texts;
    Fit();
  }
  void Tick(std::function<void()> tick) {
    tick_ = std::move(tick);
    ticks_.start();
  }
  void Stop() {
    ticks_.stop();
    tick_ = nullptr;
    texts_.clear();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &bar_ && event->type() == QEvent::Resize && !texts_.empty()) Fit();
    return false;
  }

 private:
  void Fit() {
    bar_.setFormat(FittedProgressText(bar_, texts_));
    bar_.setToolTip(texts_.empty() ? QString() : DisplayText(texts_.front()));
  }

  QProgressBar& bar_;
  QTimer ticks_;
  std::function<void()> tick_;
  std::vector<std::string> texts_;
};

ProgressFitter* FitterOf(QProgressBar& bar) { return bar.findChild<ProgressFitter*>(); }

}  // namespace

QProgressBar* NewJobProgressBar() {
  auto* bar = new QProgressBar;
  bar->setObjectName(QStringLiteral("jobProgress"));
  bar->setTextVisible(true);
  bar->setAlignment(Qt::AlignCenter);
  // Its width comes from the layout, never from its text: the text is made
  // to fit instead.
  bar->setMinimumWidth(0);
  bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  new ProgressFitter(*bar);
  bar->hide();
  return bar;
}

QString FittedProgressText(const QProgressBar& bar, const std::vector<std::string>& texts) {
  if (texts.empty()) return {};
  const QFontMetrics metrics = bar.fontMetrics();
  // The style's frame and a little air on either side.
  constexpr int kMargin = 12;
  const int room = bar.contentsRect().width() - kMargin;
  for (const std::string& text : texts) {
    const QString shown = DisplayText(text);
    if (metrics.horizontalAdvance(shown) <= room) return shown;
  }
  return metrics.elidedText(DisplayText(texts.back()), Qt::ElideRight, std::max(room, 0));
}

void TickJobProgress(QProgressBar& bar, std::function<void()> tick) {
  if (ProgressFitter* fitter = FitterOf(bar)) fitter->Tick(std::move(tick));
}

void ShowJobProgress(QProgressBar& bar, const std::vector<std::string>& texts, std::int64_t done,
                     std::int64_t total) {
  // The bar counts in int: a longer job is shown in proportion.
  constexpr std::int64_t kMost = std::numeric_limits<int>::max();
  const std::int64_t most = std::max<std::int64_t>(total, 1);
  const std::int64_t shownTotal = std::min(most, kMost);
  const std::int64_t shownDone = std::clamp<std::int64_t>(done, 0, most) * shownTotal / most;
  bar.setMaximum(static_cast<int>(shownTotal));
  bar.setValue(static_cast<int>(shownDone));
  if (bar.isHidden()) bar.show();
  if (ProgressFitter* fitter = FitterOf(bar)) fitter->Show(texts);
}

void HideJobProgress(QProgressBar& bar) {
  if (ProgressFitter* fitter = FitterOf(bar)) fitter->Stop();
  bar.hide();
  bar.reset();
}

void DropJobProgressBar(QProgressBar* bar) {
  if (bar != nullptr && bar->parent() == nullptr) delete bar;
}

}  // namespace vertolin
