#include "board/grbl_board.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <deque>
#include <initializer_list>
#include <limits>
#include <map>
#include <utility>

namespace vertolin {

namespace {

using Clock = GrblBoard::Clock;
using Time = Clock::time_point;
using Steps = std::array<double, 3>;

constexpr std::size_t kRxUsable = GrblBoard::kRxBufferSize - 1;
constexpr std::size_t kPlannerSize = GrblBoard::kPlannerBlocks;
// grbl's line buffer holds 80 characters with its terminator, counted after
// spaces and comments are stripped.
constexpr std::size_t kLineChars = 79;
constexpr double kMaxLineNumber = 9999999;
// Hostile numbers must not overflow the step counts or the clock.
constexpr double kFarthestMm = 1e7;
constexpr double kMostSteps = 1e15;
constexpr double kLongestSeconds = 24.0 * 3600;
constexpr double kMmPerInch = 25.4;

constexpr std::string_view kBanner = "\r\nGrbl 1.1h ['$' for help]\r\n";
constexpr std::string_view kUnlockHint = "[MSG:'$H'|'$X' to unlock]\r\n";
constexpr std::string_view kHelp =
    "[HLP:$$ $# $G $I $N $x=val $Nx=line $J=line $SLP $C $X $H ~ ! ? ctrl-x]\r\n";

// grbl's error numbers, the ones this board gives.
enum Error : int {
  kLetterExpected = 1,
  kBadNumber = 2,
  kInvalidStatement = 3,
  kNegativeValue = 4,
  kHomingDisabled = 5,
  kNotIdle = 8,
  kLocked = 9,
  kLineOverflow = 11,
  kInvalidJog = 16,
  kUnsupported = 20,
  kModalConflict = 21,
  kUndefinedFeed = 22,
  kNotInteger = 23,
  kRepeatedWord = 25,
  kNoAxisWords = 26,
  kBadLineNumber = 27,
  kMissingValue = 28,
  kG53Motion = 30,
  kInvalidTarget = 33,
  kUnusedWords = 36,
};

// The settings "$$" lists, in its order, with grbl's defaults; the options
// replace some. Integers print without decimals.
struct SettingRow {
  int number;
  double value;
  bool integer;
};
constexpr SettingRow kSettingRows[] = {
    {0, 10, true},      {1, 25, true},      {2, 0, true},       {3, 0, true},
    {4, 0, true},       {5, 0, true},       {6, 0, true},       {10, 1, true},
    {11, 0.010, false}, {12, 0.002, false}, {13, 0, true},      {20, 0, true},
    {21, 0, true},      {22, 0, true},      {23, 0, true},      {24, 25, false},
    {25, 500, false},   {26, 250, true},    {27, 1, false},     {30, 1000, true},
    {31, 0, true},      {32, 0, true},      {100, 250, false},  {101, 250, false},
    {102, 250, false},  {110, 1000, false}, {111, 1000, false}, {112, 1000, false},
    {120, 10, false},   {121, 10, false},   {122, 10, false},   {130, 200, false},
    {131, 200, false},  {132, 200, false},
};

const SettingRow* FindSetting(int number) {
  for (const SettingRow& row : kSettingRows) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

// Texts joined by appending: g++ 12 at -O3 sees a false overlap (-Wrestrict)
// in the temporaries of "literal" + std::string.
std::string Join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  std::string joined;
  joined.reserve(size);
  for (const std::string_view part : parts) joined += part;
  return joined;
}

// Three decimals, as grbl prints positions; never "-0.000".
std::string Mm(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string out(text);
  if (out == "-0.000") out.erase(0, 1);
  return out;
}

std::string Whole(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.0f", value);
  std::string out(text);
  if (out == "-0") out.erase(0, 1);
  return out;
}

Clock::duration Seconds(double seconds) {
  if (!(seconds > 0)) return {};
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(std::min(seconds, kLongestSeconds)));
}

// A line as grbl's reader keeps it: comments and whitespace gone, letters upper case.
std::string CleanLine(std::string_view text) {
  std::string out;
  bool comment = false;
  for (const char c : text) {
    if (comment) {
      if (c == ')') comment = false;
      continue;
    }
    if (c == '(') {
      comment = true;
    } else if (c == ';') {
      break;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  return out;
}

// grbl's numbers: an optional sign, digits with at most one point, no exponent.
std::optional<double> ReadNumber(std::string_view text, std::size_t& at) {
  std::size_t i = at;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t start = i;
  int digits = 0;
  int points = 0;
  while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) {
    if (text[i] == '.') {
      ++points;
    } else {
      ++digits;
    }
    ++i;
  }
  if (digits == 0 || points > 1) return std::nullopt;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + i, value);
  if (ptr != text.data() + i) return std::nullopt;
  if (ec == std::errc::result_out_of_range) value = std::numeric_limits<double>::max();
  at = i;
  return negative ? -value : value;
}

struct Word {
  char letter;
  double value;
};

int SplitWords(std::string_view line, std::vector<Word>& words) {
  std::size_t at = 0;
  while (at < line.size()) {
    const char letter = line[at];
    if (letter < 'A' || letter > 'Z') return kLetterExpected;
    ++at;
    const auto value = ReadNumber(line, at);
    if (!value) return kBadNumber;
    words.push_back({letter, *value});
  }
  return 0;
}

enum class Spindle { Off, Cw, Ccw };
enum class MotionMode { Rapid, Linear, Probe };

// What one line asks for, checked for grbl's word rules but not yet done.
struct Block {
  std::optional<MotionMode> motion;
  bool dwell = false;
  bool machineCoordinates = false;  // G53
  bool setOffset = false;           // G92
  bool clearOffset = false;         // G92.1
  std::optional<bool> inches;
  std::optional<bool> relative;
  std::optional<Spindle> spindle;
  bool programEnd = false;
  std::optional<double> feed, power, pause;
  std::array<std::optional<double>, 3> axes;
  bool HasAxes() const { return axes[0] || axes[1] || axes[2]; }
};

int ReadBlock(const std::vector<Word>& words, bool jog, Block& block) {
  // Modal groups seen: motion, non-modal, units, distance, plane, coordinate
  // system, feed mode; stopping, spindle, coolant.
  enum Group {
    kMotion,
    kNonModal,
    kUnits,
    kDistance,
    kPlane,
    kSystem,
    kFeedMode,
    kStop,
    kSpin,
    kCoolant,
    kGroups
  };
  bool seen[kGroups] = {};
  const auto group = [&](Group g) {
    if (seen[g]) return false;
    seen[g] = true;
    return true;
  };
  bool letterSeen[26] = {};
  for (const Word& word : words) {
    const double value = word.value;
    if (word.letter == 'G' || word.letter == 'M') {
      const double whole = std::trunc(value);
      const long mantissa = std::lround((value - whole) * 100);
      if (whole < 0 || whole > 1000) return kUnsupported;
      const int code = static_cast<int>(whole);
      if (mantissa != 0 && !(word.letter == 'G' && (code == 38 || code == 92))) return kNotInteger;
      if (word.letter == 'G') {
        bool fresh = true;
        switch (code) {
          case 0:
          case 1:
            fresh = group(kMotion);
            block.motion = code == 0 ? MotionMode::Rapid : MotionMode::Linear;
            break;
          case 38:
            if (mantissa != 20) return kUnsupported;
            fresh = group(kMotion);
            block.motion = MotionMode::Probe;
            break;
          case 4:
            fresh = group(kNonModal);
            block.dwell = true;
            break;
          case 53:
            fresh = group(kNonModal);
            block.machineCoordinates = true;
            break;
          case 92:
            if (mantissa != 0 && mantissa != 10) return kUnsupported;
            fresh = group(kNonModal);
            (mantissa == 0 ? block.setOffset : block.clearOffset) = true;
            break;
          case 20:
          case 21:
            fresh = group(kUnits);
            block.inches = code == 20;
            break;
          case 90:
          case 91:
            fresh = group(kDistance);
            block.relative = code == 91;
            break;
          case 17:
            fresh = group(kPlane);
            break;
          case 54:
            fresh = group(kSystem);
            break;
          case 94:
            fresh = group(kFeedMode);
            break;
          default:
            return jog ? kInvalidJog : kUnsupported;
        }
        if (!fresh) return kModalConflict;
        if (jog &&
            (block.motion || block.dwell || seen[kPlane] || seen[kSystem] || seen[kFeedMode])) {
          return kInvalidJog;
        }
      } else {
        if (jog) return kInvalidJog;
        bool fresh = true;
        switch (code) {
          case 2:
          case 30:
            fresh = group(kStop);
            block.programEnd = true;
            break;
          case 3:
          case 4:
          case 5:
            fresh = group(kSpin);
            block.spindle = code == 3 ? Spindle::Cw : code == 4 ? Spindle::Ccw : Spindle::Off;
            break;
          case 8:
          case 9:
            fresh = group(kCoolant);
            break;
          default:
            return kUnsupported;
        }
        if (!fresh) return kModalConflict;
      }
      continue;
    }
    const int index = word.letter - 'A';
    if (letterSeen[index]) return kRepeatedWord;
    letterSeen[index] = true;
    switch (word.letter) {
      case 'X':
      case 'Y':
      case 'Z':
        block.axes[static_cast<std::size_t>(word.letter - 'X')] = value;
        break;
      case 'F':
        if (value < 0) return kNegativeValue;
        block.feed = value;
        break;
      case 'N':
        if (jog) return kInvalidJog;
        if (value < 0) return kNegativeValue;
        if (value < 1 || value > kMaxLineNumber) return kBadLineNumber;
        break;
      case 'S':
      case 'P':
      case 'T':
        if (jog) return kInvalidJog;
        if (value < 0) return kNegativeValue;
        if (word.letter == 'S') block.power = value;
        if (word.letter == 'P') block.pause = value;
        if (word.letter == 'T' && value != std::trunc(value)) return kNotInteger;
        break;
      default:
        return jog ? kInvalidJog : kUnsupported;
    }
  }
  if (block.dwell && !block.pause) return kMissingValue;
  if (block.pause && !block.dwell) return kUnusedWords;
  if (block.dwell && block.HasAxes()) return kUnusedWords;
  return 0;
}

}  // namespace

