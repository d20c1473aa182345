#include "modes/scanner/scanner_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <array>
#include <cstdint>

#include "link/texts.h"
#include "modes/scanner/height_picture.h"
#include "modes/scanner/image_export.h"
#include "modes/scanner/mesh_view_widget.h"
#include "modes/scanner/scan_plan.h"
#include "picture/picture_file.h"
#include "support/picture_window_fixture.h"

namespace vertolin {
namespace {

class ScannerWindowTest : public test::PictureWindowFixture {
 protected:
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& message : frontend_.messages) texts.push_back(message.text);
    return texts;
  }
  // The grey shown at node (x, y) of a 6 × 5 mesh in the default box.
  static int NodeGrey(const ScannerWindow& window, int x, int y) {
    return qBlue(window.meshView().PixelAt(40 * (x - 1) + 9, 50 * (y - 1) + 9));
  }
  static void Mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  }
};

TEST_F(ScannerWindowTest, LoadGivesTheDefaultsTheBoxAndTheCoupling) {
  ScannerWindow window(link_, settings_);
  window.Load();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("3D Сканер"));
  EXPECT_EQ(window.objectName(), QStringLiteral("Form2"));
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QString::fromUtf8(texts::kStatusNoPort.data()));
  EXPECT_FALSE(Find<QCheckBox>(window, "Check1")->isEnabled());
  EXPECT_EQ(Text(window, "Text3"), "6");
  EXPECT_EQ(Text(window, "Text4"), "5");
  EXPECT_EQ(Text(window, "Text6"), "200");
  EXPECT_EQ(Text(window, "Text7"), "200");
  EXPECT_EQ(Text(window, "Text8"), "100");
  EXPECT_EQ(Text(window, "Text9"), "100");
  // 222 × 222, cells 40 and 50, grid from pixel 9 to 209, black markers.
  EXPECT_EQ(window.meshView().box(), (BoxSize{222, 222}));
  EXPECT_EQ(window.meshView().PixelAt(100, 59), qRgb(200, 200, 200));
  EXPECT_EQ(window.meshView().PixelAt(209, 150), qRgb(200, 200, 200));
  EXPECT_EQ(window.meshView().PixelAt(210, 150), qRgb(255, 255, 255));
  EXPECT_EQ(NodeGrey(window, 6, 5), 0);

  Enter(window, "Text7", "100");
  Enter(window, "Text8", "120");
  EXPECT_EQ(Text(window, "Text9"), "60");
  Enter(window, "Text9", "30");
  EXPECT_EQ(Text(window, "Text8"), "60");

  // The mesh fields take digits and Backspace, five characters at most.
  QLineEdit* mesh = Field(window, "Text3");
  mesh->clear();
  QTest::keyClicks(mesh, "1a.2-345678");
  EXPECT_EQ(mesh->text(), "12345");
  window.Unload();
  EXPECT_EQ(settings_.ReadSetting("scanner_mesh_width", ""), "12345");
  EXPECT_EQ(settings_.ReadSetting("scanner_area_width", ""), "60");
}

TEST_F(ScannerWindowTest, DryRunPaintsRandomValuesAndSendsNothing) {
  SimulatedBoard& board = UseBoard('S');
  ScannerWindow window(link_, settings_);
  window.Load();
  ASSERT_TRUE(Find<QCheckBox>(window, "Check1")->isEnabled());
  Click(window, "Command2");  // nothing scanned yet: refused, said
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(texts::kInterpolationNeedsNodes)});
  frontend_.messages.clear();

  Click(window, "Command6");
  EXPECT_TRUE(Moves(board).empty());
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_TRUE(Texts()[0].starts_with(std::string(texts::kScanFinished) + " (без станка)"));
  const HeightMap& map = window.heightMap();
  ASSERT_EQ(map.meshX(), 6);
  ASSERT_EQ(map.meshY(), 5);
  for (int y = 1; y <= 5; ++y) {
    for (int x = 1; x <= 6; ++x) EXPECT_EQ(NodeGrey(window, x, y), map.At(x, y));
  }
  // The last node of the walk is (6, 5).
  EXPECT_EQ(Find<QLabel>(window, "Label9")->text(), "Данные: " + QString::number(map.At(6, 5)));
}

TEST_F(ScannerWindowTest, RealScanThenInterpolationShowsTheMapAtItsNodes) {
  SimulatedBoard& board = UseBoard('S');
  ScannerWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command6");
  EXPECT_EQ(Moves(board).size(), 59u);
  EXPECT_EQ(Moves(board).front(), "0,0,200;");
  const HeightMap map = window.heightMap();
  const auto [lo, hi] = std::minmax_element(map.values().begin(), map.values().end());
  EXPECT_EQ(*lo, 0);
  EXPECT_EQ(*hi, 255);

  // A mesh changed since the scan: the map's own 6 × 5 is interpolated.
  Enter(window, "Text3", "8");
  Click(window, "Command2");
  for (int y = 1; y <= 5; ++y) {
    for (int x = 1; x <= 6; ++x) EXPECT_EQ(NodeGrey(window, x, y), map.At(x, y));
  }
}

