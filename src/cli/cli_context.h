// What every command of vertolin-cli shares: the parsed options, the console
// in place of the person, the handshake and the exit status of a job.
#pragma once

#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "jobs/gcode_program.h"
#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"
#include "link/interruption.h"
#include "link/link.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "settings/settings_store.h"
#include "util/frontend.h"

namespace vertolin {

// Messages go to standard error; questions and the interruption dialog are
// answered "stop", because nobody is there to answer them.
class ConsoleFrontend : public Frontend, public InterruptionPrompt {
 public:
  ConsoleFrontend(std::ostream& err, const volatile std::sig_atomic_t* interrupts)
      : err_(err), interrupts_(interrupts) {}

  void Attach(Link* link) { link_ = link; }

  void ShowMessage(std::string_view title, std::string_view text) override {
    err_ << title << ": ";
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      err_ << text[i];
    }
    err_ << '\n';
  }

  bool AskYesNo(std::string_view title, std::string_view text) override {
    ShowMessage(title, text);
    return true;
  }

  bool GoOn() override { return false; }

  bool PersonAnswers() const override { return false; }

  // Progress lines on the error stream for a job of `totalLines` lines,
  // rewritten in place on a terminal.
  void PlanProgress(std::int64_t totalLines, double estimatedSeconds, bool terminal) {
    totalLines_ = totalLines;
    estimatedSeconds_ = estimatedSeconds;
    terminal_ = terminal;
  }

  void ShowProgress(const JobProgress& progress) override {
    if (totalLines_ < 0) return;
    if (terminal_) err_ << '\r';
    err_ << ProgressText(progress, totalLines_, estimatedSeconds_);
    if (terminal_) err_ << "\x1b[K";
    if (!terminal_ || progress.finished) err_ << '\n';
    err_.flush();
  }

  void ShowFirmwareWarning(std::string_view text) override {
    ShowMessage("Внимание", text.empty() ? texts::kWarningWrongFirmware : text);
  }

  void RunPendingEvents() override { TakeInterrupts(); }

  void TakeInterrupts() override {
    if (interrupts_ == nullptr || link_ == nullptr) return;
    const std::sig_atomic_t count = *interrupts_;
    if (count == seen_) return;
    seen_ = count;
    link_->RequestStop();
    if (count >= 2) link_->SetClosing(true);  // the person insists: leave any wait
  }

 private:
  std::ostream& err_;
  const volatile std::sig_atomic_t* interrupts_;
  Link* link_ = nullptr;
  std::sig_atomic_t seen_ = 0;
  std::int64_t totalLines_ = -1;  // no progress lines
  double estimatedSeconds_ = 0;
  bool terminal_ = false;
};

struct Options {
  std::optional<std::string> ini;
  std::vector<std::pair<std::string, std::string>> overrides;
  std::optional<std::string> port;
  std::optional<std::string> protocol;  // --protocol: the Protocol key for this run
  std::optional<std::chrono::milliseconds> ackTimeout;
  bool print = false;
  char kind = 'M';
  bool returnToStart = false;
  std::optional<int> figure;
  bool labels = false;
  // --NAME VALUE options and --NAME flags of single commands (kValueOptions,
  // kFlagOptions in cli.cpp).
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::string command;
  std::vector<std::string> args;
};

struct UsageError {
  std::string text;
};

struct Context {
  Options& options;
  CliStreams streams;
  ConsoleFrontend& frontend;
  SettingsStore& settings;
  Link& link;
  const LinkFormat* format = nullptr;  // the job's firmware format, once its handshake ran
  // A job on a port keeps its journal; with --resume it goes on from `resume`.
  ResumeRecorder* journal = nullptr;
  std::optional<ResumePoint> resume;
  // Where the stopped job left the head, from its journal; none after a crash.
  std::optional<HeadPlace> resumePlace;
  // Who sees the job's motions (the estimate, the printer's probe answers).
  std::vector<MotionObserver*> observers;
  // --print in G-code: the program goes to `gcodeOut`, made once the job's
  // window link says its format.
  std::ostream* gcodeOut = nullptr;
  std::unique_ptr<GcodeProgram> gcode;
  // A grbl board's: where the stopped job's origin is in machine coordinates.
  std::optional<std::array<double, 3>> resumeMachineOrigin;
  std::optional<std::array<double, 3>> resumeMachineHead;
  // After a lost link: where the lines it may have done beyond those counted end.
  std::vector<std::optional<std::array<double, 3>>> resumeMaybeDone;
};

// The window's handshake; with --print the board is taken to be the one the
// window needs (or --kind). On a failure the person is told why and the exit
// status is given instead: a board with the wrong firmware is not a lost link.
// The tool's drive switch is always ticked; the interruption dialog answers
// "stop".
struct Handshaken {
  char kind = 0;
  int failure = kCliDone;  // not kCliDone: the handshake failed
};
Handshaken Handshake(Context& context, WindowLink& window);

// Throws LinkError when a Ctrl-C has come: before the handshake, which
// clears StopFlag, and before a single move, whose checked write clears it.
void EndIfInterrupted(Context& context);

// --progress, or by default when standard error is a terminal.
bool WantsProgress(const Options& options, const CliStreams& streams);

// The tool's exit status for how a job ended.
int ExitStatus(const JobResult& result);
// The same, and a stopped job says at which of its lines it stood.
int ExitStatus(Context& context, const WindowLink& window, const JobResult& result);

// A 24-bit picture for a job (the first argument), or a message and nothing.
std::optional<PixelImage> LoadJobPicture(Context& context, std::string_view impossibleLine);

}  // namespace vertolin
