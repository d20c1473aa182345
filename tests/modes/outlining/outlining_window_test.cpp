#include "modes/outlining/outlining_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "modes/outlining/outlining_session.h"
#include "picture/bmp_builder.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/figure_window_fixture.h"
#include "ui/picture_widget.h"
#include "util/exe_folder.h"

namespace vertolin {
namespace {

using test::RingPicture;
using Lines = std::vector<std::string>;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);

// "Все" on the ring at 10 steps per pixel from (1, 1): the centre (laser on
// and off, no step), the ring's hole, then the ring's outside.
Lines RingAllLines() {
  Lines lines{"30,30,0,2000;", "0,0,1,1000;", "0,0,-1,2000;", "-10,-20,0,2000;", "0,0,1,1000;"};
  for (const char* step : {"-10,10;", "0,10;", "0,10;", "10,10;", "10;", "10;", "10,-10;", "0,-10;",
                           "0,-10;", "-10,-10;", "-10;", "-10;"}) {
    lines.push_back(step);
  }
  lines.insert(lines.end(), {"0,0,-1,2000;", "-10,0,0,2000;", "0,0,1,1000;"});
  for (const char* side : {"10;", "0,10;", "-10;", "0,-10;"}) {
    for (int i = 0; i < 4; ++i) lines.push_back(side);
  }
  lines.push_back("0,0,-1,2000;");
  return lines;
}

class OutliningWindowTest : public test::FigureWindowFixture {
 protected:
  // The laser board.
  SimulatedBoard& UseBoard(BoardFaults faults = {}) {
    return PictureWindowFixture::UseBoard('P', std::move(faults));
  }
  SimulatedBoard& UseLateBoard() { return PictureWindowFixture::UseLateBoard('P'); }

