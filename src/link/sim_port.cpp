#include "link/sim_port.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "util/frontend.h"
#include "link/texts.h"

namespace vertolin {

namespace {

constexpr std::size_t kChunk = 256;

using Clock = std::chrono::steady_clock;

}  // namespace

void SimPort::Receive(std::string_view bytes) {
  std::visit([&](auto& board) { board.Receive(bytes, Clock::now()); }, board_);
}

std::string SimPort::TakeOutput(std::size_t max) {
  return std::visit([&](auto& board) { return board.TakeOutput(Clock::now(), max); }, board_);
}

bool SimPort::LineDropped() const {
  return std::visit([](const auto& board) { return board.LineDropped(); }, board_);
}

std::optional<Clock::time_point> SimPort::NextEventTime() const {
  return std::visit([](const auto& board) { return board.NextEventTime(); }, board_);
}

void SimPort::LineBack() {
  grbl().LineBack(Clock::now());
  incoming_.clear();
  next_ = 0;
}

void SimPort::Write(std::string_view bytes) {
  if (!LineDropped()) Receive(bytes);
}

bool SimPort::WriteChecked(std::string_view bytes, std::chrono::milliseconds) {
  if (LineDropped()) return false;
  Receive(bytes);
  return true;
}

int SimPort::ReadByte() {
  if (next_ == incoming_.size()) {
    incoming_.clear();
    next_ = 0;
    const auto start = Clock::now();
    incoming_ = TakeOutput(kChunk);
    if (incoming_.empty()) {
      if (LineDropped()) return -2;
      // Wait as a real port would: until the board has something, at most
      // one read window.
      auto until = start + kReadWindow;
      if (const auto next = NextEventTime()) until = std::min(until, std::max(*next, start));
      std::this_thread::sleep_until(until);
      incoming_ = TakeOutput(kChunk);
      if (incoming_.empty()) return LineDropped() ? -2 : -1;
    }
  }
  return static_cast<unsigned char>(incoming_[next_++]);
}

std::unique_ptr<SerialPort> OpenSimulatedPort(std::string_view name, Frontend& frontend,
                                              int* systemError) {
  constexpr std::string_view kKinds = "MSPBO";
  if (name.size() == 5) {
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(name[4])));
    if (kind == 'G') return std::make_unique<SimPort>(GrblBoard());
    if (kKinds.find(kind) != std::string_view::npos) {
      return std::make_unique<SimPort>(SimulatedBoard(kind));
    }
  }
  frontend.ShowMessage(texts::kTitleVertolin, PortNotFoundText(name));
  if (systemError != nullptr) *systemError = kNotFoundError;
  return nullptr;
}

}  // namespace vertolin