class GrblBoard::Machine {
 public:
  explicit Machine(GrblBoardOptions options);

  void Receive(std::string_view bytes, Time now);
  std::string TakeOutput(Time now, std::size_t max);
  std::optional<Time> NextEventTime() const;
  bool LineDropped() const;
  void Advance(Time until);
  void LineBack(Time now);

  std::array<double, 3> PositionMm() const;
  bool LaserBurning() const;
  std::string StateName() const;
  // A dwell waits outside grbl's planner.
  int PlannerBlocksFree() const {
    const bool dwelling = !planner_.empty() && planner_.front().dwell;
    return static_cast<int>(kPlannerSize - planner_.size()) + (dwelling ? 1 : 0);
  }
  std::optional<double> Setting(int number) const;

  std::vector<GrblExecuted> executed_;
  std::size_t overflowed_ = 0;
  std::size_t peakReceived_ = 0;
  std::int64_t lines_ = 0;
  std::function<double(double, double)> surface_;

 private:
  enum class Hold { None, Decelerating, Held };
  enum class Event { None, BlockEnd, HoldEnd, JogCancelEnd, PowerLoss };

  // A block in the planner: a move, a jog, a probe or a dwell.
  struct Planned {
    std::int64_t line = 0;
    std::string text;
    std::array<std::int64_t, 3> target{};  // steps
    Clock::duration left{};                // what is left of its time (all of it until it starts)
    double feed = 0;                       // mm/min as programmed, for the status report
    bool rapid = false;
    bool jog = false;
    bool probe = false;
    bool touches = false;  // a probe that meets the surface at its target
    bool dwell = false;
    Spindle spindle = Spindle::Off;
    double power = 0;
    bool answerAtEnd = false;  // probes and dwells are answered when done
  };
  struct Output {
    Time due;
    std::string bytes;
  };
  struct Arrival {
    Time at;
    char byte;
  };
  struct Modal {
    MotionMode motion = MotionMode::Rapid;
    bool inches = false;
    bool relative = false;
    Spindle spindle = Spindle::Off;
    double feed = 0;  // mm/min
    double power = 0;
  };

  Clock::duration WireTime(std::size_t bytes) const;
  Clock::duration Scaled(Clock::duration real) const;
  bool LaserMode() const { return settings_.at(32) != 0; }
  double StepsPerMm(std::size_t axis) const { return settings_.at(100 + static_cast<int>(axis)); }
  double MaxRate(std::size_t axis) const { return settings_.at(110 + static_cast<int>(axis)); }

