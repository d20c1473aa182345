// One window's end of the protocol: its millimetre move, its job-time step,
// its acknowledgement wait, its reply buffer and its rounding carry. The
// windows differ only in the flavour below.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "link/reply_buffer.h"

namespace vertolin {

class Link;

enum class WindowFlavour {
  Milling,      // MT: x,y,z,d; carry with pending offsets; interruption dialog
  Positioning,  // any kind: move text by kind letter; ready guard
  Gradation,    // PT: x,y,v; whole steps per pixel; stop question
  WoodBurning,  // BT: as gradation
  Outlining,    // PT: x,y,l,d; compacted; laser pause lines; stop question
  Cutting,      // OT: as outlining
  Scanner,      // ST: x,y,-2p; LinkError on stop; buffer emptied per wait
};

// Motor steps per unit of a job step, read from the window's fields at every
// step: X and Y per picture pixel, Z per grey level (milling only). The
// gradation windows give whole steps per pixel.
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

class WindowLink {
 public:
  WindowLink(Link& link, WindowFlavour flavour);

  WindowFlavour flavour() const { return flavour_; }
  Link& link() { return link_; }

  // The window's drive switch (Check1): while it is clear, job steps send
  // nothing and waits return at once. The positioning window has none.
  void SetDriveSwitch(std::function<bool()> driveOn) { driveOn_ = std::move(driveOn); }
  bool DriveOn() const;

  // Where the job's scale comes from (milling, gradation, outlining, cutting).
  void SetScaleSource(std::function<StepScale()> scale) { scale_ = std::move(scale); }

  // The positioning window's state from its handshake.
  void SetKindLetter(char letter) { kindLetter_ = letter; }
  char kindLetter() const { return kindLetter_; }
  void SetReady(bool ready) { ready_ = ready; }
  bool Ready() const { return ready_; }

  // One relative move in millimetres, acknowledged. Sends nothing without an
  // open port. A move that cannot be expressed in steps (ratio 0, too far)
  // is refused with a message and LinkError.
  void ArduinoMoveMM(double dx, double dy, double dz);

  // One job-time move (see JobStep); waits for its acknowledgement when
  // `wait` is set. Throws LinkError when the person stops or the link fails.
  void SendStep(const JobStep& step, bool wait);

  // Waits for one acknowledgement. Throws LinkError when StopFlag is set at
  // entry, when the read fails, or when the window or program is closing.
  void AwaitAck();

  // The milling window's "Ручная уст-ка" during a job: whole steps that the
  // job's next move adds to its own.
  void AddPendingSteps(const std::array<std::int32_t, 3>& steps);
  void ClearPendingSteps() { pending_ = {}; }

  // Ends any wait of this window with LinkError (the window is closing).
  void Abandon() { abandoned_ = true; }

  const ReplyBuffer& reply() const { return reply_; }

  // Whole steps the window has sent (or would have sent in a dry run) per axis.
  const std::array<std::int64_t, 3>& accounted() const { return accounted_; }

 private:
  void SendMillingStep(const JobStep& step, bool wait);
  void SendLaserStep(const JobStep& step, bool wait);
  void SendRasterStep(const JobStep& step, bool wait);
  void SendScannerStep(const JobStep& step, bool wait);
  void AskToStop();
  void LaserPause(std::string_view line, bool wait);
  void WaitForAck();
  std::array<std::int32_t, 3> CarrySteps(const std::array<double, 3>& displacement);
  [[noreturn]] void RefuseMove();

  Link& link_;
  WindowFlavour flavour_;
  std::function<bool()> driveOn_;
  std::function<StepScale()> scale_;
  ReplyBuffer reply_;
  char kindLetter_ = 0;
  bool ready_ = true;
  bool abandoned_ = false;
  std::int32_t laser_ = 0;  // the last non-zero laser value sent

  // Exact target position in steps and whole steps accounted for: a step is
  // always taken against the exact position, so rounding never adds up.
  std::array<double, 3> exact_{};
  std::array<std::int64_t, 3> accounted_{};
  std::array<std::int32_t, 3> pending_{};
};

}  // namespace vertolin
