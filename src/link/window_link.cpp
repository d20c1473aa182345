#include "link/window_link.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "link/ack_wait.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/move_text.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool FitsInt32(std::int64_t value) { return value >= kInt32Min && value <= kInt32Max; }

void PauseOneMillisecond() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

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

WindowLink::WindowLink(Link& link, WindowFlavour flavour) : link_(link), flavour_(flavour) {}

bool WindowLink::DriveOn() const {
  if (flavour_ == WindowFlavour::Positioning) return true;  // no drive switch there
  return driveOn_ && driveOn_();
}

void WindowLink::RefuseMove() {
  link_.frontend().ShowMessage(texts::kTitleError, texts::kMoveOutOfRange);
  throw MoveRefused();
}

void WindowLink::ArduinoMoveMM(double dx, double dy, double dz) {
  if (flavour_ == WindowFlavour::Positioning) {
    // A key repeat or click that arrives during a move is dropped, not queued.
    if (!ready_) return;
    ready_ = false;
  }
  struct ReadyAgain {
    WindowLink& window;
    ~ReadyAgain() {
      if (window.flavour_ == WindowFlavour::Positioning) window.ready_ = true;
    }
  } readyAgain{*this};

  const auto steps = MillimetresToSteps(link_, dx, dy, dz);
  if (!steps) RefuseMove();
  const auto [x, y, z] = *steps;
  const std::int32_t delay = link_.profile().idleDelay;

  std::string text;
  switch (flavour_) {
    case WindowFlavour::Milling:
      text = CommandLine({x, y, z, delay});
      break;
    case WindowFlavour::Positioning: {
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
    default:
      text = CommandLine({x, y, z});
      break;
  }
  if (!link_.PortOpen()) return;
  if (flavour_ == WindowFlavour::Milling || flavour_ == WindowFlavour::Positioning) {
    SerialWriteChecked(link_, text);
  } else {
    SerialWrite(link_, text);
  }
  AwaitAck();
}

void WindowLink::SendStep(const JobStep& step, bool wait) {
  switch (flavour_) {
    case WindowFlavour::Milling:
      SendMillingStep(step, wait);
      break;
    case WindowFlavour::Outlining:
    case WindowFlavour::Cutting:
      SendLaserStep(step, wait);
      break;
    case WindowFlavour::Gradation:
    case WindowFlavour::WoodBurning:
      SendRasterStep(step, wait);
      break;
    case WindowFlavour::Scanner:
      SendScannerStep(step, wait);
      break;
    case WindowFlavour::Positioning:
      break;  // the positioning window runs no jobs
  }
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

void WindowLink::SendMillingStep(const JobStep& step, bool wait) {
  if (link_.StopRequested()) {
    if (link_.frontend().ShowInterruptDialog() == 0) throw LinkError();
    link_.ClearStop();
  }
  const StepScale scale = scale_ ? scale_() : StepScale{};
  const auto [x, y, z] = CarrySteps({step.dx * scale.x, step.dy * scale.y, step.third * scale.z});
  if (DriveOn() && (step.delay > 0 || x != 0 || y != 0 || z != 0)) {
    SerialWrite(link_, CommandLine({x, y, z, step.delay}));
    if (wait) AwaitAck();
  } else {
    PauseOneMillisecond();
  }
}

void WindowLink::LaserPause(std::string_view line, bool wait) {
  if (!DriveOn() || laser_ <= 0) return;
  SerialWrite(link_, line);
  // This wait is part of the stop itself, so StopFlag does not end it.
  if (wait) WaitForAck();
}

void WindowLink::SendLaserStep(const JobStep& step, bool wait) {
  if (link_.StopRequested()) {
    LaserPause(kLaserOffPause, wait);
    AskToStop();
    LaserPause(kLaserOnPause, wait);
  }
  const StepScale scale = scale_ ? scale_() : StepScale{};
  const auto [x, y, z] = CarrySteps({step.dx * scale.x, step.dy * scale.y, 0.0});
  (void)z;
  if (step.third != 0) laser_ = step.third;
  if (DriveOn() && (step.third != 0 || x != 0 || y != 0 || step.delay > 0)) {
    SerialWrite(link_, WithoutTrailingZeros(CommandLine({x, y, step.third, step.delay})));
    if (wait) AwaitAck();
  }
}

void WindowLink::SendRasterStep(const JobStep& step, bool wait) {
  if (link_.StopRequested()) AskToStop();
  const StepScale scale = scale_ ? scale_() : StepScale{};
  const double x = step.dx * RoundHalfEven(scale.x);
  const double y = step.dy * RoundHalfEven(scale.y);
  if (!(std::abs(x) <= kInt32Max && std::abs(y) <= kInt32Max)) RefuseMove();
  if (DriveOn()) {
    SerialWrite(link_, CommandLine({static_cast<std::int64_t>(x), static_cast<std::int64_t>(y),
                                    step.third}));
    if (wait) AwaitAck();
  }
}

void WindowLink::SendScannerStep(const JobStep& step, bool wait) {
  if (link_.StopRequested()) throw LinkError();
  if (DriveOn()) {
    SerialWrite(link_, CommandLine({step.dx, step.dy, -2 * static_cast<std::int64_t>(step.third)}));
    if (wait) AwaitAck();
  }
}

void WindowLink::AskToStop() {
  if (link_.frontend().AskYesNo(texts::kTitleWarning, texts::kStopQuestion)) throw LinkError();
  link_.ClearStop();
}

void WindowLink::AwaitAck() {
  if (link_.StopRequested()) throw LinkError();
  if (!DriveOn()) return;  // a dry run sent nothing, so nothing is awaited
  if (flavour_ == WindowFlavour::Scanner) reply_.Clear();
  WaitForAck();
}

void WindowLink::WaitForAck() { WaitForAcknowledgement(link_, reply_, abandoned_); }

void WindowLink::AddPendingSteps(const std::array<std::int32_t, 3>& steps) {
  for (int axis = 0; axis < 3; ++axis) {
    const std::int64_t sum = static_cast<std::int64_t>(pending_[axis]) + steps[axis];
    if (!FitsInt32(sum)) RefuseMove();
  }
  for (int axis = 0; axis < 3; ++axis) pending_[axis] += steps[axis];
}

}  // namespace vertolin
