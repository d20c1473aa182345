#include "modes/engraving/raster_job.h"

#include <gtest/gtest.h>

#include "link/link.h"
#include "link/sim_port.h"
#include "link/window_link.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

struct Fields : RasterFields {
  std::string steps = "10";
  std::string light = "0";
  std::string dark = "4000";
  std::string width;
  bool back = false;
  bool drawEach = false;
  std::string StepsPerPixel() const override { return steps; }
  std::string LightDelay() const override { return light; }
  std::string DarkDelay() const override { return dark; }
  std::string Width() const override { return width; }
  bool ReturnToStart() const override { return back; }
  bool DrawEachPixel() const override { return drawEach; }
};

struct Progress : RasterProgress {
  std::vector<std::pair<int, int>> burned;
  int shownNow = 0;
  int showAll = 0;
  void Burned(int x, int y, bool show) override {
    burned.emplace_back(x, y);
    shownNow += show;
  }
  void ShowAll() override { ++showAll; }
};

class RasterJobTest : public ::testing::Test {
 protected:
  RasterJobTest() {
    script_.ackEveryWrite = true;
    link_.Attach(std::make_unique<test::ScriptedPort>(script_));
  }

  JobResult Run(const LinkFormat& format, PixelImage& picture) {
    if (fields_.width.empty()) fields_.width = FieldText(picture.width() * 0.05);  // 10 steps/px
    WindowLink window(link_, format);
    window.SetDriveSwitch([this] { return drive_; });
    return RunRasterJob(window, picture, fields_, progress_);
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  test::ScriptedPort::Shared script_;
  Fields fields_;
  Progress progress_;
  bool drive_ = true;
};

using Lines = std::vector<std::string>;

TEST_F(RasterJobTest, RowWithBlackColumnsOneAndThree) {
  PixelImage picture(10, 1);
  picture.SetGrey(1, 1, 0);
  picture.SetGrey(3, 1, 0);
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Done);
  EXPECT_EQ(script_.written,
            (Lines{",,,10,2000;", "10,0,0;", "10,0,4000;", "10,0,0;", "10,0,4000;", "0,10,0;"}));
  EXPECT_EQ(picture.bytes()[picture.Offset(1, 1) + 2], 255);  // marked red
  EXPECT_EQ(picture.Grey(1, 1), 0);                           // and still read as black
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Лазерная гравировка");
  EXPECT_EQ(frontend_.messages[0].text, "Гравировка закончена!");
}

TEST_F(RasterJobTest, WoodBurningCarriesTheIdleDelay) {
  PixelImage picture(10, 1);
  picture.SetGrey(1, 1, 0);
  picture.SetGrey(3, 1, 128);
  EXPECT_EQ(Run(formats::kWoodBurning, picture), JobOutcome::Done);
  EXPECT_EQ(script_.written, (Lines{",,2000;", "10,0,2000;", "10,0,4000;", "10,0,2000;",
                                    "10,0,2996;", "0,10,2000;"}));
  EXPECT_EQ(progress_.shownNow, 2);  // the wire shows every burned pixel at once
}

TEST_F(RasterJobTest, AllWhitePictureOnlyStepsRowsAndReturns) {
  PixelImage picture(10, 100);
  fields_.back = true;
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Done);
  ASSERT_EQ(script_.written.size(), 102u);
  EXPECT_EQ(script_.written[1], "0,10,0;");
  EXPECT_EQ(script_.written[100], "0,10,0;");
  EXPECT_EQ(script_.written.back(), "10,-1000,0;");  // one pitch right of the start
}

