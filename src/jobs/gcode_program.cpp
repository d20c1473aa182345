#include "jobs/gcode_program.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "link/board_protocol.h"
#include "link/link.h"

namespace vertolin {

GcodeProgram::GcodeProgram(const GcodeOptions& options, std::ostream* out)
    : writer_(options, true), out_(out) {}

void GcodeProgram::Put(std::string& blocks) {
  lines_ += std::count(blocks.begin(), blocks.end(), '\n');
  bytes_ += static_cast<std::int64_t>(blocks.size());
  if (out_ != nullptr) {
    *out_ << blocks;
  } else {
    text_ += blocks;
  }
  blocks.clear();
}

void GcodeProgram::Written(const Motion& motion, std::string_view) {
  if (closed_) return;
  std::string blocks;
  if (!std::exchange(started_, true)) blocks = writer_.Opening();
  writer_.Add(motion, blocks);
  Put(blocks);
}

void GcodeProgram::Close() {
  if (std::exchange(closed_, true)) return;
  std::string blocks;
  if (!std::exchange(started_, true)) blocks = writer_.Opening();
  writer_.Close(blocks);
  Put(blocks);
}

std::optional<std::string> ExportGcode(WindowLink& window,
                                       const std::function<bool(MotionObserver&)>& count) {
  GcodeProgram program(GcodeOptionsFor(window.link().profile(), window.format()));
  if (!count(program)) return std::nullopt;
  program.Close();
  return program.text();
}

}  // namespace vertolin
