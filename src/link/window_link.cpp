#include "link/window_link.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>
#include <utility>

#include "link/ack_wait.h"
#include "motion/gcode_protocol.h"
#include "link/board_protocol.h"
#include "link/link.h"
#include "link/link_error.h"
#include "motion/native_protocol.h"
#include "link/stop_policy.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

bool FitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

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

WindowLink::WindowLink(Link& link, const LinkFormat& format)
    : link_(link),
      format_(format),
      protocol_(MakeProtocol(link.profile(), format)),
      writesGcode_(link.profile().protocol == BoardProtocol::Grbl),
      scaler_(format.scaling) {}

bool WindowLink::DriveOn() const {
  if (!format_.driveSwitch) return true;
  return driveOn_ && driveOn_();
}

void WindowLink::RefuseMove() {
  link_.frontend().ShowMessage(texts::kTitleError, texts::kMoveOutOfRange);
  throw MoveRefused();
}

std::chrono::microseconds WindowLink::StepTimeOf(const Motion& motion) const {
  // How long a wait allows: never less than the idle delay a step, however
  // fast the line's own delay says it goes.
  return StepTime(motion.LargestSteps(), std::max(motion.delay, link_.profile().idleDelay));
}

void WindowLink::NoteLine(std::string_view text, std::chrono::microseconds stepTime) {
  lastLine_ = text;
  previousStepTime_ = lastStepTime_;
  lastStepTime_ = stepTime;
}

void WindowLink::Write(std::string_view text, std::chrono::microseconds stepTime) {
  NoteLine(text, stepTime);
  SerialWrite(link_, text);
  ++linesSent_;
}

void WindowLink::SendSetup(const Motion& motion) {
  const auto text = protocol_->Encode(motion, link_.profile().idleDelay);
  if (!text) return;
  if (!Emit(motion, *text, Role::Program)) replayedSetup_ = motion;
}

void WindowLink::SendExtra(const Motion& motion) {
  const auto text = protocol_->Encode(motion, link_.profile().idleDelay);
  if (text) Emit(motion, *text, Role::Extra);
}

bool WindowLink::Emit(const Motion& motion, std::string_view text, Role role) {
  const bool block = grbl_ != nullptr && FollowGrblTarget(motion);
  if (role == Role::Program) {
    travelHeight_ = std::max(travelHeight_, scaler_.accounted()[2] - jobStart_[2]);
    if (replayLeft_ > 0) {
      --replayLeft_;
      restorePending_ = true;
      // Done by the board before: it counts as acknowledged where it stands.
      inFlight_.ProgramLineDone(scaler_.accounted()[2]);
      return false;
    }
    if (restorePending_) RestoreToolState(motion);
  }
  // Nothing sent without a port, so nothing will be acknowledged.
  if (!link_.PortOpen()) {
    if (role == Role::Program) inFlight_.ProgramLineUnsent();
  } else if (role == Role::Program) {
    inFlight_.ProgramLine(scaler_.accounted()[2], motion, StepTimeOf(motion));
  } else {
    inFlight_.ExtraLine(motion, motion.steps[2], StepTimeOf(motion));
  }
  for (MotionObserver* observer : observers_) observer->Written(motion, text);
  if (grbl_ != nullptr && link_.PortOpen()) {
    NoteLine(text, StepTimeOf(motion));
    StreamText(text, block);
    ++linesSent_;
  } else {
    Write(text, StepTimeOf(motion));
  }
  if (recorder_ != nullptr && role == Role::Program && link_.PortOpen()) {
    recorder_->Sent(
        {inFlight_.programLines() - sentBase_.lines, inFlight_.DepthInFlight() - sentBase_.depth});
  }
  return true;
}

void WindowLink::JobBegins() {
  jobStart_ = scaler_.accounted();
  travelHeight_ = 0;
  sentBase_ = {inFlight_.programLines(), inFlight_.DepthInFlight()};
}

void WindowLink::Replay(std::int64_t lines, std::int64_t machineDepth,
                        std::optional<MachineSteps> origin) {
  replayLeft_ = std::max<std::int64_t>(0, lines);
  restorePending_ = false;
  machineDepth_ = machineDepth;
  resumeOrigin_ = origin;
  replayedSetup_.reset();
}

bool WindowLink::HasZ() const {
  if (format_.dialect.jog == NativeDialect::Jog::ByKindLetter) return kindLetter_ == 'M';
  return format_.dialect.steps == NativeDialect::Steps::XYZDelay;
}

