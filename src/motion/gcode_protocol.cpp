#include "motion/gcode_protocol.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "util/numbers.h"

namespace vertolin {

namespace {

// A feed as few characters as three decimals allow: "600", "79.057".
std::string FeedText(double mmPerMinute) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", mmPerMinute);
  std::string feed(text);
  while (feed.back() == '0') feed.pop_back();
  if (feed.back() == '.') feed.pop_back();
  return feed;
}

void AppendLines(std::string_view text, std::vector<std::string>& lines) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::string GcodeWriter::Millimetres(std::int64_t thousandths) {
  const std::uint64_t magnitude = thousandths < 0 ? 0 - static_cast<std::uint64_t>(thousandths)
                                                  : thousandths;
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", thousandths < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned long long>(magnitude % 1000));
  return text;
}

std::int32_t GcodeWriter::RasterPower(std::int32_t delay, std::int32_t fullPowerDelay,
                                      std::int32_t maxPower) {
  if (delay <= 0) return 0;
  // A raster whose darkest delay is 0 has nothing darker to scale by.
  if (fullPowerDelay <= 0) return maxPower;
  const double power = RoundHalfEven(static_cast<double>(maxPower) * delay / fullPowerDelay);
  return static_cast<std::int32_t>(std::clamp(power, 0.0, static_cast<double>(maxPower)));
}

std::string GcodeWriter::Opening() const {
  std::string text = "G21 G90\n";
  if (options_.spindleSpeed > 0) text += "M3 S" + std::to_string(options_.spindleSpeed) + "\n";
  return text;
}

std::string GcodeWriter::AxisText(int axis, std::int64_t steps) const {
  const double mm = static_cast<double>(steps) * options_.mmPerStep[static_cast<std::size_t>(axis)];
  return Millimetres(std::llround(mm * 1000));
}

std::array<std::int64_t, 3> GcodeWriter::Target() const { return TargetAfter({}); }

std::array<std::int64_t, 3> GcodeWriter::TargetAfter(const Motion& motion) const {
  std::array<std::int64_t, 3> target{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const auto steps = static_cast<double>(at_[axis] + motion.steps[axis]);
    target[axis] = std::llround(steps * options_.mmPerStep[axis] * 1000);
  }
  return target;
}

void GcodeWriter::Rebase() {
  at_ = {};
  axisText_ = {"0.000", "0.000", "0.000"};
}

void GcodeWriter::ForgetModes() {
  motionMode_.clear();
  feed_.clear();
  power_ = -1;
}

std::string GcodeWriter::TimedFeed(const Motion& motion) const {
  double squares = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double mm = motion.steps[axis] * options_.mmPerStep[axis];
    squares += mm * mm;
  }
  // The native line's time: its largest axis at its step delay.
  const double micros =
      static_cast<double>(motion.LargestSteps()) *
      static_cast<double>(std::max<std::int64_t>(motion.StepDelay(options_.idleDelay), 1));
  return FeedText(std::sqrt(squares) / micros * 60e6);
}

void GcodeWriter::Add(const Motion& motion, std::string& out) {
  switch (motion.kind) {
    case MotionKind::ToolOn:
      Flush(out);
      laserOn_ = true;
      power_ = options_.laserPower;
      out += "M4 S" + std::to_string(options_.laserPower) + "\n";
      break;
    case MotionKind::ToolOff:
      Flush(out);
      laserOn_ = false;
      out += "M5\n";
      break;
    case MotionKind::RasterOpen:
      // The raster's travel and burns are one constant feed at varying power.
      Flush(out);
      raster_ = true;
      laserOn_ = true;
      fullPowerDelay_ = motion.delay;
      power_ = 0;
      out += "M4 S0\n";
      break;
    case MotionKind::Probe: {
      Flush(out);
      const std::int64_t depth = std::llround(options_.probeDepth * 1000);
      const std::string z = AxisText(2, at_[2]);
      const std::int64_t zThousandths =
          std::llround(static_cast<double>(at_[2]) * options_.mmPerStep[2] * 1000);
      feed_ = FeedText(options_.probeFeed);
      out += "G38.2 Z" + Millimetres(zThousandths - depth) + " F" + feed_ + "\n";
      // Up again to where it went down from, before the travel to the next node.
      out += "G0 Z" + z + "\n";
      motionMode_ = "G0";
      axisText_[2] = z;
      break;
    }
    default:
      break;
  }
  AddMove(motion, out);
  if (!merge_) Flush(out);
}

