// The core's frontend for the windows: message boxes, the stop question, the
// firmware dialog, and the Qt event loop.
#pragma once

#include <QString>

#include "util/frontend.h"

class QWidget;

namespace vertolin {

class Link;
class SettingsStore;

class DialogFrontend : public Frontend {
 public:
  // The dialogs need the link and the settings, which need the frontend
  // first: they are attached once both exist.
  void Attach(Link& link, SettingsStore& settings, QWidget* owner);

  void ShowMessage(std::string_view title, std::string_view text) override;
  bool AskYesNo(std::string_view title, std::string_view text) override;
  void ShowFirmwareWarning(std::string_view text) override;
  void RunPendingEvents() override;

 private:
  Link* link_ = nullptr;
  SettingsStore* settings_ = nullptr;
  QWidget* owner_ = nullptr;
};

// "\r\n" as the texts carry them, "\n" as Qt shows them.
QString DisplayText(std::string_view text);

}  // namespace vertolin