void WindowLink::TravelToolUp(const MachineSteps& from, const MachineSteps& to) {
  const std::int32_t idle = link_.profile().idleDelay;
  const auto send = [&](MotionKind kind, std::int64_t dx, std::int64_t dy, std::int64_t dz,
                        std::int32_t delay) {
    if (!FitsInt32(dx) || !FitsInt32(dy) || !FitsInt32(dz)) RefuseMove();
    SendExtra({kind,
               {static_cast<std::int32_t>(dx), static_cast<std::int32_t>(dy),
                static_cast<std::int32_t>(dz)},
               delay});
    WaitForAck();
  };
  std::int64_t z = from[2];
  if (from[0] != to[0] || from[1] != to[1]) {
    if (HasZ() && z < travelHeight_) {
      send(MotionKind::Lift, 0, 0, travelHeight_ - z, idle);
      z = travelHeight_;
    }
    send(MotionKind::Travel, to[0] - from[0], to[1] - from[1], 0, travelDelay_.value_or(idle));
  }
  if (HasZ() && z != to[2]) {
    send(to[2] > z ? MotionKind::Lift : MotionKind::Plunge, 0, 0, to[2] - z, idle);
  }
}

void WindowLink::RestoreToolState(const Motion& next) {
  restorePending_ = false;
  MachineModel& machine = link_.machine();
  // Where the replayed lines left the head, from the job's origin: the
  // steps accounted so far already hold the next line's.
  MachineSteps ended{};
  for (int axis = 0; axis < 3; ++axis) {
    ended[axis] = scaler_.accounted()[axis] - jobStart_[axis] - next.steps[axis];
  }
  MachineSteps head = {ended[0], ended[1], machineDepth_};
  if (resumeOrigin_) {
    for (int axis = 0; axis < 3; ++axis)
      head[axis] = machine.position()[axis] - (*resumeOrigin_)[axis];
  } else {
    machine.SetOrigin({machine.position()[0] - head[0], machine.position()[1] - head[1],
                       machine.position()[2] - head[2]});
  }
  if (!HasZ()) head[2] = ended[2];
  // The opening's acknowledgement is collected by the next wait, as it was
  // when the job began; the other lines are waited for here, so that the
  // head and the tool are where the job left them before its next line.
  if (replayedSetup_) SendExtra(*std::exchange(replayedSetup_, std::nullopt));
  TravelToolUp(head, ended);
  if (laserLit_ && lastToolOn_) {
    SendExtra(*lastToolOn_);
    WaitForAck();
  }
}

void WindowLink::ReturnToOrigin(const MachineSteps& away) {
  if (!link_.PortOpen()) return;
  if (grbl_ != nullptr) {
    // In the stopped job's frame, from the machine's own coordinates: the
    // lines it had planned but not done are no part of where the head is.
    if (!grblJobOrigin_) return;
    BindGrbl();
    const auto machine = GrblMachinePosition();
    std::array<std::int64_t, 3> at{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
      at[axis] = std::llround((machine[axis] - (*grblJobOrigin_)[axis]) * 1000);
    }
    const auto mm = [](std::int64_t thousandths) { return GcodeWriter::Millimetres(thousandths); };
    for (const std::string& line : protocol_->Opening()) grbl_->Send(line, false, false);
    grbl_->Send("G92 X" + mm(at[0]) + " Y" + mm(at[1]) + " Z" + mm(at[2]), false, false);
    GrblTravelToolUp(at, {0, 0, 0});
    grbl_->Finish();
    protocol_->Resync();
    laserLit_ = false;
    // The model goes back by the way the board went.
    const double ratios[3] = {link_.profile().xRatio, link_.profile().yRatio,
                              link_.profile().zRatio};
    Motion back{MotionKind::Travel, {}, link_.profile().idleDelay};
    for (std::size_t axis = 0; axis < 3; ++axis) {
      if (ratios[axis] != 0) {
        back.steps[axis] = static_cast<std::int32_t>(
            std::lround(-static_cast<double>(at[axis]) / 1000.0 / ratios[axis]));
      }
    }
    link_.Confirmed(back, true);
    return;
  }
  if (format_.dialect.steps == NativeDialect::Steps::LaserCompact &&
      link_.machine().tool().laserLit) {
    SendExtra({MotionKind::ToolOff, {}, link_.profile().idleDelay});
    WaitForAck();
  }
  laserLit_ = false;
  TravelToolUp(away, {0, 0, 0});
  link_.ShowPosition();
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

  if (writesGcode_ && link_.PortOpen() && link_.port()->TakesTime() && grbl_ == nullptr) {
    link_.frontend().ShowMessage(texts::kTitleError, texts::kGrblNotConnected);
    throw MoveRefused();
  }
  // A machine without Z does not move on it, so neither does its model.
  const auto steps = MillimetresToSteps(link_, dx, dy, HasZ() ? dz : 0.0);
  if (!steps) RefuseMove();
  const std::int32_t idle = link_.profile().idleDelay;
  const Motion jog{MotionKind::Jog, *steps, idle};
  if (grbl_ != nullptr) {
    GrblJog(jog);
    return;
  }
  const auto text = protocol_->Encode(jog, idle);
  if (!text) {
    link_.frontend().ShowMessage(
        texts::kTitleError,
        std::string("Плата ответила прошивкой «") + kindLetter_ +
            "», для которой перемещение не определено.\r\nКоманда не отправлена.");
    throw MoveRefused();
  }
  if (!link_.PortOpen()) return;
  NoteLine(*text, StepTimeOf(jog));
  inFlight_.ExtraLine(jog, 0, StepTimeOf(jog));
  if (format_.checkedMoveWrite) {
    SerialWriteChecked(link_, *text);
  } else {
    SerialWrite(link_, *text);
  }
  AwaitAck();
  link_.ShowPosition();
}

