// The boards' own text protocol: every line is comma-separated integer fields
// ended by ";" (no spaces, no line end), acknowledged by one "T"; the probe's
// line is answered by its measurement, "digits OK". Each firmware reads the
// fields in its own way, its dialect.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "motion/protocol.h"

namespace vertolin {

struct NativeDialect {
  // A job's moves.
  enum class Steps {
    XYZDelay,      // the router: x,y,z,d; — nothing for no steps and no delay
    LaserCompact,  // the laser outline: x,y,l,d; (l: +1 on, −1 off) without trailing zero fields
    XYValue,       // the raster: x,y,d; (d: the burn's delay, the travel's own)
    XYProbe,       // the scanner: x,y,0; and the probe 0,0,−2p;
  };
  // A jog's line.
  enum class Jog {
    WithIdleDelay,  // x,y,z,d; (the router)
    ByKindLetter,   // by the board's kind letter (manual positioning, any board)
    Plain,          // x,y,0; (a board without Z)
  };
  Steps steps = Steps::XYZDelay;
  Jog jog = Jog::Plain;
};

class NativeProtocol : public Protocol {
 public:
  explicit NativeProtocol(NativeDialect dialect) : dialect_(dialect) {}

  std::optional<std::string> Encode(const Motion& motion, std::int32_t idle) override;
  std::string_view IdentifyQuery() const override;
  void Identified(char kind) override { kind_ = kind; }
  std::string_view LaserPauseLine(bool on) const override;

  const NativeDialect& dialect() const { return dialect_; }

 private:
  std::optional<std::string> EncodeJog(const Motion& motion, std::int32_t idle) const;

  NativeDialect dialect_;
  char kind_ = 0;
};

// Joins fields with "," and ends the line with ";"; an empty field is written
// as nothing ("x,y,,,d;").
std::string CommandLine(std::initializer_list<std::optional<std::int64_t>> fields);

// The laser outline drops up to four trailing zero fields: "12,0,0,0;"
// becomes "12;", "0,0,0,0;" becomes "0;".
std::string WithoutTrailingZeros(std::string line);

// The manual positioning window's move for a firmware kind letter; nothing
// for a letter that has no move text.
std::optional<std::string> PositioningMoveText(char kindLetter, std::int32_t x, std::int32_t y,
                                               std::int32_t z, std::int32_t delay);

// The pause lines of the laser outline (sent without ";").
inline constexpr std::string_view kLaserOffPause = "0,0,-1";
inline constexpr std::string_view kLaserOnPause = "0,0,1";

// The identification query.
inline constexpr std::string_view kIdentify = "V;";

}  // namespace vertolin
