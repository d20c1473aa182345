#include "settings/machine_profile.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "util/frontend.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kDefaultRatio = "0.005";
constexpr std::string_view kDefaultDelay = "2000";
constexpr std::string_view kDefaultOptim = "0";
constexpr std::string_view kDefaultPort = "com1";
constexpr std::string_view kDefaultSpeed = "9600";
constexpr std::int32_t kFallbackBaud = 9600;

constexpr std::string_view kNotANumber = "не является числом";
constexpr std::string_view kZero = "равно нулю";

// What the person knows a key by ("Настройка" shows it so), for the
// messages; a key without such a name is named as it is in the file.
std::string KeyCaption(std::string_view key) {
  struct Named {
    std::string_view key;
    std::string_view caption;
  };
  constexpr Named kNamed[] = {
      {"SM_X_ratio", "Передаточное число оси X (мм на шаг)"},
      {"SM_Y_ratio", "Передаточное число оси Y (мм на шаг)"},
      {"SM_Z_ratio", "Передаточное число оси Z (мм на шаг)"},
      {"SM_delay", "Задержка между шагами (микросекунд)"},
      {"SM_optim", "Оптимизация"},
      {"speed", "Скорость порта (бод)"},
  };
  for (const Named& named : kNamed) {
    if (named.key == key) return std::string(named.caption);
  }
  return "Значение ключа " + std::string(key);
}

// Collects the keys whose values were replaced by defaults, so the person is
// told once about all of them rather than once per key.
class Complaints {
 public:
  explicit Complaints(std::string fileText) : fileText_(std::move(fileText)) {}

  void Add(std::string_view key, std::string_view value, std::string_view problem,
           std::string_view defaultText) {
    std::string text = KeyCaption(key);
    text += " в файле " + fileText_ + " («";
    text += value;
    text += "») ";
    text += problem;
    text += ".\r\nИспользуется значение по умолчанию: ";
    text += defaultText;
    text += ".";
    texts_.push_back(std::move(text));
  }

  void Show(Frontend& frontend) const {
    if (texts_.empty()) return;
    std::string message;
    for (const std::string& text : texts_) {
      if (!message.empty()) message += "\r\n";
      message += text;
    }
    frontend.ShowMessage("Ошибка", message);
  }

 private:
  std::string fileText_;
  std::vector<std::string> texts_;
};

double ReadRatio(const SettingsStore& settings, std::string_view key, Complaints& complaints) {
  const std::string text = settings.ReadSetting(key, kDefaultRatio);
  const std::optional<double> value = ParseNumber(text);
  // A zero ratio would divide every move by zero.
  if (value && *value != 0) return *value;
  complaints.Add(key, text, value ? kZero : kNotANumber, kDefaultRatio);
  return *ParseNumber(kDefaultRatio);
}

std::int32_t ReadInt(const SettingsStore& settings, std::string_view key,
                     std::string_view defaultText, Complaints& complaints) {
  const std::string text = settings.ReadSetting(key, defaultText);
  if (const auto number = ParseNumber(text)) {
    if (const auto value = RoundToInt32(*number)) return *value;
  }
  complaints.Add(key, text, kNotANumber, defaultText);
  return *RoundToInt32(*ParseNumber(defaultText));
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kNotProtocol = "не native и не grbl";
constexpr std::string_view kNotPositive = "должно быть числом больше нуля";
constexpr std::string_view kNotWhole = "должно быть целым числом не меньше нуля";

// The G-code keys: what each may hold and its default.
enum class GrblRule { Positive, WholePositive, Whole, WholeOrEmpty };
struct GrblKey {
  std::string_view key;
  GrblRule rule;
  std::string_view fallback;
};
constexpr GrblKey kGrblMaxPower{"grbl_S_max", GrblRule::WholePositive, "1000"};
constexpr GrblKey kGrblLaserPower{"grbl_laser_power", GrblRule::WholeOrEmpty, ""};
constexpr GrblKey kGrblRasterFeed{"grbl_raster_feed", GrblRule::Positive, "1000"};
constexpr GrblKey kGrblSpindleSpeed{"grbl_spindle_speed", GrblRule::Whole, "0"};
constexpr GrblKey kGrblProbeDepth{"grbl_probe_depth", GrblRule::Positive, "5"};
constexpr GrblKey kGrblProbeFeed{"grbl_probe_feed", GrblRule::Positive, "100"};
constexpr GrblKey kGrblKeys[] = {kGrblMaxPower,     kGrblLaserPower, kGrblRasterFeed,
                                 kGrblSpindleSpeed, kGrblProbeDepth, kGrblProbeFeed};

std::optional<std::string_view> GrblValueProblem(GrblRule rule, std::string_view value) {
  if (rule == GrblRule::WholeOrEmpty && value.empty()) return std::nullopt;
  const std::optional<double> number = ParseNumber(value);
  if (!number) return kNotANumber;
  if (rule == GrblRule::Positive) {
    if (*number > 0 && std::isfinite(*number)) return std::nullopt;
    return kNotPositive;
  }
  const bool whole = *number >= 0 && RoundHalfEven(*number) == *number && RoundToInt32(*number);
  if (!whole) return kNotWhole;
  if (rule == GrblRule::WholePositive && *number == 0) return kNotPositive;
  return std::nullopt;
}

double ReadGrbl(const SettingsStore& settings, const GrblKey& key, Complaints& complaints) {
  std::string text = settings.ReadSetting(key.key, key.fallback);
  if (const auto problem = GrblValueProblem(key.rule, text)) {
    complaints.Add(key.key, text, *problem, key.fallback.empty() ? "нет" : key.fallback);
    text = key.fallback;
  }
  return ParseNumber(text).value_or(-1);  // -1: empty, where empty is allowed
}

}  // namespace