void WindowLink::GrblJog(const Motion& jog) {
  if (!jog.Moves()) return;
  BindGrbl();
  const MachineProfile& profile = link_.profile();
  const double ratios[3] = {profile.xRatio, profile.yRatio, profile.zRatio};
  static constexpr char kAxes[3] = {'X', 'Y', 'Z'};
  std::string line = "$J=G91 G21";
  double squares = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double mm = jog.steps[axis] * ratios[axis];
    squares += mm * mm;
    if (jog.steps[axis] == 0 || (axis == 2 && !HasZ())) continue;
    line += ' ';
    line += kAxes[axis];
    line += GcodeWriter::Millimetres(std::llround(mm * 1000));
  }
  // The native move's pace: its largest axis at the idle delay.
  const double micros = static_cast<double>(jog.LargestSteps()) *
                        static_cast<double>(std::max<std::int64_t>(jog.StepDelay(jog.delay), 1));
  char feed[32];
  std::snprintf(feed, sizeof feed, " F%.3f", std::sqrt(squares) / micros * 60e6);
  line += feed;
  // A jog let go of stops short: the model takes the way the board went.
  const auto before = GrblMachinePosition();
  NoteLine(line, StepTimeOf(jog));
  jogging_ = true;
  struct Done {
    WindowLink& window;
    ~Done() {
      window.jogging_ = false;
      window.BindGrbl();
    }
  } done{*this};
  // A stop during a jog asks nothing: the hold ends the jog.
  grbl_->stopAsked = nullptr;
  try {
    grbl_->Send(line, true, false);
    grbl_->Finish();
  } catch (const LinkError&) {
    HaltGrbl();  // at rest, the hold let go of; the position kept
    throw;
  }
  const auto after = GrblMachinePosition();
  Motion went{MotionKind::Jog, {}, jog.delay};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (ratios[axis] == 0) continue;
    went.steps[axis] =
        static_cast<std::int32_t>(std::lround((after[axis] - before[axis]) / ratios[axis]));
  }
  link_.Confirmed(went, true);
}

void WindowLink::CancelJog() {
  if (grbl_ != nullptr && jogging_) grbl_->CancelJog();
}

void WindowLink::Checkpoint(bool wait) {
  link_.frontend().TakeInterrupts();
  if (!link_.StopRequested()) return;
  // A window that is closing asks nothing: it is gone.
  if (abandoned_ || link_.Closing()) throw LinkError();
  if (grbl_ != nullptr && DriveOn()) {
    grbl_->AskStop();
    return;
  }
  struct Actions : StopActions {
    WindowLink& window;
    bool wait;
    Actions(WindowLink& w, bool waitForPause) : window(w), wait(waitForPause) {}
    bool InterruptionGoesOn() override {
      return window.prompt_ != nullptr && window.prompt_->GoOn();
    }
    bool AskToStop() override {
      if (window.link_.frontend().AskYesNo(texts::kTitleWarning, texts::kStopQuestion)) return true;
      // Cleared before the laser is lit again, so that its wait is not taken for a stop.
      window.link_.ClearStop();
      return false;
    }
    void PauseLaser(bool on) override { window.LaserPause(on, wait); }
  } actions(*this, wait);
  // After a stop in a replay the laser is off, although the job's last laser
  // motion said "on".
  const bool lit = DriveOn() && laserLit_ && !ToolStateOwed();
  switch (DecideStop(format_.onStop, lit && link_.frontend().PersonAnswers(), actions)) {
    case StopDecision::Stop:
      throw LinkError();
    case StopDecision::GoOn:
      link_.ClearStop();
      break;
    case StopDecision::Stand:
      break;
  }
}

