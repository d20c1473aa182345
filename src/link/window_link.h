// One window's end of the link: its millimetre move, a job's moves turned
// into motions (StepScaler) and into lines (the window's Protocol), the lines
// in flight and their acknowledgements (LinesInFlight), the stop's reaction,
// the laser's state and the probe's reply. The windows differ only in their
// LinkFormat (link/link_format.h).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/grbl_stream.h"
#include "link/handshake.h"
#include "link/lines_in_flight.h"
#include "link/machine_model.h"
#include "link/link_format.h"
#include "link/reply_buffer.h"
#include "link/step_scaler.h"
#include "motion/motion.h"
#include "motion/protocol.h"

namespace vertolin {

class Link;

// Millimetres to whole steps with the profile's ratios (halves to even);
// nothing when a ratio is 0 or a result leaves the 32-bit range.
std::optional<std::array<std::int32_t, 3>> MillimetresToSteps(const Link& link, double dx,
                                                              double dy, double dz);

// Who sees every line a window link writes, with the motion it encodes (the
// estimate, the count ahead); lines a stop adds have no motion of the job.
class MotionObserver {
 public:
  virtual ~MotionObserver() = default;
  virtual void Written(const Motion& motion, std::string_view line) = 0;
};

// Where a running job keeps its resume point (the job journal). The runner
// reports to it at most every ~100 ms and once at the job's end.
class ResumeRecorder {
 public:
  virtual ~ResumeRecorder() = default;
  virtual void Record(const ResumePoint& point, bool final) = 0;
  // Where the head stands, given just before the final record of a job
  // that ended early while the board still answered.
  virtual void Placed(const HeadPlace& /*place*/) {}
  // A grbl board's job origin and the head at rest in its machine
  // coordinates (mm), given with the place.
  virtual void MachinePlace(const std::array<double, 3>& /*origin*/,
                            const std::array<double, 3>& /*head*/) {}
  // After a lost link with a grbl board, given with the place (the head
  // after the lines counted): where each program line sent beyond them
  // leaves the head, in machine mm.
  virtual void MaybeDone(std::vector<std::optional<std::array<double, 3>>> /*ends*/) {}
  // The job's first `point.lines` program lines have been written: called
  // for every one, so it must cost next to nothing.
  virtual void Sent(const ResumePoint& /*point*/) {}
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
  ~WindowLink();
  WindowLink(WindowLink&&) = default;

  const LinkFormat& format() const { return format_; }
  Link& link() { return link_; }
  const Protocol& protocol() const { return *protocol_; }
  // The machine has a Z axis (the router); the others' third field is no axis.
  bool HasZ() const;

  // The window writes G-code (Protocol=grbl): a file, not yet a board.
  bool WritesGcode() const { return writesGcode_; }

  // A grbl 1.1 board on the port (Protocol=grbl): reads who it is and its
  // settings, and refuses (said) a board in alarm, a scan, and a laser job
  // without laser mode ($32=1). From then on the lines stream to it
  // (link/grbl_stream.h) and a stop holds it at once.
  bool ConnectGrbl();
  // The handshake of a window's load: the native firmware query judged
  // against `required`, or on a grbl port ConnectGrbl, whose refusals are
  // said by it (no warning dialog).
  HandshakeResult Handshake(std::string_view required);
  bool StreamsGrbl() const { return grbl_ != nullptr; }
  // Before a job: a grbl board whose link was lost is read again (it may
  // have restarted, or still be running out its planner). False when it no
  // longer answers as a board a job can run on; the person is told why.
  bool ReadGrblAgainIfLost();
  const std::optional<GrblIdentity>& grblIdentity() const { return grblIdentity_; }
  // A job's first and last lines on a grbl board: the opening (units,
  // absolute coordinates, the job's frame where the head stands, the status
  // with the planner's room), and the closing, awaited until the machine is
  // at rest, the status as it was. Nothing for other boards.
  void GrblJobOpens();
  void GrblJobCloses();
  // Where the job's origin is in the grbl board's machine coordinates, mm:
  // taken at a fresh start, given (from the journal) for a resume.
  const std::optional<std::array<double, 3>>& grblJobOrigin() const { return grblJobOrigin_; }
  // Where the head was at rest when the job ended early, in the board's
  // machine coordinates; nothing when unknown.
  std::optional<std::array<double, 3>> grblMachineHead() const;
  // After a lost link: where the last line counted left the head, and where
  // each program line sent beyond it would (machine mm, oldest first;
  // nothing when that cannot be told).
  std::optional<std::array<double, 3>> grblCountedEnd() const;
  std::optional<std::vector<std::optional<std::array<double, 3>>>> GrblUncountedLines() const;
  // A job whose link was lost, on a grbl board that answers again: how many
  // of the lines it may have done it did, by where the head stands now (the
  // first of them that ends there; none when none does). Nothing when the
  // board restarted and its coordinates began again without homing: where
  // the head stands is lost, and no resume can be exact.
  std::optional<std::int64_t> GrblDoneAfterLoss(
      const std::vector<std::optional<std::array<double, 3>>>& maybeDone);
  // A resumed job's origin and the head's place when it stopped (from its
  // journal), taken at the restore (GrblRestore).
  void ResumeGrblJob(const std::array<double, 3>& origin,
                     const std::optional<std::array<double, 3>>& head);

