#include "link/grbl_stream.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "link/link.h"
#include "link/link_error.h"
#include "link/serial_port.h"
#include "link/texts.h"

namespace vertolin {

namespace {

using Clock = std::chrono::steady_clock;

// A board that talks without end must not fill memory with one line.
constexpr std::size_t kLongestReply = 256;

constexpr std::string_view kFeedHold = "!";
constexpr std::string_view kCycleStart = "~";
constexpr std::string_view kSoftReset = "\x18";
constexpr std::string_view kStatusQuery = "?";

bool AtRest(std::string_view state) {
  return state == "Hold:0" || state == "Idle" || grbl::StateName(state) == "Alarm";
}

bool Idle(std::string_view state) { return state == "Idle"; }

bool Moving(std::string_view state) {
  const std::string_view name = grbl::StateName(state);
  return name == "Run" || name == "Jog" || name == "Home" || state == "Hold:1";
}

// Within the rounding of a status report (three decimals) and of a step.
constexpr double kPlaceTolerance = 0.0025;

bool Near(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (std::abs(a[axis] - b[axis]) > kPlaceTolerance) return false;
  }
  return true;
}

// `at` lies on the straight way from `from` to `to`, past its start.
bool OnTheWay(const std::array<double, 3>& from, const std::array<double, 3>& to,
              const std::array<double, 3>& at) {
  double along = 0;
  double length = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    along += (to[axis] - from[axis]) * (at[axis] - from[axis]);
    length += (to[axis] - from[axis]) * (to[axis] - from[axis]);
  }
  if (length == 0 || along <= 0 || along > length) return false;
  const double share = along / length;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (std::abs(from[axis] + share * (to[axis] - from[axis]) - at[axis]) > kPlaceTolerance) {
      return false;
    }
  }
  return true;
}

std::optional<std::array<double, 3>> MachinePlace(const grbl::Status& status) {
  if (status.machine) return status.machine;
  if (!status.work || !status.offset) return std::nullopt;
  std::array<double, 3> at = *status.work;
  for (std::size_t axis = 0; axis < 3; ++axis) at[axis] += (*status.offset)[axis];
  return at;
}

}  // namespace

GrblStream::GrblStream(Link& link) : link_(link) {}

void GrblStream::Fail(std::string text) {
  link_.frontend().ShowMessage(texts::kTitleError, text);
  throw MoveRefused();
}

void GrblStream::Lost(std::string_view text) {
  if (!link_.Closing()) link_.frontend().ShowMessage(texts::kTitleVertolin, text);
  link_.RequestStop(Link::StopCause::LinkLost);
  throw LinkError();
}

void GrblStream::TakeStop() {
  if (holdSent_) return;
  holdSent_ = true;
  SerialWrite(link_, kFeedHold);
}

void GrblStream::Step(bool polling, bool events) {
  const auto now = Clock::now();
  // Only motion of ours is held: a stop already dealt with (the board reset)
  // must not hold the lines that restore its settings.
  if (moving_ && link_.StopRequested() && link_.stopCause() == Link::StopCause::Person) TakeStop();
  if (polling && now - lastAsk_ >= kStatusInterval) {
    SerialWrite(link_, kStatusQuery);
    lastAsk_ = now;
    if (!asking_) {
      asking_ = true;
      lastHeard_ = std::max(lastHeard_, now);
    }
  }
  int byte = -2;
  if (events) {
    byte = SerialReadByte(link_);
  } else if (SerialPort* port = link_.port()) {
    byte = port->ReadByte();
  }
  if (byte == -2) link_.FailRead();
  if (events && link_.Closing()) throw LinkError();
  // Silent only once what came is read: a program held up for a while (a
  // loaded machine) finds the board's report waiting. A board that sends
  // anything but the report counts as silent too.
  if (byte >= 0) ++bytesUnheard_;
  if (asking_ && now - lastHeard_ > kStatusSilence &&
      (byte < 0 || bytesUnheard_ > kLongestReply * 16)) {
    Lost("Плата grbl не отвечает на запрос состояния уже 2 с: связь со станком потеряна.");
  }
  if (byte < 0) return;
  const char c = static_cast<char>(byte);
  if (c == '\n') {
    const std::string line = std::exchange(partial_, {});
    Handle(grbl::ParseReply(line));
  } else if (c != '\r' && partial_.size() < kLongestReply) {
    partial_ += c;
  }
}

