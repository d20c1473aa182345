// A relief job end to end: the session, the milling window's link and the
// POSIX serial layer against the vertolin-board program on a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board_process.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/milling/milling_session.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

struct Fields : MillingFields {
  std::string Width() const override { return "0,8"; }     // 16 px: 10 steps per pixel
  std::string Depth() const override { return "1,275"; }   // one step per grey level
  std::string Diameter() const override { return "0,1"; }  // radius 1 pixel
  std::string Delay() const override { return "4000"; }
  bool ReturnToOrigin() const override { return false; }
};

struct NoView : MillingView {
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

TEST(MillingBoard, ReliefEndsWithTheToolAtTheSurfaceWhereTheJobLeftIt) {
  std::random_device random;
  const auto record = std::filesystem::temp_directory_path() /
                      ("vertolin-" + std::to_string(random()) + "-relief.txt");
  int x = 0;
  int y = 0;
  {
    BoardProcess board({"--kind", "M", "--record", record.string(), "--crlf"});
    test::RecordingFrontend frontend;
    Link link(frontend);
    ASSERT_TRUE(link.Open(board.path(), 115200));
    WindowLink window(link, formats::kRouter);
    window.SetDriveSwitch([] { return true; });
    MillingSession session(window);
    session.Reset();

    // A disc of grey 100 with a black core: two depths.
    PixelImage picture(16, 16);
    for (int py = 1; py <= 16; ++py) {
      for (int px = 1; px <= 16; ++px) {
        const double d2 = (px - 8.5) * (px - 8.5) + (py - 8.5) * (py - 8.5);
        if (d2 <= 36) picture.SetGrey(px, py, d2 <= 9 ? 0 : 100);
      }
    }
    session.LoadPicture(picture);
    Fields fields;
    NoView view;
    EXPECT_EQ(session.Relief(fields, view), JobOutcome::Done);
    EXPECT_TRUE(frontend.messages.empty());
    EXPECT_FALSE(window.reply().HasAck());  // every acknowledgement was collected
    x = session.x();
    y = session.y();
    EXPECT_GT(x + y, 2);  // something was cut
  }
  std::ifstream in(record);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(record);
  ASSERT_GT(lines.size(), 10u);
  const std::string& last = lines.back();
  EXPECT_EQ(last.substr(last.find('\t') + 1),
            std::to_string((x - 1) * 10) + " " + std::to_string((y - 1) * 10) + " 0");
}

}  // namespace
}  // namespace vertolin