void WindowLink::Send(const JobMotion& move, const StepScale& scale, bool wait) {
  const auto motion = scaler_.Scale(move, scale);
  if (!motion) RefuseMove();
  // Before the first line sent is encoded, so that it states every mode.
  if (grbl_ != nullptr && replayLeft_ == 0 && restorePending_ && DriveOn() && link_.PortOpen()) {
    GrblRestore(*motion);
  }
  std::optional<std::string> text;
  if (DriveOn()) text = protocol_->Encode(*motion, link_.profile().idleDelay);
  if (!text) {
    // "Гравировать" cleared in the middle of a pass: the rest of the job
    // sends nothing, so the laser it lit must not burn on in one place.
    if (!DriveOn()) SwitchLaserOff();
    if (format_.pauseForStepNotSent && replayLeft_ == 0 &&
        (!link_.PortOpen() || link_.port()->TakesTime())) {
      PauseOneMillisecond();
    }
    return;
  }
  if (motion->kind == MotionKind::ToolOn) lastToolOn_ = motion;
  if (motion->kind == MotionKind::Probe && grbl_ != nullptr) grbl_->ExpectProbe();
  if (motion->kind == MotionKind::Travel) travelDelay_ = motion->delay;
  // Taken after the line: a resumed job's restore goes out before it, with
  // the laser as the lines replayed left it.
  const bool sent = Emit(*motion, *text, Role::Program);
  if (sent) ++movesSent_;
  if (motion->kind == MotionKind::ToolOn || motion->kind == MotionKind::ToolOff) {
    laserLit_ = motion->kind == MotionKind::ToolOn;
    laserPaused_ = false;
  }
  if (sent && wait) AwaitAck();
}

void WindowLink::AwaitOwedAck() {
  link_.frontend().TakeInterrupts();
  if (link_.StopRequested()) throw LinkError();
  // Owed by any line still in flight: also the raster's last line, whose own
  // wait took the acknowledgement of the line before it.
  if (!inFlight_.empty()) AwaitAck();
}

void WindowLink::LaserPause(bool on, bool wait) {
  const std::string_view line = protocol_->LaserPauseLine(on);
  if (link_.PortOpen()) inFlight_.ExtraLine({on ? MotionKind::ToolOn : MotionKind::ToolOff}, 0);
  Write(line, {});
  laserLit_ = on;
  laserPaused_ = !on;
  // This wait is part of the stop itself, so StopFlag does not end it.
  if (wait) WaitForAck();
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
  // A grbl board's lines stream: room in its buffer is their only wait.
  if (grbl_ != nullptr) return;
  WaitForAcknowledgement(link_, reply_, abandoned_,
                         {linesSent_, lastLine_, lastStepTime_ + previousStepTime_});
  TakeAcknowledgement();
}

void WindowLink::DrainInFlight() {
  if (grbl_ != nullptr) {
    HaltGrbl();
    return;
  }
  while (!inFlight_.empty()) {
    if (!DrainAcknowledgement(link_, reply_, {0, {}, inFlight_.OldestStepTime()})) return;
    TakeAcknowledgement();
  }
}

void WindowLink::TakeAcknowledgement() {
  ++acknowledged_;
  if (const auto motion = inFlight_.Acknowledged()) link_.Confirmed(*motion);
}

std::optional<std::int32_t> WindowLink::ReadProbe() {
  if (link_.StopRequested()) throw LinkError();
  if (!DriveOn() || !link_.PortOpen()) return std::nullopt;
  if (grbl_ != nullptr) {
    // The height in thousandths of a millimetre from the job's start: the
    // map holds what the board measured, in its own unit, as it does for
    // the native boards' counts.
    const grbl::ProbeResult probe = grbl_->AwaitProbe();
    const double start = grblJobOrigin_ ? (*grblJobOrigin_)[2] : 0.0;
    const double micrometres = std::clamp(std::round((probe.position[2] - start) * 1000), -2.0e9,
                                          2.0e9);
    return static_cast<std::int32_t>(micrometres);
  }
  reply_.Clear();
  const std::int32_t value = WaitForProbeReply(
      link_, abandoned_, {linesSent_, lastLine_, lastStepTime_ + previousStepTime_});
  // The measurement is the probe line's acknowledgement.
  TakeAcknowledgement();
  return value;
}