void GcodeWriter::AddMove(const Motion& motion, std::string& out) {
  if (!motion.Moves()) return;  // a pause of no steps takes no time
  Move move;
  move.from = at_;
  for (std::size_t axis = 0; axis < 3; ++axis) at_[axis] += motion.steps[axis];
  move.to = at_;
  const bool inRaster = raster_ &&
                        (motion.kind == MotionKind::Travel || motion.kind == MotionKind::Burn);
  if (inRaster) {
    move.feed = FeedText(options_.rasterFeed);
    move.power = motion.kind == MotionKind::Burn
                     ? RasterPower(motion.delay, fullPowerDelay_, options_.maxPower)
                     : 0;
  } else {
    // A rapid never runs with the laser lit or with the cutter below the start.
    move.rapid = motion.kind == MotionKind::Travel && !laserOn_ && move.from[2] >= 0 &&
                 move.to[2] >= 0;
    if (!move.rapid) move.feed = TimedFeed(motion);
  }
  if (held_ && Continues(*held_, move)) {
    held_->to = move.to;
    return;
  }
  Flush(out);
  held_ = std::move(move);
}

bool GcodeWriter::Continues(const Move& held, const Move& next) {
  if (held.rapid != next.rapid || held.feed != next.feed || held.power != next.power) return false;
  std::array<long double, 3> a{};
  std::array<long double, 3> b{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    a[axis] = static_cast<long double>(held.to[axis] - held.from[axis]);
    b[axis] = static_cast<long double>(next.to[axis] - next.from[axis]);
  }
  // The same direction: no cross product, and not backwards.
  const bool parallel = a[1] * b[2] == a[2] * b[1] && a[2] * b[0] == a[0] * b[2] &&
                        a[0] * b[1] == a[1] * b[0];
  return parallel && a[0] * b[0] + a[1] * b[1] + a[2] * b[2] > 0;
}

void GcodeWriter::Flush(std::string& out) {
  if (held_) Write(*std::exchange(held_, std::nullopt), out);
}

void GcodeWriter::Write(const Move& move, std::string& out) {
  static constexpr char kAxes[3] = {'X', 'Y', 'Z'};
  std::string words;
  for (int axis = 0; axis < 3; ++axis) {
    std::string text = AxisText(axis, move.to[static_cast<std::size_t>(axis)]);
    if (text == axisText_[static_cast<std::size_t>(axis)]) continue;
    words += ' ';
    words += kAxes[axis];
    words += text;
    axisText_[static_cast<std::size_t>(axis)] = std::move(text);
  }
  if (words.empty()) {
    // Shorter than a thousandth on every axis: the next block takes it along,
    // or, on the wire, where every motion is a line, a move of no length.
    if (merge_) return;
    words = " X" + axisText_[0];
  }
  const std::string mode = move.rapid ? "G0" : "G1";
  std::string block;
  if (mode != motionMode_) block = mode;
  motionMode_ = mode;
  block += words;
  if (!move.rapid && move.feed != feed_) {
    block += " F" + move.feed;
    feed_ = move.feed;
  }
  if (move.power >= 0 && move.power != power_) {
    block += " S" + std::to_string(move.power);
    power_ = move.power;
  }
  if (block.front() == ' ') block.erase(0, 1);
  if (!move.rapid && ((laserOn_ && power_ > 0) || move.to[2] < 0)) ++workBlocks_;
  out += block;
  out += '\n';
}

void GcodeWriter::Close(std::string& out) {
  Flush(out);
  out += "M5\nM2\n";
  laserOn_ = false;
}

GcodeProtocol::GcodeProtocol(const GcodeOptions& options)
    : writer_(options, false), laserOn_("M4 S" + std::to_string(options.laserPower)) {}

std::optional<std::string> GcodeProtocol::Encode(const Motion& motion, std::int32_t) {
  std::string text;
  writer_.Add(motion, text);
  if (text.empty()) return std::nullopt;
  text.pop_back();  // the link ends its lines itself
  return text;
}

std::vector<std::string> GcodeProtocol::Opening() {
  std::vector<std::string> lines;
  AppendLines(writer_.Opening(), lines);
  return lines;
}

std::vector<std::string> GcodeProtocol::Closing() {
  std::string text;
  writer_.Close(text);
  text.pop_back();
  std::vector<std::string> lines;
  AppendLines(text, lines);
  return lines;
}

}  // namespace vertolin
