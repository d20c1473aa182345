// The engraving window driving a grbl 1.1 board (the simulated one, in this
// process): the job streams, and "Стоп" holds the machine at once.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "board/grbl_board.h"
#include "modes/engraving/engraving_window.h"
#include "support/picture_window_fixture.h"

namespace vertolin {
namespace {

using Clock = std::chrono::steady_clock;

class GrblEngravingWindowTest : public test::PictureWindowFixture {
 protected:
  GrblBoard& UseGrblBoard(double motionScale) {
    link_.profile().protocol = BoardProtocol::Grbl;
    GrblBoardOptions options;
    options.motionScale = motionScale;
    auto port = std::make_unique<SimPort>(GrblBoard(options));
    GrblBoard& board = port->grbl();
    link_.Attach(std::move(port));
    return board;
  }

  // Stripes of grey, long enough for a stop in the middle.
  static PixelImage Stripes() {
    PixelImage picture(40, 6);
    for (int y = 1; y <= 6; ++y) {
      for (int x = 1; x <= 40; ++x) picture.SetGrey(x, y, static_cast<std::uint8_t>(x * 6));
    }
    return picture;
  }
};

TEST_F(GrblEngravingWindowTest, StopHoldsTheMachineAtOnceAndTheLaserGoesDark) {
  WritePicture(Stripes(), "Etching_image", "stripes.bmp");
  settings_.WriteSetting("Etching_width", "4");
  GrblBoard& board = UseGrblBoard(2);
  EngravingWindow window(link_, settings_, formats::kGradation);
  window.Load();
  // The status says what answered.
  EXPECT_TRUE(Find<QLabel>(window, "Label4")->text().contains("grbl 1.1h"))
      << Find<QLabel>(window, "Label4")->text().toStdString();
  Tick(window, "Check1");
  frontend_.yesNoAnswers = {true};
  std::optional<Clock::time_point> clicked;
  std::optional<Clock::duration> heldAfter;
  frontend_.onEvents = [&] {
    const auto now = Clock::now();
    if (!clicked && board.State(now) == "Run" && board.Executed().size() > 20) {
      clicked = now;
      Click(window, "Command9");
    } else if (clicked && !heldAfter && board.State(now).starts_with("Hold")) {
      heldAfter = now - *clicked;
    }
  };
  Click(window, "Command1");
  frontend_.onEvents = nullptr;
  ASSERT_TRUE(clicked);
  ASSERT_TRUE(heldAfter);
  EXPECT_LT(*heldAfter, std::chrono::milliseconds(100));
  ASSERT_EQ(frontend_.questions.size(), 1u);
  EXPECT_FALSE(board.LaserBurning(Clock::now()));
  EXPECT_EQ(board.State(Clock::now()), "Idle");
  EXPECT_FALSE(window.JobRunning());
}

// Stopped, or the line dropped (the board keeping its power and running out
// its planner), then started again in the same window: the resume it offers
// goes on after the lines the board did, every block of the job once.
TEST_F(GrblEngravingWindowTest, StoppedOrLostMidJobTheSameWindowResumesEveryBlockOnce) {
  WritePicture(Stripes(), "Etching_image", "stripes.bmp");
  settings_.WriteSetting("Etching_width", "4");
  // The job's own moves a board carried out: where each ended, at what power.
  const auto moves = [](const GrblBoard& board) {
    std::vector<std::pair<std::array<double, 3>, double>> done;
    for (const GrblExecuted& block : board.Executed()) {
      if (block.text.starts_with("X") || block.text.starts_with("G1") ||
          block.text.starts_with("Y"))
        done.emplace_back(block.end, block.power);
    }
    return done;
  };
  std::vector<std::pair<std::array<double, 3>, double>> whole;
  {
    GrblBoard& board = UseGrblBoard(0);
    EngravingWindow window(link_, settings_, formats::kGradation);
    window.Load();
    Tick(window, "Check1");
    Click(window, "Command1");
    whole = moves(board);
    ASSERT_GT(whole.size(), 100u);
  }
  // Where the readout puts the head at the end, from the job's start.
  const MachinePosition end = link_.machine().Shown(link_.profile());
  for (const bool lost : {false, true}) {
    SCOPED_TRACE(lost ? "the line dropped" : "stopped");
    GrblBoardOptions options;
    options.motionScale = 2;
    if (lost) {
      options.dropAfter = 60;
      options.dropRunsOut = true;
    }
    auto port = std::make_unique<SimPort>(GrblBoard(options));
    SimPort& line = *port;
    GrblBoard& board = port->grbl();
    link_.Attach(std::move(port));
    EngravingWindow window(link_, settings_, formats::kGradation);
    window.Load();
    Tick(window, "Check1");
    if (!lost) {
      frontend_.yesNoAnswers = {true};
      frontend_.onEvents = [&] {
        if (board.Executed().size() > 40 && !link_.StopRequested()) Click(window, "Command9");
      };
    }
    Click(window, "Command1");
    frontend_.onEvents = nullptr;
    ASSERT_LT(moves(board).size(), whole.size());
    if (lost) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      line.LineBack();
    }
    frontend_.resumeAnswers = {true};
    Click(window, "Command1");
    EXPECT_TRUE(frontend_.resumeAnswers.empty()) << "the resume was not offered";
    EXPECT_EQ(moves(board), whole);
    // The resumed job's frame is the stopped one's.
    for (std::size_t axis = 0; axis < 3; ++axis) {
      EXPECT_NEAR(link_.machine().Shown(link_.profile()).millimetres[axis], end.millimetres[axis],
                  0.001)
          << "axis " << axis;
    }
    EXPECT_FALSE(board.LaserBurning(Clock::now()));
    EXPECT_EQ(board.State(Clock::now()), "Idle");
  }
}

}  // namespace
}  // namespace vertolin
