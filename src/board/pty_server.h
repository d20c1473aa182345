// Serves a simulated board on a pseudo-terminal, so that the program's own
// serial code can talk to it as to a real port. POSIX only; not part of the
// core.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "board/grbl_board.h"
#include "board/simulated_board.h"

namespace vertolin {

// What the server needs of a board: bytes in, bytes out by the clock, when
// to look again, and its record.
class BoardSimulation {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~BoardSimulation() = default;
  virtual void Receive(std::string_view bytes, Clock::time_point now) = 0;
  virtual std::string TakeOutput(Clock::time_point now, std::size_t max) = 0;
  virtual std::optional<Clock::time_point> NextEventTime() const = 0;
  virtual bool LineDropped() const = 0;
  // The line is back after a drop (only a board that keeps its own power).
  virtual void LineBack(Clock::time_point /*now*/) {}
  // Appends one line for each command or block the board has done since the
  // last call.
  virtual void WriteRecord(std::FILE* record) = 0;
};

// A native board: a line per complete command, with the position after it in steps.
class NativeBoardSimulation : public BoardSimulation {
 public:
  explicit NativeBoardSimulation(SimulatedBoard& board) : board_(board) {}
  void Receive(std::string_view bytes, Clock::time_point now) override;
  std::string TakeOutput(Clock::time_point now, std::size_t max) override;
  std::optional<Clock::time_point> NextEventTime() const override;
  bool LineDropped() const override;
  void WriteRecord(std::FILE* record) override;

 private:
  SimulatedBoard& board_;
  std::size_t recorded_ = 0;
};

// A grbl board: a line per executed block, "LINE<TAB>TEXT<TAB>X Y Z<TAB>laser on|off S<power>",
// with the position in mm.
class GrblBoardSimulation : public BoardSimulation {
 public:
  explicit GrblBoardSimulation(GrblBoard& board) : board_(board) {}
  void Receive(std::string_view bytes, Clock::time_point now) override;
  std::string TakeOutput(Clock::time_point now, std::size_t max) override;
  std::optional<Clock::time_point> NextEventTime() const override;
  bool LineDropped() const override;
  void LineBack(Clock::time_point now) override;
  void WriteRecord(std::FILE* record) override;

 private:
  GrblBoard& board_;
  std::size_t recorded_ = 0;
};

struct PtyServeOptions {
  std::FILE* record = nullptr;  // the board's record, when given
  bool stopAtStdinEof = false;  // end when standard input closes
  // After a drop the line comes back this much later on a new port, whose
  // path is printed like the first; none: the server ends at a drop.
  std::optional<std::chrono::milliseconds> lineBack;
};

// Opens a pseudo-terminal, prints the path of its port on stdout and answers
// for `board` until a stop signal, the end of stdin (when asked) or the
// board's line drop (or, with `lineBack`, serves again on a new port).
// Returns the exit code for the program.
int ServeOnPty(BoardSimulation& board, const PtyServeOptions& options);

}  // namespace vertolin
