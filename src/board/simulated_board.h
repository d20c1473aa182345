// The board side of the protocol, in software: a stand-in for the firmware so
// that the program runs and is tested without hardware. It is driven by the
// bytes it receives and by the time the caller passes in; it never sleeps.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vertolin {

// The idle step delay in µs a board is set to unless told otherwise: the
// settings' default SM_delay (the board layer cannot read the settings).
inline constexpr std::int32_t kBoardIdleDelay = 2000;

// Misbehaviour the board can be told to show, for tests, and the pace it keeps.
struct BoardFaults {
  std::chrono::milliseconds replyDelay{0};  // every reply goes out this late
  bool silent = false;                      // never answers anything
  std::string garbageBeforeAck;             // sent before every acknowledgement "T"
  bool babble = false;                      // sends bytes without end and never a "T"
  int dropAfter = -1;                       // the line drops after this many commands (-1: never)
  bool crlf = false;                        // every reply is followed by CR LF
  // silent and babble begin only once this many commands have been answered:
  // a board that works for a while and then falls silent or babbles.
  int faultAfter = 0;
  // Take a real board's time: a command is answered only once its bytes have
  // come over the line at `baud` (10 bits a byte) and the board has stepped
  // it, its largest axis step count times its step delay (`idleDelay` µs
  // where it gives none), one command after another.
  bool pace = false;
  std::int32_t baud = 9600;
  std::int32_t idleDelay = kBoardIdleDelay;
};

// One complete command as the board took it.
struct BoardCommand {
  std::string text;                                 // as received, ";" included when it had one
  std::vector<std::optional<std::int64_t>> fields;  // empty fields are nullopt
  std::array<std::int64_t, 3> positionAfter{};      // X, Y, Z in steps after the command
  bool burn = false;                                // a raster burn move (gradation, wood burning)
  std::int64_t burnDelay = 0;                       // its step delay in µs
  bool laserOn = false;                             // laser or tool state after the command
};

class SimulatedBoard {
 public:
  using Clock = std::chrono::steady_clock;
  // Height of the surface under the probe at a position in steps.
  using HeightFunction = std::function<std::int64_t(std::int64_t x, std::int64_t y)>;

  // `kind` is the firmware letter: 'M' milling, 'S' scanner, 'P' laser,
  // 'B' wood burning, 'O' cutting; any other letter answers "V;" with itself.
  explicit SimulatedBoard(char kind, BoardFaults faults = {});

  // Bytes from the PC, arriving at `now`.
  void Receive(std::string_view bytes, Clock::time_point now);

  // The reply bytes due by `now` (at most `max`). An unterminated pause line
  // ("0,0,-1" or "0,0,1") is taken as complete after a short silence, so
  // calling this also lets time pass for the board.
  std::string TakeOutput(Clock::time_point now, std::size_t max = SIZE_MAX);

  // When something next happens without new input (a delayed reply falls
  // due, a pause line completes, babble goes on); nothing when idle.
  std::optional<Clock::time_point> NextEventTime() const;

  // True once the line has dropped (fault dropAfter).
  bool LineDropped() const;

  void SetHeightFunction(HeightFunction height);

  char kind() const;
  std::array<std::int64_t, 3> Position() const;
  bool LaserOn() const;
  // Every complete command in order, "V;" and lines that do not parse
  // included; those two carry no fields. Lines that do not parse are still
  // acknowledged, so that the PC never waits for ever.
  const std::vector<BoardCommand>& Record() const;

  // How long the line must stay quiet before an unterminated pause line counts.
  static constexpr std::chrono::milliseconds kPauseLineSilence{5};

 private:
  struct Pending {
    Clock::time_point due;
    std::string bytes;
  };
  void Execute(std::string text, Clock::time_point now);
  // When the board is done with a command that came whole at `arrived` and
  // steps `steps` at `delay` µs; `arrived` itself when not pacing.
  Clock::time_point Stepped(Clock::time_point arrived, std::int64_t steps, std::int64_t delay);
  // How long `bytes` bytes take on the line.
  Clock::duration WireTime(std::size_t bytes) const;
  void Reply(std::string bytes, Clock::time_point now);
  // True once dropAfter commands have come: later input is ignored.
  bool TakingNoMore() const;
  void UpdateDropped();
  bool PauseLineWaiting() const;
  // The silent or babble fault has begun.
  bool Silenced() const;
  bool Babbling() const;
  void CompletePauseLine(Clock::time_point now);

  char kind_;
  BoardFaults faults_;
  HeightFunction height_;
  std::string partial_;
  bool overlong_ = false;  // the partial line outgrew its bound; the rest until ";" is dropped
  Clock::time_point lastReceive_{};
  Clock::time_point lastSeen_{};  // the latest time any caller passed in
  std::size_t babbleIndex_ = 0;
  std::vector<Pending> pending_;
  std::vector<BoardCommand> record_;
  std::array<std::int64_t, 3> position_{};
  bool laserOn_ = false;
  bool raster_ = false;
  std::int64_t rasterIdle_ = 0;    // the idle delay the raster's opening line gave
  Clock::time_point wireFree_{};   // the last byte received so far has come over the line
  Clock::time_point busyUntil_{};  // the board has stepped every command so far
  int commands_ = 0;
  bool dropped_ = false;
};

}  // namespace vertolin