std::optional<BoardProtocol> ParseBoardProtocol(std::string_view value) {
  if (SameKey(value, "native")) return BoardProtocol::Native;
  if (SameKey(value, "grbl")) return BoardProtocol::Grbl;
  return std::nullopt;
}

std::optional<std::string> ProfileValueProblem(std::string_view key, std::string_view value) {
  const std::optional<double> number = ParseNumber(value);
  for (const std::string_view ratio : {"SM_X_ratio", "SM_Y_ratio", "SM_Z_ratio"}) {
    if (!SameKey(key, ratio)) continue;
    if (!number) return std::string(kNotANumber);
    if (*number == 0) return std::string(kZero);
    return std::nullopt;
  }
  for (const std::string_view whole : {"SM_delay", "SM_optim", "speed"}) {
    if (!SameKey(key, whole)) continue;
    if (!number || !RoundToInt32(*number)) return std::string(kNotANumber);
    return std::nullopt;
  }
  if (SameKey(key, "Protocol")) {
    if (ParseBoardProtocol(value)) return std::nullopt;
    return std::string(kNotProtocol);
  }
  for (const GrblKey& grbl : kGrblKeys) {
    if (!SameKey(key, grbl.key)) continue;
    if (const auto problem = GrblValueProblem(grbl.rule, value)) return std::string(*problem);
    return std::nullopt;
  }
  return std::nullopt;
}

MachineProfile LoadMachineProfile(const SettingsStore& settings, Frontend& frontend) {
  Complaints complaints(PathText(settings.path()));
  MachineProfile profile;
  profile.xRatio = ReadRatio(settings, "SM_X_ratio", complaints);
  profile.yRatio = ReadRatio(settings, "SM_Y_ratio", complaints);
  profile.zRatio = ReadRatio(settings, "SM_Z_ratio", complaints);
  profile.idleDelay = ReadInt(settings, "SM_delay", kDefaultDelay, complaints);
  profile.optim = ReadInt(settings, "SM_optim", kDefaultOptim, complaints);
  profile.port = settings.ReadSetting("Port", kDefaultPort);
  profile.baud = ReadInt(settings, "speed", kDefaultSpeed, complaints);
  // A speed of 0 asks for the usual one.
  if (profile.baud == 0) profile.baud = kFallbackBaud;
  const std::string protocol = settings.ReadSetting("Protocol", "native");
  if (const auto chosen = ParseBoardProtocol(protocol)) {
    profile.protocol = *chosen;
  } else {
    complaints.Add("Protocol", protocol, kNotProtocol, "native");
  }
  GrblProfile& grbl = profile.grbl;
  grbl.maxPower = static_cast<std::int32_t>(ReadGrbl(settings, kGrblMaxPower, complaints));
  if (const double power = ReadGrbl(settings, kGrblLaserPower, complaints); power >= 0)
    grbl.laserPower = static_cast<std::int32_t>(power);
  grbl.rasterFeed = ReadGrbl(settings, kGrblRasterFeed, complaints);
  grbl.spindleSpeed = static_cast<std::int32_t>(ReadGrbl(settings, kGrblSpindleSpeed, complaints));
  grbl.probeDepth = ReadGrbl(settings, kGrblProbeDepth, complaints);
  grbl.probeFeed = ReadGrbl(settings, kGrblProbeFeed, complaints);
  complaints.Show(frontend);
  return profile;
}

}  // namespace vertolin