void GrblStream::Handle(const grbl::Reply& reply) {
  if (std::holds_alternative<grbl::Ok>(reply) || std::holds_alternative<grbl::Error>(reply)) {
    if (unanswered_.empty()) return;  // an answer to nothing of ours (a stale one)
    Entry entry = std::move(unanswered_.front());
    unanswered_.pop_front();
    bytesInBuffer_ -= entry.bytes;
    reportsAtAnswer_ = statusReports_;
    if (const auto* error = std::get_if<grbl::Error>(&reply)) {
      // grbl goes on with the next lines: hold them at once. What it does
      // after the refused line is no longer the program in order, so none
      // of it counts as done.
      TakeStop();
      if (!refusedLine_) refusedLine_ = entry.number;
      if (!failure_) {
        failure_ = "Плата grbl отказалась выполнить строку " + std::to_string(entry.number) + " «" +
                   entry.text + "»: error:" + std::to_string(error->code);
        const std::string_view meaning = grbl::ErrorMeaning(error->code);
        if (!meaning.empty()) *failure_ += " — " + std::string(meaning);
        *failure_ += ".\r\nЗадание остановлено, лазер и шпиндель выключены.";
      }
      return;
    }
    planned_.push_back(std::move(entry));
    return;
  }
  if (const auto* status = std::get_if<grbl::Status>(&reply)) {
    status_ = *status;
    ++statusReports_;
    asking_ = false;
    lastHeard_ = Clock::now();
    bytesUnheard_ = 0;
    // At rest with nothing outstanding: the head is where the next block starts.
    if (unanswered_.empty() && planned_.empty() && Idle(status->state)) {
      if (const auto at = MachinePlace(*status)) lastEnd_ = at;
    }
    if (alarmUncounted_) {
      if (const auto at = MachinePlace(*status)) {
        alarmUncounted_ = false;
        CreditByPlace(*at);
      }
    }
    if (status->blocksFree) {
      CreditExecuted(kPlannerBlocks - std::clamp(*status->blocksFree, 0, kPlannerBlocks));
    } else if (Idle(status->state) && unanswered_.empty()) {
      CreditExecuted(0);
    }
    if (statusSeen) statusSeen(*status);
    return;
  }
  if (const auto* alarm = std::get_if<grbl::Alarm>(&reply)) {
    if (!failure_) {
      failure_ = "Плата grbl подняла тревогу ALARM:" + std::to_string(alarm->code);
      const std::string_view meaning = grbl::AlarmMeaning(alarm->code);
      if (!meaning.empty()) *failure_ += " — " + std::string(meaning);
      *failure_ += ".\r\nЗадание остановлено. Снимите тревогу ($X) в окне позиционирования.";
    }
    status_.state = "Alarm";
    // The alarm threw the planner away: nothing more counts by the planner's
    // room, and the next status's place tells which blocks were done.
    if (!refusedLine_) {
      refusedLine_ = !planned_.empty()      ? planned_.front().number
                     : !unanswered_.empty() ? unanswered_.front().number
                                            : sent_ + 1;
      alarmUncounted_ = !planned_.empty();
    }
    return;
  }
  if (const auto* banner = std::get_if<grbl::Banner>(&reply)) {
    banner_ = *banner;
    return;
  }
  if (const auto* probe = std::get_if<grbl::ProbeResult>(&reply)) {
    probe_ = *probe;
    return;
  }
  if (const auto* setting = std::get_if<grbl::Setting>(&reply)) {
    if (reading_ != nullptr) reading_->settings[setting->number] = setting->value;
    return;
  }
  if (const auto* feedback = std::get_if<grbl::Feedback>(&reply)) {
    if (reading_ != nullptr && feedback->kind == "VER" && reading_->version.empty()) {
      reading_->version = feedback->text.substr(0, feedback->text.find('.', 2));
    }
    if (reading_ != nullptr && feedback->kind == "MSG" &&
        feedback->text.find("to unlock") != std::string::npos && !reading_->alarm) {
      reading_->alarm = 0;
    }
  }
}