void WindowLink::SwitchLaserOff() {
  // The pause line before the stop question has no ";": a board that acts
  // on whole lines only would burn on, so a job stopped after it ends with
  // the whole laser-off line all the same.
  if (grbl_ != nullptr) {
    // The soft reset switches the laser and the spindle off.
    laserLit_ = false;
    laserPaused_ = false;
    HaltGrbl();
    return;
  }
  if (!laserLit_ && !laserPaused_) return;
  laserLit_ = false;
  laserPaused_ = false;
  // Stopped in a replay: the board's laser is still off.
  if (!link_.PortOpen() || ToolStateOwed()) return;
  SendExtra({MotionKind::ToolOff, {}, link_.profile().idleDelay});
  const bool lost = link_.StopRequested() && link_.stopCause() == Link::StopCause::LinkLost;
  if (lost || abandoned_ || link_.Closing()) return;
  try {
    // It belongs to the stop itself, so StopFlag does not end it.
    WaitForAck();
  } catch (const LinkError&) {
    // The read failed meanwhile: told already, and nothing more to do.
  }
}

bool WindowLink::ReadGrblAgainIfLost() {
  if (grbl_ == nullptr || !link_.GrblReadAgainDue()) return true;
  if (link_.StopRequested() && link_.stopCause() == Link::StopCause::LinkLost) link_.ClearStop();
  try {
    if (ConnectGrbl()) return true;
  } catch (const LinkError&) {
    // Told already.
  }
  link_.frontend().ShowStatus(texts::kStatusNoAnswer);
  return false;
}

bool WindowLink::ConnectGrbl() {
  grbl_ = nullptr;
  if (!link_.ConnectGrbl()) return false;
  GrblStream& stream = *link_.grbl();
  const GrblIdentity& identity = *link_.grblIdentity();
  // The state now, not at connect: an alarm may have been cleared since.
  const std::string state = stream.AwaitStatus().state;
  std::string refusal;
  if (grbl::StateName(state) == "Alarm") {
    refusal = "Плата grbl в состоянии тревоги";
    if (identity.alarm && *identity.alarm > 0) {
      refusal += " ALARM:" + std::to_string(*identity.alarm) + " (" +
                 std::string(grbl::AlarmMeaning(*identity.alarm)) + ")";
    }
    refusal +=
        ".\r\nПроверьте станок, затем снимите тревогу: «$X» (или найдите ноль: «$H»), и "
        "начните снова.";
  } else if (format_.hasTool && format_.dialect.steps != NativeDialect::Steps::XYZDelay &&
             !identity.LaserMode()) {
    refusal =
        "На плате grbl выключен лазерный режим ($32=0): при остановке лазер горел бы на месте.\r\n"
        "Включите его, отправив плате «$32=1», и начните снова.";
  }
  if (!refusal.empty()) {
    link_.frontend().ShowMessage(texts::kTitleError, refusal);
    return false;
  }
  grbl_ = &stream;
  grblIdentity_ = identity;
  BindGrbl();
  SetKindLetter(format_.kind.empty() ? 'M' : format_.kind.front());
  return true;
}

HandshakeResult WindowLink::Handshake(std::string_view required) {
  if (!writesGcode_ || !link_.PortOpen() || !link_.port()->TakesTime()) {
    return RunHandshake(link_, required);
  }
  link_.ClearStop();
  HandshakeResult result;
  const bool answered = link_.ConnectGrbl();
  result.driveEnabled = answered && ConnectGrbl();
  if (result.driveEnabled) {
    result.status = std::string(texts::kStatusOpen) + ", grbl " + grblIdentity_->version;
    result.kindLetter = kindLetter_;
  } else {
    result.status = answered ? texts::kStatusWrongFirmware : texts::kStatusNoAnswer;
  }
  return result;
}

void WindowLink::BindGrbl() {
  // One stream per port, taken by whichever window link sends on it now.
  grbl_->executed = [this] { TakeAcknowledgement(); };
  grbl_->stopAsked = [this] { GrblStopQuestion(); };
  grbl_->statusSeen = [this](const grbl::Status& status) { ShowGrblPlace(status); };
}

void WindowLink::ShowGrblPlace(const grbl::Status& status) {
  // The model stands at the end of the last line counted; the report says
  // how far the head has gone on from there, mid-block too.
  if (grbl_ == nullptr) return;  // being read again
  const auto at = GrblStream::PlaceOf(status);
  const auto& end = grbl_->creditedEnd();
  if (!at || !end) return;
  MachinePosition shown = link_.machine().Shown(link_.profile());
  for (std::size_t axis = 0; axis < 3; ++axis)
    shown.millimetres[axis] += (*at)[axis] - (*end)[axis];
  link_.frontend().ShowPosition(shown);
}