  // The ring picture at 10 steps per pixel and a spot of radius 1 pixel.
  void UseRing() {
    WritePicture(RingPicture(), "Etching2_image", "ring.bmp");
    settings_.WriteSetting("Etching2_width", "0,35");
    settings_.WriteSetting("Etching2_diameter", "0,1");
  }
};

TEST_F(OutliningWindowTest, ControlsDefaultsKeysAndHandshake) {
  OutliningWindow window(link_, settings_);
  EXPECT_EQ(window.objectName(), QStringLiteral("Form5"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Обведение силуэтов и орнаментов"));
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("200"));
  EXPECT_EQ(Text(window, "Text3"), QStringLiteral("2"));
  EXPECT_EQ(Text(window, "Text4"), QStringLiteral("1000"));
  EXPECT_EQ(Field(window, "Text4")->toolTip(),
            QStringLiteral("Задержка между шагами при фрезеровке в микросекундах"));
  EXPECT_EQ(Find<QLabel>(window, "Label3")->text(),
            QStringLiteral("Задержка между шагами при грав-вке, микросек."));
  EXPECT_EQ(Find<QGroupBox>(window, "Frame4")->title(),
            QStringLiteral("Размер готового изобр-ния"));
  EXPECT_EQ(Find<QGroupBox>(window, "Frame5")->title(), QStringLiteral("Лазер"));
  // No depth: Text1 is the picture path.
  EXPECT_FALSE(Find<QGroupBox>(window, "Frame4")->isAncestorOf(Field(window, "Text1")));
  const std::pair<const char*, const char*> buttons[] = {
      {"Command1", "Разобрать"}, {"Command2", "Выделенная"}, {"Command6", "Все"},
      {"Command4", "Градиент"},  {"Command5", "Отступить"},  {"Command7", "Грав-ть всё"},
      {"Command9", "Стоп"}};
  for (const auto& [name, caption] : buttons) {
    EXPECT_EQ(Find<QPushButton>(window, name)->text(), QString::fromUtf8(caption)) << name;
    EXPECT_TRUE(Find(window, "Frame2")->isAncestorOf(Find(window, name))) << name;
  }
  EXPECT_EQ(Find<QPushButton>(window, "Command2")->toolTip(),
            QStringLiteral("Гравирует выделенную фигуру"));
  EXPECT_EQ(Find<QPushButton>(window, "Command6")->toolTip(),
            QStringLiteral("Гравирует границы всех фигур"));
  EXPECT_EQ(Find<QPushButton>(window, "Command7")->toolTip(),
            QStringLiteral("Гравирует все фигуры с заполнением"));
  EXPECT_EQ(Find<QCheckBox>(window, "Check1")->text(), QStringLiteral("Гравировать"));
  EXPECT_FALSE(Find<QCheckBox>(window, "Check1")->isChecked());
  EXPECT_EQ(Find<QCheckBox>(window, "Check2")->text(), QStringLiteral("С возвратом в исх."));
  auto* tabs = Find<QTabBar>(window, "TabStrip1");
  ASSERT_EQ(tabs->count(), 4);
  const char* captions[] = {"Основная", "Градиент", "Выделение", "Лазер"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(captions[i]));

  // Without a remembered picture the window looks beside the executable.
  UseBoard();
  window.Load();
  EXPECT_EQ(Text(window, "Text1"),
            QString::fromStdString(PathToUtf8(ExecutableFolder() / "ornament.bmp")));
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Com-порт открыт"));
  EXPECT_TRUE(Find(window, "Check1")->isEnabled());
  window.Unload();

  // The keys are read at load and written at unload.
  UseRing();
  settings_.WriteSetting("Etching2_delay", "700");
  window.Load();
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("0,35"));
  EXPECT_EQ(Text(window, "Text3"), QStringLiteral("0,1"));
  EXPECT_EQ(Text(window, "Text4"), QStringLiteral("700"));
  Field(window, "Text6")->setText(QStringLiteral("0,7"));
  Field(window, "Text3")->setText(QStringLiteral("0,2"));
  Field(window, "Text4")->setText(QStringLiteral("1500"));
  window.Unload();
  EXPECT_EQ(settings_.ReadSetting("Etching2_width", ""), "0,7");
  EXPECT_EQ(settings_.ReadSetting("Etching2_diameter", ""), "0,2");
  EXPECT_EQ(settings_.ReadSetting("Etching2_delay", ""), "1500");

  // A board of another kind (the milling firmware): its warning, no driving.
  link_.Attach(std::make_unique<SimPort>(SimulatedBoard('M')));
  window.Load();
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Некорректная прошивка"));
  for (const char* name : {"Check1", "Check2", "Command3"}) {
    EXPECT_FALSE(Find(window, name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Find(window, "Command6")->isEnabled());  // a dry run is still possible
}

TEST_F(OutliningWindowTest, PictureBelow24BitsCannotBeEngraved) {
  test::BmpLayout layout;
  layout.width = 2;
  layout.height = 2;
  layout.bitsPerPixel = 8;
  layout.coloursUsed = 2;
  layout.palette = {{0, 0, 0}, {255, 255, 255}};
  layout.rows = {{0, 1}, {1, 0}};
  const auto path = folder_.path() / "eight.bmp";
  ASSERT_TRUE(WriteFileBytes(path, test::BuildBmp(layout)));
  settings_.WriteSetting("Etching2_image", PathToUtf8(path));
  OutliningWindow window(link_, settings_);
  window.Load();
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text,
            "В изображении используется менее 24 бит на пиксель.\r\nГравировка невозможна.\r\n"
            "Преобразуйте изображение к 24-битовому формату (например в Paint)");
  for (const char* name :
       {"Command4", "Command5", "Command1", "Command2", "Command6", "Command7", "Command9"}) {
    EXPECT_FALSE(Find(window, name)->isEnabled()) << name;
  }
}

TEST_F(OutliningWindowTest, MessagesBeforeAParseAndWithoutAChosenFigure) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  OutliningWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command2");
  Click(window, "Command6");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  for (const auto& message : frontend_.messages) {
    EXPECT_EQ(message.title, "Ошибка");
    EXPECT_EQ(message.text,
              "Изображение не загружено или не разобрано.\r\n"
              "Если изображение загружено, нажмите кнопку 'Разобрать'.\r\n"
              "Необходимо, чтобы программа построила дерево вложения фигур.");
  }
  Click(window, "Command1");
  Click(window, "Command2");
  ASSERT_EQ(frontend_.messages.size(), 3u);
  EXPECT_EQ(frontend_.messages[2].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[2].text, "Не выбрана фигура.\r\nВыберите фигуру в дереве.");
  EXPECT_TRUE(Moves(board).empty());
}

TEST_F(OutliningWindowTest, DryRunPaintsTheLaserFootprintsAndSendsNothing) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  OutliningWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check2");
  Click(window, "Command1");
  Click(window, "Command6");
  EXPECT_TRUE(Moves(board).empty());
  PictureWidget& progress = Box(window, "Pict3");
  for (const auto& [x, y] : {std::pair{4, 4}, {2, 2}, {3, 2}, {6, 6}, {1, 2}, {3, 3}}) {
    EXPECT_EQ(progress.PixelAt(x, y), kRed) << x << "," << y;
  }
  EXPECT_EQ(progress.PixelAt(1, 1), kWhite);             // beyond the spot's radius
  EXPECT_EQ(Box(window, "Pict").PixelAt(4, 4), kBlack);  // the base layer stays
}

TEST_F(OutliningWindowTest, RealRunsOfAllAndOfTheChosenFigure) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  OutliningWindow window(link_, settings_);
  Show(window);
  window.Load();
  Tick(window, "Check1");
  Tick(window, "Check2");
  Click(window, "Command1");
  Click(window, "Command6");
  Lines expected = RingAllLines();
  expected.push_back("-10,-10;");  // back from (2, 2) to the origin
  EXPECT_EQ(Moves(board), expected);
  EXPECT_FALSE(board.LaserOn());

  SimulatedBoard& second = UseBoard();
  Click(window, "Command1");
  ClickNode(window, "4");
  Click(window, "Command2");
  EXPECT_EQ(Moves(second), (Lines{"30,30,0,2000;", "0,0,1,1000;", "0,0,-1,2000;", "-30,-30;"}));
}

