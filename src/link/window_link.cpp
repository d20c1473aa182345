#include "link/window_link.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <utility>

#include "link/ack_wait.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/move_text.h"
#include "link/probe_reader.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool FitsInt32(std::int64_t value) { return value >= kInt32Min && value <= kInt32Max; }

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

std::int64_t Largest(std::int64_t x, std::int64_t y, std::int64_t z) {
  return std::max({std::abs(x), std::abs(y), std::abs(z)});
}

}  // namespace

std::optional<std::array<std::int32_t, 3>> MillimetresToSteps(const Link& link, double dx,
                                                              double dy, double dz) {
  const MachineProfile& profile = link.profile();
  const double ratios[3] = {profile.xRatio, profile.yRatio, profile.zRatio};
  const double distances[3] = {dx, dy, dz};
  std::array<std::int32_t, 3> steps{};
  for (int axis = 0; axis < 3; ++axis) {
    if (ratios[axis] == 0) return std::nullopt;
    const auto whole = RoundToInt32(distances[axis] / ratios[axis]);
    if (!whole) return std::nullopt;
    steps[axis] = *whole;
  }
  return steps;
}

WindowLink::WindowLink(Link& link, const LinkFormat& format) : link_(link), format_(format) {}

bool WindowLink::DriveOn() const {
  if (!format_.driveSwitch) return true;
  return driveOn_ && driveOn_();
}

void WindowLink::RefuseMove() {
  link_.frontend().ShowMessage(texts::kTitleError, texts::kMoveOutOfRange);
  throw MoveRefused();
}

void WindowLink::NoteLine(std::string_view text, std::chrono::microseconds stepTime) {
  lastLine_ = text;
  previousStepTime_ = lastStepTime_;
  lastStepTime_ = stepTime;
}

void WindowLink::WriteLine(std::string_view text, std::chrono::microseconds stepTime,
                           std::int64_t zSteps) {
  Emit(text, stepTime, Role::Extra, zSteps);
}

void WindowLink::WriteProgramLine(std::string_view text) {
  if (!Emit(text, {}, Role::Program)) replayedOpening_ = text;
}

bool WindowLink::Emit(std::string_view text, std::chrono::microseconds stepTime, Role role,
                      std::int64_t zSteps) {
  if (role == Role::Program) {
    ++programLines_;
    if (replayLeft_ > 0) {
      --replayLeft_;
      restorePending_ = true;
      // Done by the board before: it counts as acknowledged where it stands.
      programAcknowledged_ = programLines_;
      acknowledgedDepth_ = accounted_[2];
      return false;
    }
    if (restorePending_) RestoreToolState();
  }
  // Nothing sent without a port, so nothing will be acknowledged.
  if (link_.PortOpen()) {
    inFlight_.push_back(
        {role == Role::Program, role == Role::Program ? accounted_[2] : DepthInFlight() + zSteps});
  }
  NoteLine(text, stepTime);
  SerialWrite(link_, text);
  ++linesSent_;
  return true;
}

void WindowLink::Replay(std::int64_t lines, std::int64_t machineDepth) {
  replayLeft_ = std::max<std::int64_t>(0, lines);
  restorePending_ = false;
  machineDepth_ = accounted_[2] + machineDepth;  // depths count from the job's start
  replayedOpening_.clear();
}

void WindowLink::RestoreToolState() {
  restorePending_ = false;
  // The opening line's acknowledgement is collected by the next wait, as it
  // was when the job began; the others are waited for here, so that the tool
  // is where the job left it before the next line moves it.
  if (!replayedOpening_.empty()) {
    Emit(std::exchange(replayedOpening_, {}), {}, Role::Extra);
    return;
  }
  const std::int32_t idle = link_.profile().idleDelay;
  if (format_.stepText == LinkFormat::StepText::LaserCompact && laserLit_ &&
      !lastLaserOnLine_.empty()) {
    Emit(lastLaserOnLine_, {}, Role::Extra);
    WaitForAck();
  } else if (format_.stepText == LinkFormat::StepText::XYZDelay) {
    const std::int64_t dz = acknowledgedDepth_ - machineDepth_;
    if (dz == 0 || !FitsInt32(dz)) return;
    Emit(CommandLine({0, 0, dz, idle}), StepTime(std::abs(dz), idle), Role::Extra, dz);
    WaitForAck();
  }
}

