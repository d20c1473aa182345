#include "modes/cutting/processing_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "modes/cutting/filter_reference.h"
#include "picture/picture_file.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

struct RecordingView : ProcessingView {
  std::vector<std::string> labels;
  std::vector<std::vector<double>> bars;  // per stage
  int writes = 0;
  bool shown = false;
  void Stage(std::string_view label) override {
    EXPECT_FALSE(std::exchange(shown, true));
    labels.emplace_back(label);
    bars.emplace_back();
  }
  void Bar(double value) override { bars.back().push_back(value); }
  void Idle() override { EXPECT_TRUE(std::exchange(shown, false)); }
  void LayersWritten(CuttingFilter) override { ++writes; }
};

class ProcessingRunTest : public ::testing::Test {
 protected:
  void WriteNetwork() { std::ofstream(folder_.path() / "neuro.net") << "any bytes"; }
  PixelImage Saved() {
    const PictureResult read = LoadPictureFile(folder_.path() / "neuro.bmp");
    return read.picture ? read.picture->image : PixelImage();
  }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  CuttingLayers layers_;
  CuttingPreparation preparation_{layers_, frontend_, folder_.path()};
  RecordingView view_;
};

TEST_F(ProcessingRunTest, WithoutTheNetworkFileOnlyTheMessageIsShown) {
  layers_ = CuttingLayers::From(PixelImage(9, 7));
  layers_.work.SetGrey(2, 2, 7);
  const PixelImage work = layers_.work;

  EXPECT_EQ(preparation_.Process(view_).outcome, ProcessingOutcome::NoNetwork);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(
      frontend_.messages[0].text,
      "Отсутвует файл нейронной сети.\r\nПроверьте наличие файла neuro.net в папке с программой.");
  EXPECT_EQ(layers_.work, work);
  EXPECT_EQ(layers_.pattern, layers_.base);
  EXPECT_EQ(layers_.trace, layers_.base);
  EXPECT_TRUE(view_.labels.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "neuro.bmp"));
}

TEST_F(ProcessingRunTest, ChainsTheFiltersAndReplacesTheSavedDrawing) {
  std::mt19937 random(5);
  PixelImage picture(22, 17);  // no row padding: the file's padding is its own
  for (auto& b : picture.bytes())
    b = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 : random() % 40);
  layers_ = CuttingLayers::From(picture);
  WriteNetwork();
  std::ofstream(folder_.path() / "neuro.bmp") << "an older file";

  PixelImage expected = picture;
  std::vector<std::string> labels = {"Нейро. ST - 1"};
  test::Reference(CuttingFilter::ST, expected);
  for (int pass = 1; pass <= 5; ++pass) {
    test::Reference(CuttingFilter::CN, expected);
    labels.push_back("Нейро. CN - " + std::to_string(pass));
  }
  int passes = 0;
  do labels.push_back("Нейро. CR - " + std::to_string(++passes));
  while (test::Reference(CuttingFilter::CR, expected));
  test::Reference(CuttingFilter::CL, expected);
  test::Reference(CuttingFilter::GS, expected);
  labels.insert(labels.end(), {"Нейро. CL - 1", "Нейро. GS - 1"});

  const ProcessingResult result = preparation_.Process(view_);
  EXPECT_EQ(result.outcome, ProcessingOutcome::Done);
  EXPECT_GT(passes, 1);
  EXPECT_EQ(result.removalPasses, passes);
  EXPECT_EQ(view_.labels, labels);
  EXPECT_EQ(view_.writes, static_cast<int>(labels.size()));
  std::vector<double> bars;  // CN's, rows 3 to H − 2
  for (int y = 3; y <= 15; ++y) bars.push_back(y * 100.0 / 17);
  EXPECT_EQ(view_.bars[1], bars);
  EXPECT_EQ(layers_.base, picture);
  EXPECT_EQ(layers_.work, expected);
  EXPECT_EQ(layers_.pattern, expected);
  EXPECT_EQ(layers_.trace, expected);
  EXPECT_EQ(Saved(), expected);
  EXPECT_TRUE(frontend_.messages.empty());
}

// A row ending in a column that goes down from its right end.
TEST_F(ProcessingRunTest, EachRunShortensTheFreeEndsAndOnlyTheFirstTakesTheCorner) {
  const auto bend = [](int from, int to) {
    PixelImage picture(14, 14);
    for (int x = from; x <= 9; ++x) picture.SetGrey(x, 3, 0);
    for (int y = 4; y <= to; ++y) picture.SetGrey(10, y, 0);
    return picture;
  };
  layers_ = CuttingLayers::From(bend(3, 10));
  layers_.work.SetGrey(10, 3, 0);
  WriteNetwork();
  EXPECT_EQ(preparation_.Process(view_).removalPasses, 2);
  EXPECT_EQ(layers_.trace, bend(4, 9));
  EXPECT_EQ(preparation_.Process(view_).removalPasses, 1);
  EXPECT_EQ(layers_.trace, bend(5, 8));
  EXPECT_EQ(Saved(), bend(5, 8));
}

TEST_F(ProcessingRunTest, ClicksDuringARunAreIgnoredAndEventsRun) {
  layers_ = CuttingLayers::From(PixelImage(8, 8));
  WriteNetwork();
  std::vector<ProcessingOutcome> nested;
  frontend_.onEvents = [&] {
    nested.push_back(preparation_.Process(view_).outcome);
    nested.push_back(preparation_.RunOne(CuttingFilter::GS, view_));
  };
  EXPECT_EQ(preparation_.Process(view_).outcome, ProcessingOutcome::Done);
  EXPECT_GE(frontend_.eventRuns, 1);
  EXPECT_EQ(nested, std::vector<ProcessingOutcome>(nested.size(), ProcessingOutcome::Busy));
  EXPECT_FALSE(preparation_.Running());
}

TEST_F(ProcessingRunTest, SingleFiltersNeedNoNetworkAndAFailedSaveIsTold) {
  layers_ = CuttingLayers::From(PixelImage(5, 5));
  layers_.work.SetGrey(3, 3, 0);
  EXPECT_EQ(preparation_.RunOne(CuttingFilter::CR, view_), ProcessingOutcome::Done);
  EXPECT_EQ(view_.labels, std::vector<std::string>{"Нейро. CR - 1"});
  EXPECT_EQ(layers_.trace, layers_.base);  // only GS reaches past the Work layer

  std::filesystem::create_directory(folder_.path() / "neuro.bmp");
  EXPECT_EQ(preparation_.RunOne(CuttingFilter::GS, view_), ProcessingOutcome::NotSaved);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_TRUE(frontend_.messages[0].text.starts_with("Не удалось сохранить файл "));
  EXPECT_EQ(layers_.pattern, layers_.work);  // the layers hold the drawing all the same
}

}  // namespace
}  // namespace vertolin