  // The head's position in steps at `t`, mid-block when it moves.
  Steps HeadAt(Time t) const;
  std::array<double, 3> ToMm(const Steps& steps) const;
  std::array<double, 3> ToMm(const std::array<std::int64_t, 3>& steps) const;
  std::array<std::int64_t, 3> ToSteps(const std::array<double, 3>& mm) const;

  std::pair<Event, Time> NextMotionEvent() const;
  void HandleMotionEvent(Event event);
  void StartHead();
  void CompleteHead();
  void TripLimit();
  void EndHold();
  void EndJogCancel();
  void LosePower();
  void NoteDropTime();

  void TakeByte(char byte);
  void FeedHold();
  void CycleStart();
  void JogCancel();
  void SoftReset();
  std::string StatusReport() const;
  std::string ProbeReport(bool succeeded) const;

  // Takes whole lines from the receive buffer while the board can.
  void Pump();
  // False: the line must wait in the buffer (the planner has no room for it).
  bool TakeLine(std::string_view text, bool overlong);
  bool GcodeLine(std::string_view raw, const std::string& line, std::int64_t number);
  bool SystemLine(const std::string& line, std::int64_t number);
  bool JogLine(const std::string& gcode, std::int64_t number);
  void WriteSetting(const std::string& line, std::int64_t number);
  void SyncParserToHead();
  // The time a move of `delta` steps takes at `feed` mm/min (rapid: at the
  // axes' maximum rates); sets `feed` to the rate it runs at.
  Clock::duration MoveTime(const std::array<std::int64_t, 3>& from,
                           const std::array<std::int64_t, 3>& to, bool rapid, double& feed) const;
  std::array<double, 3> Target(const Block& block, const Modal& modal) const;
  void Done(std::int64_t number, std::string_view text);

  void Emit(std::string_view text, std::int64_t forLine = 0);
  void Answer(std::int64_t number, int error);
  bool Idle() const { return !alarm_ && hold_ == Hold::None && planner_.empty() && !jogCancel_; }
  bool Jogging() const { return jogCancel_ || (!planner_.empty() && planner_.front().jog); }

  GrblBoardOptions options_;
  std::map<int, double> settings_;
  Time now_{};

  std::deque<Arrival> wire_;
  Time wireFree_{};
  std::string rx_;
  bool overlong_ = false;  // the line at the buffer's head outgrew it; dropped up to its "\n"

  std::deque<Output> out_;
  Time outFree_{};

  std::deque<Planned> planner_;
  bool moving_ = false;  // the planner's first block is under way
  Time startedAt_{};
  Time endsAt_{};
  Steps from_{};      // where the moving block (re)started
  Steps position_{};  // where the head is when nothing moves
  Hold hold_ = Hold::None;
  Time holdEndsAt_{};
  bool jogCancel_ = false;
  Time cancelEndsAt_{};
  bool alarm_ = false;

  Modal modal_;
  std::array<double, 3> parserMm_{};            // where the parser's next move starts
  std::array<double, 3> offsetMm_{};            // G92's, gone at a reset
  std::array<std::int64_t, 3> plannedSteps_{};  // where the planner's last block ends
  std::array<double, 3> lastProbe_{};
  bool probeSucceeded_ = false;

  bool hung_ = false;  // silentAfter reached: the board takes and answers nothing
  bool deaf_ = false;  // dropAfter reached: input is ignored until the line goes
  std::optional<Time> dropAt_;
  bool poweredOff_ = false;
};

GrblBoard::Machine::Machine(GrblBoardOptions options)
    : surface_(std::move(options.surface)), options_(std::move(options)) {
  for (const SettingRow& row : kSettingRows) settings_[row.number] = row.value;
  settings_[10] = options_.reportMask;
  settings_[30] = options_.maxPower;
  settings_[32] = options_.laserMode ? 1 : 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const int offset = static_cast<int>(axis);
    if (options_.stepsPerMm[axis] > 0) settings_[100 + offset] = options_.stepsPerMm[axis];
    if (options_.maxRates[axis] > 0) settings_[110 + offset] = options_.maxRates[axis];
  }
  alarm_ = options_.alarmAtStart;
  Emit(kBanner);
  if (alarm_) Emit(kUnlockHint);
  hung_ = options_.silentAfter == 0;
  deaf_ = options_.dropAfter == 0;
  NoteDropTime();
}

