// One window's end of the protocol: its millimetre move, its job-time step,
// its acknowledgement wait, its reply buffer and its rounding carry. The
// windows differ only in their LinkFormat (link/link_format.h).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_format.h"
#include "link/reply_buffer.h"

namespace vertolin {

class Link;

// Motor steps per unit of a job step, read by the job from the window's
// fields for every step and passed with it: X and Y per picture pixel, Z per
// grey level (milling only). The raster windows round them to whole steps.
struct StepScale {
  double x = 0;
  double y = 0;
  double z = 0;
};

// One job-time step. dx, dy: picture pixels (steps for the scanner); third:
// grey levels (milling), the delay of a burn (gradation, wood burning), the
// laser switch (outlining, cutting) or the probe argument (scanner); delay:
// the step delay in µs (milling, outlining, cutting).
struct JobStep {
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  std::int32_t third = 0;
  std::int32_t delay = 0;
};

// Millimetres to whole steps with the profile's ratios (halves to even);
// nothing when a ratio is 0 or a result leaves the 32-bit range.
std::optional<std::array<std::int32_t, 3>> MillimetresToSteps(const Link& link, double dx,
                                                              double dy, double dz);

// How far a job has come, as far as the board has confirmed it: its first
// `lines` program lines (the lines its steps produce, not those a stop or a
// restore adds) are acknowledged, and they left the router's tool at `depth`
// steps from where the job began.
struct ResumePoint {
  std::int64_t lines = 0;
  std::int64_t depth = 0;
};

// Where a running job keeps its resume point (the job journal). The runner
// reports to it at most every ~100 ms and once at the job's end.
class ResumeRecorder {
 public:
  virtual ~ResumeRecorder() = default;
  virtual void Record(const ResumePoint& point, bool final) = 0;
  // The job ran to its end: nothing is left to resume.
  virtual void Completed() = 0;
};

// The milling job's interruption dialog, shown when StopFlag is set at a
// step: true to go on, false to stop.
class InterruptionPrompt {
 public:
  virtual ~InterruptionPrompt() = default;
  virtual bool GoOn() = 0;
};

class WindowLink {
 public:
  WindowLink(Link& link, const LinkFormat& format);

  const LinkFormat& format() const { return format_; }
  Link& link() { return link_; }

  // Who answers the interruption dialog (router windows); none: stop.
  void SetInterruptionPrompt(InterruptionPrompt* prompt) { prompt_ = prompt; }

  // The window's drive switch (Check1): while it is clear, job steps send
  // nothing and waits return at once. The positioning window has none.
  void SetDriveSwitch(std::function<bool()> driveOn) { driveOn_ = std::move(driveOn); }
  bool DriveOn() const;

  // The positioning window's state from its handshake.
  void SetKindLetter(char letter) { kindLetter_ = letter; }
  char kindLetter() const { return kindLetter_; }
  void SetReady(bool ready) { ready_ = ready; }
  bool Ready() const { return ready_; }

  // One relative move in millimetres, acknowledged. Sends nothing without an
  // open port. A move that cannot be expressed in steps (ratio 0, too far)
  // is refused with a message and LinkError.
  void ArduinoMoveMM(double dx, double dy, double dz);

  // A job's checkpoint before each step: when StopFlag is set, the window's
  // reaction (the question, the interruption dialog, the laser switched off
  // around the question, or an end at once). Returns to go on; throws
  // LinkError to stop. The job runner is its one caller during a job.
  void Checkpoint(bool wait);

  // One job-time move (see JobStep) at `scale`, without the checkpoint;
  // waits for its acknowledgement when `wait` is set. Throws LinkError when
  // the link fails, MoveRefused when the move leaves the step range.
  void Send(const JobStep& step, const StepScale& scale, bool wait);

  // Writes a line as it is (a lift after a stop), not awaited; `stepTime` is
  // how long the board should take over it, `zSteps` how far it moves the
  // router's tool.
  void WriteLine(std::string_view text, std::chrono::microseconds stepTime = {},
                 std::int64_t zSteps = 0);
  // A program's own line written as it is (the raster job's opening line).
  void WriteProgramLine(std::string_view text);

  // Resuming a job whose first `from.lines` program lines the board has done
  // already, which left the tool at `machineDepth`. Those lines are produced
  // again, so that the rounding carry, the position and the tool state follow
  // them, but neither sent nor awaited. Before the first line that is sent,
  // the tool state they left is restored: the raster's opening line again,
  // the laser switched on as the job last switched it on, or the router's
  // tool moved to its depth.
  void Replay(std::int64_t lines, std::int64_t machineDepth);
  std::int64_t replayLeft() const { return replayLeft_; }

  // Program lines written or replayed, how far the board has acknowledged
  // them and where that left the tool.
  std::int64_t programLines() const { return programLines_; }
  ResumePoint resumePoint() const { return {programAcknowledged_, acknowledgedDepth_}; }

  // Takes `other`'s rounding carry (exact position, whole steps accounted,
  // steps pending), so that a job counted on another window link rounds as
  // it will on `other`.
  void CopyCarryFrom(const WindowLink& other) {
    exact_ = other.exact_;
    accounted_ = other.accounted_;
    pending_ = other.pending_;
  }

  // Who keeps the running job's resume point; none: nobody.
  void SetResumeRecorder(ResumeRecorder* recorder) { recorder_ = recorder; }
  ResumeRecorder* resumeRecorder() const { return recorder_; }

