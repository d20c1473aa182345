// A fill end to end: the outlining session, its window link and the POSIX
// serial layer against the vertolin-board program (laser firmware) on a
// pseudo-terminal; the board's own record shows the laser switched on and
// off in turn and off at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board_process.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/outlining/outlining_session.h"
#include "picture/pixel_image.h"
#include "support/laser_lines.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

struct Fields : OutliningFields {
  std::string Width() const override { return "1,2"; }  // 24 px: 10 steps per pixel
  std::string Depth() const override { return ""; }
  std::string Diameter() const override { return "0,1"; }  // a spot of 2 pixels
  std::string Delay() const override { return "1000"; }
  bool ReturnToOrigin() const override { return true; }
};

struct NoView : OutliningView {
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

// The laser value of a recorded command ("text\tx y z").
int LaserValue(const std::string& recorded) {
  return test::LaserValue(recorded.substr(0, recorded.find('\t')));
}

TEST(OutliningBoard, FillSwitchesTheLaserOnAndOffInTurnAndEndsAtTheOrigin) {
  std::random_device random;
  const auto record = std::filesystem::temp_directory_path() /
                      ("vertolin-" + std::to_string(random()) + "-fill.txt");
  {
    BoardProcess board({"--kind", "P", "--record", record.string(), "--crlf"});
    test::RecordingFrontend frontend;
    Link link(frontend);
    ASSERT_TRUE(link.Open(board.path(), 115200));
    WindowLink window(link, formats::kOutlining);
    window.SetDriveSwitch([] { return true; });
    OutliningSession session(window);
    session.Reset();

    // A grey ring (blue 90) holding a black disc: two areas, each filled.
    PixelImage picture(24, 24);
    for (int py = 1; py <= 24; ++py) {
      for (int px = 1; px <= 24; ++px) {
        const double d2 = (px - 12.5) * (px - 12.5) + (py - 12.5) * (py - 12.5);
        if (d2 <= 100) picture.SetGrey(px, py, d2 <= 25 ? 0 : 90);
      }
    }
    session.LoadPicture(picture);
    Fields fields;
    NoView view;
    EXPECT_EQ(session.Fill(fields, view), JobOutcome::Done);
    EXPECT_TRUE(frontend.messages.empty());
    EXPECT_FALSE(window.reply().HasAck());  // every acknowledgement was collected
    EXPECT_FALSE(window.LaserLit());
    EXPECT_EQ(session.x(), 1);
  }
  std::ifstream in(record);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(record);
  ASSERT_GT(lines.size(), 20u);
  int on = 0;
  int off = 0;
  bool lit = false;
  for (const std::string& line : lines) {
    const int laser = LaserValue(line);
    if (laser > 0) {
      EXPECT_FALSE(lit) << "switched on twice: " << line;
      lit = true;
      ++on;
    } else if (laser < 0) {
      EXPECT_TRUE(lit) << "switched off while off: " << line;
      lit = false;
      ++off;
    } else {
      // A move: travels with the laser off, outline steps with it on.
      const bool travel = line.find(",0,2000;") != std::string::npos;
      EXPECT_TRUE(!travel || !lit) << line;
    }
  }
  EXPECT_GE(on, 4);  // concentric rounds on both areas
  EXPECT_EQ(on, off);
  EXPECT_FALSE(lit);
  // Back at the origin.
  const std::string& last = lines.back();
  EXPECT_EQ(last.substr(last.find('\t') + 1), "0 0 0");
}

}  // namespace
}  // namespace vertolin
