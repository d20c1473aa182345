#include "modes/cutting/cutting_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTest>
#include <fstream>

#include "app/main_window.h"
#include "modes/cutting/processing_run.h"
#include "picture/pixel_image.h"
#include "support/picture_window_fixture.h"
#include "ui/picture_widget.h"

namespace vertolin {
namespace {

using Lines = std::vector<std::string>;

class CuttingWindowTest : public test::PictureWindowFixture {
 protected:
  // A black bar on white: the run thins it to a line.
  static PixelImage Bar() {
    PixelImage picture(30, 16);
    for (int y = 6; y <= 9; ++y) {
      for (int x = 5; x <= 25; ++x) picture.SetGrey(x, y, 0);
    }
    return picture;
  }
  // A prepared drawing: one line of black pixels, (3, 4) to (12, 4).
  static PixelImage Line() {
    PixelImage picture(16, 8);
    for (int x = 3; x <= 12; ++x) picture.SetGrey(x, 4, 0);
    return picture;
  }
  void UsePicture(const PixelImage& picture) {
    WritePicture(picture, "Etching9_image", "picture.bmp");
  }
  void WriteNetwork() { std::ofstream(folder_.path() / "neuro.net") << ""; }

  bool Said(const char* text) const {
    for (const auto& message : frontend_.messages) {
      if (message.text == text) return true;
    }
    return false;
  }
};

TEST_F(CuttingWindowTest, ControlsKeysAndTheFirmwareKind) {
  UsePicture(Line());
  settings_.WriteSetting("Etching9_width", "16");
  UseBoard('O');
  CuttingWindow window(link_, settings_);
  window.Load();
  EXPECT_EQ(window.objectName(), QStringLiteral("Form9"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Резка/гравировка по рисунку"));
  auto* tabs = Find<QTabBar>(window, "TabStrip1");
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Основная"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Шаблон"));
  EXPECT_EQ(tabs->tabText(2), QStringLiteral("Лазер"));
  EXPECT_TRUE(Find(window, "Frame6")->isHidden());
  EXPECT_TRUE(Find(window, "Pict1")->isHidden());
  EXPECT_TRUE(Find(window, "Label7")->isHidden());
  EXPECT_TRUE(Find(window, "ProgressBar1")->isHidden());
  EXPECT_EQ(Find<QPushButton>(window, "Command4")->text(), QStringLiteral("Обработать"));
  EXPECT_EQ(Find<QPushButton>(window, "Command7")->text(), QStringLiteral("Резать"));
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Com-порт открыт"));
  EXPECT_TRUE(Find(window, "Check1")->isEnabled());
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("16"));
  EXPECT_EQ(Text(window, "Text4"), QStringLiteral("1000"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("8"));
  Field(window, "Text4")->setText(QStringLiteral("700"));
  window.Unload();
  EXPECT_EQ(settings_.ReadSetting("Etching9_delay", ""), "700");
  EXPECT_EQ(settings_.ReadSetting("Etching9_width", ""), "16");

  // A laser board of another kind: told, and the drive controls disabled.
  UseBoard('P');
  window.Load();
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Некорректная прошивка"));
  EXPECT_EQ(frontend_.firmwareWarnings.size(), 1u);
  EXPECT_FALSE(Find(window, "Check1")->isEnabled());
  EXPECT_FALSE(Find(window, "Command3")->isEnabled());
}

TEST_F(CuttingWindowTest, ProcessingWithoutTheNetworkFileChangesNothing) {
  UsePicture(Bar());
  CuttingWindow window(link_, settings_);
  window.SetProgramFolder(folder_.path());
  window.Load();
  const CuttingLayers before = window.layers();
  frontend_.messages.clear();
  Click(window, "Command4");
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, kMissingNetworkText);
  EXPECT_EQ(window.layers().work, before.work);
  EXPECT_EQ(window.layers().pattern, before.pattern);
  EXPECT_EQ(window.layers().trace, before.trace);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "neuro.bmp"));
}

TEST_F(CuttingWindowTest, AFullRunShowsEveryStageInOrder) {
  UsePicture(Bar());
  WriteNetwork();
  CuttingWindow window(link_, settings_);
  window.SetProgramFolder(folder_.path());
  window.Load();

  // What the run does, worked out on a copy.
  CuttingLayers expected = window.layers();
  test::RecordingFrontend quiet;
  CuttingPreparation copy(expected, quiet, folder_.path());
  UnseenProcessing nowhere;
  const int removalPasses = copy.Process(nowhere).removalPasses;
  ASSERT_GE(removalPasses, 2);
  std::filesystem::remove(folder_.path() / "neuro.bmp");

  QStringList labels;
  bool labelShown = true;
  QObject::connect(&window, &CuttingWindow::StageShown, [&](const QString& label) {
    labels << label;
    labelShown = labelShown && !Find(window, "Label7")->isHidden() &&
                 Find<QLabel>(window, "Label7")->text() == label &&
                 !Find(window, "ProgressBar1")->isHidden();
  });
  Click(window, "Command4");
  QStringList want = {QStringLiteral("Нейро. ST - 1")};
  for (int pass = 1; pass <= 5; ++pass) want << QStringLiteral("Нейро. CN - %1").arg(pass);
  for (int pass = 1; pass <= removalPasses; ++pass)
    want << QStringLiteral("Нейро. CR - %1").arg(pass);
  want << QStringLiteral("Нейро. CL - 1") << QStringLiteral("Нейро. GS - 1");
  EXPECT_EQ(labels, want);
  EXPECT_TRUE(labelShown);
  EXPECT_TRUE(Find(window, "Label7")->isHidden());
  EXPECT_TRUE(Find(window, "ProgressBar1")->isHidden());
  EXPECT_EQ(window.layers().pattern, expected.pattern);
  EXPECT_EQ(window.layers().trace, expected.pattern);
  EXPECT_TRUE(std::filesystem::exists(folder_.path() / "neuro.bmp"));
  auto* shown = window.findChild<PictureWidget*>(QStringLiteral("Pict2"));
  EXPECT_EQ(shown->PixelAt(10, 9), qRgb(0, 0, 0));  // the bar's line along its bottom row
}