Clock::duration GrblBoard::Machine::WireTime(std::size_t bytes) const {
  if (options_.baud <= 0) return {};
  const auto bits = static_cast<std::int64_t>(bytes) * 10;
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(bits * std::int64_t{1'000'000'000} / options_.baud));
}

Clock::duration GrblBoard::Machine::Scaled(Clock::duration real) const {
  if (!(options_.motionScale > 0)) return {};
  return Seconds(std::chrono::duration<double>(real).count() / options_.motionScale);
}

void GrblBoard::Machine::Receive(std::string_view bytes, Time now) {
  Advance(now);
  if (bytes.empty()) return;
  // The bytes follow any still on their way, one every 10 bit times; a byte's
  // time is counted from the first, so that rounding never adds up.
  const Time start = std::max(now_, wireFree_);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    wire_.push_back({start + WireTime(i + 1), bytes[i]});
  }
  wireFree_ = start + WireTime(bytes.size());
  Advance(now_);
}

std::string GrblBoard::Machine::TakeOutput(Time now, std::size_t max) {
  Advance(now);
  std::string got;
  while (!out_.empty() && out_.front().due <= now_ && got.size() < max) {
    std::string& bytes = out_.front().bytes;
    const std::size_t room = max - got.size();
    if (bytes.size() <= room) {
      got += bytes;
      out_.pop_front();
    } else {
      got.append(bytes, 0, room);
      bytes.erase(0, room);
    }
  }
  return got;
}

std::optional<Time> GrblBoard::Machine::NextEventTime() const {
  if (LineDropped()) return std::nullopt;
  std::optional<Time> next;
  const auto consider = [&](Time t) {
    if (!next || t < *next) next = t;
  };
  if (!out_.empty()) consider(out_.front().due);
  if (!wire_.empty() && !deaf_) consider(wire_.front().at);
  const auto [event, at] = NextMotionEvent();
  if (event != Event::None) consider(at);
  return next;
}

bool GrblBoard::Machine::LineDropped() const { return dropAt_ && now_ >= *dropAt_ && out_.empty(); }

void GrblBoard::Machine::Advance(Time until) {
  while (true) {
    const auto [event, at] = NextMotionEvent();
    const bool motionDue = event != Event::None && at <= until;
    const bool byteDue = !wire_.empty() && wire_.front().at <= until;
    if (!motionDue && !byteDue) break;
    // A block that ends as a byte arrives ends first: it may make room for it.
    if (motionDue && (!byteDue || at <= wire_.front().at)) {
      now_ = std::max(now_, at);
      HandleMotionEvent(event);
    } else {
      now_ = std::max(now_, wire_.front().at);
      const char byte = wire_.front().byte;
      wire_.pop_front();
      TakeByte(byte);
    }
    Pump();
    NoteDropTime();
  }
  now_ = std::max(now_, until);
}

std::pair<GrblBoard::Machine::Event, Time> GrblBoard::Machine::NextMotionEvent() const {
  if (poweredOff_) return {Event::None, {}};
  std::pair<Event, Time> next{Event::None, {}};
  if (jogCancel_) {
    next = {Event::JogCancelEnd, cancelEndsAt_};
  } else if (hold_ == Hold::Decelerating) {
    next = {Event::HoldEnd, holdEndsAt_};
  } else if (moving_) {
    next = {Event::BlockEnd, endsAt_};
  }
  if (dropAt_ && !options_.dropRunsOut && (next.first == Event::None || *dropAt_ < next.second)) {
    next = {Event::PowerLoss, *dropAt_};
  }
  return next;
}

void GrblBoard::Machine::HandleMotionEvent(Event event) {
  switch (event) {
    case Event::BlockEnd:
      CompleteHead();
      StartHead();
      break;
    case Event::HoldEnd:
      EndHold();
      break;
    case Event::JogCancelEnd:
      EndJogCancel();
      break;
    case Event::PowerLoss:
      LosePower();
      break;
    case Event::None:
      break;
  }
}

Steps GrblBoard::Machine::HeadAt(Time t) const {
  if (!moving_ || planner_.empty()) return position_;
  const auto& target = planner_.front().target;
  if (t >= endsAt_ || endsAt_ <= startedAt_) {
    return {static_cast<double>(target[0]), static_cast<double>(target[1]),
            static_cast<double>(target[2])};
  }
  const double share = std::chrono::duration<double>(std::max(t, startedAt_) - startedAt_) /
                       std::chrono::duration<double>(endsAt_ - startedAt_);
  Steps at{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    at[axis] = from_[axis] + (static_cast<double>(target[axis]) - from_[axis]) * share;
  }
  return at;
}

std::array<double, 3> GrblBoard::Machine::ToMm(const Steps& steps) const {
  return {steps[0] / StepsPerMm(0), steps[1] / StepsPerMm(1), steps[2] / StepsPerMm(2)};
}

std::array<double, 3> GrblBoard::Machine::ToMm(const std::array<std::int64_t, 3>& steps) const {
  return ToMm(Steps{static_cast<double>(steps[0]), static_cast<double>(steps[1]),
                    static_cast<double>(steps[2])});
}

std::array<std::int64_t, 3> GrblBoard::Machine::ToSteps(const std::array<double, 3>& mm) const {
  std::array<std::int64_t, 3> steps{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const double count = std::clamp(mm[axis], -kFarthestMm, kFarthestMm) * StepsPerMm(axis);
    steps[axis] = std::llround(std::clamp(count, -kMostSteps, kMostSteps));
  }
  return steps;
}

std::array<double, 3> GrblBoard::Machine::PositionMm() const { return ToMm(HeadAt(now_)); }

void GrblBoard::Machine::StartHead() {
  if (moving_ || planner_.empty() || alarm_ || hold_ != Hold::None || poweredOff_) return;
  if (planner_.front().line == options_.limitAtLine) {
    TripLimit();
    return;
  }
  from_ = position_;
  startedAt_ = now_;
  endsAt_ = now_ + planner_.front().left;
  moving_ = true;
}

void GrblBoard::Machine::CompleteHead() {
  Planned block = std::move(planner_.front());
  planner_.pop_front();
  moving_ = false;
  position_ = {static_cast<double>(block.target[0]), static_cast<double>(block.target[1]),
               static_cast<double>(block.target[2])};
  const bool lit = block.spindle != Spindle::Off && block.power > 0 &&
                   !(LaserMode() && (block.rapid || block.probe || block.jog || block.dwell));
  if (block.probe && !block.touches) {
    // No contact within the travel: grbl raises the alarm and reports the
    // last probe position it has, marked failed.
    alarm_ = true;
    probeSucceeded_ = false;
    Emit("ALARM:5\r\n", block.line);
    Emit(ProbeReport(false), block.line);
  } else if (block.probe) {
    lastProbe_ = ToMm(block.target);
    probeSucceeded_ = true;
    Emit(ProbeReport(true), block.line);
  }
  if (block.probe) SyncParserToHead();
  executed_.push_back({block.line, std::move(block.text), ToMm(block.target), lit, block.power});
  if (block.answerAtEnd) Answer(block.line, 0);
}

void GrblBoard::Machine::TripLimit() {
  options_.limitAtLine = -1;
  planner_.clear();
  SyncParserToHead();
  alarm_ = true;
  Emit("ALARM:1\r\n");
  Emit("[MSG:Reset to continue]\r\n");
}

void GrblBoard::Machine::EndHold() {
  hold_ = Hold::Held;
  if (!moving_) return;
  if (holdEndsAt_ >= endsAt_) {
    CompleteHead();  // the block ran out while slowing down; the next waits for "~"
    return;
  }
  Planned& block = planner_.front();
  position_ = HeadAt(holdEndsAt_);
  block.left = endsAt_ - holdEndsAt_;
  moving_ = false;
}

void GrblBoard::Machine::EndJogCancel() {
  jogCancel_ = false;
  if (moving_ && cancelEndsAt_ >= endsAt_) {
    CompleteHead();
  } else {
    position_ = HeadAt(cancelEndsAt_);
  }
  moving_ = false;
  planner_.clear();
  SyncParserToHead();
}

void GrblBoard::Machine::LosePower() {
  position_ = HeadAt(*dropAt_);
  moving_ = false;
  planner_.clear();
  hold_ = Hold::None;
  jogCancel_ = false;
  poweredOff_ = true;
}

void GrblBoard::Machine::LineBack(Time now) {
  Advance(now);
  options_.dropAfter = -1;
  deaf_ = false;
  dropAt_.reset();
  wire_.clear();
  out_.clear();
  Pump();
}

void GrblBoard::Machine::NoteDropTime() {
  if (!deaf_ || dropAt_) return;
  // The line goes once the answers owed before it are out.
  for (const Planned& block : planner_) {
    if (block.answerAtEnd) return;
  }
  dropAt_ = std::max(now_, outFree_);
}

void GrblBoard::Machine::SyncParserToHead() {
  const Steps at = HeadAt(now_);
  parserMm_ = ToMm(at);
  for (std::size_t axis = 0; axis < 3; ++axis) plannedSteps_[axis] = std::llround(at[axis]);
}

void GrblBoard::Machine::TakeByte(char byte) {
  if (deaf_ || poweredOff_) return;
  const auto code = static_cast<unsigned char>(byte);
  const bool realTime = byte == '?' || byte == '!' || byte == '~' || code == 0x18 || code >= 0x80;
  if (realTime) {
    // A hung board's main loop never gets to them.
    if (hung_) return;
    if (byte == '?') {
      Emit(StatusReport());
    } else if (byte == '!') {
      FeedHold();
    } else if (byte == '~') {
      CycleStart();
    } else if (code == 0x18) {
      SoftReset();
    } else if (code == 0x85) {
      JogCancel();
    }
    return;  // the other overrides change nothing here
  }
  if (rx_.size() >= kRxUsable) {
    ++overflowed_;
    return;
  }
  rx_.push_back(byte);
  peakReceived_ = std::max(peakReceived_, rx_.size());
}

void GrblBoard::Machine::FeedHold() {
  if (alarm_ || hold_ != Hold::None) return;
  if (Jogging()) {
    JogCancel();  // grbl cancels a jog on a feed hold
    return;
  }
  if (moving_ && !planner_.front().dwell) {
    hold_ = Hold::Decelerating;
    holdEndsAt_ = std::min(now_ + Scaled(kDeceleration), endsAt_);
  } else {
    // From Idle grbl holds at once, and plans without starting; a dwell runs
    // out its time regardless.
    hold_ = Hold::Held;
  }
}

void GrblBoard::Machine::CycleStart() {
  // Only a hold that has come to rest resumes; grbl ignores "~" while it slows down.
  if (hold_ != Hold::Held || alarm_) return;
  hold_ = Hold::None;
  StartHead();
}

void GrblBoard::Machine::JogCancel() {
  if (!Jogging() || jogCancel_) return;
  if (moving_) {
    jogCancel_ = true;
    cancelEndsAt_ = std::min(now_ + Scaled(kDeceleration), endsAt_);
  } else {
    planner_.clear();
    SyncParserToHead();
  }
}

void GrblBoard::Machine::SoftReset() {
  const bool inMotion = (moving_ && !planner_.front().dwell) || jogCancel_;
  position_ = HeadAt(now_);
  moving_ = false;
  planner_.clear();
  hold_ = Hold::None;
  jogCancel_ = false;
  rx_.clear();
  overlong_ = false;
  modal_ = Modal{};
  offsetMm_ = {};
  SyncParserToHead();
  if (inMotion) {
    // Stopped without slowing down: the position may be lost.
    alarm_ = true;
    Emit("ALARM:3\r\n");
  }
  Emit(kBanner);
  if (alarm_) Emit(kUnlockHint);
}

std::string GrblBoard::Machine::StatusReport() const {
  const int mask = static_cast<int>(settings_.at(10));
  auto at = PositionMm();
  if (!(mask & 1)) {
    for (std::size_t axis = 0; axis < 3; ++axis) at[axis] -= offsetMm_[axis];
  }
  std::string report = Join({"<", StateName(), (mask & 1) ? "|MPos:" : "|WPos:", Mm(at[0]), ",",
                             Mm(at[1]), ",", Mm(at[2])});
  if (mask & 2) {
    report += Join(
        {"|Bf:", std::to_string(PlannerBlocksFree()), ",", std::to_string(kRxUsable - rx_.size())});
  }
  double feed = 0;
  double speed = modal_.spindle != Spindle::Off ? modal_.power : 0;
  if (moving_ && !planner_.empty()) {
    const Planned& block = planner_.front();
    feed = block.feed;
    speed = block.spindle != Spindle::Off ? block.power : 0;
  }
  report += Join({"|FS:", Whole(feed), ",", Whole(speed), ">\r\n"});
  return report;
}

std::string GrblBoard::Machine::ProbeReport(bool succeeded) const {
  return Join({"[PRB:", Mm(lastProbe_[0]), ",", Mm(lastProbe_[1]), ",", Mm(lastProbe_[2]),
               succeeded ? ":1]\r\n" : ":0]\r\n"});
}

std::string GrblBoard::Machine::StateName() const {
  if (alarm_) return "Alarm";
  if (hold_ == Hold::Decelerating) return "Hold:1";
  if (hold_ == Hold::Held) return "Hold:0";
  if (Jogging()) return "Jog";
  // grbl dwells outside a cycle.
  if (!planner_.empty() && !planner_.front().dwell) return "Run";
  return "Idle";
}

bool GrblBoard::Machine::LaserBurning() const {
  if (alarm_ || poweredOff_) return false;
  Spindle spindle = modal_.spindle;
  double power = modal_.power;
  bool moving = false;
  bool unlit = modal_.motion != MotionMode::Linear;  // laser mode lights G1 only
  if (moving_ && !planner_.empty()) {
    const Planned& block = planner_.front();
    spindle = block.spindle;
    power = block.power;
    moving = !block.dwell && hold_ != Hold::Held;
    unlit = block.rapid || block.probe || block.jog;
  }
  if (spindle == Spindle::Off || !(power > 0)) return false;
  if (!LaserMode()) return true;  // a spindle output: on whatever the motion, holds included
  if (hold_ != Hold::None || unlit) return false;
  return spindle == Spindle::Cw || moving;
}

std::optional<double> GrblBoard::Machine::Setting(int number) const {
  const auto found = settings_.find(number);
  if (found == settings_.end()) return std::nullopt;
  return found->second;
}

void GrblBoard::Machine::Emit(std::string_view text, std::int64_t forLine) {
  if (dropAt_ && now_ >= *dropAt_) return;
  // A hung board still finishes the answers to the lines it had taken.
  if (hung_ && (forLine == 0 || forLine > options_.silentAfter)) return;
  const Time due = std::max(now_, outFree_) + WireTime(text.size());
  outFree_ = due;
  out_.push_back({due, std::string(text)});
}

void GrblBoard::Machine::Answer(std::int64_t number, int error) {
  Emit(error == 0 ? std::string("ok\r\n") : Join({"error:", std::to_string(error), "\r\n"}),
       number);
}

void GrblBoard::Machine::Pump() {
  while (!hung_ && !deaf_ && !poweredOff_) {
    const std::size_t end = rx_.find('\n');
    if (end == std::string::npos) {
      // A line longer than the buffer would block it for ever: grbl's line
      // buffer overflows first and the line is answered error:11 at its end.
      if (rx_.size() >= kRxUsable) {
        overlong_ = true;
        rx_.clear();
      }
      return;
    }
    std::string text = rx_.substr(0, end);
    std::erase(text, '\r');
    if (!TakeLine(text, overlong_)) return;
    overlong_ = false;
    rx_.erase(0, end + 1);
  }
}

bool GrblBoard::Machine::TakeLine(std::string_view text, bool overlong) {
  const std::int64_t number = lines_ + 1;
  // Nothing goes on while a probe or a dwell is under way: grbl is inside it.
  for (const Planned& block : planner_) {
    if (block.answerAtEnd) return false;
  }
  const std::string line = CleanLine(text);
  bool taken = true;
  if (number == options_.errorAtLine) {
    Answer(number, options_.errorCode);
  } else if (overlong || line.size() > kLineChars) {
    Answer(number, kLineOverflow);
  } else if (!line.empty() && line.front() == '$') {
    taken = SystemLine(line, number);
  } else if (!line.empty() && (alarm_ || Jogging())) {
    Answer(number, kLocked);
  } else {
    taken = GcodeLine(text, line, number);
  }
  if (!taken) return false;
  lines_ = number;
  if (options_.silentAfter >= 0 && lines_ >= options_.silentAfter) hung_ = true;
  if (options_.dropAfter >= 0 && lines_ >= options_.dropAfter) deaf_ = true;
  return true;
}

void GrblBoard::Machine::Done(std::int64_t number, std::string_view text) {
  const bool lit = modal_.spindle != Spindle::Off && modal_.power > 0;
  executed_.push_back({number, std::string(text), ToMm(HeadAt(now_)), lit, modal_.power});
  Answer(number, 0);
}

Clock::duration GrblBoard::Machine::MoveTime(const std::array<std::int64_t, 3>& from,
                                             const std::array<std::int64_t, 3>& to, bool rapid,
                                             double& feed) const {
  std::array<double, 3> delta{};
  double squares = 0;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    delta[axis] = static_cast<double>(to[axis] - from[axis]) / StepsPerMm(axis);
    squares += delta[axis] * delta[axis];
  }
  const double distance = std::sqrt(squares);
  if (!(distance > 0)) return {};
  // No axis runs faster than its maximum rate; a rapid runs at that limit.
  double limit = std::numeric_limits<double>::max();
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (delta[axis] != 0) limit = std::min(limit, MaxRate(axis) * distance / std::abs(delta[axis]));
  }
  feed = rapid ? limit : std::min(feed, limit);
  if (!(feed > 0)) return Seconds(kLongestSeconds);
  if (!(options_.motionScale > 0)) return {};
  return Seconds(distance / feed * 60 / options_.motionScale);
}

