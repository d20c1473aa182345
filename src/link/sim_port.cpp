#include "link/sim_port.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "util/frontend.h"
#include "link/texts.h"

namespace vertolin {

namespace {

constexpr std::size_t kChunk = 256;

}  // namespace

void SimPort::Write(std::string_view bytes) {
  if (!board_.LineDropped()) board_.Receive(bytes, SimulatedBoard::Clock::now());
}

bool SimPort::WriteChecked(std::string_view bytes, std::chrono::milliseconds) {
  if (board_.LineDropped()) return false;
  board_.Receive(bytes, SimulatedBoard::Clock::now());
  return true;
}

int SimPort::ReadByte() {
  if (next_ == incoming_.size()) {
    incoming_.clear();
    next_ = 0;
    const auto start = SimulatedBoard::Clock::now();
    incoming_ = board_.TakeOutput(start, kChunk);
    if (incoming_.empty()) {
      if (board_.LineDropped()) return -2;
      // Wait as a real port would: until the board has something, at most
      // one read window.
      auto until = start + kReadWindow;
      if (const auto next = board_.NextEventTime()) until = std::min(until, std::max(*next, start));
      std::this_thread::sleep_until(until);
      incoming_ = board_.TakeOutput(SimulatedBoard::Clock::now(), kChunk);
      if (incoming_.empty()) return board_.LineDropped() ? -2 : -1;
    }
  }
  return static_cast<unsigned char>(incoming_[next_++]);
}

std::unique_ptr<SerialPort> OpenSimulatedPort(std::string_view name, Frontend& frontend,
                                              int* systemError) {
  constexpr std::string_view kKinds = "MSPBO";
  if (name.size() == 5) {
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(name[4])));
    if (kKinds.find(kind) != std::string_view::npos) {
      return std::make_unique<SimPort>(SimulatedBoard(kind));
    }
  }
  frontend.ShowMessage(texts::kTitleVertolin, PortNotFoundText(name));
  if (systemError != nullptr) *systemError = kNotFoundError;
  return nullptr;
}

}  // namespace vertolin
