// The lines written to a board and not yet acknowledged, oldest first. The
// board answers in order, so every acknowledgement belongs to the oldest;
// counting them so tells how far the board has come in a job's own program
// (not the lines a stop or a restore adds), and where that left the router's
// tool: the job's resume point.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>
#include <optional>

#include "motion/motion.h"

namespace vertolin {

// How far a job has come, as far as the board has confirmed it: its first
// `lines` program lines (the lines its steps produce, not those a stop or a
// restore adds) are acknowledged, and they left the router's tool at `depth`
// steps from where the job began.
struct ResumePoint {
  std::int64_t lines = 0;
  std::int64_t depth = 0;
};

class LinesInFlight {
 public:
  // A program line is written for `motion`, leaving the tool at `depth`; the
  // board is busy with it for about `stepTime`.
  void ProgramLine(std::int64_t depth, const Motion& motion,
                   std::chrono::microseconds stepTime = {}) {
    ++programLines_;
    lines_.push_back({true, depth, motion, stepTime});
  }
  // A program line the board did before (a resumed job's replay): counted
  // as acknowledged where it stands.
  void ProgramLineDone(std::int64_t depth) {
    ++programLines_;
    programAcknowledged_ = programLines_;
    acknowledgedDepth_ = depth;
  }
  // A program line that is not written at all (no port): counted only.
  void ProgramLineUnsent() { ++programLines_; }
  // Any other line (a pause, a restore, a jog) for `motion`, moving the
  // job's tool by `zSteps`.
  void ExtraLine(const Motion& motion, std::int64_t zSteps,
                 std::chrono::microseconds stepTime = {}) {
    lines_.push_back({false, DepthInFlight() + zSteps, motion, stepTime});
  }

  // The board acknowledged the oldest line: its motion, if one was in flight.
  std::optional<Motion> Acknowledged() {
    if (lines_.empty()) return std::nullopt;
    const Line done = lines_.front();
    lines_.pop_front();
    if (done.program) ++programAcknowledged_;
    acknowledgedDepth_ = done.depth;
    return done.motion;
  }

  bool empty() const { return lines_.empty(); }
  void Forget() { lines_.clear(); }
  // Which of the lines in flight, oldest first, are the program's.
  std::vector<bool> ProgramInFlight() const {
    std::vector<bool> program;
    program.reserve(lines_.size());
    for (const Line& line : lines_) program.push_back(line.program);
    return program;
  }
  // The step time of the oldest line in flight (0 when none is).
  std::chrono::microseconds OldestStepTime() const {
    return lines_.empty() ? std::chrono::microseconds{0} : lines_.front().stepTime;
  }
  std::int64_t programLines() const { return programLines_; }
  ResumePoint resumePoint() const { return {programAcknowledged_, acknowledgedDepth_}; }
  // Where the lines written so far leave the router's tool.
  std::int64_t DepthInFlight() const {
    return lines_.empty() ? acknowledgedDepth_ : lines_.back().depth;
  }

 private:
  struct Line {
    bool program;
    std::int64_t depth;
    Motion motion;
    std::chrono::microseconds stepTime;
  };
  std::deque<Line> lines_;
  std::int64_t programLines_ = 0;
  std::int64_t programAcknowledged_ = 0;
  std::int64_t acknowledgedDepth_ = 0;
};

}  // namespace vertolin
