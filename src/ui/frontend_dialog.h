// The core's frontend for the windows: message boxes, the stop question, the
// firmware dialog, and the Qt event loop.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "util/frontend.h"

class QProgressBar;
class QWidget;

namespace vertolin {

class DialogFrontend : public Frontend {
 public:
  // The window the boxes belong to, which needs the frontend first.
  void Attach(QWidget* owner);

  void ShowMessage(std::string_view title, std::string_view text) override;
  bool AskYesNo(std::string_view title, std::string_view text) override;
  bool OfferResume(std::string_view text) override;
  void ShowFirmwareWarning(std::string_view text) override;
  void RunPendingEvents() override;
  // On the main window's status bar.
  void ShowStatus(std::string_view text) override;
  // A running job's progress: in its window's bar when the job was counted
  // (JobHost), else its line and time on the same status bar, where the
  // last report of every job stays a while.
  void ShowProgress(const JobProgress& progress) override;
  // On the right of the main window's status bar ("machinePosition").
  void ShowPosition(const MachinePosition& position) override;

 private:
  QWidget* owner_ = nullptr;
};

// The bar in which JobHost shows a running job's progress ("jobProgress"),
// hidden until a job shows its first report. JobHost itself stays free of
// Qt; these are all it needs of the bar.
QProgressBar* NewJobProgressBar();
// On the bar, filled to `done` of `total` lines, the first of `texts` (each
// shorter than the one before) that fits the bar on one line, the last elided
// when none does, again whenever the bar's width changes; the longest is
// its tool tip.
void ShowJobProgress(QProgressBar& bar, const std::vector<std::string>& texts, std::int64_t done,
                     std::int64_t total);
// Runs `tick` about once a second until the bar is hidden.
void TickJobProgress(QProgressBar& bar, std::function<void()> tick);
void HideJobProgress(QProgressBar& bar);
// The widest text that fits `bar` on one line: the first of `texts` that does,
// else the last elided.
QString FittedProgressText(const QProgressBar& bar, const std::vector<std::string>& texts);
// Deletes the bar unless a window's layout has taken it over.
void DropJobProgressBar(QProgressBar* bar);

// "\r\n" as the texts carry them, "\n" as Qt shows them.
QString DisplayText(std::string_view text);

}  // namespace vertolin
