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

struct MachineProfile {
  double xRatio = 0.005;  // mm per step; negative reverses the axis
  double yRatio = 0.005;
  double zRatio = 0.005;
  std::int32_t idleDelay = 2000;  // µs between steps of positioning moves
  std::int32_t optim = 0;         // 1: send the next job command before the last is acknowledged
  std::string port = "com1";
  std::int32_t baud = 9600;

  bool Optimised() const { return optim == 1; }
};

// Reads SM_X_ratio, SM_Y_ratio, SM_Z_ratio, SM_delay, SM_optim, Port and speed
// in that order. A value that does not convert (or a ratio of 0) falls back to
// its default, and the person gets one message naming each such key.
MachineProfile LoadMachineProfile(const SettingsStore& settings, Frontend& frontend);

// Why `value` cannot stand for the profile key `key` (matched without regard
// to case), such as "не является числом"; nothing when it can, or when the
// key is not one of the profile's numbers.
std::optional<std::string> ProfileValueProblem(std::string_view key, std::string_view value);

}  // namespace vertolin
