// The state every window shares for the whole run: the machine profile, the
// open port and StopFlag, plus the frontend through which the protocol reaches
// the person and the event loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/grbl_stream.h"
#include "link/machine_model.h"
#include "settings/machine_profile.h"
#include "util/frontend.h"
#include "link/serial_port.h"

namespace vertolin {

class Link {
 public:
  explicit Link(Frontend& frontend, MachineProfile profile = {});
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  Frontend& frontend() { return pump_.frontend(); }
  EventPump& pump() { return pump_; }

  MachineProfile& profile() { return profile_; }
  const MachineProfile& profile() const { return profile_; }

  // Opens the profile's port (or `name` at `baud`), closing any open one first.
  bool Open();
  bool Open(std::string_view name, int baud);
  // Takes a port opened elsewhere (tests, the command-line tool's printer).
  void Attach(std::unique_ptr<SerialPort> port);
  void Close();
  bool PortOpen() const { return port_ != nullptr; }
  // The system's error code of the last failed Open (0 after a success).
  int lastOpenError() const { return lastOpenError_; }
  SerialPort* port() { return port_.get(); }

  // The grbl 1.1 board on the port (Protocol=grbl), read once after the
  // port opened: its stream and who it said it is. False, with the person
  // told why, when no grbl 1.1 answered. A port opened again reads it again.
  bool ConnectGrbl();
  GrblStream* grbl() { return grbl_.get(); }
  const std::optional<GrblIdentity>& grblIdentity() const { return grblIdentity_; }
  // The grbl board's link was lost since it was read: read it again first.
  bool GrblReadAgainDue() const { return grbl_ != nullptr && grblReadAgain_; }

  // The program-wide request to stop the running job, and who made it: the
  // person ("Стоп", closing a window, Ctrl-C) or the link itself (a read or
  // write that failed), so that a job can tell a stop from a lost link.
  enum class StopCause { Person, LinkLost };
  bool StopRequested() const { return stopFlag_; }
  void RequestStop(StopCause cause = StopCause::Person) {
    stopFlag_ = true;
    stopCause_ = cause;
    // A grbl board is read again once its link was lost: it may have
    // restarted, or run on, meanwhile.
    if (cause == StopCause::LinkLost) grblReadAgain_ = true;
  }
  void ClearStop() {
    stopFlag_ = false;
    stopCause_ = StopCause::Person;
  }
  StopCause stopCause() const { return stopCause_; }

  // Set while the program shuts down: every wait then ends with LinkError
  // instead of waiting for a board that will never answer.
  bool Closing() const { return closing_; }
  void SetClosing(bool closing) { closing_ = closing; }

  // How the acknowledgement waits treat a board that does not answer. A line
  // is overdue once its own step time twice over plus kAckMargin has passed
  // (or `limit`, when one is given). The windows wait on, since the person is
  // there, and say for how long; a stop then ends the wait. The tool ends
  // every wait at a stop and an overdue one as a lost link.
  struct AckPolicy {
    bool stopEndsWait = false;
    bool overdueLosesLink = false;
    std::optional<std::chrono::milliseconds> limit;
  };
  static constexpr std::chrono::milliseconds kAckMargin{3000};
  AckPolicy& ackPolicy() { return ackPolicy_; }
  const AckPolicy& ackPolicy() const { return ackPolicy_; }

  // Whole seconds of a monotonic clock; the handshake measures its windows
  // with it. Tests may replace it.
  std::function<std::int64_t()> wholeSeconds;

  // Where the machine is, as its board has confirmed it.
  MachineModel& machine() { return machine_; }
  const MachineModel& machine() const { return machine_; }
  // The board confirmed `motion`: into the model, and shown to the person at
  // most every ~100 ms (`now`: at once, as after a single move or a job).
  void Confirmed(const Motion& motion, bool now = false);
  void ShowPosition();

  // Shows the read-failure message, sets StopFlag and throws LinkError.
  [[noreturn]] void FailRead();

 private:
  EventPump pump_;
  MachineProfile profile_;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<GrblStream> grbl_;
  std::optional<GrblIdentity> grblIdentity_;
  bool grblReadAgain_ = false;
  bool stopFlag_ = false;
  StopCause stopCause_ = StopCause::Person;
  bool closing_ = false;
  AckPolicy ackPolicy_;
  MachineModel machine_;
  std::chrono::steady_clock::time_point positionShown_{};
  int lastOpenError_ = 0;
};

}  // namespace vertolin
