// A frontend for tests: records what the person would be shown, answers
// questions from a script, and runs a hook where the windows' events would run.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/window_link.h"
#include "util/frontend.h"

namespace vertolin::test {

class RecordingFrontend : public Frontend, public InterruptionPrompt {
 public:
  struct Message {
    std::string title;
    std::string text;
  };

  void ShowMessage(std::string_view title, std::string_view text) override {
    messages.push_back({std::string(title), std::string(text)});
  }
  bool AskYesNo(std::string_view title, std::string_view text) override {
    questions.push_back({std::string(title), std::string(text)});
    if (yesNoAnswers.empty()) return true;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
  }
  // The offer to resume a broken-off job: declined unless answered.
  bool OfferResume(std::string_view text) override {
    resumeOffers.emplace_back(text);
    if (resumeAnswers.empty()) return false;
    const bool answer = resumeAnswers.front();
    resumeAnswers.pop_front();
    return answer;
  }
  // The interruption dialog: 1 = go on, 0 = stop.
  bool GoOn() override {
    ++dialogs;
    if (dialogAnswers.empty()) return false;
    const int answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer == 1;
  }
  void ShowFirmwareWarning(std::string_view text) override { firmwareWarnings.emplace_back(text); }
  void RunPendingEvents() override {
    ++eventRuns;
    if (onEvents) onEvents();
  }
  void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }

  std::vector<Message> messages;
  std::vector<Message> questions;
  std::vector<std::string> firmwareWarnings;
  std::vector<std::string> statuses;
  std::deque<bool> yesNoAnswers;  // empty: Yes (stop)
  std::vector<std::string> resumeOffers;
  std::deque<bool> resumeAnswers;
  std::deque<int> dialogAnswers;  // empty: 0 (stop)
  int dialogs = 0;
  int eventRuns = 0;
  std::function<void()> onEvents;
};

}  // namespace vertolin::test
