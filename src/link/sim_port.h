// A port whose far end is a built-in simulated board, in this process: one
// of the native boards, or a grbl 1.1 board. It keeps the timing of a real
// port: a read waits up to the read window.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "board/grbl_board.h"
#include "board/simulated_board.h"
#include "link/serial_port.h"

namespace vertolin {

class SimPort : public SerialPort {
 public:
  explicit SimPort(SimulatedBoard board) : board_(std::move(board)) {}
  explicit SimPort(GrblBoard board) : board_(std::move(board)) {}

  void Write(std::string_view bytes) override;
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override;
  int ReadByte() override;

  // The board at the far end; each throws std::bad_variant_access for the other kind.
  SimulatedBoard& board() { return std::get<SimulatedBoard>(board_); }
  GrblBoard& grbl() { return std::get<GrblBoard>(board_); }
  // A grbl board's line is back (GrblBoard::LineBack); bytes it sent before
  // the drop and not yet read are lost with it.
  void LineBack();

 private:
  void Receive(std::string_view bytes);
  std::string TakeOutput(std::size_t max);
  bool LineDropped() const;
  std::optional<std::chrono::steady_clock::time_point> NextEventTime() const;

  std::variant<SimulatedBoard, GrblBoard> board_;
  std::string incoming_;
  std::size_t next_ = 0;
};

// "sim:M", "sim:S", "sim:P", "sim:B" or "sim:O" (a native board of that kind)
// and "sim:G" (a grbl 1.1 board); another name gives the not-found message
// and nothing.
std::unique_ptr<SerialPort> OpenSimulatedPort(std::string_view name, Frontend& frontend,
                                              int* systemError);

}  // namespace vertolin