  // Who answers the interruption dialog (router windows); none: stop.
  void SetInterruptionPrompt(InterruptionPrompt* prompt) { prompt_ = prompt; }

  // The window's drive switch (Check1): while it is clear, job steps send
  // nothing and waits return at once. The positioning window has none.
  void SetDriveSwitch(std::function<bool()> driveOn) { driveOn_ = std::move(driveOn); }
  bool DriveOn() const;

  // The positioning window's state from its handshake.
  void SetKindLetter(char letter) {
    kindLetter_ = letter;
    protocol_->Identified(letter);
  }
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

  // One move of a job's program at `scale`, without the checkpoint; waits
  // for its acknowledgement when `wait` is set. Throws LinkError when the
  // link fails, MoveRefused when the move leaves the step range.
  void Send(const JobMotion& move, const StepScale& scale, bool wait);

  // A program's motion that sets the board up (the raster's opening): sent
  // whether or not the drive switch is ticked, not awaited.
  void SendSetup(const Motion& motion);

  // A motion outside the job's program (the lift after a stop), not awaited.
  void SendExtra(const Motion& motion);

  // A job begins on this window link: its moves count from here.
  void JobBegins();

  // Resuming a job whose first `lines` program lines the board has done
  // already. Those lines are produced again, so that the rounding carry, the
  // position and the tool state follow them, but neither sent nor awaited.
  // Before the first line that is sent, the head goes (tool up, laser off)
  // from where the machine model has it to where those lines ended and the
  // tool state they left is restored: the raster's opening again, the
  // router's tool at its depth, the laser switched on as the job last
  // switched it on. `origin` is the job's origin in the model's steps; when
  // it is unknown (a journal left by a crash), the head is taken to stand
  // where the lines ended, its tool at `machineDepth` from the job's start.
  void Replay(std::int64_t lines, std::int64_t machineDepth,
              std::optional<MachineSteps> origin = std::nullopt);
  std::int64_t replayLeft() const { return replayLeft_; }
  // The origin a resumed job keeps, when known; nothing for a fresh start.
  std::optional<MachineSteps> resumeOrigin() const {
    return replayLeft_ > 0 ? resumeOrigin_ : std::nullopt;
  }

  // A fresh start after a job that did not run to its end, with the head
  // `away` from that job's origin: the head goes back there, the laser off
  // and the tool up, every line awaited.
  void ReturnToOrigin(const MachineSteps& away);

  // Program lines written or replayed, how far the board has acknowledged
  // them and where that left the tool.
  std::int64_t programLines() const { return inFlight_.programLines(); }
  ResumePoint resumePoint() const { return inFlight_.resumePoint(); }

  // Takes `other`'s rounding carry, so that a job counted on another window
  // link rounds as it will on `other`.
  void CopyCarryFrom(const WindowLink& other) { scaler_.CopyFrom(other.scaler_); }

  // The rounding carry (with the pending steps) as it stands, and given back:
  // a dry run advances it without moving the machine.
  StepScaler carry() const { return scaler_; }
  void RestoreCarry(const StepScaler& carry) { scaler_ = carry; }

