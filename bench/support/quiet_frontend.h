// A frontend for benchmarks: nobody to tell, every question answered "stop",
// and no events to run unless a window needs them.
#pragma once

#include <functional>

#include "util/frontend.h"

namespace vertolin {

class QuietFrontend : public Frontend {
 public:
  explicit QuietFrontend(std::function<void()> events = {}) : events_(std::move(events)) {}

  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ShowFirmwareWarning(std::string_view) override {}
  void RunPendingEvents() override {
    if (events_) events_();
  }

 private:
  std::function<void()> events_;
};

}  // namespace vertolin
