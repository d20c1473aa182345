// The core's only way to reach the person and the event loop. The windows
// implement it with message boxes and the Qt event loop; the command-line tool
// and the tests implement it their own way. The core never calls a toolkit.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

namespace vertolin {

// How far a running job is: what it has sent, what the board has
// acknowledged, and the seconds since it began.
struct JobProgress {
  std::int64_t linesSent = 0;
  std::int64_t acknowledged = 0;
  double elapsedSeconds = 0;
  bool finished = false;  // the job's last report
  // A resumed job: the lines done before, counted in the two above but not
  // in the rate the board has acknowledged since.
  std::int64_t resumedAfter = 0;
};

// Where the machine's head is, for the person: millimetres from the last
// job's origin as the board has confirmed them, the laser, and whether the
// last run was dry (sent nothing).
struct MachinePosition {
  std::array<double, 3> millimetres{};
  bool laserOn = false;
  bool lastRunDry = false;
};

class Frontend {
 public:
  virtual ~Frontend() = default;

  // A modal message with one OK button. Texts are UTF-8; line breaks are "\r\n".
  virtual void ShowMessage(std::string_view title, std::string_view text) = 0;

  // A modal Yes/No question; true means Yes.
  virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;

  // Offers to resume a job that was broken off: true for "Продолжить с
  // места остановки", false to start it again from its beginning.
  virtual bool OfferResume(std::string_view text) { return AskYesNo("Vertolin", text); }

  // The firmware warning a mode window shows when the board does not fit its
  // work; an empty text selects the warning's default text.
  virtual void ShowFirmwareWarning(std::string_view text) = 0;

  // Lets pending window events run (clicks, key presses, repaints).
  virtual void RunPendingEvents() = 0;

  // A running job's progress, at most every ~100 ms and once at its end.
  virtual void ShowProgress(const JobProgress&) {}

  // A one-line state the person should see without a box (the board not
  // answering for so long); an empty text takes it away.
  virtual void ShowStatus(std::string_view /*text*/) {}

  // The machine model's position, at most every ~100 ms while it changes.
  virtual void ShowPosition(const MachinePosition&) {}

  // False where nobody reads the questions (the tool answers each at once):
  // then nothing pauses for a person to think.
  virtual bool PersonAnswers() const { return true; }

  // Takes a stop asked for outside the event loop (the tool's Ctrl-C). Cheap,
  // so that it can run before every line that goes out.
  virtual void TakeInterrupts() {}
};

// Lets events run at most once per interval, so that a tight protocol loop
// keeps the windows responsive without paying for the event loop per byte.
class EventPump {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{15};

  explicit EventPump(Frontend& frontend) : frontend_(frontend) {}

  // Runs the frontend's events when the interval has passed since the last run.
  void Tick() {
    const auto now = Clock::now();
    if (now - last_ >= kInterval) {
      last_ = now;
      frontend_.RunPendingEvents();
    }
  }

  // When events last ran: a caller's own periodic work (the job's progress)
  // can go by it instead of reading the clock again.
  Clock::time_point last() const { return last_; }

  // Runs them now (an idle wait, a modal moment).
  void Now() {
    last_ = Clock::now();
    frontend_.RunPendingEvents();
  }

  Frontend& frontend() { return frontend_; }

 private:
  Frontend& frontend_;
  Clock::time_point last_{};
};

}  // namespace vertolin
