// The state every window shares for the whole run: the machine profile, the
// open port and StopFlag, plus the frontend through which the protocol reaches
// the person and the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

  // The program-wide request to stop the running job, and who made it: the
  // person ("Стоп", closing a window, Ctrl-C) or the link itself (a read or
  // write that failed), so that a job can tell a stop from a lost link.
  enum class StopCause { Person, LinkLost };
  bool StopRequested() const { return stopFlag_; }
  void RequestStop(StopCause cause = StopCause::Person) {
    stopFlag_ = true;
    stopCause_ = cause;
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

  // Whole seconds of a monotonic clock; the handshake measures its windows
  // with it. Tests may replace it.
  std::function<std::int64_t()> wholeSeconds;

  // Shows the read-failure message, sets StopFlag and throws LinkError.
  [[noreturn]] void FailRead();

 private:
  EventPump pump_;
  MachineProfile profile_;
  std::unique_ptr<SerialPort> port_;
  bool stopFlag_ = false;
  StopCause stopCause_ = StopCause::Person;
  bool closing_ = false;
  int lastOpenError_ = 0;
};

}  // namespace vertolin