TEST_F(ScannerWindowTest, StopEndsTheScanAtOnceKeepingWhatWasMeasured) {
  UseBoard('S');
  ScannerWindow window(link_, settings_);
  window.Load();
  SimulatedBoard& board = UseLateBoard('S');
  Tick(window, "Check1");
  std::size_t sentAtStop = 0;
  frontend_.onEvents = [&] {
    // "Стоп" while the fourth line (a probe or a move) is being answered.
    if (sentAtStop == 0 && Moves(board).size() >= 4) {
      sentAtStop = Moves(board).size();
      Click(window, "Command9");
    }
  };
  Click(window, "Command6");
  frontend_.onEvents = nullptr;
  ASSERT_GT(sentAtStop, 0u);
  // No question, no further line, no message; the map raw, not normalised.
  EXPECT_EQ(Moves(board).size(), sentAtStop);
  EXPECT_TRUE(frontend_.questions.empty());
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_GE(window.heightMap().At(1, 1), 100);
  EXPECT_EQ(window.heightMap().At(6, 5), 0);
  // A node never measured is not drawn as a measured low: it keeps its
  // own colour, which no grey is.
  const auto shown = [&window](int x, int y) {
    return window.meshView().PixelAt(40 * (x - 1) + 9, 50 * (y - 1) + 9);
  };
  const QRgb unmeasured = qRgb(kUnmeasuredMarker.red, kUnmeasuredMarker.green,
                               kUnmeasuredMarker.blue);
  EXPECT_EQ(shown(6, 5), unmeasured);
  EXPECT_EQ(qRed(shown(1, 1)), qBlue(shown(1, 1)));
  EXPECT_EQ(qGreen(shown(1, 1)), qBlue(shown(1, 1)));
  EXPECT_TRUE(Find(window, "Pict")->toolTip().contains(QStringLiteral("не измерен")));
  EXPECT_TRUE(Find<QCheckBox>(window, "Check1")->isEnabled());
  EXPECT_TRUE(Find(window, "Command6")->isEnabled());

  // Started again: asked first, the probe goes back to where the stopped
  // scan began, then the whole scan runs from there.
  const std::size_t firstRun = board.Record().size();
  frontend_.yesNoAnswers = {true};
  Click(window, "Command6");
  ASSERT_EQ(frontend_.questions.size(), 1u);
  const auto& record = board.Record();
  ASSERT_EQ(record.size(), firstRun + 1 + 59);
  EXPECT_EQ(record[firstRun].positionAfter, (std::array<std::int64_t, 3>{}));
  EXPECT_EQ(record[firstRun + 1].text, "0,0,200;");
}

// A mesh of tens of thousands of points is scanned only when the person
// agrees, told how long it takes; declined, nothing is sent.
TEST_F(ScannerWindowTest, AVeryLargeMeshIsAskedAboutWithItsTime) {
  SimulatedBoard& board = UseBoard('S');
  ScannerWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Enter(window, "Text3", "200");
  Enter(window, "Text4", "101");
  frontend_.yesNoAnswers = {false};
  Click(window, "Command6");
  ASSERT_EQ(frontend_.questions.size(), 1u);
  const std::string& question = frontend_.questions[0].text;
  EXPECT_NE(question.find("Сетка 200 × 101: 20200 точек. Сканирование займёт около "),
            std::string::npos)
      << question;
  EXPECT_NE(question.find(" мин."), std::string::npos) << question;
  EXPECT_TRUE(Moves(board).empty());
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(ScannerWindowTest, GripSetsTheBoxAndWholeCells) {
  ScannerWindow window(link_, settings_);
  window.Load();
  window.show();
  QLabel* grip = Find<QLabel>(window, "Label12");
  // The grip sits 6 pixels inside the box's corner: pointer 84 within it
  // makes the box 300 wide; cells (300 − 22) ÷ 5 = 55.
  Mouse(grip, QEvent::MouseButtonPress, {6, 6}, Qt::LeftButton);
  EXPECT_TRUE(Find<QLabel>(window, "Label13")->isVisible());
  Mouse(grip, QEvent::MouseMove, {84, 6}, Qt::LeftButton);
  Mouse(grip, QEvent::MouseButtonRelease, {84, 6}, Qt::NoButton);
  EXPECT_FALSE(Find<QLabel>(window, "Label13")->isVisible());
  EXPECT_EQ(window.meshView().box(), (BoxSize{300, 222}));
  EXPECT_EQ(Text(window, "Text6"), "275");
  EXPECT_EQ(Text(window, "Text7"), "200");
  EXPECT_EQ(grip->pos(), QPoint(294, 216));

  // Never 66 pixels or fewer by dragging.
  Mouse(grip, QEvent::MouseButtonPress, {6, 6}, Qt::LeftButton);
  Mouse(grip, QEvent::MouseMove, {-250, -150}, Qt::LeftButton);
  EXPECT_EQ(window.meshView().box(), (BoxSize{300, 222}));
  Mouse(grip, QEvent::MouseButtonRelease, {0, 0}, Qt::NoButton);
}

TEST_F(ScannerWindowTest, SavingTwiceReplacesTheImage) {
  ScannerWindow window(link_, settings_);
  window.SetImageFolder(folder_.path());
  window.Load();
  Click(window, "Command1");
  Enter(window, "Text6", "100");
  Click(window, "Command7");
  Click(window, "Command1");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  for (const auto& message : frontend_.messages) {
    EXPECT_EQ(message.title, texts::kTitleSaving);
    EXPECT_EQ(message.text, texts::kImageSaved);
  }
  const PictureResult saved = LoadPictureFile(folder_.path() / "image.bmp");
  ASSERT_TRUE(saved.picture);
  EXPECT_EQ(saved.picture->fileBitsPerPixel, 24);
  EXPECT_EQ(saved.picture->image, window.meshView().view());
  EXPECT_EQ(saved.width, 122);
}

}  // namespace
}  // namespace vertolin
