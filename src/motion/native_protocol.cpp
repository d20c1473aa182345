#include "motion/native_protocol.h"

#include "util/numbers.h"

namespace vertolin {

std::string CommandLine(std::initializer_list<std::optional<std::int64_t>> fields) {
  std::string line;
  line.reserve(fields.size() * 8);
  bool first = true;
  for (const auto& field : fields) {
    if (!first) line.push_back(',');
    first = false;
    if (field) line += IntText(*field);
  }
  line.push_back(';');
  return line;
}

std::string WithoutTrailingZeros(std::string line) {
  constexpr std::string_view kZeroTail = ",0;";
  for (int i = 0; i < 4 && line.ends_with(kZeroTail); ++i) {
    line.replace(line.size() - kZeroTail.size(), kZeroTail.size(), ";");
  }
  return line;
}

std::optional<std::string> PositioningMoveText(char kindLetter, std::int32_t x, std::int32_t y,
                                               std::int32_t z, std::int32_t delay) {
  switch (kindLetter) {
    case 'M':
      return CommandLine({x, y, z, delay});
    case 'P':
      return CommandLine({x, y, std::nullopt, std::nullopt, delay});
    case 'S':
    case 'O':
    case 'B':
      return CommandLine({x, y, std::nullopt, delay});
    default:
      return std::nullopt;
  }
}

std::optional<std::string> NativeProtocol::EncodeJog(const Motion& motion,
                                                     std::int32_t idle) const {
  const auto [x, y, z] = motion.steps;
  switch (dialect_.jog) {
    case NativeDialect::Jog::WithIdleDelay:
      return CommandLine({x, y, z, idle});
    case NativeDialect::Jog::ByKindLetter:
      return PositioningMoveText(kind_, x, y, z, idle);
    case NativeDialect::Jog::Plain:
      break;
  }
  // These boards have no Z: their third field switches the laser, sets the
  // raster's burn delay or asks for a probe, none of which a move by hand
  // may do.
  return CommandLine({x, y, 0});
}

std::optional<std::string> NativeProtocol::Encode(const Motion& motion, std::int32_t idle) {
  if (motion.kind == MotionKind::Jog) return EncodeJog(motion, idle);
  const auto [x, y, z] = motion.steps;
  switch (dialect_.steps) {
    case NativeDialect::Steps::XYZDelay:
      if (!motion.Moves() && motion.delay <= 0) return std::nullopt;
      return CommandLine({x, y, z, motion.delay});
    case NativeDialect::Steps::LaserCompact: {
      // The third field is the laser's switch; the laser has no Z.
      const std::int32_t laser = motion.kind == MotionKind::ToolOn    ? 1
                                 : motion.kind == MotionKind::ToolOff ? -1
                                                                      : 0;
      if (laser == 0 && x == 0 && y == 0 && motion.delay <= 0) return std::nullopt;
      return WithoutTrailingZeros(CommandLine({x, y, laser, motion.delay}));
    }
    case NativeDialect::Steps::XYValue:
      if (motion.kind == MotionKind::RasterOpen) {
        // The laser takes its whole steps per pixel; the hot wire only its delay.
        if (motion.value != 0)
          return CommandLine({std::nullopt, std::nullopt, std::nullopt, motion.value, idle});
        return CommandLine({std::nullopt, std::nullopt, idle});
      }
      return CommandLine({x, y, motion.delay});
    case NativeDialect::Steps::XYProbe:
      if (motion.kind == MotionKind::Probe) {
        return CommandLine({x, y, -2 * static_cast<std::int64_t>(motion.value)});
      }
      return CommandLine({x, y, 0});
  }
  return std::nullopt;
}

std::string_view NativeProtocol::IdentifyQuery() const { return kIdentify; }

std::string_view NativeProtocol::LaserPauseLine(bool on) const {
  return on ? kLaserOnPause : kLaserOffPause;
}

}  // namespace vertolin
