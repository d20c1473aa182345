// The core's frontend for the windows: message boxes, the stop question, the
// firmware dialog, and the Qt event loop.
#pragma once

#include <QString>

#include "util/frontend.h"

class QWidget;

namespace vertolin {

class DialogFrontend : public Frontend {
 public:
  // The window the boxes belong to, which needs the frontend first.
  void Attach(QWidget* owner);

  void ShowMessage(std::string_view title, std::string_view text) override;
  bool AskYesNo(std::string_view title, std::string_view text) override;
  void ShowFirmwareWarning(std::string_view text) override;
  void RunPendingEvents() override;
  // On the main window's status bar.
  void ShowStatus(std::string_view text) override;
  // A running job's line and time, on the same status bar.
  void ShowProgress(const JobProgress& progress) override;

 private:
  QWidget* owner_ = nullptr;
};

// "\r\n" as the texts carry them, "\n" as Qt shows them.
QString DisplayText(std::string_view text);

}  // namespace vertolin
