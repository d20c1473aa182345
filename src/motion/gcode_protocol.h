// G-code in grbl 1.1's dialect, the second way of speaking to a board: the
// same motions as the native lines, written as absolute millimetres from the
// point where the job starts (X0 Y0 Z0), with feeds that keep each native
// line's time. A laser works in dynamic power (M4) only, so a feed hold or a
// slow corner never burns a hole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion.h"
#include "motion/protocol.h"

namespace vertolin {

struct GcodeOptions {
  std::array<double, 3> mmPerStep{0.005, 0.005, 0.005};  // negative reverses the axis
  std::int32_t idleDelay = 2000;   // µs a step of a line whose delay is 0 or less
  std::int32_t maxPower = 1000;    // S of full power (grbl's $30)
  std::int32_t laserPower = 1000;  // S of an outline's or a cut's laser
  double rasterFeed = 1000;        // mm/min of the grey raster, burning or not
  std::int32_t spindleSpeed = 0;   // S of "M3" at the start; 0: no M3
  double probeDepth = 5;           // mm the probe may go below the start
  double probeFeed = 100;          // mm/min of the probe's descent
};

// Writes a program block by block. With `merge`, a move is held back until
// the next one shows whether it continues the same straight line with the
// same tool state, feed and power, so that such runs (a raster's pixels of
// one grey, an outline's straight stretch) become one block.
class GcodeWriter {
 public:
  GcodeWriter(const GcodeOptions& options, bool merge) : options_(options), merge_(merge) {}

  // Units, absolute coordinates and, for a router with a spindle speed, M3.
  std::string Opening() const;
  // Appends the blocks `motion` finishes to `out`, each ended by '\n'.
  void Add(const Motion& motion, std::string& out);
  // The block held back, the tool off and the program's end.
  void Close(std::string& out);

  // Millimetres with three decimals, never "-0.000".
  static std::string Millimetres(std::int64_t thousandths);
  // The laser's S for a raster pixel of native delay `delay` when
  // `fullPowerDelay` burns at `maxPower`: linear, halves to even, within
  // 0..maxPower.
  // Blocks written that move with the tool at work: the laser lit at a power
  // above 0, the cutter ending below the start (the estimate's tool share).
  std::int64_t workBlocks() const { return workBlocks_; }

  // Where the blocks so far leave the head, in thousandths of a millimetre.
  std::array<std::int64_t, 3> Target() const;
  std::array<std::int64_t, 3> TargetAfter(const Motion& motion) const;
  // Forgets the modes the blocks so far have set (motion, feed, power), so
  // that the next block states them: the board was reset.
  void ForgetModes();
  // The coordinates start again here (G92 X0 Y0 Z0): the target is zero.
  void Rebase();

  static std::int32_t RasterPower(std::int32_t delay, std::int32_t fullPowerDelay,
                                  std::int32_t maxPower);

 private:
  struct Move {
    bool rapid = false;
    std::array<std::int64_t, 3> from{};
    std::array<std::int64_t, 3> to{};
    std::string feed;         // F's text, "" for a rapid
    std::int32_t power = -1;  // S, or -1 to leave it as it is
  };
  void AddMove(const Motion& motion, std::string& out);
  void Flush(std::string& out);
  void Write(const Move& move, std::string& out);
  std::string AxisText(int axis, std::int64_t steps) const;
  std::string TimedFeed(const Motion& motion) const;
  static bool Continues(const Move& held, const Move& next);

  GcodeOptions options_;
  bool merge_;
  std::array<std::int64_t, 3> at_{};  // steps from the start after the motions added
  bool laserOn_ = false;              // M4 in force
  bool raster_ = false;               // a raster opened: feed and power its own
  std::int32_t fullPowerDelay_ = 0;
  std::optional<Move> held_;
  // What the blocks written have set, so that a block says only what changes.
  std::array<std::string, 3> axisText_{"0.000", "0.000", "0.000"};
  std::string motionMode_;
  std::string feed_;
  std::int32_t power_ = -1;
  std::int64_t workBlocks_ = 0;
};

// The wire's side: every motion its own block(s), nothing held back, so that
// each line sent stands for the motion that made it.
class GcodeProtocol : public Protocol {
 public:
  explicit GcodeProtocol(const GcodeOptions& options);

  std::optional<std::string> Encode(const Motion& motion, std::int32_t idle) override;
  std::vector<std::string> Opening() override;
  std::vector<std::string> Closing() override;
  std::optional<std::array<std::int64_t, 3>> Target() const override { return writer_.Target(); }
  std::optional<std::array<std::int64_t, 3>> TargetAfter(const Motion& motion) const override {
    return writer_.TargetAfter(motion);
  }
  void Resync() override { writer_.ForgetModes(); }
  void Rebase() override { writer_.Rebase(); }
  std::string_view IdentifyQuery() const override { return "$I"; }
  void Identified(char) override {}
  std::string_view LaserPauseLine(bool on) const override {
    return on ? std::string_view(laserOn_) : std::string_view("M5");
  }

 private:
  GcodeWriter writer_;
  std::string laserOn_;
};

}  // namespace vertolin