  // Moves of jobs' programs written since the window link was made: none
  // while the drive switch is clear.
  std::int64_t movesSent() const { return movesSent_; }

  // Who keeps the running job's resume point; none: nobody.
  void SetResumeRecorder(ResumeRecorder* recorder) { recorder_ = recorder; }
  ResumeRecorder* resumeRecorder() const { return recorder_; }

  // One more who sees every line written.
  void AddMotionObserver(MotionObserver* observer) { observers_.push_back(observer); }

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
  // passes the 32-bit range (said first), when the window is closing, and
  // for the tool once the probe line is overdue (a lost link, as any wait).
  std::optional<std::int32_t> ReadProbe();

  // The milling window's "Ручная уст-ка" during a job: whole steps that the
  // job's next move adds to its own.
  void AddPendingSteps(const std::array<std::int32_t, 3>& steps);
  void ClearPendingSteps() { scaler_.ClearPending(); }

  // A key released: a grbl board's jog still running is cancelled (0x85),
  // so the head stops at once, its position kept. Nothing elsewhere.
  void CancelJog();

  // Ends any wait of this window with LinkError (the window is closing).
  void Abandon() { abandoned_ = true; }

  // A job that ended early takes the acknowledgements of the lines still in
  // flight (the raster's line ahead, the laser-off line, the line a closed
  // window stopped waiting for), each within its overdue bound, so that its
  // resume point is what the board has done. Also for an abandoned window
  // and after a stop; a silent board, a failed read or the program's closing
  // ends it early (link/ack_wait.h, DrainAcknowledgement).
  void DrainInFlight();
  // Lines whose acknowledgement will never come (the link was lost, the
  // drain gave up on a silent board) are no longer waited for: whether the
  // board did them is not known, so the machine model does not count them.
  void ForgetInFlight();

  // A job that ends between its steps (stopped, the link lost, a move
  // refused, the window closing) leaves nothing switched on: when the lines
  // sent have left the laser on (a laser outline window), one more line
  // switches it off with the idle delay. Its acknowledgement is collected
  // while the link still answers; a lost or abandoned link is not waited on
  // (the job's drain reads an abandoned one's).
  // A step sent with the drive switch cleared while the laser is lit does
  // the same, and the stop question pauses only a laser that is lit. A
  // laser paused for the question is switched off so too, since its pause
  // line has no ";".
  void SwitchLaserOff();
  // The laser as the lines sent have left it.
  bool LaserLit() const { return laserLit_; }

  const ReplyBuffer& reply() const { return reply_; }

  // Lines written and acknowledgements taken by the waits, since the window
  // link was made: a job's progress is their growth while it runs.
  std::int64_t linesSent() const { return linesSent_; }
  std::int64_t acknowledged() const { return acknowledged_; }
  // The last line written, "" before the first.
  const std::string& lastLine() const { return lastLine_; }

  // Whole steps the window has sent (or would have sent in a dry run) per axis.
  const std::array<std::int64_t, 3>& accounted() const { return scaler_.accounted(); }