bool WindowLink::FollowGrblTarget(const Motion& motion) {
  const auto target = protocol_->Target();
  if (!target) return false;
  std::array<std::int64_t, 3> steps{};
  bool moved = false;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double perMm = grblIdentity_ ? grblIdentity_->Setting(100 + static_cast<int>(axis), 250)
                                       : 250.0;
    // As grbl rounds a target to its steps.
    steps[axis] = std::llround(static_cast<double>((*target)[axis]) / 1000.0 * perMm);
    moved = moved || steps[axis] != grblSteps_[axis];
  }
  grblSteps_ = steps;
  grblEnd_ = GrblMachineOf(*target);
  switch (motion.kind) {
    case MotionKind::ToolOn:
    case MotionKind::ToolOff:
    case MotionKind::RasterOpen:
      return false;
    case MotionKind::Probe:
      return true;  // the way up again after the probe's own cycle
    default:
      return moved;
  }
}

void WindowLink::StreamText(std::string_view text, bool block) {
  if (grblFrameLost_ && grblJobOrigin_) {
    // A line after the job's halt (the reset forgot the frame and the modes):
    // the frame again, from where the head stands.
    grblFrameLost_ = false;
    const auto machine = GrblMachinePosition();
    std::string frame = "G92";
    for (std::size_t axis = 0; axis < 3; ++axis) {
      frame += " XYZ"[axis + 1];
      frame +=
          GcodeWriter::Millimetres(std::llround((machine[axis] - (*grblJobOrigin_)[axis]) * 1000));
    }
    // Units and absolute coordinates only: the spindle stays off.
    grbl_->Send("G21 G90", false, false);
    grbl_->Send(frame, false, false);
  }
  // A motion may take more than one block; its last answers for it.
  while (true) {
    const std::size_t end = text.find('\n');
    const bool last = end == std::string_view::npos;
    grbl_->Send(text.substr(0, end), block && last, last, block && last ? grblEnd_ : std::nullopt);
    if (last) break;
    text.remove_prefix(end + 1);
  }
}

void WindowLink::GrblJobOpens() {
  if (grbl_ == nullptr || !DriveOn()) return;
  grblFrameLost_ = false;  // a fresh job sets its own frame, a resumed one at its restore
  BindGrbl();
  protocol_->Resync();
  // The status in machine coordinates with the planner's room.
  const int mask = static_cast<int>(grblIdentity_->Setting(10, 1));
  if ((mask & 3) != 3) {
    grbl_->SendAlone("$10=" + std::to_string(mask | 3));
    grblMaskToRestore_ = mask;
  }
  // The job's frame, and a resume's replay of it, count from the job's start,
  // whatever this window sent before.
  protocol_->Rebase();
  // A resumed job's frame comes from its machine origin (GrblRestore).
  if (replayLeft_ > 0) return;
  for (const std::string& line : protocol_->Opening()) grbl_->Send(line, false, false);
  // The job's coordinates count from where the head stands now.
  const auto target = protocol_->Target().value_or(std::array<std::int64_t, 3>{});
  const auto machine = GrblMachinePosition();
  grblJobOrigin_ = std::array<double, 3>{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    (*grblJobOrigin_)[axis] = machine[axis] - static_cast<double>(target[axis]) / 1000.0;
  }
  grbl_->Send("G92 X" + GcodeWriter::Millimetres(target[0]) + " Y" +
                  GcodeWriter::Millimetres(target[1]) + " Z" + GcodeWriter::Millimetres(target[2]),
              false, false);
  FollowGrblTarget({MotionKind::ToolOff});
}

std::optional<std::array<double, 3>> WindowLink::grblMachineHead() const {
  if (grbl_ == nullptr) return std::nullopt;
  return grbl_->status().machine;
}

void WindowLink::ResumeGrblJob(const std::array<double, 3>& origin,
                               const std::optional<std::array<double, 3>>& head) {
  grblJobOrigin_ = origin;
  grblResumeHead_ = head;
}

std::optional<std::array<double, 3>> WindowLink::grblCountedEnd() const {
  if (grbl_ == nullptr) return std::nullopt;
  return grbl_->lastEnd();
}

std::optional<std::vector<std::optional<std::array<double, 3>>>> WindowLink::GrblUncountedLines()
    const {
  if (grbl_ == nullptr) return std::nullopt;
  // The stream's counted lines are the lines in flight, one for one; a line
  // whose writing the loss broke off is in flight but never went out.
  const auto ends = grbl_->Uncounted();
  const std::vector<bool> program = inFlight_.ProgramInFlight();
  if (ends.size() > program.size() || program.size() > ends.size() + 1) return std::nullopt;
  std::vector<std::optional<std::array<double, 3>>> lines;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    if (program[i]) lines.push_back(ends[i]);
  }
  return lines;
}

