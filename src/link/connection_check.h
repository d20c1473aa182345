// The logic behind the settings window: reconnecting to a port with the
// connection check, reading the calibration fields into a profile, and the
// list of ports offered for the port field.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/machine_profile.h"

namespace vertolin {

class Link;

inline constexpr std::string_view kCheckTitle = "Проверка соединения";
inline constexpr std::string_view kBoardSilent =
    "Ардуино не отвечает. Возможные причины:\r\n"
    "   - прошивка устарела\r\n"
    "   - установлена неверная скорость COM-порта";

// The labels that name the fields in the refusal messages.
inline constexpr std::string_view kLabelX = "X:";
inline constexpr std::string_view kLabelY = "Y:";
inline constexpr std::string_view kLabelZ = "Z:";
inline constexpr std::string_view kLabelDelay = "микросекунд";
inline constexpr std::string_view kLabelBaud = "бод";

enum class ReconnectResult {
  Refused,     // the baud text is no speed: nothing was touched
  PortFailed,  // the port did not open; the system is left without one
  NoAnswer,    // the port is open but no firmware answered with "T"
  Answered,    // the port is open and some firmware answered
};

// Closes any open port and opens `port` at the speed of `baudText`; when it
// opens, clears StopFlag and runs the handshake accepting any firmware. With
// `report` the outcome is shown (title "Проверка соединения"); the port's own
// open-failure messages are shown either way. A baud text that is no speed is
// refused with a message before anything changes. Throws LinkError when the
// line fails during the handshake (the person has been told).
ReconnectResult Reconnect(Link& link, std::string_view port, std::string_view baudText,
                          bool report);

// The settings window's fields, as typed.
struct SettingsFields {
  std::string xRatio;
  std::string yRatio;
  std::string zRatio;
  std::string delay;
  std::string baud;
  std::string port;
  bool optimised = false;
};

enum class SettingsField { None, XRatio, YRatio, ZRatio, Delay, Baud };

// The profile the fields describe, or the first field that gives no usable
// value with the message that says why.
struct FieldsReading {
  MachineProfile profile;
  SettingsField badField = SettingsField::None;
  std::string message;  // names the bad field by its label

  bool ok() const { return badField == SettingsField::None; }
};

// Ratios are numbers ("." and "," both separate decimals) and not zero, which
// would divide every move by nothing; the delay is a 32-bit integer; the baud
// a positive 32-bit integer. Fields are checked in the window's order.
FieldsReading ReadSettingsFields(const SettingsFields& fields);

// The names of the simulated boards, one per firmware kind.
inline constexpr std::string_view kSimulatedPorts[] = {"sim:M", "sim:S", "sim:P", "sim:B", "sim:O"};

// Serial ports present on this machine (COM1… on Windows; /dev/ttyUSB*,
// /dev/ttyACM* and /dev/ttyS* elsewhere), followed by the simulated boards.
std::vector<std::string> AvailablePorts();

#ifndef _WIN32
// The serial device files in `folder` (normally /dev): USB adapters first,
// then USB modems, then built-in ports, each group in numeric order.
std::vector<std::string> SerialDevicesIn(const std::filesystem::path& folder);
#endif

}  // namespace vertolin
