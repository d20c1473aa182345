#include "motion/gcode_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vertolin {
namespace {

using K = MotionKind;

std::string Program(const GcodeOptions& options, const std::vector<Motion>& motions,
                    bool merge = true) {
  GcodeWriter writer(options, merge);
  std::string text = writer.Opening();
  for (const Motion& motion : motions) writer.Add(motion, text);
  writer.Close(text);
  return text;
}

// Whole programs for short motion sequences: what each tool's motions become,
// which moves merge, and the feeds that keep each native line's time.
TEST(GcodeWriter, WritesEachToolsMotionsAsAProgram) {
  GcodeOptions router;
  router.spindleSpeed = 12000;
  GcodeOptions reversed;
  reversed.mmPerStep = {-0.005, 0.01, 0.005};
  GcodeOptions laser;
  laser.laserPower = 700;
  struct Case {
    const char* name;
    GcodeOptions options;
    std::vector<Motion> motions;
    const char* program;
  };
  const Case cases[] = {
      {"router: rapid above the start only, feeds from steps times delay",
       router,
       {{K::Travel, {200, 100, 0}, 2000},
        {K::Plunge, {0, 0, -400}, 4000},  // 2 mm in 1.6 s: 75 mm/min
        {K::Cut, {100, 0, 0}, 0},         // idle delay: 0.5 mm in 0.2 s
        {K::Cut, {100, 0, 0}, 0},         // the same line on: merged
        {K::Cut, {-100, 0, 0}, 0},        // back along it: a corner
        {K::Travel, {0, 0, 0}, 4000},     // a pause of no steps
        {K::Travel, {10, 0, 0}, 2000},    // below the start: never G0
        {K::Lift, {0, 0, 400}, 2000}},
       "G21 G90\nM3 S12000\nG0 X1.000 Y0.500\nG1 Z-2.000 F75\nX2.000 F150\nX1.500\n"
       "X1.550\nZ0.000\nM5\nM2\n"},
      {"a negative ratio reverses its axis",
       reversed,
       {{K::Travel, {3, -3, 1}, 1000}},
       "G21 G90\nG0 X-0.015 Y-0.030 Z0.005\nM5\nM2\n"},
      {"laser outline: M4 where it is switched on, travel G0 only when off",
       laser,
       {{K::Travel, {0, 200, 0}, 0},
        {K::ToolOn, {}, 1000},
        {K::Cut, {100, 100, 0}, 0},
        {K::Cut, {50, 50, 0}, 1000},  // the same line, another feed: not merged
        {K::ToolOff, {}, 2000},
        {K::Travel, {-150, -350, 0}, 0}},
       "G21 G90\nG0 Y1.000\nM4 S700\nG1 X0.500 Y1.500 F212.132\nX0.750 Y1.750 F424.264\n"
       "M5\nG0 X0.000 Y0.000\nM5\nM2\n"},
      {"raster: constant feed, power from the delay, equal powers merged",
       {},
       {{K::RasterOpen, {}, 4000, 10},
        {K::Travel, {20, 0, 0}, 0},  // white pixels
        {K::Burn, {10, 0, 0}, 4000},
        {K::Burn, {10, 0, 0}, 2002},  // 500.5: halves to even
        {K::Burn, {11, 0, 0}, 2002},
        {K::Burn, {10, 0, 0}, 2006},  // 501.5
        {K::Travel, {0, 10, 0}, 0},
        {K::Burn, {-10, 0, 0}, 6000}},  // darker than full power: full power
       "G21 G90\nM4 S0\nG1 X0.100 F1000\nX0.150 S1000\nX0.255 S500\nX0.305 S502\n"
       "Y0.050 S0\nX0.255 S1000\nM5\nM2\n"},
      {"probe: down to the probe's depth, up again, on to the next node",
       {},
       {{K::Probe, {}, 0, 100}, {K::Travel, {400, 0, 0}, 0}, {K::Probe, {}, 0, 100}},
       "G21 G90\nG38.2 Z-5.000 F100\nG0 Z0.000\nX2.000\nG38.2 Z-5.000 F100\nG0 Z0.000\n"
       "M5\nM2\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Program(c.options, c.motions), c.program) << c.name;
  }
}

TEST(GcodeWriter, MillimetresAndPowerRounding) {
  EXPECT_EQ(GcodeWriter::Millimetres(0), "0.000");
  EXPECT_EQ(GcodeWriter::Millimetres(-5), "-0.005");
  EXPECT_EQ(GcodeWriter::Millimetres(-12345), "-12.345");
  EXPECT_EQ(GcodeWriter::Millimetres(7000), "7.000");
  EXPECT_EQ(GcodeWriter::RasterPower(0, 4000, 1000), 0);
  EXPECT_EQ(GcodeWriter::RasterPower(3, 4000, 1000), 1);        // 0.75
  EXPECT_EQ(GcodeWriter::RasterPower(2, 4000, 1000), 0);        // 0.5: to even
  EXPECT_EQ(GcodeWriter::RasterPower(4000, 0, 255), 255);       // no darker delay to scale by
  EXPECT_EQ(GcodeWriter::RasterPower(8000, 4000, 1000), 1000);  // clamped
}

// On the wire every motion is its own line, also a move too short to show.
TEST(GcodeProtocol, EveryMovingMotionIsOneLine) {
  GcodeOptions options;
  options.mmPerStep = {0.0001, 0.0001, 0.0001};
  GcodeProtocol protocol(options);
  EXPECT_EQ(protocol.Opening(), std::vector<std::string>{"G21 G90"});
  EXPECT_EQ(protocol.Encode({K::Travel, {20, 0, 0}, 0}, 2000), "G0 X0.002");
  EXPECT_EQ(protocol.Encode({K::Travel, {20, 0, 0}, 0}, 2000), "X0.004");
  EXPECT_EQ(protocol.Encode({K::Travel, {1, 0, 0}, 0}, 2000), "X0.004");
  EXPECT_EQ(protocol.Encode({K::Travel, {}, 500}, 2000), std::nullopt);
  EXPECT_EQ(protocol.LaserPauseLine(false), "M5");
  EXPECT_EQ(protocol.Closing(), (std::vector<std::string>{"M5", "M2"}));
}

}  // namespace
}  // namespace vertolin