std::optional<std::int64_t> WindowLink::GrblDoneAfterLoss(
    const std::vector<std::optional<std::array<double, 3>>>& maybeDone) {
  if (grbl_ == nullptr) return std::nullopt;
  const auto at = GrblMachinePosition();
  const bool atZero = std::all_of(at.begin(), at.end(),
                                  [](double mm) { return std::abs(mm) < 0.0005; });
  if (grblIdentity_ && grblIdentity_->restarted && !grblIdentity_->Homing() && atZero) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < maybeDone.size(); ++i) {
    const auto& end = maybeDone[i];
    if (!end) continue;
    bool here = true;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      here = here && std::abs((*end)[axis] - at[axis]) <= 0.0025;
    }
    if (here) return static_cast<std::int64_t>(i + 1);
  }
  return 0;
}

std::optional<std::array<double, 3>> WindowLink::GrblMachineOf(
    const std::array<std::int64_t, 3>& at) const {
  if (!grblJobOrigin_) return std::nullopt;
  std::array<double, 3> machine{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double perMm = grblIdentity_ ? grblIdentity_->Setting(100 + static_cast<int>(axis), 250)
                                       : 250.0;
    const double mm = (*grblJobOrigin_)[axis] + static_cast<double>(at[axis]) / 1000.0;
    machine[axis] = perMm > 0 ? static_cast<double>(std::llround(mm * perMm)) / perMm : mm;
  }
  return machine;
}

std::array<double, 3> WindowLink::GrblMachinePosition() {
  const grbl::Status& status = grbl_->AwaitStatus();
  if (status.machine) return *status.machine;
  std::array<double, 3> at = status.work.value_or(std::array<double, 3>{});
  const auto offset = status.offset.value_or(std::array<double, 3>{});
  for (std::size_t axis = 0; axis < 3; ++axis) at[axis] += offset[axis];
  return at;
}

namespace {

// The head stands on the straight way from `from` to `to` (thousandths of a
// millimetre, within a thousandth), not at its start: a block cut short by
// the stop, which the next line finishes from there.
bool PartWayAlong(const std::array<std::int64_t, 3>& from, const std::array<std::int64_t, 3>& to,
                  const std::array<std::int64_t, 3>& at) {
  if (at == from) return false;
  double along = 0;
  double length = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double d = static_cast<double>(to[axis] - from[axis]);
    along += d * static_cast<double>(at[axis] - from[axis]);
    length += d * d;
  }
  if (length == 0) return false;
  const double share = along / length;
  if (share <= 0 || share > 1) return false;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double onWay = static_cast<double>(from[axis]) +
                         share * static_cast<double>(to[axis] - from[axis]);
    if (std::abs(onWay - static_cast<double>(at[axis])) > 1.5) return false;
  }
  return true;
}

}  // namespace

void WindowLink::GrblTravelToolUp(std::array<std::int64_t, 3> at,
                                  const std::array<std::int64_t, 3>& to) {
  const auto mm = [](std::int64_t thousandths) { return GcodeWriter::Millimetres(thousandths); };
  if (at[0] != to[0] || at[1] != to[1]) {
    if (HasZ()) {
      const std::int64_t travel = std::max<std::int64_t>(
          at[2], std::llround(static_cast<double>(travelHeight_) * link_.profile().zRatio * 1000));
      if (travel != at[2]) {
        grbl_->Send("G0 Z" + mm(travel), true, false, GrblMachineOf({at[0], at[1], travel}));
      }
      at[2] = travel;
    }
    grbl_->Send("G0 X" + mm(to[0]) + " Y" + mm(to[1]), true, false,
                GrblMachineOf({to[0], to[1], at[2]}));
  }
  if (HasZ() && at[2] != to[2]) {
    // Down at the idle delay's pace, as the native lines go.
    const double feed = std::abs(link_.profile().zRatio) / std::max(link_.profile().idleDelay, 1) *
                        60e6;
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", feed);
    grbl_->Send("G1 Z" + mm(to[2]) + " F" + text, true, false, GrblMachineOf(to));
  }
}