TEST_F(RasterJobTest, RightToLeftRowStartsWhereTheRowAboveEndedWithoutTravel) {
  PixelImage picture(4, 2);
  picture.SetGrey(4, 1, 0);
  picture.SetGrey(4, 2, 0);
  picture.SetGrey(1, 2, 200);
  fields_.back = true;
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Done);
  // Row 1 ends at X = 5, the right edge of column 4, where row 2 starts; grey
  // 200 burns with 4000 × 55 ÷ 255 = 862.7 µs.
  EXPECT_EQ(script_.written,
            (Lines{",,,10,2000;", "40,0,0;", "10,0,4000;", "0,10,0;", "-10,0,4000;", "-20,0,0;",
                   "-10,0,863;", "0,10,0;", "0,-20,0;"}));
  EXPECT_EQ(progress_.showAll, 2);  // end of the right-to-left row, and the end
}

TEST_F(RasterJobTest, DryRunMarksAndShowsButSendsOnlyTheOpeningLine) {
  PixelImage picture(3, 3);
  picture.SetGrey(2, 2, 0);
  drive_ = false;
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Done);
  EXPECT_EQ(script_.written, Lines{",,,10,2000;"});
  EXPECT_EQ(progress_.burned, (std::vector<std::pair<int, int>>{{2, 2}}));
  // Named a dry run, so that nobody takes it for work done on the machine.
  EXPECT_EQ(
      frontend_.messages.back().text,
      "Гравировка закончена (без станка)!\r\n\r\nСтанок не двигался: галочка работы на станке была снята.");
}

TEST_F(RasterJobTest, WrongFieldsRefuseTheJobAndSendNothing) {
  PixelImage picture(10, 2);
  picture.SetGrey(1, 1, 0);
  fields_.steps = "10,5";
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Refused);
  EXPECT_EQ(frontend_.messages.back().title, "Внимание");
  EXPECT_NE(frontend_.messages.back().text.find("не целое"), std::string::npos);
  fields_.steps = "10";
  fields_.dark = "abc";
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Refused);
  fields_.dark = "4000";
  fields_.width = "1e12";  // steps beyond the 32-bit range
  EXPECT_EQ(Run(formats::kGradation, picture), JobOutcome::Refused);
  EXPECT_TRUE(script_.written.empty());
  EXPECT_EQ(frontend_.messages.size(), 3u);
}

// "Стоп" pressed while the job runs: the stop flag is seen at the next move.
struct StoppingFields : Fields {
  Link* link = nullptr;
  mutable int darkReads = 0;
  std::string DarkDelay() const override {
    // Read once when the job starts, then once per burn: the third read comes
    // just before the second burn.
    if (++darkReads == 3) link->RequestStop();
    return dark;
  }
};

TEST_F(RasterJobTest, StopQuestionAnsweredNoSendsThePendingMoveUnchanged) {
  PixelImage picture(10, 1);
  picture.SetGrey(1, 1, 0);
  picture.SetGrey(2, 1, 0);
  StoppingFields fields;
  fields.link = &link_;
  fields.width = "0,5";
  frontend_.yesNoAnswers = {false};
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  EXPECT_EQ(RunRasterJob(window, picture, fields, progress_), JobOutcome::Done);
  EXPECT_EQ(frontend_.questions.size(), 1u);
  EXPECT_EQ(script_.written,
            (Lines{",,,10,2000;", "10,0,0;", "10,0,4000;", "10,0,4000;", "0,10,0;"}));
  EXPECT_FALSE(link_.StopRequested());
}

TEST_F(RasterJobTest, StopQuestionAnsweredYesEndsTheJobWhereItStands) {
  PixelImage picture(10, 1);
  picture.SetGrey(1, 1, 0);
  picture.SetGrey(2, 1, 0);
  StoppingFields fields;
  fields.link = &link_;
  fields.width = "0,5";
  fields.back = true;
  frontend_.yesNoAnswers = {true};
  WindowLink window(link_, formats::kGradation);
  window.SetDriveSwitch([] { return true; });
  EXPECT_EQ(RunRasterJob(window, picture, fields, progress_), JobOutcome::Stopped);
  EXPECT_EQ(script_.written, (Lines{",,,10,2000;", "10,0,0;", "10,0,4000;"}));  // no return
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_TRUE(link_.StopRequested());
}

}  // namespace
}  // namespace vertolin