  // Checkpoint, then Send: one step outside a job runner.
  void SendStep(const JobStep& step, const StepScale& scale, bool wait) {
    Checkpoint(wait);
    Send(step, scale, wait);
  }

  // Waits for one acknowledgement. Throws LinkError when StopFlag is set at
  // entry, when the read fails, or when the window or program is closing.
  void AwaitAck();

  // Waits for the acknowledgement of a job line sent without its wait, if
  // one is still owed: the optimised figure jobs' last wait. A line that was
  // never sent (a travel of no steps) owes nothing, so nothing is awaited.
  void AwaitOwedAck();

  // The scanner's ReadProbe: one measurement, the board's digits before "OK"
  // (link/probe_reader.h), read after the buffer is emptied. Nothing in a
  // dry run or without a port, where nothing was sent. Throws LinkError when
  // StopFlag is set, also during the wait (a board that never answers must
  // not keep the window from "Стоп"), when the read fails, when the reply
  // passes the 32-bit range (said first) and when the window is closing.
  std::optional<std::int32_t> ReadProbe();

  // The milling window's "Ручная уст-ка" during a job: whole steps that the
  // job's next move adds to its own.
  void AddPendingSteps(const std::array<std::int32_t, 3>& steps);
  void ClearPendingSteps() { pending_ = {}; }

  // Ends any wait of this window with LinkError (the window is closing).
  void Abandon() { abandoned_ = true; }

  // A job that ends between its steps (stopped, the link lost, a move
  // refused, the window closing) leaves nothing switched on: when the lines
  // sent have left the laser on (a laser outline window), one more line
  // switches it off with the idle delay. Its acknowledgement is collected
  // while the link still answers; a lost or abandoned link is not waited on.
  // A step sent with the drive switch cleared while the laser is lit does
  // the same, and the stop question pauses only a laser that is lit.
  void SwitchLaserOff();
  // The laser as the lines sent have left it.
  bool LaserLit() const { return laserLit_; }

  const ReplyBuffer& reply() const { return reply_; }

  // Lines written by Send and acknowledgements taken by the waits, since the
  // window link was made: a job's progress is their growth while it runs.
  std::int64_t linesSent() const { return linesSent_; }
  std::int64_t acknowledged() const { return acknowledged_; }
  // The last line written, "" before the first.
  const std::string& lastLine() const { return lastLine_; }

  // Whole steps the window has sent (or would have sent in a dry run) per axis.
  const std::array<std::int64_t, 3>& accounted() const { return accounted_; }

 private:
  void AskToStop();
  std::array<std::int32_t, 3> ScaledSteps(const JobStep& step, const StepScale& scale);
  void LaserPause(std::string_view line, bool wait);
  void WaitForAck();
  // Credits the oldest line in flight with the acknowledgement just taken.
  void TakeAcknowledgement();
  // Where the lines written so far leave the router's tool.
  std::int64_t DepthInFlight() const {
    return inFlight_.empty() ? acknowledgedDepth_ : inFlight_.back().depth;
  }
  // Remembers a line going out, for the wait that follows it.
  void NoteLine(std::string_view text, std::chrono::microseconds stepTime);
  // Writes a line, or only counts it while a replay lasts: false when it was
  // not written. A program line restores the tool state first after a replay.
  enum class Role { Program, Extra };
  bool Emit(std::string_view text, std::chrono::microseconds stepTime, Role role,
            std::int64_t zSteps = 0);
  void RestoreToolState();
  // A replay has not yet given way to lines sent: the board's tool is still
  // as the journal left it, not as the job's lines say.
  bool ToolStateOwed() const { return replayLeft_ > 0 || restorePending_; }
  std::array<std::int32_t, 3> CarrySteps(const std::array<double, 3>& displacement);
  [[noreturn]] void RefuseMove();

  Link& link_;
  const LinkFormat& format_;
  InterruptionPrompt* prompt_ = nullptr;
  std::function<bool()> driveOn_;
  ReplyBuffer reply_;
  char kindLetter_ = 0;
  bool ready_ = true;
  bool abandoned_ = false;
  bool laserLit_ = false;  // switched on by the last laser line written

  // Exact target position in steps and whole steps accounted for: a step is
  // always taken against the exact position, so rounding never adds up.
  std::array<double, 3> exact_{};
  std::array<std::int64_t, 3> accounted_{};
  std::array<std::int32_t, 3> pending_{};
  std::int64_t linesSent_ = 0;
  std::int64_t acknowledged_ = 0;
  // The last line sent and the step times of the last two: an optimised job
  // waits for the one before the last.
  std::string lastLine_;
  std::chrono::microseconds lastStepTime_{0};
  std::chrono::microseconds previousStepTime_{0};

  // Lines written and not yet acknowledged, oldest first: whether each is a
  // program line and where it leaves the router's tool. The board answers in
  // order, so every acknowledgement belongs to the oldest.
  struct InFlight {
    bool program;
    std::int64_t depth;
  };
  std::deque<InFlight> inFlight_;
  std::int64_t programLines_ = 0;
  std::int64_t programAcknowledged_ = 0;
  std::int64_t acknowledgedDepth_ = 0;
  ResumeRecorder* recorder_ = nullptr;

  // A replay: program lines still to be counted without sending, and what a
  // restore needs once it ends.
  std::int64_t replayLeft_ = 0;
  bool restorePending_ = false;
  std::int64_t machineDepth_ = 0;
  std::string replayedOpening_;  // the raster's opening line, when it was replayed
  std::string lastLaserOnLine_;  // the job's last line that switched the laser on
};

}  // namespace vertolin
