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

  // The program-wide request to stop the running job.
  bool StopRequested() const { return stopFlag_; }
  void RequestStop() { stopFlag_ = true; }
  void ClearStop() { stopFlag_ = false; }

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
  bool closing_ = false;
  int lastOpenError_ = 0;
};

}  // namespace vertolin