std::array<double, 3> GrblBoard::Machine::Target(const Block& block, const Modal& modal) const {
  std::array<double, 3> target = parserMm_;
  const bool relative = modal.relative && !block.machineCoordinates;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (!block.axes[axis]) continue;
    const double mm = *block.axes[axis] * (modal.inches ? kMmPerInch : 1.0);
    const double absolute = block.machineCoordinates ? mm : mm + offsetMm_[axis];
    target[axis] = std::clamp(relative ? target[axis] + mm : absolute, -kFarthestMm, kFarthestMm);
  }
  return target;
}

bool GrblBoard::Machine::GcodeLine(std::string_view raw, const std::string& line,
                                   std::int64_t number) {
  std::vector<Word> words;
  Block block;
  int error = SplitWords(line, words);
  if (error == 0) error = ReadBlock(words, false, block);
  if (error != 0) {
    Answer(number, error);
    return true;
  }
  // The line's modal state, in grbl's order: feed, speed, spindle, units,
  // distance, then the motion.
  Modal next = modal_;
  if (block.inches) next.inches = *block.inches;
  if (block.relative) next.relative = *block.relative;
  if (block.feed) next.feed = *block.feed * (next.inches ? kMmPerInch : 1.0);
  if (block.power) next.power = *block.power;
  if (block.spindle) next.spindle = *block.spindle;
  if (block.motion) next.motion = *block.motion;
  if (block.setOffset && !block.HasAxes()) {
    Answer(number, kNoAxisWords);
    return true;
  }
  const bool moves = block.HasAxes() && !block.dwell && !block.setOffset;
  if (block.motion == MotionMode::Probe && !block.HasAxes()) {
    Answer(number, kNoAxisWords);
    return true;
  }
  if (block.machineCoordinates && next.motion == MotionMode::Probe) {
    Answer(number, kG53Motion);
    return true;
  }
  if (moves && next.motion != MotionMode::Rapid && !(next.feed > 0)) {
    Answer(number, kUndefinedFeed);
    return true;
  }
  const bool probe = moves && next.motion == MotionMode::Probe;
  std::array<double, 3> targetMm{};
  std::array<std::int64_t, 3> target{};
  if (moves) {
    targetMm = Target(block, next);
    target = ToSteps(targetMm);
  }
  const bool empty = moves && target == plannedSteps_;
  if (probe && empty) {
    Answer(number, kInvalidTarget);
    return true;
  }

  // What has to wait for the planner to run empty, as grbl syncs it: a change
  // of the spindle's state, a new speed with no motion to carry it (in laser
  // mode only under M3), program end, dwell and probe; in laser mode a move
  // of no steps under M3 too, which sets the power at once.
  const bool speedChange = next.power != modal_.power && next.spindle != Spindle::Off &&
                           !(moves && !empty) && (!LaserMode() || next.spindle == Spindle::Cw);
  const bool sync = next.spindle != modal_.spindle || speedChange || block.programEnd ||
                    block.dwell || probe || (empty && LaserMode() && next.spindle == Spindle::Cw);
  if (sync && !planner_.empty()) return false;
  const bool planned = (moves && !empty) || block.dwell;
  if (planned && planner_.size() >= kPlannerSize) return false;

  if (block.programEnd) {
    // grbl's program end: back to G1, G90 and the spindle off.
    next.motion = MotionMode::Linear;
    next.relative = false;
    next.spindle = Spindle::Off;
  }
  modal_ = next;
  // G92: the position the parser has reached is called the given one.
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (block.setOffset && block.axes[axis]) {
      offsetMm_[axis] = parserMm_[axis] - *block.axes[axis] * (modal_.inches ? kMmPerInch : 1.0);
    }
  }
  if (block.clearOffset) offsetMm_ = {};
  if (block.dwell) {
    Planned dwell;
    dwell.line = number;
    dwell.text = std::string(raw);
    dwell.target = plannedSteps_;
    dwell.left = Scaled(Seconds(*block.pause));  // grbl's P is in seconds
    dwell.dwell = true;
    dwell.spindle = modal_.spindle;
    dwell.power = modal_.power;
    dwell.answerAtEnd = true;
    planner_.push_back(std::move(dwell));
    StartHead();
    return true;
  }
  if (probe) {
    const std::array<double, 3> start = ToMm(position_);
    if (surface_ && surface_(start[0], start[1]) >= start[2]) {
      alarm_ = true;  // already touching: grbl refuses to start
      Emit("ALARM:4\r\n", number);
      Answer(number, 0);
      return true;
    }
    // Where the probe first meets the surface on its way to the target.
    double share = 1;
    bool touches = false;
    if (surface_) {
      constexpr int kSamples = 1000;
      const auto height = [&](double s) {
        const double x = start[0] + (targetMm[0] - start[0]) * s;
        const double y = start[1] + (targetMm[1] - start[1]) * s;
        return start[2] + (targetMm[2] - start[2]) * s - surface_(x, y);
      };
      double before = 0;
      for (int i = 1; i <= kSamples && !touches; ++i) {
        const double s = static_cast<double>(i) / kSamples;
        if (height(s) <= 0) {
          // Between two samples: halve the interval down to far below a step.
          double low = before;
          double high = s;
          for (int k = 0; k < 40; ++k) {
            const double mid = (low + high) / 2;
            (height(mid) <= 0 ? high : low) = mid;
          }
          share = high;
          touches = true;
        }
        before = s;
      }
    }
    std::array<double, 3> stopMm = targetMm;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      stopMm[axis] = start[axis] + (targetMm[axis] - start[axis]) * share;
    }
    Planned move;
    move.line = number;
    move.text = std::string(raw);
    move.target = ToSteps(stopMm);
    move.feed = modal_.feed;
    move.left = MoveTime(plannedSteps_, move.target, false, move.feed);
    move.probe = true;
    move.touches = touches;
    move.spindle = modal_.spindle;
    move.power = modal_.power;
    move.answerAtEnd = true;
    plannedSteps_ = move.target;
    parserMm_ = ToMm(move.target);
    planner_.push_back(std::move(move));
    StartHead();
    return true;
  }
  if (moves) parserMm_ = targetMm;
  if (moves && !empty) {
    Planned move;
    move.line = number;
    move.text = std::string(raw);
    move.target = target;
    move.rapid = modal_.motion == MotionMode::Rapid;
    move.feed = modal_.feed;
    move.left = MoveTime(plannedSteps_, target, move.rapid, move.feed);
    move.spindle = modal_.spindle;
    move.power = modal_.power;
    plannedSteps_ = target;
    planner_.push_back(std::move(move));
    Answer(number, 0);
    StartHead();
    return true;
  }
  // Nothing for the planner: done as soon as it is read, ahead of the blocks
  // still in the planner, as grbl does.
  if (block.programEnd) Emit("[MSG:Pgm End]\r\n", number);
  Done(number, raw);
  return true;
}

