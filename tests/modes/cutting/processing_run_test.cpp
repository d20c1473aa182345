#include "modes/cutting/processing_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "modes/cutting/filter_reference.h"
#include "picture/bmp.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"
#include "util/file_replace.h"

namespace vertolin {
namespace {

struct RecordingView : ProcessingView {
  std::vector<std::string> labels;
  std::vector<std::vector<double>> bars;  // per stage
  std::vector<CuttingFilter> written;
  int shown = 0;  // stages begun and not yet ended
  void Stage(std::string_view label) override {
    EXPECT_EQ(shown++, 0);
    labels.emplace_back(label);
    bars.emplace_back();
  }
  void Bar(double value) override { bars.back().push_back(value); }
  void Idle() override { EXPECT_EQ(--shown, 0); }
  void LayersWritten(CuttingFilter filter) override { written.push_back(filter); }
};

PixelImage Drawing(int width, int height, const std::vector<std::pair<int, int>>& black) {
  PixelImage picture(width, height);
  for (const auto& [x, y] : black) picture.SetGrey(x, y, 0);
  return picture;
}

class ProcessingRunTest : public ::testing::Test {
 protected:
  void WriteNetwork() { std::ofstream(folder_.path() / "neuro.net") << "any bytes"; }
  // The drawing in neuro.bmp, with the row padding of `like` (a file has its own).
  PixelImage SavedDrawing(const PixelImage& like) {
    PixelImage saved = SavedDrawing();
    if (saved.bytes().size() != like.bytes().size()) return saved;
    for (std::size_t at = like.stride() - 1; like.width() % 2 == 1 && at < saved.bytes().size(); at += like.stride()) {
      saved.bytes()[at] = like.bytes()[at];
    }
    return saved;
  }
  PixelImage SavedDrawing() {
    const FileBytes file = ReadFileBytes(folder_.path() / "neuro.bmp");
    const auto* data = reinterpret_cast<const std::uint8_t*>(file.bytes.data());
    auto read = ReadBmp({data, file.bytes.size()});
    return read.picture ? read.picture->image : PixelImage();
  }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  CuttingLayers layers_;
  CuttingPreparation preparation_{layers_, frontend_, folder_.path()};
  RecordingView view_;
};

TEST_F(ProcessingRunTest, WithoutTheNetworkFileOnlyTheMessageIsShown) {
  std::mt19937 random(3);
  PixelImage picture(9, 7);
  for (auto& b : picture.bytes()) b = static_cast<std::uint8_t>(random());
  layers_ = CuttingLayers::From(picture);
  layers_.trace.SetGrey(2, 2, 7);
  const CuttingLayers before = layers_;

  EXPECT_EQ(preparation_.Process(view_).outcome, ProcessingOutcome::NoNetwork);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text,
            "Отсутвует файл нейронной сети.\r\nПроверьте наличие файла neuro.net в папке с программой.");
  EXPECT_TRUE(layers_.base == before.base && layers_.work == before.work && layers_.pattern == before.pattern &&
              layers_.trace == before.trace);
  EXPECT_TRUE(view_.labels.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "neuro.bmp"));
}