void GrblStream::CreditExecuted(int blocksWaiting) {
  // The newest answered lines that hold `blocksWaiting` planner blocks are
  // still to come; every line before them is done.
  std::size_t waiting = 0;
  int blocks = 0;
  for (auto it = planned_.rbegin(); it != planned_.rend() && blocks < blocksWaiting; ++it) {
    ++waiting;
    if (it->block) ++blocks;
  }
  while (planned_.size() > waiting && (!refusedLine_ || planned_.front().number < *refusedLine_)) {
    const bool credit = planned_.front().credit;
    if (planned_.front().end) lastEnd_ = planned_.front().end;
    if (credit && planned_.front().end) creditedEnd_ = planned_.front().end;
    planned_.pop_front();
    if (credit && executed) executed();
  }
}

std::vector<std::optional<std::array<double, 3>>> GrblStream::Uncounted() const {
  std::vector<std::optional<std::array<double, 3>>> ends;
  for (const auto* lines : {&planned_, &unanswered_}) {
    for (const Entry& entry : *lines) {
      if (entry.credit) ends.push_back(entry.block ? entry.end : std::nullopt);
    }
  }
  return ends;
}

std::optional<std::array<double, 3>> GrblStream::PlaceOf(const grbl::Status& status) {
  return MachinePlace(status);
}

void GrblStream::CreditByPlace(const std::array<double, 3>& at) {
  // The first block that ends where the head stands, or before the one it
  // stands part way along; a place passed twice counts the first time, so
  // nothing is taken for done that was not.
  std::size_t done = 0;
  std::optional<std::array<double, 3>> from = lastEnd_;
  for (std::size_t i = 0; i < planned_.size(); ++i) {
    const Entry& entry = planned_[i];
    if (!entry.block) continue;
    if (!entry.end) break;
    if (Near(*entry.end, at)) {
      done = i + 1;
      break;
    }
    if (from && OnTheWay(*from, *entry.end, at)) break;
    from = entry.end;
  }
  for (std::size_t i = 0; i < done; ++i) {
    const bool credit = planned_.front().credit;
    lastEnd_ = planned_.front().end.has_value() ? planned_.front().end : lastEnd_;
    if (credit && planned_.front().end) creditedEnd_ = planned_.front().end;
    planned_.pop_front();
    if (credit && executed) executed();
  }
  if (!planned_.empty()) refusedLine_ = planned_.front().number;
}

