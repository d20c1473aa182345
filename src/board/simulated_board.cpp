#include "board/simulated_board.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <utility>

namespace vertolin {

namespace {

using Fields = std::vector<std::optional<std::int64_t>>;

// A partial line longer than this is not something the PC sends; keeping
// only its start bounds the memory a runaway sender can take.
constexpr std::size_t kMaxLine = 256;

// Babble goes out in small bursts, as a confused board's would.
constexpr std::size_t kBabbleBurst = 64;
// Never a "T", and no digits either, so it cannot pass for a measurement.
constexpr std::string_view kBabble = "#?~*!.@%&=<>";

constexpr std::string_view kPauseLaserOff = "0,0,-1";
constexpr std::string_view kPauseLaserOn = "0,0,1";

// The third field of a scanner line that asks for a measurement.
constexpr std::int64_t kProbeRequest = 200;

// Splits "a,b,,c" into fields; nothing when a field is not a plain signed
// decimal integer that fits in 64 bits.
std::optional<Fields> ParseFields(std::string_view body) {
  Fields fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = body.find(',', start);
    const std::string_view field = body.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (field.empty()) {
      fields.emplace_back();
    } else {
      std::int64_t value = 0;
      const char* end = field.data() + field.size();
      const auto [ptr, ec] = std::from_chars(field.data(), end, value);
      if (ec != std::errc() || ptr != end) return std::nullopt;
      fields.emplace_back(value);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::int64_t Field(const Fields& fields, std::size_t index) {
  return index < fields.size() ? fields[index].value_or(0) : 0;
}

bool Present(const Fields& fields, std::size_t index) {
  return index < fields.size() && fields[index].has_value();
}

// Positions saturate instead of overflowing: hostile input must not be
// undefined behaviour.
std::int64_t AddSaturating(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max()
               : std::numeric_limits<std::int64_t>::min();
}

// A gentle ridged surface: a triangle wave across a diagonal, so neighbouring
// probes differ little and every answer lies in 100..500.
std::int64_t DefaultHeight(std::int64_t x, std::int64_t y) {
  const std::int64_t along = x / 37 + y / 53 * 2;
  const std::int64_t phase = ((along % 800) + 800) % 800;
  return 100 + (phase < 400 ? phase : 800 - phase);
}

bool IsPauseLine(std::string_view text) { return text == kPauseLaserOff || text == kPauseLaserOn; }

}  // namespace

SimulatedBoard::SimulatedBoard(char kind, BoardFaults faults)
    : kind_(kind), faults_(std::move(faults)), height_(DefaultHeight) {
  UpdateDropped();
}

void SimulatedBoard::Receive(std::string_view bytes, Clock::time_point now) {
  if (bytes.empty()) return;
  lastSeen_ = std::max(lastSeen_, now);
  // A pause line whose silence ran out before these bytes came is complete:
  // the new bytes start the next line rather than spoil it.
  CompletePauseLine(now);
  // Paced, the bytes come one after another at the line's speed, behind any
  // still on their way; a command is whole when its ";" has come.
  const Clock::time_point wireStart = faults_.pace ? std::max(now, wireFree_) : now;
  const auto arrival = [&](std::size_t count) {
    return faults_.pace ? wireStart + WireTime(count) : now;
  };
  wireFree_ = arrival(bytes.size());
  lastReceive_ = wireFree_;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (TakingNoMore()) break;
    if (c == ';') {
      std::string text = std::move(partial_);
      partial_.clear();
      if (!overlong_) text.push_back(';');
      overlong_ = false;
      Execute(std::move(text), arrival(i + 1));
    } else if (partial_.size() < kMaxLine) {
      partial_.push_back(c);
    } else {
      overlong_ = true;
    }
  }
}

std::string SimulatedBoard::TakeOutput(Clock::time_point now, std::size_t max) {
  lastSeen_ = std::max(lastSeen_, now);
  CompletePauseLine(now);
  std::string out;
  if (dropped_) return out;
  if (Babbling()) {
    const std::size_t count = std::min(max, kBabbleBurst);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      out.push_back(kBabble[babbleIndex_]);
      babbleIndex_ = (babbleIndex_ + 1) % kBabble.size();
    }
    return out;
  }
  std::size_t done = 0;
  while (done < pending_.size() && pending_[done].due <= now && out.size() < max) {
    std::string& bytes = pending_[done].bytes;
    const std::size_t room = max - out.size();
    if (bytes.size() <= room) {
      out += bytes;
      ++done;
    } else {
      out.append(bytes, 0, room);
      bytes.erase(0, room);
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
  UpdateDropped();
  return out;
}

std::optional<SimulatedBoard::Clock::time_point> SimulatedBoard::NextEventTime() const {
  if (dropped_) return std::nullopt;
  if (Babbling()) return lastSeen_;
  std::optional<Clock::time_point> next;
  if (!pending_.empty()) next = pending_.front().due;
  if (PauseLineWaiting()) {
    const auto complete = lastReceive_ + kPauseLineSilence;
    if (!next || complete < *next) next = complete;
  }
  return next;
}

bool SimulatedBoard::LineDropped() const { return dropped_; }

void SimulatedBoard::SetHeightFunction(HeightFunction height) {
  height_ = height ? std::move(height) : HeightFunction(DefaultHeight);
}

char SimulatedBoard::kind() const { return kind_; }

std::array<std::int64_t, 3> SimulatedBoard::Position() const { return position_; }

bool SimulatedBoard::LaserOn() const { return laserOn_; }

const std::vector<BoardCommand>& SimulatedBoard::Record() const { return record_; }

bool SimulatedBoard::Silenced() const {
  return (faults_.silent || faults_.babble) && commands_ > faults_.faultAfter;
}

bool SimulatedBoard::Babbling() const {
  // Starts once the answers owed before it are out, so they stay whole.
  return faults_.babble && !TakingNoMore() && commands_ >= faults_.faultAfter && pending_.empty();
}

bool SimulatedBoard::TakingNoMore() const {
  return faults_.dropAfter >= 0 && commands_ >= faults_.dropAfter;
}

void SimulatedBoard::UpdateDropped() {
  // The commands before the drop are answered in full; the line goes once
  // the last of those answers is out.
  if (TakingNoMore() && pending_.empty()) dropped_ = true;
}

bool SimulatedBoard::PauseLineWaiting() const {
  return (kind_ == 'P' || kind_ == 'O') && !overlong_ && !TakingNoMore() && IsPauseLine(partial_);
}

void SimulatedBoard::CompletePauseLine(Clock::time_point now) {
  if (!PauseLineWaiting()) return;
  const auto complete = lastReceive_ + kPauseLineSilence;
  if (now < complete) return;
  std::string text = std::move(partial_);
  partial_.clear();
  Execute(std::move(text), complete);
}

void SimulatedBoard::Execute(std::string text, Clock::time_point now) {
  ++commands_;
  BoardCommand command;
  const bool terminated = !text.empty() && text.back() == ';';
  const std::string_view body(text.data(), text.size() - (terminated ? 1 : 0));

  std::string reply;
  bool acknowledge = true;
  // What the command asks the motors for: the largest axis step count at a
  // step delay in µs (0: the idle delay).
  std::int64_t steps = 0;
  std::int64_t delay = 0;
  const auto most = [&](std::initializer_list<std::int64_t> axes) {
    for (const std::int64_t axis : axes) {
      // The most negative value has no magnitude that fits; the largest will do.
      const std::int64_t size = axis == std::numeric_limits<std::int64_t>::min()
                                    ? std::numeric_limits<std::int64_t>::max()
                                    : std::abs(axis);
      steps = std::max(steps, size);
    }
  };
  if (text == "V;") {
    // Identification starts a new session: whatever mode a job left behind ends.
    raster_ = false;
    reply.push_back(kind_);
  } else if (auto fields = terminated || IsPauseLine(body) ? ParseFields(body) : std::nullopt) {
    command.fields = std::move(*fields);
    const Fields& f = command.fields;
    const auto moveXY = [&] {
      position_[0] = AddSaturating(position_[0], Field(f, 0));
      position_[1] = AddSaturating(position_[1], Field(f, 1));
    };
    // A raster line has three fields at most; a longer one means the PC has
    // gone back to outlines or manual moves.
    const auto rasterLine = [&] {
      if (!raster_ || f.size() > 3) {
        raster_ = false;
        return false;
      }
      moveXY();
      // The PC sends a raster move in motor steps (its pixels times the steps
      // per pixel of the opening line); a burn goes at its own delay, travel
      // at the idle delay the opening line gave.
      const std::int64_t value = Field(f, 2);
      command.burn = value > 0;
      command.burnDelay = command.burn ? value : 0;
      laserOn_ = command.burn;
      most({Field(f, 0), Field(f, 1)});
      delay = command.burn ? value : rasterIdle_;
      return true;
    };

    if (!terminated) {
      // Pause lines switch the laser whatever mode the board is in.
      laserOn_ = Field(f, 2) > 0;
    } else if (kind_ == 'M') {
      moveXY();
      position_[2] = AddSaturating(position_[2], Field(f, 2));
      most({Field(f, 0), Field(f, 1), Field(f, 2)});
      delay = Field(f, 3);
    } else if (kind_ == 'S') {
      moveXY();
      most({Field(f, 0), Field(f, 1)});
      if (Field(f, 2) == kProbeRequest) {
        acknowledge = false;
        reply = std::to_string(std::max<std::int64_t>(0, height_(position_[0], position_[1]))) +
                "OK";
      }
    } else if (kind_ == 'P' || kind_ == 'O') {
      if (f.size() >= 4 && !Present(f, 0) && !Present(f, 1) && !Present(f, 2) && Present(f, 3)) {
        // ",,,k,d;": the raster at k steps per pixel, travel at d.
        raster_ = true;
        rasterIdle_ = Field(f, 4);
        laserOn_ = false;
      } else if (!rasterLine()) {
        // "x,y,l,d;" with trailing fields left out: the third is a switch, not an axis.
        moveXY();
        const std::int64_t laser = Field(f, 2);
        if (laser != 0) laserOn_ = laser > 0;
        most({Field(f, 0), Field(f, 1)});
        delay = Field(f, 3);
      }
    } else if (kind_ == 'B') {
      if (f.size() == 3 && !Present(f, 0) && !Present(f, 1) && Present(f, 2)) {
        raster_ = true;
        rasterIdle_ = Field(f, 2);
        laserOn_ = false;
      } else if (!rasterLine()) {
        moveXY();
        most({Field(f, 0), Field(f, 1)});
      }
    } else {
      moveXY();
      most({Field(f, 0), Field(f, 1)});
    }
  }
  // Lines that do not parse are acknowledged all the same: a board that kept
  // quiet would leave the PC waiting for ever. They are recorded without fields.

  command.positionAfter = position_;
  command.laserOn = laserOn_;
  command.text = std::move(text);
  record_.push_back(std::move(command));

  if (acknowledge) {
    reply = faults_.garbageBeforeAck + reply;
    reply.push_back('T');
  }
  Reply(std::move(reply), Stepped(now, steps, delay));
  UpdateDropped();
}

SimulatedBoard::Clock::time_point SimulatedBoard::Stepped(Clock::time_point arrived,
                                                          std::int64_t steps, std::int64_t delay) {
  if (!faults_.pace) return arrived;
  if (delay <= 0) delay = faults_.idleDelay;
  // Hostile numbers must not overflow the clock: no line steps longer than this.
  constexpr std::int64_t kLongestMicroseconds = std::int64_t{3600} * 1'000'000;
  std::int64_t micros = 0;
  if (__builtin_mul_overflow(steps, std::max<std::int64_t>(delay, 0), &micros) ||
      micros > kLongestMicroseconds) {
    micros = kLongestMicroseconds;
  }
  busyUntil_ = std::max(arrived, busyUntil_) + std::chrono::microseconds(micros);
  return busyUntil_;
}

SimulatedBoard::Clock::duration SimulatedBoard::WireTime(std::size_t bytes) const {
  if (faults_.baud <= 0) return {};
  // Counted from the first byte, so that rounding never adds up.
  const auto bits = static_cast<std::int64_t>(bytes) * 10;
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(bits * std::int64_t{1'000'000'000} / faults_.baud));
}

void SimulatedBoard::Reply(std::string bytes, Clock::time_point now) {
  if (Silenced()) return;
  if (faults_.crlf) bytes += "\r\n";
  auto due = now + faults_.replyDelay;
  // Replies keep their order even if the caller's clock steps back.
  if (!pending_.empty()) due = std::max(due, pending_.back().due);
  pending_.push_back({due, std::move(bytes)});
}

}  // namespace vertolin