TEST_F(ProcessingRunTest, ChainsTheFiltersAndSavesTheDrawing) {
  std::mt19937 random(5);
  PixelImage picture(23, 17);
  for (auto& b : picture.bytes()) b = static_cast<std::uint8_t>(random() % 4 == 0 ? 255 : random() % 40);
  layers_ = CuttingLayers::From(picture);
  WriteNetwork();
  std::ofstream(folder_.path() / "neuro.bmp") << "an older file";

  PixelImage expected = picture;
  test::Reference(CuttingFilter::ST, expected);
  for (int pass = 0; pass < 5; ++pass) test::Reference(CuttingFilter::CN, expected);
  int removalPasses = 1;
  while (test::Reference(CuttingFilter::CR, expected)) ++removalPasses;
  test::Reference(CuttingFilter::CL, expected);
  test::Reference(CuttingFilter::GS, expected);

  const ProcessingResult result = preparation_.Process(view_);
  EXPECT_EQ(result.outcome, ProcessingOutcome::Done);
  EXPECT_GT(removalPasses, 1);
  EXPECT_EQ(result.removalPasses, removalPasses);
  EXPECT_EQ(layers_.base, picture);
  EXPECT_EQ(layers_.work, expected);
  EXPECT_EQ(layers_.pattern, expected);
  EXPECT_EQ(layers_.trace, expected);
  EXPECT_EQ(SavedDrawing(expected), expected);
  EXPECT_TRUE(frontend_.messages.empty());

  std::vector<std::string> labels = {"Нейро. ST - 1"};
  for (int pass = 1; pass <= 5; ++pass) labels.push_back("Нейро. CN - " + std::to_string(pass));
  for (int pass = 1; pass <= removalPasses; ++pass) labels.push_back("Нейро. CR - " + std::to_string(pass));
  labels.insert(labels.end(), {"Нейро. CL - 1", "Нейро. GS - 1"});
  EXPECT_EQ(view_.labels, labels);
  EXPECT_EQ(view_.written.size(), labels.size());
  EXPECT_EQ(view_.written.back(), CuttingFilter::GS);
  std::vector<double> bars;
  for (int y = 2; y <= 16; ++y) bars.push_back(y * 100.0 / 17);
  EXPECT_EQ(view_.bars.front(), bars);
  EXPECT_EQ(view_.bars[1].front(), 3 * 100.0 / 17);  // CN starts a row further in
}

TEST_F(ProcessingRunTest, EachRunTakesTheCornerOnceAndShortensTheFreeEnds) {
  std::vector<std::pair<int, int>> line;
  for (int x = 3; x <= 10; ++x) line.emplace_back(x, 3);
  for (int y = 4; y <= 10; ++y) line.emplace_back(10, y);
  layers_ = CuttingLayers::From(Drawing(14, 14, line));
  WriteNetwork();

  EXPECT_EQ(preparation_.Process(view_).removalPasses, 2);
  std::vector<std::pair<int, int>> first;
  for (int x = 4; x <= 9; ++x) first.emplace_back(x, 3);
  for (int y = 4; y <= 9; ++y) first.emplace_back(10, y);
  EXPECT_EQ(layers_.trace, Drawing(14, 14, first));

  EXPECT_EQ(preparation_.Process(view_).removalPasses, 1);
  first.erase(first.begin());
  first.pop_back();
  EXPECT_EQ(layers_.pattern, Drawing(14, 14, first));
  EXPECT_EQ(SavedDrawing(), layers_.pattern);
}

TEST_F(ProcessingRunTest, ABlankPictureRunsEveryFilterOnce) {
  layers_ = CuttingLayers::From(PixelImage(6, 5));
  WriteNetwork();
  EXPECT_EQ(preparation_.Process(view_).removalPasses, 1);
  EXPECT_EQ(view_.labels.size(), 9u);
  EXPECT_EQ(SavedDrawing(), PixelImage(6, 5));
}

TEST_F(ProcessingRunTest, ClicksDuringARunAreIgnoredAndEventsRun) {
  layers_ = CuttingLayers::From(Drawing(8, 8, {{4, 4}}));
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
  layers_ = CuttingLayers::From(Drawing(5, 5, {{3, 3}}));
  EXPECT_EQ(preparation_.RunOne(CuttingFilter::CR, view_), ProcessingOutcome::Done);
  EXPECT_EQ(view_.labels, std::vector<std::string>{"Нейро. CR - 1"});
  EXPECT_EQ(layers_.trace, layers_.base);  // only GS reaches beyond the Work layer

  std::filesystem::create_directory(folder_.path() / "neuro.bmp");
  EXPECT_EQ(preparation_.RunOne(CuttingFilter::GS, view_), ProcessingOutcome::NotSaved);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_TRUE(frontend_.messages[0].text.starts_with("Не удалось сохранить файл "));
  EXPECT_EQ(layers_.pattern, layers_.work);  // the layers hold the drawing all the same
}

}  // namespace
}  // namespace vertolin