std::optional<GrblIdentity> GrblStream::Connect() {
  // Read again after a lost link: nothing of before holds.
  unanswered_.clear();
  planned_.clear();
  bytesInBuffer_ = 0;
  partial_.clear();
  banner_.reset();
  probe_.reset();
  failure_.reset();
  refusedLine_.reset();
  alarmUncounted_ = false;
  lastEnd_.reset();
  creditedEnd_.reset();
  holdSent_ = false;
  moving_ = false;
  asking_ = false;
  GrblIdentity identity;
  reading_ = &identity;
  struct Done {
    GrblStream& stream;
    ~Done() { stream.reading_ = nullptr; }
  } done{*this};
  const auto waitFor = [&](auto ready, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!ready() && Clock::now() < until) {
      if (link_.StopRequested()) throw LinkError();
      Step(false);
    }
    return ready();
  };
  // An Arduino restarts when its port opens and greets; a board that did
  // not restart answers "$I".
  identity.restarted = waitFor([&] { return banner_.has_value(); }, kBannerWait);
  if (!identity.restarted) {
    // A board that did not restart may still run out the blocks of a link
    // lost mid-job, and may hold half a line that a line end would run. Once
    // its head is at rest a soft reset throws that away and keeps its
    // position.
    const auto reports = statusReports_;
    SerialWrite(link_, kStatusQuery);
    if (waitFor([&] { return statusReports_ > reports; }, std::chrono::milliseconds(1000))) {
      while (Moving(status_.state)) {
        if (link_.StopRequested()) throw LinkError();
        Step(true);
      }
      if (status_.state == "Idle" || status_.state == "Hold:0") {
        SerialWrite(link_, kSoftReset);
        waitFor([&] { return banner_.has_value(); }, kBannerWait);
      }
    }
  }
  if (!banner_) {
    SerialWrite(link_, "\n$I\n");
    waitFor([&] { return !identity.version.empty() && partial_.empty(); },
            std::chrono::milliseconds(1500));
    if (!identity.version.empty()) banner_ = grbl::Banner{identity.version};
  }
  if (!banner_) {
    link_.frontend().ShowMessage(
        texts::kTitleVertolin,
        "Плата не ответила как grbl 1.1 (ни приветствия «Grbl 1.1…», ни ответа на «$I»).\r\n"
        "Проверьте порт и скорость в Настройках или выберите Protocol=native.");
    return std::nullopt;
  }
  identity.version = banner_->version;
  if (identity.version.substr(0, 3) != "1.1") {
    link_.frontend().ShowMessage(
        texts::kTitleVertolin,
        "Плата отвечает как grbl " + identity.version + ", а Vertolin умеет работать с grbl 1.1.");
    return std::nullopt;
  }
  // Answered in its own time; "$$" is refused in an alarm, so read first.
  unanswered_.clear();
  planned_.clear();
  bytesInBuffer_ = 0;
  const auto reports = statusReports_;
  SerialWrite(link_, kStatusQuery);
  waitFor([&] { return statusReports_ > reports; }, std::chrono::milliseconds(1000));
  if (grbl::StateName(status_.state) == "Alarm" && !identity.alarm) identity.alarm = 0;
  SendAlone("$$");
  return identity;
}

void GrblStream::AskStop() {
  if (link_.stopCause() != Link::StopCause::Person || !stopAsked || inQuestion_) {
    TakeStop();
    throw LinkError();
  }
  Hold();
  inQuestion_ = true;
  struct Out {
    bool& flag;
    ~Out() { flag = false; }
  } out{inQuestion_};
  stopAsked();
}

void GrblStream::Send(std::string_view line, bool block, bool credit,
                      std::optional<std::array<double, 3>> end) {
  const std::size_t bytes = line.size() + 1;
  while (bytesInBuffer_ + bytes > kReceiveBuffer && !unanswered_.empty()) {
    if (failure_) Fail(*failure_);
    if (link_.StopRequested()) {
      AskStop();
      continue;
    }
    Step(true);
  }
  if (failure_) Fail(*failure_);
  std::string text(line);
  text += '\n';
  SerialWrite(link_, text);
  ++sent_;
  bytesInBuffer_ += bytes;
  unanswered_.push_back({bytes, block, credit, sent_, std::string(line), end});
  if (block) moving_ = true;
}

void GrblStream::SendAlone(std::string_view line) {
  if (!unanswered_.empty() || !planned_.empty()) Finish();
  Send(line, false, false);
  while (!unanswered_.empty()) {
    if (failure_) Fail(*failure_);
    Step(false);
  }
  if (failure_) Fail(*failure_);
  planned_.clear();
}