 private:
  void LaserPause(bool on, bool wait);
  void WaitForAck();
  // Credits the oldest line in flight with the acknowledgement just taken.
  void TakeAcknowledgement();
  // Remembers a line going out, for the wait that follows it.
  void NoteLine(std::string_view text, std::chrono::microseconds stepTime);
  // Writes a motion's line, or only counts it while a replay lasts: false
  // when it was not written. A program line restores the tool state first
  // after a replay.
  enum class Role { Program, Extra };
  bool Emit(const Motion& motion, std::string_view text, Role role);
  void Write(std::string_view text, std::chrono::microseconds stepTime);
  void RestoreToolState(const Motion& next);
  // Moves the head from `from` to `to` (steps from the job's origin): the
  // tool first rises to the job's travel height when the head goes across,
  // then the travel, then the tool to its height; each line awaited.
  void TravelToolUp(const MachineSteps& from, const MachineSteps& to);
  // A replay has not yet given way to lines sent: the board's tool is still
  // as the journal left it, not as the job's lines say.
  bool ToolStateOwed() const { return replayLeft_ > 0 || restorePending_; }
  std::chrono::microseconds StepTimeOf(const Motion& motion) const;
  [[noreturn]] void RefuseMove();
  // Follows the G-code target in the board's own steps: true when the
  // motion just encoded makes a planner block there.
  bool FollowGrblTarget(const Motion& motion);
  void StreamText(std::string_view text, bool block);
  // The stop question while the grbl board holds: go on (cycle start) or
  // throw LinkError.
  void GrblStopQuestion();
  // Ends the job on the grbl board: held, the lines carried out counted,
  // soft reset; the status mask as it was.
  void HaltGrbl();
  void RestoreGrblMask();
  void BindGrbl();
  // The position readout from a status report: where the head is, mid-block too.
  void ShowGrblPlace(const grbl::Status& status);
  // A move by hand on a grbl board: "$J=G91 G21 X… Y… Z… F…" at the native
  // move's pace, awaited until the board is at rest again.
  void GrblJog(const Motion& jog);
  // A resumed job's restore on a grbl board, before its first line is
  // encoded: the job's frame from the machine origin (G92), the tool up, the
  // travel to where the lines done ended, the tool down and on again, and
  // the modes stated again by the next line.
  void GrblRestore(const Motion& next);
  // From `at` to `to` (thousandths of a millimetre in the job's frame): up to
  // the job's travel height when the head goes across, across, then down.
  void GrblTravelToolUp(std::array<std::int64_t, 3> at, const std::array<std::int64_t, 3>& to);
  // The head's machine position, mm, from a fresh status report.
  std::array<double, 3> GrblMachinePosition();
  // A place in the job's frame (thousandths of a mm) in the board's machine
  // mm, rounded to its steps; nothing before the job's origin is known.
  std::optional<std::array<double, 3>> GrblMachineOf(const std::array<std::int64_t, 3>& at) const;

  Link& link_;
  const LinkFormat& format_;
  std::unique_ptr<Protocol> protocol_;
  bool writesGcode_;
  InterruptionPrompt* prompt_ = nullptr;
  std::function<bool()> driveOn_;
  ReplyBuffer reply_;
  char kindLetter_ = 0;
  bool ready_ = true;
  bool abandoned_ = false;
  bool laserLit_ = false;     // switched on by the last laser motion written
  bool laserPaused_ = false;  // switched off by the pause line of the stop question

  StepScaler scaler_;
  LinesInFlight inFlight_;
  std::int64_t linesSent_ = 0;
  std::int64_t movesSent_ = 0;
  std::int64_t acknowledged_ = 0;
  // The last line sent and the step times of the last two: an optimised job
  // waits for the one before the last.
  std::string lastLine_;
  std::chrono::microseconds lastStepTime_{0};
  std::chrono::microseconds previousStepTime_{0};
  ResumeRecorder* recorder_ = nullptr;
  std::vector<MotionObserver*> observers_;

  // A replay: program lines still to be counted without sending, and what a
  // restore needs once it ends.
  std::int64_t replayLeft_ = 0;
  bool restorePending_ = false;
  std::int64_t machineDepth_ = 0;  // from the job's start
  std::optional<MachineSteps> resumeOrigin_;
  std::optional<Motion> replayedSetup_;  // the raster's opening, when it was replayed
  std::optional<Motion> lastToolOn_;     // the job's last motion that switched the laser on

  // The job's start in accounted steps, the highest its tool has been above
  // it (its own travel height) and the delay of its last travel.
  std::array<std::int64_t, 3> jobStart_{};
  ResumePoint sentBase_;  // program lines and depth before the job began
  std::int64_t travelHeight_ = 0;
  std::optional<std::int32_t> travelDelay_;

  GrblStream* grbl_ = nullptr;  // the link's, once this window link connected
  std::optional<GrblIdentity> grblIdentity_;
  std::array<std::int64_t, 3> grblSteps_{};  // the target in the board's steps
  std::optional<std::array<double, 3>>
      grblEnd_;                           // the target in machine mm, as the board rounds it
  std::optional<int> grblMaskToRestore_;  // $10 before a job asked for Bf
  std::optional<std::array<double, 3>> grblJobOrigin_;
  std::optional<std::array<double, 3>> grblResumeHead_;
  bool jogging_ = false;
  bool grblFrameLost_ = false;  // halted: the board forgot the job's frame
};

}  // namespace vertolin
