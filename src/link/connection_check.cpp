#include "link/connection_check.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <tuple>
#include <utility>

#include "link/handshake.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/texts.h"
#include "util/numbers.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace vertolin {

namespace {

constexpr std::string_view kNotANumber = "не является числом";
constexpr std::string_view kZero = "не может быть равно нулю";
constexpr std::string_view kOutOfRange = "выходит за допустимые пределы";
constexpr std::string_view kNotPositive = "должно быть больше нуля";

constexpr std::string_view kNothingStored = "\r\nНастройки не сохранены.";
constexpr std::string_view kNothingChanged = "\r\nСоединение не изменено.";

std::string FieldMessage(std::string_view label, std::string_view problem) {
  std::string text = "Значение в поле «";
  text += label;
  text += "» ";
  text += problem;
  text += ".";
  return text;
}

// The value of a 32-bit integer field; nothing, with the problem noted, when
// the text gives none.
std::optional<std::int32_t> ReadInt(std::string_view text, std::string_view& problem) {
  const std::optional<double> number = ParseNumber(text);
  if (!number) {
    problem = kNotANumber;
    return std::nullopt;
  }
  const std::optional<std::int32_t> value = RoundToInt32(*number);
  if (!value) problem = kOutOfRange;
  return value;
}

// A whole number above zero (a speed, a step delay), or the problem with its text.
std::optional<std::int32_t> ReadPositive(std::string_view text, std::string_view& problem) {
  const std::optional<std::int32_t> value = ReadInt(text, problem);
  if (value && *value <= 0) {
    problem = kNotPositive;
    return std::nullopt;
  }
  return value;
}

}  // namespace

FieldsReading ReadSettingsFields(const SettingsFields& fields) {
  FieldsReading reading;
  const auto refuse = [&reading](SettingsField field, std::string_view label,
                                 std::string_view problem) {
    reading.badField = field;
    reading.message = FieldMessage(label, problem);
    reading.message += kNothingStored;
    return reading;
  };

  const std::tuple<const std::string&, double&, SettingsField, std::string_view> ratios[] = {
      {fields.xRatio, reading.profile.xRatio, SettingsField::XRatio, kLabelX},
      {fields.yRatio, reading.profile.yRatio, SettingsField::YRatio, kLabelY},
      {fields.zRatio, reading.profile.zRatio, SettingsField::ZRatio, kLabelZ},
  };
  for (const auto& [text, ratio, field, label] : ratios) {
    const std::optional<double> value = ParseNumber(text);
    if (!value) return refuse(field, label, kNotANumber);
    if (*value == 0) return refuse(field, label, kZero);
    ratio = *value;
  }

  std::string_view problem;
  // A step delay of 0 or less would be sent to the board as it stands.
  const std::optional<std::int32_t> delay = ReadPositive(fields.delay, problem);
  if (!delay) return refuse(SettingsField::Delay, kLabelDelay, problem);
  const std::optional<std::int32_t> baud = ReadPositive(fields.baud, problem);
  if (!baud) return refuse(SettingsField::Baud, kLabelBaud, problem);

  reading.profile.idleDelay = *delay;
  reading.profile.baud = *baud;
  reading.profile.optim = fields.optimised ? 1 : 0;
  reading.profile.port = fields.port;
  return reading;
}

ReconnectResult Reconnect(Link& link, std::string_view port, std::string_view baudText,
                          bool report) {
  // A speed that is no number would open the port at a rate nobody chose;
  // the connection in use is left alone instead.
  std::string_view problem;
  const std::optional<std::int32_t> baud = ReadPositive(baudText, problem);
  if (!baud) {
    link.frontend().ShowMessage(texts::kTitleError,
                                FieldMessage(kLabelBaud, problem) + std::string(kNothingChanged));
    return ReconnectResult::Refused;
  }

  if (link.PortOpen()) link.Close();
  if (!link.Open(port, *baud)) {
    if (report) {
      std::string text(texts::kStatusNoPort);
      text += "\r\n";
      text += SystemErrorText(link.lastOpenError());
      link.frontend().ShowMessage(kCheckTitle, text);
    }
    return ReconnectResult::PortFailed;
  }

  link.ClearStop();
  SettleLink(link);
  const bool answered = JudgeFirmwareReply(QueryFirmware(link), kAnyKind).driveEnabled;
  if (report)
    link.frontend().ShowMessage(kCheckTitle, answered ? texts::kStatusOpen : kBoardSilent);
  return answered ? ReconnectResult::Answered : ReconnectResult::NoAnswer;
}

namespace {

// "COM12" → 12 for `prefix` "COM"; nothing when the rest is not all digits.
std::optional<int> PortNumber(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  int number = 0;
  for (const char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9' || number > 99999) return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

#ifdef _WIN32

namespace {

// The COM devices the system knows by their DOS names.
std::vector<std::string> SystemPorts() {
  // The list of every DOS device name can be long; grow until it fits.
  std::vector<char> names(16 * 1024);
  DWORD length = 0;
  while ((length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= 4 * 1024 * 1024) return {};
    names.resize(names.size() * 2);
  }
  std::vector<std::pair<int, std::string>> ports;
  for (std::size_t i = 0; i < length && names[i] != '\0';) {
    const std::string name(names.data() + i);
    i += name.size() + 1;
    if (const auto number = PortNumber(name, "COM")) ports.emplace_back(*number, name);
  }
  std::sort(ports.begin(), ports.end());
  std::vector<std::string> result;
  for (auto& port : ports) result.push_back(std::move(port.second));
  return result;
}

}  // namespace

#else

std::vector<std::string> SerialDevicesIn(const std::filesystem::path& folder) {
  // Most likely a board first: USB serial adapters, then USB modems (the
  // boards with native USB), then the built-in ports.
  constexpr std::string_view kPrefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
  std::vector<std::tuple<std::size_t, int, std::string>> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    for (std::size_t group = 0; group < std::size(kPrefixes); ++group) {
      if (const auto number = PortNumber(name, kPrefixes[group])) {
        found.emplace_back(group, *number, entry.path().string());
        break;
      }
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> result;
  for (auto& port : found) result.push_back(std::move(std::get<2>(port)));
  return result;
}

namespace {

std::vector<std::string> SystemPorts() { return SerialDevicesIn("/dev"); }

}  // namespace

#endif

std::vector<std::string> AvailablePorts() {
  std::vector<std::string> ports = SystemPorts();
  for (const std::string_view sim : kSimulatedPorts) ports.emplace_back(sim);
  return ports;
}

}  // namespace vertolin
