// The one connection to the board: command texts out, single bytes in.
// SerialPort is the platform's port (POSIX terminal, Win32 COM handle, or the
// built-in simulated board); the free functions below are the program's use of
// it, with the messages the person sees.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace vertolin {

class Frontend;
class Link;

class SerialPort {
 public:
  // How long a read waits for a byte when the line is idle.
  static constexpr std::chrono::milliseconds kReadWindow{20};

  virtual ~SerialPort() = default;

  // Writes the bytes whole, whatever signal interrupts the write, unless the
  // line is dead; the outcome is not reported (a lost command shows up as a
  // missing acknowledgement).
  virtual void Write(std::string_view bytes) = 0;

  // Writes the bytes and waits until they have all left, for at most `limit`.
  // False when the transfer did not complete; the port's error state is
  // cleared and unsent bytes are discarded then.
  virtual bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) = 0;

  // 0..255: the byte received; -1: nothing within the read window; -2: the
  // read failed (the line is gone).
  virtual int ReadByte() = 0;

  // False for a port that only records what is sent (the tool's --print):
  // nothing there takes time, so a dry run's pause per step is not made.
  virtual bool TakesTime() const { return true; }
};

// Opens a port by name at a baud rate. "sim:M", "sim:S", "sim:P", "sim:B" and
// "sim:O" open the built-in simulated board of that firmware kind; any other
// name is a device of this system. On failure the person is told why (title
// "Vertolin"), the system's error code goes to `systemError` when given, and
// the result is empty.
std::unique_ptr<SerialPort> SerialOpen(std::string_view name, int baud, Frontend& frontend,
                                       int* systemError = nullptr);

// True when the system's serial driver can take this line speed; a job is
// refused before the port opens rather than run at a speed the line ignores.
bool SupportedBaud(int baud);

// The device half of SerialOpen, one implementation per platform.
std::unique_ptr<SerialPort> OpenDevicePort(std::string_view name, int baud, Frontend& frontend,
                                           int* systemError);

// The system's own text for one of its error codes (empty when unknown).
std::string SystemErrorText(int code);

// Writes text to the link's open port (nothing without one).
void SerialWrite(Link& link, std::string_view text);

// Writes text and makes sure it left. A complete transfer clears StopFlag; an
// incomplete one sets it, so the next wait ends the job.
bool SerialWriteChecked(Link& link, std::string_view text);

// Lets pending events run, then reads at most one byte (see ReadByte).
int SerialReadByte(Link& link);

// The system's "not found" code, for ports that are not devices: 2 is both
// ERROR_FILE_NOT_FOUND on Windows and ENOENT on POSIX systems.
inline constexpr int kNotFoundError = 2;

// Open-failure messages shared by the platform sides.
std::string PortNotFoundText(std::string_view name);
std::string PortBusyText(std::string_view name);

}  // namespace vertolin