void WindowLink::GrblRestore(const Motion& next) {
  restorePending_ = false;
  grblFrameLost_ = false;
  const auto target = protocol_->Target().value_or(std::array<std::int64_t, 3>{});
  const auto machine = GrblMachinePosition();
  // A board that greeted when the port opened (an Arduino restarts then) and
  // stands at machine zero counts from where the head stood at the stop,
  // unless homing gives its coordinates back: the head is taken not to have
  // moved since. A board whose coordinates went on is taken at its word.
  const bool atZero = std::all_of(machine.begin(), machine.end(),
                                  [](double mm) { return std::abs(mm) < 0.0005; });
  if (grblJobOrigin_ && grblResumeHead_ && grblIdentity_ && grblIdentity_->restarted &&
      !grblIdentity_->Homing() && atZero) {
    for (std::size_t axis = 0; axis < 3; ++axis)
      (*grblJobOrigin_)[axis] -= (*grblResumeHead_)[axis];
  }
  grblResumeHead_.reset();
  const auto origin = grblJobOrigin_.value_or(std::array<double, 3>{});
  std::array<std::int64_t, 3> at{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    at[axis] = std::llround((machine[axis] - origin[axis]) * 1000);
  }
  const auto mm = [](std::int64_t thousandths) { return GcodeWriter::Millimetres(thousandths); };
  for (const std::string& line : protocol_->Opening()) grbl_->Send(line, false, false);
  // Where the head stands, in the job's frame: the board forgot the frame at
  // its reset, or never had it (another run of the program).
  grbl_->Send("G92 X" + mm(at[0]) + " Y" + mm(at[1]) + " Z" + mm(at[2]), false, false);
  // Stopped part way along the next line's block: that line goes on from
  // here, so nothing is done twice and nothing is left out. Otherwise the
  // head goes back to where the lines done ended, the tool up on the way.
  const auto nextTarget = protocol_->TargetAfter(next);
  if (!next.Moves() || !nextTarget || !PartWayAlong(target, *nextTarget, at)) {
    GrblTravelToolUp(at, target);
  }
  FollowGrblTarget({MotionKind::ToolOff});
  // The model and the readout count from the stopped job's origin: the head
  // stands where the lines done ended once the travel there (no line of the
  // program, so never acknowledged to the model) is done.
  MachineModel& model = link_.machine();
  MachineSteps modelOrigin{};
  for (int axis = 0; axis < 3; ++axis) {
    modelOrigin[axis] = model.position()[axis] -
                        (scaler_.accounted()[axis] - jobStart_[axis] - next.steps[axis]);
  }
  model.SetOrigin(modelOrigin);
  // The tool as the lines done left it.
  if (replayedSetup_) SendExtra(*std::exchange(replayedSetup_, std::nullopt));
  if (laserLit_ && lastToolOn_) SendExtra(*lastToolOn_);
  protocol_->Resync();
}

void WindowLink::GrblJobCloses() {
  if (grbl_ == nullptr || !DriveOn()) return;
  for (const std::string& line : protocol_->Closing()) grbl_->Send(line, false, false);
  grbl_->Finish();
  protocol_->Resync();
  RestoreGrblMask();
}

void WindowLink::RestoreGrblMask() {
  if (!grblMaskToRestore_) return;
  const int mask = *std::exchange(grblMaskToRestore_, std::nullopt);
  grbl_->SendAlone("$10=" + std::to_string(mask));
}

void WindowLink::GrblStopQuestion() {
  if (abandoned_ || link_.Closing() || !link_.frontend().PersonAnswers()) throw LinkError();
  if (link_.frontend().AskYesNo(texts::kTitleWarning, texts::kStopQuestion)) throw LinkError();
  link_.ClearStop();
  grbl_->Resume();
}

void WindowLink::HaltGrbl() {
  const bool lost = link_.StopRequested() && link_.stopCause() == Link::StopCause::LinkLost;
  if (lost) return;
  if (link_.Closing()) {
    grbl_->Abort();
    return;
  }
  try {
    grbl_->Halt();
    grblFrameLost_ = true;
    protocol_->Resync();
    RestoreGrblMask();
  } catch (const LinkError&) {
    // Told already; the board no longer answers.
  }
}

WindowLink::~WindowLink() {
  // The port's stream outlives this window: it must not call back into it.
  if (grbl_ != nullptr && link_.grbl() == grbl_) {
    grbl_->executed = nullptr;
    grbl_->stopAsked = nullptr;
    grbl_->statusSeen = nullptr;
  }
}

void WindowLink::ForgetInFlight() {
  inFlight_.Forget();
  // The board's answers for them, should it answer again, belong to no job.
  if (grbl_ != nullptr) grbl_->Forget();
}

void WindowLink::AddPendingSteps(const std::array<std::int32_t, 3>& steps) {
  if (!scaler_.AddPending(steps)) RefuseMove();
}

}  // namespace vertolin
