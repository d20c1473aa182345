// The engraving window driving a grbl 1.1 board (the simulated one, in this
// process): the job streams, and "Стоп" holds the machine at once.
#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <optional>

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

}  // namespace
}  // namespace vertolin