void WindowLink::ArduinoMoveMM(double dx, double dy, double dz) {
  if (format_.readyGuard) {
    // A key repeat or click that arrives during a move is dropped, not queued.
    if (!ready_) return;
    ready_ = false;
  }
  struct ReadyAgain {
    WindowLink& window;
    ~ReadyAgain() {
      if (window.format_.readyGuard) window.ready_ = true;
    }
  } readyAgain{*this};

  const auto steps = MillimetresToSteps(link_, dx, dy, dz);
  if (!steps) RefuseMove();
  const auto [x, y, z] = *steps;
  const std::int32_t delay = link_.profile().idleDelay;

  std::string text;
  switch (format_.moveText) {
    case LinkFormat::MoveText::WithIdleDelay:
      text = CommandLine({x, y, z, delay});
      break;
    case LinkFormat::MoveText::ByKindLetter: {
      auto byKind = PositioningMoveText(kindLetter_, x, y, z, delay);
      if (!byKind) {
        link_.frontend().ShowMessage(
            texts::kTitleError,
            std::string("Плата ответила прошивкой «") + kindLetter_ +
                "», для которой перемещение не определено.\r\nКоманда не отправлена.");
        throw MoveRefused();
      }
      text = std::move(*byKind);
      break;
    }
    case LinkFormat::MoveText::Plain:
      text = CommandLine({x, y, z});
      break;
  }
  if (!link_.PortOpen()) return;
  NoteLine(text, StepTime(Largest(x, y, z), delay));
  inFlight_.push_back({false, DepthInFlight()});
  if (format_.checkedMoveWrite) {
    SerialWriteChecked(link_, text);
  } else {
    SerialWrite(link_, text);
  }
  AwaitAck();
}

std::array<std::int32_t, 3> WindowLink::CarrySteps(const std::array<double, 3>& displacement) {
  std::array<std::int32_t, 3> steps{};
  for (int axis = 0; axis < 3; ++axis) {
    const double exact = exact_[axis] + displacement[axis] + pending_[axis];
    const double step = RoundHalfEven(exact - static_cast<double>(accounted_[axis]));
    if (!std::isfinite(step) || step < kInt32Min || step > kInt32Max ||
        !FitsInt32(accounted_[axis] + static_cast<std::int64_t>(step))) {
      RefuseMove();
    }
    steps[axis] = static_cast<std::int32_t>(step);
  }
  // Taken only once the whole step is known to be sound.
  for (int axis = 0; axis < 3; ++axis) {
    exact_[axis] += displacement[axis] + pending_[axis];
    pending_[axis] = 0;
    // Accounted before anything is sent: a command once written counts even
    // when its wait then ends the job.
    accounted_[axis] += steps[axis];
  }
  return steps;
}

std::array<std::int32_t, 3> WindowLink::ScaledSteps(const JobStep& step, const StepScale& scale) {
  switch (format_.scaling) {
    case LinkFormat::Scaling::Carry: {
      // The laser's third value is its switch, not a distance.
      const bool laser = format_.stepText == LinkFormat::StepText::LaserCompact;
      return CarrySteps({step.dx * scale.x, step.dy * scale.y, laser ? 0.0 : step.third * scale.z});
    }
    case LinkFormat::Scaling::WholePerPixel: {
      const double x = step.dx * RoundHalfEven(scale.x);
      const double y = step.dy * RoundHalfEven(scale.y);
      if (!(std::abs(x) <= kInt32Max && std::abs(y) <= kInt32Max)) RefuseMove();
      return {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), 0};
    }
    case LinkFormat::Scaling::AsGiven:
      break;
  }
  return {step.dx, step.dy, 0};
}

void WindowLink::Checkpoint(bool wait) {
  link_.frontend().TakeInterrupts();
  if (!link_.StopRequested()) return;
  switch (format_.onStop) {
    case LinkFormat::OnStop::InterruptionDialog:
      if (prompt_ == nullptr || !prompt_->GoOn()) throw LinkError();
      link_.ClearStop();
      break;
    case LinkFormat::OnStop::Question:
      AskToStop();
      break;
    case LinkFormat::OnStop::LaserOffThenQuestion: {
      // Paused and lit again only when the lines sent have left the laser
      // on: after a stop it is off, although the job's last laser value
      // said "on", and going on must not light it for the next travel.
      const bool lit = DriveOn() && laserLit_ && !ToolStateOwed();
      if (lit) LaserPause(kLaserOffPause, wait);
      AskToStop();
      if (lit) LaserPause(kLaserOnPause, wait);
      break;
    }
    case LinkFormat::OnStop::EndAtOnce:
      throw LinkError();
    case LinkFormat::OnStop::None:
      break;
  }
}

void WindowLink::Send(const JobStep& step, const StepScale& scale, bool wait) {
  const auto [x, y, z] = ScaledSteps(step, scale);
  std::string text;
  switch (format_.stepText) {
    case LinkFormat::StepText::XYZDelay:
      if (!DriveOn() || (step.delay <= 0 && x == 0 && y == 0 && z == 0)) {
        if (replayLeft_ == 0 && (!link_.PortOpen() || link_.port()->TakesTime()))
          PauseOneMillisecond();
        return;
      }
      text = CommandLine({x, y, z, step.delay});
      break;
    case LinkFormat::StepText::LaserCompact:
      if (!DriveOn()) {
        // "Гравировать" cleared in the middle of a pass: the rest of the job
        // sends nothing, so the laser it lit must not burn on in one place.
        SwitchLaserOff();
        return;
      }
      if ((step.third == 0 && x == 0 && y == 0 && step.delay <= 0)) return;
      text = WithoutTrailingZeros(CommandLine({x, y, step.third, step.delay}));
      if (step.third > 0) lastLaserOnLine_ = text;
      break;
    case LinkFormat::StepText::XYValue:
      if (!DriveOn()) return;
      text = CommandLine({x, y, step.third});
      break;
    case LinkFormat::StepText::XYProbe:
      if (!DriveOn()) return;
      text = CommandLine({x, y, -2 * static_cast<std::int64_t>(step.third)});
      break;
  }
  // The firmware steps at the line's own delay, or its idle delay when the
  // line has none (travel moves of the raster, the probe).
  std::int64_t delay = link_.profile().idleDelay;
  if (format_.stepText == LinkFormat::StepText::XYValue)
    delay = std::max<std::int64_t>(delay, step.third);
  if (format_.stepText == LinkFormat::StepText::XYZDelay ||
      format_.stepText == LinkFormat::StepText::LaserCompact) {
    delay = std::max<std::int64_t>(delay, step.delay);
  }
  // Taken after the line: a resumed job's restore goes out before it, with
  // the laser as the lines replayed left it.
  const bool sent = Emit(text, StepTime(Largest(x, y, z), delay), Role::Program);
  if (step.third != 0 && format_.stepText == LinkFormat::StepText::LaserCompact)
    laserLit_ = step.third > 0;
  if (sent && wait) AwaitAck();
}

