// A job as one G-code program (grbl 1.1's dialect), made from the motions a
// window link writes, whatever protocol its own lines are in: the opening,
// every motion with straight runs merged, the tool off and the end. The
// tool's --print --protocol grbl and the windows' "Сохранить G-code…" write
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "link/window_link.h"
#include "motion/gcode_protocol.h"

namespace vertolin {

class GcodeProgram : public MotionObserver {
 public:
  // The program goes to `out` block by block; without it, it is kept (text()).
  // Nothing is written before the first motion, so a job refused at once
  // writes no program.
  explicit GcodeProgram(const GcodeOptions& options, std::ostream* out = nullptr);

  void Written(const Motion& motion, std::string_view line) override;
  // Writes the closing blocks (after the opening, for a job of no motion);
  // nothing is added after it.
  void Close();

  bool started() const { return started_; }
  const std::string& text() const { return text_; }
  std::int64_t lines() const { return lines_; }
  std::int64_t bytes() const { return bytes_; }
  std::int64_t workLines() const { return writer_.workBlocks(); }

 private:
  void Put(std::string& blocks);

  GcodeWriter writer_;
  std::ostream* out_;
  std::string text_;
  std::int64_t lines_ = 0;
  std::int64_t bytes_ = 0;
  bool started_ = false;
  bool closed_ = false;
};

// The program of a job counted on `window`'s format and profile: `count`
// runs the mode's count ahead (jobs/job_count.h) with the program as its
// extra observer. Nothing when the job refuses (its count has nothing).
std::optional<std::string> ExportGcode(WindowLink& window,
                                       const std::function<bool(MotionObserver& program)>& count);

}  // namespace vertolin
