// A way of speaking to a board: how motions become lines, how the board is
// asked who it is, and what a stop writes on the wire. The window link sends
// what a protocol writes and never looks inside a line; what is about the
// window rather than the wire (the stop question, the drive switch, the
// controls a failed handshake disables) is the window's LinkFormat.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion.h"

namespace vertolin {

class Protocol {
 public:
  virtual ~Protocol() = default;

  // The line for `motion`, `idle` being the board's idle delay in µs;
  // nothing when the board is to get nothing for it (a move of no steps that
  // carries no delay), or when this board has no way to do it (a jog for a
  // firmware that defines none).
  // A protocol may keep state from motion to motion (G-code's absolute
  // position), so each motion is encoded once, in the order it is sent.
  virtual std::optional<std::string> Encode(const Motion& motion, std::int32_t idle) = 0;

  // The lines a program begins with before its first motion and ends with
  // after its last (units, the tool off); the native boards need none.
  virtual std::vector<std::string> Opening() { return {}; }
  virtual std::vector<std::string> Closing() { return {}; }

  // Where the lines encoded so far leave the head, in thousandths of a
  // millimetre from where the encoding began, for a protocol of absolute
  // coordinates (G-code); nothing for one of relative lines.
  virtual std::optional<std::array<std::int64_t, 3>> Target() const { return std::nullopt; }
  // Where `motion` would leave the head, the same way, without encoding it.
  virtual std::optional<std::array<std::int64_t, 3>> TargetAfter(const Motion& /*motion*/) const {
    return std::nullopt;
  }
  // The board forgot its modes (a reset): the next line states them again.
  virtual void Resync() {}
  // A job's own coordinates begin here: Target counts from zero again, as
  // the job's frame (and a resume's replay of it) does.
  virtual void Rebase() {}

  // The query that makes the board say who it is.
  virtual std::string_view IdentifyQuery() const = 0;
  // The board said it is of `kind`: some encodings depend on it.
  virtual void Identified(char kind) = 0;

  // The line that pauses the laser while the person is asked whether to stop
  // (off), and lights it again after (on); awaited like any other line.
  virtual std::string_view LaserPauseLine(bool on) const = 0;
};

}  // namespace vertolin
