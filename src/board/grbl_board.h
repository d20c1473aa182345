// A grbl 1.1 board in software, for the tests and for trying the G-code
// sender without a machine. Like SimulatedBoard it is driven by the bytes it
// receives and the time the caller passes in, and never sleeps: bytes come
// over the line at the baud rate, lines wait in the 128-byte receive buffer
// until the 15-block planner has room, and every block takes its time at its
// feed (divided by motionScale), at constant speed.
//
// The simulation runs lazily up to the latest time anyone passes in, the
// queries included; asking about an earlier time gives the latest state.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vertolin {

struct GrblBoardOptions {
  std::int32_t baud = 115200;  // bytes take 10 bits each on the line, both ways
  double motionScale = 1.0;    // motion runs this many times faster than its feed; 0: instant
  bool laserMode = true;       // $32 at start
  std::array<double, 3> stepsPerMm{250, 250, 250};  // $100..$102
  int reportMask = 1;                               // $10 at start (bit 0 MPos, bit 1 Bf)
  double maxPower = 1000;                           // $30
  std::function<double(double x, double y)>
      surface;                // probe surface height in mm; none: never touches
  bool alarmAtStart = false;  // starts in ALARM state, prints "[MSG:'$H'|'$X' to unlock]"
  int dropAfter = -1;         // the line drops after this many lines received (-1 never)
  int silentAfter = -1;       // answers nothing at all (no ok, no status) after this many lines
  // $110..$112 in mm/min: G0 runs at these, and no block runs faster.
  std::array<double, 3> maxRates{1000, 1000, 1000};
  // At a drop the board loses its power with the line (a board fed by the
  // USB cable): the head stops where it is and the planner is lost. True: the
  // board keeps its own power and runs out the blocks it has planned.
  bool dropRunsOut = false;
  // A fault in the middle of a job: the line with this number (counted as
  // `GrblExecuted::line`) is answered error:`errorCode` instead of being run.
  std::int64_t errorAtLine = -1;
  int errorCode = 0;
  // A hard limit switch trips as the block of this line starts: ALARM:1, the
  // head stops at once and the planner is lost.
  std::int64_t limitAtLine = -1;
};

struct GrblExecuted {         // one block whose motion grbl completed (or a non-motion line done)
  std::int64_t line;          // 1-based count of the G-code lines the board received since start
  std::string text;           // the line as received, without its newline
  std::array<double, 3> end;  // machine position in mm after it
  bool laserOn;               // spindle/laser on with power > 0 while it moved
  double power;               // S value in force
};

class GrblBoard {
 public:
  using Clock = std::chrono::steady_clock;

  explicit GrblBoard(GrblBoardOptions options = {});
  ~GrblBoard();
  GrblBoard(GrblBoard&&) noexcept;
  GrblBoard& operator=(GrblBoard&&) noexcept;

  // Bytes from the PC, starting down the line at `now`.
  void Receive(std::string_view bytes, Clock::time_point now);
  // The bytes that have come over the line back to the PC by `now` (at most `max`).
  std::string TakeOutput(Clock::time_point now, std::size_t max = SIZE_MAX);
  // When something next happens without new input; nothing when all is still.
  std::optional<Clock::time_point> NextEventTime() const;
  // True once the line has dropped (dropAfter) and the answers before it are taken.
  bool LineDropped() const;
  // The line is back at `now` (a board that kept its own power, dropRunsOut):
  // it ran out its planner meanwhile and listens again; what was on the
  // line is lost.
  void LineBack(Clock::time_point now);

  const std::vector<GrblExecuted>& Executed() const;            // in order of completion
  std::array<double, 3> Position(Clock::time_point now) const;  // mm, interpolated mid-block
  bool LaserBurning(
      Clock::time_point now) const;  // laser on, power > 0, and (M3, or M4 while moving)
  std::string State(
      Clock::time_point now) const;  // "Idle", "Run", "Hold:0", "Hold:1", "Alarm", "Jog"
  std::size_t Overflowed() const;    // bytes dropped because the 128-byte RX buffer was full
  std::size_t PeakReceived() const;  // the most bytes the RX buffer held at once
  int PlannerBlocksFree(Clock::time_point now) const;
  void SetSurface(std::function<double(double, double)> surface);

  // Lines answered so far ("ok" or "error:N"), "$" lines and empty lines included.
  std::int64_t LinesTaken() const;
  // A setting as "$$" shows it; nothing for a number grbl does not have.
  std::optional<double> Setting(int number) const;

  static constexpr std::size_t kRxBufferSize = 128;  // one byte always stays free
  static constexpr int kPlannerBlocks = 15;
  // How long a feed hold or a jog cancel takes to bring the head to rest
  // (divided by motionScale): the head keeps going along its block meanwhile.
  static constexpr std::chrono::milliseconds kDeceleration{50};

 private:
  class Machine;
  // Behind a pointer so that the queries, which run the simulation up to
  // their time, can stay const.
  std::unique_ptr<Machine> machine_;
};

}  // namespace vertolin