TEST_F(OutliningWindowTest, StopQuestionSwitchesTheLaserOffAndOnAgain) {
  UseRing();
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop);
    frontend_.questions.clear();
    UseBoard();
    OutliningWindow window(link_, settings_);
    window.Load();
    SimulatedBoard& board = UseLateBoard();
    Tick(window, "Check1");
    Click(window, "Command1");
    frontend_.yesNoAnswers = {stop};
    std::size_t sentAtStop = 0;
    frontend_.onEvents = [&] {
      // In the ring's hole pass, the laser on.
      if (sentAtStop == 0 && Moves(board).size() >= 7) {
        sentAtStop = Moves(board).size();
        Click(window, "Command9");
      }
    };
    Click(window, "Command6");
    frontend_.onEvents = nullptr;
    ASSERT_GT(sentAtStop, 0u);
    ASSERT_EQ(frontend_.questions.size(), 1u);
    EXPECT_EQ(frontend_.questions[0].text,
              "Гравировка остановлена. Остановить?\r\nДа - остановить. Нет - продолжить.");
    const Lines whole = RingAllLines();
    Lines expected(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(sentAtStop));
    expected.push_back("0,0,-1");
    if (!stop) {
      expected.push_back("0,0,1");
      expected.insert(expected.end(), whole.begin() + static_cast<std::ptrdiff_t>(sentAtStop),
                      whole.end());
    } else {
      expected.push_back("0,0,-1,2000;");  // the pause line has no ";"
    }
    EXPECT_EQ(Moves(board), expected);
    EXPECT_FALSE(board.LaserOn());
    EXPECT_FALSE(window.JobRunning());
    EXPECT_TRUE(Find(window, "Command6")->isEnabled());
    link_.ClearStop();
  }
}

TEST_F(OutliningWindowTest, FillEngravesConcentricOutlinesOneSpotApart) {
  // A black square 3..10 on white, 10 steps per pixel, a spot of 2 pixels:
  // "Градиент" whitens its edge, so the first outline runs round 4..9; after
  // "Отступить" the second round runs round 6..7, and then nothing is left.
  PixelImage picture(12, 12);
  for (int y = 3; y <= 10; ++y) {
    for (int x = 3; x <= 10; ++x) picture.SetGrey(x, y, 0);
  }
  WritePicture(picture, "Etching2_image", "square.bmp");
  settings_.WriteSetting("Etching2_width", "0,6");
  settings_.WriteSetting("Etching2_diameter", "0,1");
  SimulatedBoard& board = UseBoard();
  OutliningWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Tick(window, "Check2");
  Click(window, "Command7");
  const Lines moves = Moves(board);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.front(), "30,30,0,2000;");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "0,0,1,1000;"), 2);
  EXPECT_EQ(std::count(moves.begin(), moves.end(), "0,0,-1,2000;"), 2);
  EXPECT_NE(std::find(moves.begin(), moves.end(), "20,20,0,2000;"), moves.end());
  EXPECT_EQ(moves.back(), "-50,-50;");  // from (6, 6) back to the origin
  EXPECT_FALSE(board.LaserOn());
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(Tree(window).topLevelItemCount(), 0);
  EXPECT_EQ(Box(window, "Pict1").PixelAt(4, 4), kWhite);
  EXPECT_EQ(Box(window, "Pict3").PixelAt(4, 4), kRed);
  EXPECT_EQ(Box(window, "Pict3").PixelAt(3, 3), kBlack);  // the edge: never under the spot
}

TEST_F(OutliningWindowTest, ClosingDuringAJobLeavesTheLaserOff) {
  UseRing();
  UseBoard();
  OutliningWindow window(link_, settings_);
  Show(window);
  window.Load();
  SimulatedBoard& board = UseLateBoard();
  Tick(window, "Check1");
  Click(window, "Command1");
  bool closed = false;
  frontend_.onEvents = [&] {
    if (!closed && Moves(board).size() >= 7) {
      closed = true;
      window.close();
    }
  };
  Click(window, "Command6");  // returns: the closed window's wait was abandoned
  frontend_.onEvents = nullptr;
  ASSERT_TRUE(closed);
  EXPECT_FALSE(window.JobRunning());
  const Lines moves = Moves(board);
  ASSERT_GE(moves.size(), 8u);
  EXPECT_EQ(moves.back(), "0,0,-1,2000;");
  EXPECT_FALSE(board.LaserOn());
}

TEST_F(OutliningWindowTest, MenuEntryOpensTheWindow) {
  UseRing();
  MainWindow main(settings_, link_);
  auto* action = main.findChild<QAction*>(QStringLiteral("etching2_cl"));
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->isEnabled());
  action->trigger();
  QWidget* child = main.Child(QStringLiteral("etching2_cl"));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->objectName(), QStringLiteral("Form5"));
  EXPECT_EQ(Text(*child, "Text6"), QStringLiteral("0,35"));
}

}  // namespace
}  // namespace vertolin