void GrblStream::AwaitAnswers() {
  while (!unanswered_.empty()) {
    if (failure_) Fail(*failure_);
    if (link_.StopRequested()) {
      AskStop();
      continue;
    }
    Step(true);
  }
}

void GrblStream::Finish() {
  for (;;) {
    if (failure_) Fail(*failure_);
    if (link_.StopRequested()) {
      AskStop();
      continue;
    }
    // A report that came after the last answer and finds the board idle.
    if (unanswered_.empty() && planned_.empty() && statusReports_ > reportsAtAnswer_ &&
        Idle(status_.state)) {
      moving_ = false;
      lastEnd_ = MachinePlace(status_);
      creditedEnd_.reset();
      return;
    }
    Step(true);
  }
}

const grbl::Status& GrblStream::AwaitStatus() {
  const auto since = statusReports_;
  lastAsk_ = {};  // asked at once
  while (statusReports_ == since) Step(true);
  return status_;
}

void GrblStream::AwaitState(bool (*done)(std::string_view state)) {
  const auto since = statusReports_;
  // A report asked before the change may still say the old state.
  while (statusReports_ < since + 2 || !done(status_.state)) Step(true);
}

void GrblStream::Hold() {
  TakeStop();
  AwaitState(AtRest);
}

grbl::ProbeResult GrblStream::AwaitProbe() {
  while (!probe_ || !probe_->touched) {
    if (failure_) Fail(*failure_);
    if (link_.StopRequested()) {
      AskStop();
      continue;
    }
    Step(true);
  }
  return *std::exchange(probe_, std::nullopt);
}

void GrblStream::CancelJog() { SerialWrite(link_, "\x85"); }

void GrblStream::Resume() {
  if (!holdSent_) return;
  holdSent_ = false;
  SerialWrite(link_, kCycleStart);
  status_.state = "Run";
}

void GrblStream::Abort() {
  if (unanswered_.empty() && planned_.empty() && !holdSent_ && Idle(status_.state)) return;
  unanswered_.clear();
  planned_.clear();
  bytesInBuffer_ = 0;
  TakeStop();
  // No events run: the program is closing. The head comes to rest within a
  // second at any feed grbl takes; a reset then keeps its position.
  const auto until = Clock::now() + std::chrono::seconds(1);
  try {
    const auto since = statusReports_;
    while (Clock::now() < until && (statusReports_ < since + 2 || !AtRest(status_.state))) {
      Step(true, false);
    }
  } catch (const LinkError&) {
    // The line is gone: nothing more can be said to the board.
    return;
  }
  SerialWrite(link_, kSoftReset);
  holdSent_ = false;
  moving_ = false;
}

void GrblStream::Forget() {
  creditedEnd_.reset();
  unanswered_.clear();
  planned_.clear();
  bytesInBuffer_ = 0;
  alarmUncounted_ = false;
}

void GrblStream::Halt() {
  if (unanswered_.empty() && planned_.empty() && !holdSent_ && Idle(status_.state)) return;
  try {
    Hold();
  } catch (const LinkError&) {
    // The board stopped answering: nothing it did can be counted any more.
    unanswered_.clear();
    planned_.clear();
    bytesInBuffer_ = 0;
    holdSent_ = false;
    throw;
  }
  // The report that found the head at rest counted what the planner holds.
  lastEnd_ = MachinePlace(status_);
  creditedEnd_.reset();
  alarmUncounted_ = false;
  unanswered_.clear();
  planned_.clear();
  bytesInBuffer_ = 0;
  banner_.reset();
  SerialWrite(link_, kSoftReset);
  const auto until = Clock::now() + kBannerWait;
  while (!banner_ && Clock::now() < until) Step(false);
  holdSent_ = false;
  moving_ = false;
  failure_.reset();
  refusedLine_.reset();
  if (!banner_) Lost("Плата grbl не ответила после сброса: связь со станком потеряна.");
  status_.state = "Idle";
}

}  // namespace vertolin