void WindowLink::AwaitOwedAck() {
  link_.frontend().TakeInterrupts();
  if (link_.StopRequested()) throw LinkError();
  // Owed by any line still in flight: also the raster's last line, whose own
  // wait took the acknowledgement of the line before it.
  if (!inFlight_.empty()) AwaitAck();
}

void WindowLink::LaserPause(std::string_view line, bool wait) {
  WriteLine(line);
  laserLit_ = line == kLaserOnPause;
  // This wait is part of the stop itself, so StopFlag does not end it.
  if (wait) WaitForAck();
}

void WindowLink::AskToStop() {
  if (link_.frontend().AskYesNo(texts::kTitleWarning, texts::kStopQuestion)) throw LinkError();
  link_.ClearStop();
}

void WindowLink::AwaitAck() {
  link_.frontend().TakeInterrupts();
  if (link_.StopRequested()) throw LinkError();
  if (!DriveOn()) return;  // a dry run sent nothing, so nothing is awaited
  if (format_.emptyReplyPerWait) reply_.Clear();
  WaitForAck();
}

void WindowLink::WaitForAck() {
  if (!link_.PortOpen()) return;  // nothing was sent, so nothing will come
  WaitForAcknowledgement(link_, reply_, abandoned_,
                         {linesSent_, lastLine_, lastStepTime_ + previousStepTime_});
  TakeAcknowledgement();
}

void WindowLink::TakeAcknowledgement() {
  ++acknowledged_;
  if (!inFlight_.empty()) {
    const InFlight done = inFlight_.front();
    inFlight_.pop_front();
    if (done.program) ++programAcknowledged_;
    acknowledgedDepth_ = done.depth;
  }
}

std::optional<std::int32_t> WindowLink::ReadProbe() {
  if (link_.StopRequested()) throw LinkError();
  if (!DriveOn() || !link_.PortOpen()) return std::nullopt;
  reply_.Clear();
  ProbeReader reader;
  while (true) {
    if (abandoned_ || link_.Closing() || link_.StopRequested()) throw LinkError();
    const int byte = SerialReadByte(link_);
    if (byte >= 0) {
      const char c = static_cast<char>(byte);
      const ProbeReader::Result result = reader.Feed(std::string_view(&c, 1));
      if (result.status == ProbeReader::Status::Value) {
        // The measurement is the probe line's acknowledgement.
        TakeAcknowledgement();
        return result.value;
      }
      if (result.status == ProbeReader::Status::ReadError) {
        link_.frontend().ShowMessage(texts::kTitleVertolin, texts::kProbeValueTooLarge);
        link_.RequestStop(Link::StopCause::LinkLost);
        throw LinkError();
      }
    } else if (byte == -2) {
      link_.FailRead();
    } else {
      link_.pump().Now();
    }
  }
}

void WindowLink::SwitchLaserOff() {
  if (!laserLit_) return;
  laserLit_ = false;
  // Stopped in a replay: the board's laser is still off.
  if (!link_.PortOpen() || ToolStateOwed()) return;
  WriteLine(WithoutTrailingZeros(CommandLine({0, 0, -1, link_.profile().idleDelay})));
  const bool lost = link_.StopRequested() && link_.stopCause() == Link::StopCause::LinkLost;
  if (lost || abandoned_ || link_.Closing()) return;
  try {
    // It belongs to the stop itself, so StopFlag does not end it.
    WaitForAck();
  } catch (const LinkError&) {
    // The read failed meanwhile: told already, and nothing more to do.
  }
}

void WindowLink::AddPendingSteps(const std::array<std::int32_t, 3>& steps) {
  for (int axis = 0; axis < 3; ++axis) {
    const std::int64_t sum = static_cast<std::int64_t>(pending_[axis]) + steps[axis];
    if (!FitsInt32(sum)) RefuseMove();
  }
  for (int axis = 0; axis < 3; ++axis) pending_[axis] += steps[axis];
}

}  // namespace vertolin