bool GrblBoard::Machine::SystemLine(const std::string& line, std::int64_t number) {
  if (line == "$") {
    Emit(kHelp, number);
    Answer(number, 0);
    return true;
  }
  const char command = line[1];
  if (command == 'J') {
    if (!(Idle() || Jogging())) {
      Answer(number, kNotIdle);
      return true;
    }
    if (line.size() < 3 || line[2] != '=') {
      Answer(number, kInvalidStatement);
      return true;
    }
    return JogLine(line.substr(3), number);
  }
  if (command == '$' || command == 'G' || command == 'C' || command == 'X') {
    if (line.size() != 2) {
      Answer(number, kInvalidStatement);
      return true;
    }
    if (command == '$') {
      if (!alarm_ && (hold_ != Hold::None || !planner_.empty())) {
        Answer(number, kNotIdle);  // too long to print during a cycle
        return true;
      }
      for (const SettingRow& row : kSettingRows) {
        const double value = settings_.at(row.number);
        char text[64];
        if (row.integer) {
          std::snprintf(text, sizeof text, "$%d=%.0f\r\n", row.number, value);
        } else {
          std::snprintf(text, sizeof text, "$%d=%.3f\r\n", row.number, value);
        }
        Emit(text, number);
      }
    } else if (command == 'G') {
      const char* motion = modal_.motion == MotionMode::Rapid    ? "G0"
                           : modal_.motion == MotionMode::Linear ? "G1"
                                                                 : "G38.2";
      const char* spindle = modal_.spindle == Spindle::Cw    ? "M3"
                            : modal_.spindle == Spindle::Ccw ? "M4"
                                                             : "M5";
      const double feed = modal_.feed / (modal_.inches ? kMmPerInch : 1.0);
      Emit(Join({"[GC:", motion, " G54 G17 ", modal_.inches ? "G20" : "G21", " ",
                 modal_.relative ? "G91" : "G90", " G94 ", spindle, " M9 T0 F", Whole(feed), " S",
                 Whole(modal_.power), "]\r\n"}),
           number);
    } else if (command == 'C') {
      Answer(number, kInvalidStatement);  // check mode is not simulated
      return true;
    } else if (alarm_) {
      alarm_ = false;
      Emit("[MSG:Caution: Unlocked]\r\n", number);
    }
    Answer(number, 0);
    return true;
  }
  if (!(Idle() || (alarm_ && hold_ == Hold::None))) {
    Answer(number, kNotIdle);
    return true;
  }
  if (line == "$H") {
    Answer(number, kHomingDisabled);
  } else if (line == "$I") {
    Emit("[VER:1.1h.20190825:]\r\n[OPT:V,15,128]\r\n", number);
    Answer(number, 0);
  } else if (line == "$N") {
    Emit("$N0=\r\n$N1=\r\n", number);
    Answer(number, 0);
  } else if (line == "$#") {
    for (const char* system : {"G54", "G55", "G56", "G57", "G58", "G59", "G28", "G30", "G92"}) {
      Emit(Join({"[", system, ":0.000,0.000,0.000]\r\n"}), number);
    }
    Emit("[TLO:0.000]\r\n", number);
    Emit(ProbeReport(probeSucceeded_), number);
    Answer(number, 0);
  } else if (std::isdigit(static_cast<unsigned char>(command))) {
    WriteSetting(line, number);
  } else {
    Answer(number, kInvalidStatement);
  }
  return true;
}

