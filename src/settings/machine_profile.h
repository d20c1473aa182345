// The machine calibration read once at start: millimetres per step, the idle
// step delay, optimisation mode, the port and its speed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

class Frontend;
class SettingsStore;

// How the board is spoken to (key Protocol): its own text lines, or G-code
// in grbl 1.1's dialect.
enum class BoardProtocol : std::uint8_t { Native, Grbl };

// What G-code needs beyond the motions (the grbl_* keys).
struct GrblProfile {
  std::int32_t maxPower = 1000;            // grbl_S_max: S of full power, grbl's $30
  std::optional<std::int32_t> laserPower;  // grbl_laser_power: outlines and cuts; none: maxPower
  double rasterFeed = 1000;                // grbl_raster_feed, mm/min
  std::int32_t spindleSpeed = 0;           // grbl_spindle_speed: M3 S… for milling; 0: none
  double probeDepth = 5;                   // grbl_probe_depth, mm below the start
  double probeFeed = 100;                  // grbl_probe_feed, mm/min

  std::int32_t LaserPower() const { return laserPower.value_or(maxPower); }
};

struct MachineProfile {
  double xRatio = 0.005;  // mm per step; negative reverses the axis
  double yRatio = 0.005;
  double zRatio = 0.005;
  std::int32_t idleDelay = 2000;  // µs between steps of positioning moves
  std::int32_t optim = 0;         // 1: send the next job command before the last is acknowledged
  std::string port = "com1";
  std::int32_t baud = 9600;
  BoardProtocol protocol = BoardProtocol::Native;
  GrblProfile grbl;

  bool Optimised() const { return optim == 1; }
};

// Reads SM_X_ratio, SM_Y_ratio, SM_Z_ratio, SM_delay, SM_optim, Port, speed,
// Protocol and the grbl_* keys in that order. A value that does not convert (or a ratio of 0) falls
// back to its default, and the person gets one message naming each such key.
MachineProfile LoadMachineProfile(const SettingsStore& settings, Frontend& frontend);

// Why `value` cannot stand for the profile key `key` (matched without regard
// to case), such as "не является числом"; nothing when it can, or when the
// key is not one of the profile's numbers.
std::optional<std::string> ProfileValueProblem(std::string_view key, std::string_view value);

// The Protocol key's value ("native", "grbl", any case); nothing for another.
std::optional<BoardProtocol> ParseBoardProtocol(std::string_view value);

}  // namespace vertolin
