// The port of --print: every command line goes to a stream, one per line, and
// is acknowledged at once, so a job runs as if a board were there.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <iosfwd>
#include <string_view>
#include <utility>

#include "link/serial_port.h"
#include "link/window_link.h"

namespace vertolin {

class PrintPort : public SerialPort, public MotionObserver {
 public:
  // `kind` answers the identification query.
  PrintPort(std::ostream& out, char kind) : out_(&out), kind_(kind) {}
  // Hands every line to `onLine` instead of printing it (the estimate).
  PrintPort(std::function<void(std::string_view)> onLine, char kind)
      : onLine_(std::move(onLine)), kind_(kind) {}

  // Answers each probe with the next of `values` followed by "OK" instead of
  // "T"; with none left, with nothing. The port must see the window link's
  // motions (WindowLink::AddMotionObserver) to know a probe's line.
  void AnswerProbes(std::deque<std::int32_t> values) { probeValues_ = std::move(values); }
  void Written(const Motion& motion, std::string_view) override {
    probeNext_ = motion.kind == MotionKind::Probe;
  }

  void Write(std::string_view bytes) override;
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override;
  int ReadByte() override;
  bool TakesTime() const override { return false; }

 private:
  std::ostream* out_ = nullptr;
  std::function<void(std::string_view)> onLine_;
  char kind_;
  std::deque<char> replies_;
  bool probeNext_ = false;
  std::deque<std::int32_t> probeValues_;
};

}  // namespace vertolin