void GrblBoard::Machine::WriteSetting(const std::string& line, std::int64_t number) {
  std::size_t at = 1;
  const auto parameter = ReadNumber(line, at);
  if (!parameter) {
    Answer(number, kBadNumber);
    return;
  }
  if (at >= line.size() || line[at] != '=') {
    Answer(number, kInvalidStatement);
    return;
  }
  ++at;
  const auto value = ReadNumber(line, at);
  if (!value) {
    Answer(number, kBadNumber);
    return;
  }
  if (at != line.size() || *parameter < 0 || *parameter > 255 ||
      *parameter != std::trunc(*parameter)) {
    Answer(number, kInvalidStatement);
    return;
  }
  const int setting = static_cast<int>(*parameter);
  const SettingRow* row = FindSetting(setting);
  if (row == nullptr) {
    Answer(number, kInvalidStatement);
    return;
  }
  if (*value < 0) {
    Answer(number, kNegativeValue);
    return;
  }
  // Steps per mm and rates of 0 would divide by zero; grbl would take them
  // and misbehave, this board refuses them.
  if (setting >= 100 && setting <= 112 && !(*value > 0)) {
    Answer(number, kNegativeValue);
    return;
  }
  settings_[setting] = row->integer ? std::trunc(*value) : *value;
  // A new steps-per-mm changes what the step counts mean, as on grbl.
  if (setting >= 100 && setting <= 102) parserMm_ = ToMm(HeadAt(now_));
  Answer(number, 0);
}

