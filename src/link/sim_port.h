// A port whose far end is the built-in simulated board, in this process. It
// keeps the timing of a real port: a read waits up to the read window.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "board/simulated_board.h"
#include "link/serial_port.h"

namespace vertolin {

class SimPort : public SerialPort {
 public:
  explicit SimPort(SimulatedBoard board) : board_(std::move(board)) {}

  void Write(std::string_view bytes) override;
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override;
  int ReadByte() override;

  SimulatedBoard& board() { return board_; }

 private:
  SimulatedBoard board_;
  std::string incoming_;
  std::size_t next_ = 0;
};

// "sim:M", "sim:S", "sim:P", "sim:B" or "sim:O"; another name gives the
// not-found message and nothing.
std::unique_ptr<SerialPort> OpenSimulatedPort(std::string_view name, Frontend& frontend,
                                              int* systemError);

}  // namespace vertolin
