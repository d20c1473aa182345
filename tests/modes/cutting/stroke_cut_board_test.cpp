// One cut end to end: the cut, the cutting window's link and the POSIX
// serial layer against the vertolin-board program (kind O) on a
// pseudo-terminal, in optimisation mode, where the board always holds one
// command in advance.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "board/board_process.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/cutting/cut_reference.h"
#include "modes/cutting/stroke_cut.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

struct Fields : CutFields {
  std::string Width() const override { return "1,6"; }  // 32 px: 10 steps per pixel
  std::string Delay() const override { return "800"; }
  bool ReturnToStart() const override { return true; }
};

struct NoView : CutView {
  void Marked(int, int) override {}
  void Redraw() override {}
};

TEST(StrokeCutBoard, ACutOfARingAndATEndsBackAtTheOrigin) {
  std::random_device random;
  const auto record = std::filesystem::temp_directory_path() /
                      ("vertolin-" + std::to_string(random()) + "-cut.txt");
  PixelImage picture(32, 24);
  for (int i = 0; i <= 6; ++i) {
    picture.SetGrey(4 + i, 4, 0);
    picture.SetGrey(4 + i, 10, 0);
    picture.SetGrey(4, 4 + i, 0);
    picture.SetGrey(10, 4 + i, 0);
  }
  for (int x = 15; x <= 28; ++x) picture.SetGrey(x, 12, 0);
  for (int y = 13; y <= 22; ++y) picture.SetGrey(21, y, 0);
  {
    BoardProcess board({"--kind", "O", "--record", record.string(), "--crlf"});
    test::RecordingFrontend frontend;
    Link link(frontend);
    link.profile().optim = 1;
    ASSERT_TRUE(link.Open(board.path(), 115200));
    ASSERT_TRUE(RunHandshake(link, "OT").driveEnabled);
    WindowLink window(link, formats::kCutting);
    window.SetDriveSwitch([] { return true; });
    StrokeCut cut(window);
    Fields fields;
    NoView view;
    PixelImage trace = picture;
    const JobResult result = cut.Run(trace, fields, view);
    EXPECT_EQ(result, JobOutcome::Done);
    EXPECT_EQ(result.acknowledged, result.linesSent);
    EXPECT_FALSE(window.reply().HasAck());  // every acknowledgement was collected
    ASSERT_EQ(frontend.messages.size(), 1u);
    EXPECT_EQ(frontend.messages[0].text, "Готово");
    EXPECT_EQ(trace, test::ReferenceCut(picture, 2000, 800, true).trace);
  }
  std::ifstream in(record);
  std::vector<std::string> lines;
  std::string position;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line.substr(0, line.find('\t')));
    position = line.substr(line.find('\t') + 1);
  }
  std::filesystem::remove(record);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(position, "0 0 0");  // back at the origin
  EXPECT_EQ(lines.front(), "V;");
  lines.erase(lines.begin());
  // The reference's lines at ten steps per pixel.
  std::vector<std::string> expected;
  for (const std::string& line : test::ReferenceCut(picture, 2000, 800, true).lines) {
    std::vector<long> fields;
    for (std::size_t at = 0; at < line.size(); at = line.find_first_of(",;", at) + 1) {
      fields.push_back(std::stol(line.substr(at)));
    }
    fields.resize(4);
    expected.push_back(
        test::ReferenceLaserLine(static_cast<int>(fields[0] * 10), static_cast<int>(fields[1] * 10),
                                 static_cast<int>(fields[2]), static_cast<int>(fields[3])));
  }
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace vertolin