bool GrblBoard::Machine::JogLine(const std::string& gcode, std::int64_t number) {
  std::vector<Word> words;
  Block block;
  int error = SplitWords(gcode, words);
  if (error == 0) error = ReadBlock(words, true, block);
  if (error == 0 && !block.feed) error = kUndefinedFeed;
  if (error == 0 && !block.HasAxes()) error = kNoAxisWords;
  if (error != 0) {
    Answer(number, error);
    return true;
  }
  // The jog's units and distance mode hold for the jog alone.
  Modal jog = modal_;
  if (block.inches) jog.inches = *block.inches;
  if (block.relative) jog.relative = *block.relative;
  const std::array<double, 3> targetMm = Target(block, jog);
  const std::array<std::int64_t, 3> target = ToSteps(targetMm);
  if (target == plannedSteps_) {
    Answer(number, 0);
    return true;
  }
  if (planner_.size() >= kPlannerSize) return false;
  Planned move;
  move.line = number;
  move.text = Join({"$J=", gcode});
  move.target = target;
  move.jog = true;
  move.feed = *block.feed * (jog.inches ? kMmPerInch : 1.0);
  move.left = MoveTime(plannedSteps_, target, false, move.feed);
  move.spindle = modal_.spindle;
  move.power = modal_.power;
  plannedSteps_ = target;
  parserMm_ = targetMm;
  planner_.push_back(std::move(move));
  Answer(number, 0);
  StartHead();
  return true;
}

GrblBoard::GrblBoard(GrblBoardOptions options)
    : machine_(std::make_unique<Machine>(std::move(options))) {}

GrblBoard::~GrblBoard() = default;
GrblBoard::GrblBoard(GrblBoard&&) noexcept = default;
GrblBoard& GrblBoard::operator=(GrblBoard&&) noexcept = default;

void GrblBoard::Receive(std::string_view bytes, Clock::time_point now) {
  machine_->Receive(bytes, now);
}

std::string GrblBoard::TakeOutput(Clock::time_point now, std::size_t max) {
  return machine_->TakeOutput(now, max);
}

std::optional<Clock::time_point> GrblBoard::NextEventTime() const {
  return machine_->NextEventTime();
}

bool GrblBoard::LineDropped() const { return machine_->LineDropped(); }

void GrblBoard::LineBack(Clock::time_point now) { machine_->LineBack(now); }

const std::vector<GrblExecuted>& GrblBoard::Executed() const { return machine_->executed_; }

std::array<double, 3> GrblBoard::Position(Clock::time_point now) const {
  machine_->Advance(now);
  return machine_->PositionMm();
}

bool GrblBoard::LaserBurning(Clock::time_point now) const {
  machine_->Advance(now);
  return machine_->LaserBurning();
}

std::string GrblBoard::State(Clock::time_point now) const {
  machine_->Advance(now);
  return machine_->StateName();
}

std::size_t GrblBoard::Overflowed() const { return machine_->overflowed_; }

std::size_t GrblBoard::PeakReceived() const { return machine_->peakReceived_; }

int GrblBoard::PlannerBlocksFree(Clock::time_point now) const {
  machine_->Advance(now);
  return machine_->PlannerBlocksFree();
}

void GrblBoard::SetSurface(std::function<double(double, double)> surface) {
  machine_->surface_ = std::move(surface);
}

std::int64_t GrblBoard::LinesTaken() const { return machine_->lines_; }

std::optional<double> GrblBoard::Setting(int number) const { return machine_->Setting(number); }

}  // namespace vertolin