TEST_F(CuttingWindowTest, DryRunCutPaintsTheTraceAndSendsNothing) {
  UsePicture(Line());
  SimulatedBoard& board = UseBoard('O');
  CuttingWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check2");
  Click(window, "Command7");
  EXPECT_TRUE(Moves(board).empty());
  EXPECT_TRUE(frontend_.messages.back().text.starts_with("Готово (без станка)"));
  auto* trace = window.findChild<PictureWidget*>(QStringLiteral("Pict3"));
  for (int x = 3; x <= 12; ++x) {
    EXPECT_EQ(trace->PixelAt(x, 4), qRgb(255, 0, 0));
    EXPECT_EQ(trace->PixelAt(x, 3), qRgb(255, 0, 0));  // and the neighbours
  }
  EXPECT_EQ(trace->PixelAt(1, 1), qRgb(255, 255, 255));

  // The dry cut painted a copy: a real cut still finds the whole line (what
  // it sends: DryRunWindowTest).
  frontend_.messages.clear();
  Tick(window, "Check1");
  Click(window, "Command7");
  EXPECT_FALSE(Moves(board).empty());
  EXPECT_TRUE(Said("Готово"));
}

TEST_F(CuttingWindowTest, StopQuestionSwitchesTheLaserOffAndOnAgain) {
  UsePicture(Line());
  settings_.WriteSetting("Etching9_width", "16");  // 200 steps per pixel
  // Going on first: a start after a stopped job would first ask about going back.
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop);
    frontend_.messages.clear();
    UseBoard('O');
    CuttingWindow window(link_, settings_);
    window.Load();
    SimulatedBoard& board = UseLateBoard('O');
    Tick(window, "Check1");
    frontend_.yesNoAnswers = {stop};
    bool pressed = false;
    frontend_.onEvents = [&] {
      // "Стоп" while the first move along the line is acknowledged.
      if (!pressed && Moves(board).size() >= 3) {
        pressed = true;
        Click(window, "Command9");
      }
    };
    Click(window, "Command7");
    frontend_.onEvents = nullptr;
    ASSERT_TRUE(pressed);
    const Lines moves = Moves(board);
    ASSERT_GE(moves.size(), 4u);
    EXPECT_EQ(Lines(moves.begin(), moves.begin() + 4),
              (Lines{"2200,600,0,2000;", "0,0,1,1000;", "-200;", "0,0,-1"}));
    if (stop) {
      // The pause line has no ";": the whole laser-off line ends the job.
      EXPECT_EQ(moves.size(), 5u);
      EXPECT_EQ(moves.back(), "0,0,-1,2000;");
      EXPECT_FALSE(Said("Готово"));
    } else {
      EXPECT_EQ(moves[4], "0,0,1");
      EXPECT_EQ(moves.back(), "0,0,-1,2000;");
      EXPECT_EQ(moves.size(), 4u + 1 + 8 + 1);
      EXPECT_TRUE(Said("Готово"));
    }
    EXPECT_FALSE(board.LaserOn());
    EXPECT_FALSE(window.JobRunning());
  }
}

TEST_F(CuttingWindowTest, ClosingDuringACutSwitchesTheLaserOff) {
  UsePicture(Line());
  settings_.WriteSetting("Etching9_width", "16");
  UseBoard('O');
  CuttingWindow window(link_, settings_);
  window.Load();
  SimulatedBoard& board = UseLateBoard('O');
  Tick(window, "Check1");
  bool closed = false;
  frontend_.onEvents = [&] {
    if (!closed && Moves(board).size() >= 4) {
      closed = true;
      window.Unload();
    }
  };
  Click(window, "Command7");
  frontend_.onEvents = nullptr;
  ASSERT_TRUE(closed);
  EXPECT_FALSE(window.JobRunning());
  EXPECT_TRUE(frontend_.questions.empty());
  EXPECT_EQ(Moves(board).back(), "0,0,-1,2000;");
  EXPECT_FALSE(board.LaserOn());
  EXPECT_FALSE(Said("Готово"));
}

TEST_F(CuttingWindowTest, MenuEntryOpensTheWindow) {
  UsePicture(Line());
  MainWindow main(settings_, link_);
  auto* action = main.findChild<QAction*>(QStringLiteral("pic_cl"));
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->isEnabled());
  action->trigger();
  QWidget* child = main.Child(QStringLiteral("pic_cl"));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->objectName(), QStringLiteral("Form9"));
}

}  // namespace
}  // namespace vertolin
