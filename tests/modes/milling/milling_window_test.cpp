#include "modes/milling/milling_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "util/exe_folder.h"
#include "app/main_window.h"
#include "settings/settings_store.h"
#include "link/link.h"
#include "jobs/job_journal.h"
#include "link/interruption.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "modes/milling/milling_session.h"
#include "picture/bmp_builder.h"
#include "picture/picture_file.h"
#include "ui/picture_widget.h"
#include "picture/pixel_image.h"
#include "support/figure_window_fixture.h"

namespace vertolin {
namespace {

using test::RingPicture;
using Lines = std::vector<std::string>;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);

const std::string kNotParsed =
    "Изображение не загружено или не разобрано.\r\n"
    "Если изображение загружено, нажмите кнопку 'Разобрать'.\r\n"
    "Необходимо, чтобы программа построила дерево вложения фигур.";

// "Все" on the ring picture at `scale` steps per pixel and one Z step per
// grey level, from (1, 1): the centre (a plunge and a lift), the ring's hole,
// then the ring's outside.
Lines RingAllLines(int scale = 10) {
  const auto move = [scale](int dx, int dy, const char* rest) {
    return std::to_string(dx * scale) + "," + std::to_string(dy * scale) + rest;
  };
  const auto step = [&](int dx, int dy) { return move(dx, dy, ",0,0;"); };
  Lines lines{move(3, 3, ",0,2000;"), "0,0,-255,4000;", "0,0,255,2000;", move(-1, -2, ",0,2000;"),
              "0,0,-255,4000;"};
  const int hole[12][2] = {{-1, 1}, {0, 1},  {0, 1},  {1, 1},   {1, 0},  {1, 0},
                           {1, -1}, {0, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 0}};
  for (const auto& [dx, dy] : hole) lines.push_back(step(dx, dy));
  lines.insert(lines.end(), {"0,0,255,2000;", move(-1, 0, ",0,2000;"), "0,0,-255,4000;"});
  const int sides[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  for (const auto& [dx, dy] : sides) {
    for (int i = 0; i < 4; ++i) lines.push_back(step(dx, dy));
  }
  lines.push_back("0,0,255,2000;");
  return lines;
}

class MillingWindowTest : public test::FigureWindowFixture {
 protected:
  // The milling board.
  SimulatedBoard& UseBoard(BoardFaults faults = {}) {
    return PictureWindowFixture::UseBoard('M', std::move(faults));
  }
  SimulatedBoard& UseLateBoard() { return PictureWindowFixture::UseLateBoard('M'); }

  // Writes the picture and makes it the remembered one.
  std::string UsePicture(const PixelImage& picture, const char* name = "picture.bmp") {
    return WritePicture(picture, "Image", name);
  }
  // The ring picture at 10 steps per pixel, one Z step per grey level and a
  // tool one pixel wide.
  void UseRing() {
    UsePicture(RingPicture());
    settings_.WriteSetting("cncrez_width", "0,35");
    settings_.WriteSetting("cncrez_depth", "1,275");
    settings_.WriteSetting("mill_diameter", "0,05");
  }
};

TEST_F(MillingWindowTest, ControlsDefaultsAndHandshake) {
  MillingWindow window(link_, settings_);
  EXPECT_EQ(window.objectName(), QStringLiteral("Form1"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Vertolin"));
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("200"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("100"));
  EXPECT_EQ(Text(window, "Text1"), QStringLiteral("10"));
  EXPECT_EQ(Text(window, "Text3"), QStringLiteral("3"));
  EXPECT_EQ(Text(window, "Text4"), QStringLiteral("4000"));
  EXPECT_EQ(Field(window, "Text4")->toolTip(),
            QStringLiteral("Задержка между шагами при фрезеровке в микросекундах"));
  EXPECT_EQ(Find<QLabel>(window, "Label3")->text(),
            QStringLiteral("Задержка между шагами при фрез-вке, микросек."));
  EXPECT_EQ(Find<QGroupBox>(window, "Frame4")->title(), QStringLiteral("Размер готового изображ."));
  EXPECT_EQ(Find<QGroupBox>(window, "Frame5")->title(), QStringLiteral("Фреза"));
  const std::pair<const char*, const char*> buttons[] = {
      {"Command1", "Разобрать"}, {"Command2", "Выделенная"}, {"Command6", "Все"},
      {"Command4", "Градиент"},  {"Command5", "Отступить"},  {"Command7", "Резать 3D"},
      {"Command9", "Стоп"}};
  for (const auto& [name, caption] : buttons) {
    EXPECT_EQ(Find<QPushButton>(window, name)->text(), QString::fromUtf8(caption)) << name;
    EXPECT_TRUE(Find(window, "Frame2")->isAncestorOf(Find(window, name))) << name;
  }
  EXPECT_EQ(window.findChildren<QPushButton*>(QStringLiteral("Command9")).size(), 1);
  EXPECT_EQ(Find<QPushButton>(window, "Command8")->text(), QStringLiteral("..."));
  EXPECT_EQ(Find<QPushButton>(window, "Command3")->text(), QStringLiteral("Ручная уст-ка"));
  EXPECT_EQ(Find<QCheckBox>(window, "Check1")->text(), QStringLiteral("Фрезеровать"));
  EXPECT_EQ(Find<QCheckBox>(window, "Check2")->text(), QStringLiteral("С возвратом в исх."));
  EXPECT_EQ(Find<QLabel>(window, "Label1")->text(), QStringLiteral("Статус:"));
  auto* tabs = Find<QTabBar>(window, "TabStrip1");
  ASSERT_EQ(tabs->count(), 4);
  const char* captions[] = {"Основная", "Градиент", "Выделение", "Фреза"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(captions[i]));
  for (const char* box : {"Pict", "Pict1", "Pict2", "Pict3"}) Find<PictureWidget>(window, box);

  // Without a remembered picture the window looks beside the executable.
  UseBoard();
  Tick(window, "Check2");
  window.Load();
  EXPECT_EQ(Text(window, "Text2"),
            QString::fromStdString(PathToUtf8(ExecutableFolder() / "ornament.bmp")));
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Com-порт открыт"));
  EXPECT_TRUE(Find(window, "Check1")->isEnabled());
  EXPECT_FALSE(Find<QCheckBox>(window, "Check2")->isChecked());
  window.Unload();

  // A board of another kind: its warning, and no driving.
  link_.Attach(std::make_unique<SimPort>(SimulatedBoard('P')));
  UsePicture(RingPicture());
  window.Load();
  EXPECT_EQ(Find<QLabel>(window, "Label4")->text(), QStringLiteral("Некорректная прошивка"));
  EXPECT_EQ(frontend_.firmwareWarnings, std::vector<std::string>{""});
  for (const char* name : {"Check1", "Check2", "Command3"}) {
    EXPECT_FALSE(Find(window, name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Find(window, "Command6")->isEnabled());
}

TEST_F(MillingWindowTest, MissingPictureHidesTheWorkUntilOneIsChosen) {
  const std::string missing = PathToUtf8(folder_.path() / "нет такого.bmp");
  settings_.WriteSetting("Image", missing);
  MillingWindow window(link_, settings_);
  Show(window);
  window.Load();
  const char* work[] = {"TabStrip1", "Frame4", "Frame5", "Frame2", "Label3",
                        "Text4",     "Pict",   "Pict1",  "Pict2",  "Pict3"};
  for (const char* name : work) EXPECT_TRUE(Find(window, name)->isHidden()) << name;
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, "Файл " + missing + " не найден!\r\nВыберите другой файл!");

  // Not a picture: told, nothing changes.
  const auto junk = folder_.path() / "junk.bmp";
  ASSERT_TRUE(WriteFileBytes(junk, std::vector<std::uint8_t>{'n', 'o'}));
  window.SetFileChooser([&] { return QString::fromStdString(PathToUtf8(junk)); });
  Click(window, "Command8");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_EQ(frontend_.messages[1].text, "Ошибка открытия файла!\r\n" + PathToUtf8(junk) + ": " +
                                            std::string(kNotAPictureReason) + ".");
  EXPECT_EQ(settings_.ReadSetting("Image", ""), missing);
  EXPECT_TRUE(Find(window, "Frame2")->isHidden());

  // A good one: everything shows, the key is written, the height follows.
  const auto good = folder_.path() / "good.bmp";
  ASSERT_TRUE(WritePictureFile(good, PixelImage(500, 300)));
  window.SetFileChooser([&] { return QString::fromStdString(PathToUtf8(good)); });
  Click(window, "Command8");
  EXPECT_EQ(frontend_.messages.size(), 2u);
  for (const char* name : {"Frame4", "Frame5", "Frame2", "Label3", "Text4", "Pict"}) {
    EXPECT_FALSE(Find(window, name)->isHidden()) << name;
  }
  EXPECT_EQ(Text(window, "Text2"), QString::fromStdString(PathToUtf8(good)));
  EXPECT_EQ(settings_.ReadSetting("Image", ""), PathToUtf8(good));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("120"));
  Enter(window, "Text7", "100");
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("166"));
  Enter(window, "Text6", "ширина");  // not a number: the height keeps its text
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("100"));
}

TEST_F(MillingWindowTest, PictureBelow24BitsWarnsAndDisablesTheSevenButtons) {
  test::BmpLayout layout;
  layout.width = 2;
  layout.height = 2;
  layout.bitsPerPixel = 8;
  layout.coloursUsed = 2;
  layout.palette = {{0, 0, 0}, {255, 255, 255}};
  layout.rows = {{0, 1}, {1, 0}};
  const auto path = folder_.path() / "eight.bmp";
  ASSERT_TRUE(WriteFileBytes(path, test::BuildBmp(layout)));
  settings_.WriteSetting("Image", PathToUtf8(path));
  MillingWindow window(link_, settings_);
  window.Load();
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Внимание");
  EXPECT_EQ(frontend_.messages[0].text,
            "В изображении используется менее 24 бит на пиксель.\r\nФрезеровка невозможна.\r\n"
            "Преобразуйте изображение к 24-битовому формату (например в Paint)");
  for (const char* name :
       {"Command4", "Command5", "Command1", "Command2", "Command6", "Command7", "Command9"}) {
    EXPECT_FALSE(Find(window, name)->isEnabled()) << name;
  }
  EXPECT_FALSE(Find(window, "Frame2")->isHidden());
  EXPECT_TRUE(Box(window, "Pict").HasPicture());
  // A click that gets through anyway does nothing.
  emit Find<QPushButton>(window, "Command1")->clicked();
  EXPECT_EQ(Tree(window).topLevelItemCount(), 0);
}

TEST_F(MillingWindowTest, ParseFillsTheTreeAndAClickedNodeTurnsGreen) {
  UseRing();
  MillingWindow window(link_, settings_);
  Show(window);
  window.Load();
  Click(window, "Command1");

  // One chain 1 → 2 → 3 → 4, keyed "P" + number, every parent expanded.
  QTreeWidget& tv = Tree(window);
  ASSERT_EQ(tv.topLevelItemCount(), 1);
  QTreeWidgetItem* node = tv.topLevelItem(0);
  for (int figure = 1; figure <= 4; ++figure) {
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(0), QString::number(figure));
    EXPECT_EQ(node->data(0, Qt::UserRole).toString(), QStringLiteral("P%1").arg(figure));
    EXPECT_EQ(node->childCount(), figure < 4 ? 1 : 0);
    EXPECT_EQ(node->isExpanded(), figure < 4);
    node = node->child(0);
  }

  ClickNode(window, "2");
  PictureWidget& selection = Box(window, "Pict2");
  EXPECT_EQ(selection.PixelAt(2, 2), kGreen);
  EXPECT_EQ(selection.PixelAt(6, 6), kGreen);
  EXPECT_EQ(selection.PixelAt(4, 4), kBlack);
  EXPECT_EQ(selection.PixelAt(3, 3), kWhite);
  EXPECT_EQ(Find<QTabBar>(window, "TabStrip1")->currentIndex(), 2);
  // Only the last chosen figure is green; the Work layer itself is untouched.
  ClickNode(window, "4");
  EXPECT_EQ(selection.PixelAt(4, 4), kGreen);
  EXPECT_EQ(selection.PixelAt(2, 2), kBlack);
  EXPECT_EQ(Box(window, "Pict1").PixelAt(4, 4), kBlack);

  // A new picture clears the figures, and so the tree.
  window.SetFileChooser([&] { return QString::fromStdString(UsePicture(RingPicture(), "b.bmp")); });
  Click(window, "Command8");
  EXPECT_EQ(tv.topLevelItemCount(), 0);
  EXPECT_EQ(selection.PixelAt(4, 4), kBlack);
}

TEST_F(MillingWindowTest, JobsRefusedBeforeAParseOrWithoutAChosenFigure) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command2");
  Click(window, "Command6");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  for (const auto& message : frontend_.messages) {
    EXPECT_EQ(message.title, "Ошибка");
    EXPECT_EQ(message.text, kNotParsed);
  }
  Click(window, "Command1");
  Click(window, "Command2");
  ASSERT_EQ(frontend_.messages.size(), 3u);
  EXPECT_EQ(frontend_.messages[2].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[2].text, "Не выбрана фигура.\r\nВыберите фигуру в дереве.");
  EXPECT_TRUE(Moves(board).empty());
  EXPECT_FALSE(window.JobRunning());
}

TEST_F(MillingWindowTest, DryRunPaintsTheFootprintsAndSendsNothing) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  ASSERT_TRUE(Find(window, "Check1")->isEnabled());
  Tick(window, "Check2");
  Click(window, "Command1");
  Click(window, "Command6");

  EXPECT_TRUE(Moves(board).empty());
  PictureWidget& progress = Box(window, "Pict3");
  for (const auto& [x, y] : {std::pair{4, 4}, {2, 2}, {3, 2}, {6, 6}, {2, 5}}) {
    EXPECT_EQ(progress.PixelAt(x, y), kRed) << x << "," << y;
  }
  EXPECT_EQ(progress.PixelAt(3, 3), kWhite);  // inside the hole: never on a path
  EXPECT_EQ(progress.PixelAt(1, 1), kWhite);
  EXPECT_EQ(Box(window, "Pict").PixelAt(4, 4), kBlack);  // the base layer stays
}

TEST_F(MillingWindowTest, RealRunsOfAllAndOfTheChosenFigure) {
  UseRing();
  SimulatedBoard& board = UseBoard();
  MillingWindow window(link_, settings_);
  Show(window);
  window.Load();
  Tick(window, "Check1");
  Tick(window, "Check2");
  Click(window, "Command1");
  Click(window, "Command6");
  Lines expected = RingAllLines();
  expected.push_back("-10,-10,0,0;");  // back from (2, 2) to the origin
  EXPECT_EQ(Moves(board), expected);
  EXPECT_FALSE(window.JobRunning());
  EXPECT_TRUE(Find(window, "Command6")->isEnabled());

  // The centre alone, from the origin: travel, plunge, lift and back.
  SimulatedBoard& second = UseBoard();
  Click(window, "Command1");
  ClickNode(window, "4");
  Click(window, "Command2");
  EXPECT_EQ(Moves(second),
            (Lines{"30,30,0,2000;", "0,0,-255,4000;", "0,0,255,2000;", "-30,-30,0,0;"}));
}

TEST_F(MillingWindowTest, ReliefRunsOneRoundOnTheRing) {
  UseRing();
  // 100 steps per pixel, and a tool of exactly one pixel: one offset whitens
  // the whole ring and the dot, so the second parse finds nothing.
  settings_.WriteSetting("cncrez_width", "3,5");
  settings_.WriteSetting("mill_diameter", "0,5");
  SimulatedBoard& board = UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  Tick(window, "Check1");
  Click(window, "Command7");
  EXPECT_EQ(Moves(board), RingAllLines(100));
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(Tree(window).topLevelItemCount(), 0);
  EXPECT_EQ(Box(window, "Pict1").PixelAt(2, 2), kWhite);
  EXPECT_EQ(Box(window, "Pict3").PixelAt(2, 2), kRed);
  EXPECT_EQ(window.session()->jobKind(), std::nullopt);
}

TEST_F(MillingWindowTest, DryReliefIsShownButLeavesTheFiguresAndLayersAsTheyWere) {
  UseRing();
  settings_.WriteSetting("cncrez_width", "3,5");
  settings_.WriteSetting("mill_diameter", "0,5");
  SimulatedBoard& board = UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  Click(window, "Command1");
  const int parsed = Tree(window).topLevelItemCount();
  ASSERT_GT(parsed, 0);
  const PixelImage work = window.session()->work();
  const PixelImage progress = window.session()->progress();
  Click(window, "Command7");
  EXPECT_TRUE(Moves(board).empty());
  // What the dry run did is seen: its gradient and its footprints.
  EXPECT_EQ(Box(window, "Pict1").PixelAt(2, 2), kWhite);
  EXPECT_EQ(Box(window, "Pict3").PixelAt(2, 2), kRed);
  // The tree is the one a real job chooses from, and the layers it reads are as before.
  EXPECT_EQ(Tree(window).topLevelItemCount(), parsed);
  EXPECT_EQ(window.session()->work(), work);
  EXPECT_EQ(window.session()->progress(), progress);
  EXPECT_TRUE(window.session()->HasTree());
}

TEST_F(MillingWindowTest, StopDuringAJobOpensTheInterruptionDialog) {
  UseRing();
  // Going on first: a start after a stopped job would first ask about going back.
  for (const int answer : {1, 0}) {
    SCOPED_TRACE(answer);
    frontend_.dialogs = 0;
    UseBoard();
    MillingWindow window(link_, settings_);
    window.SetInterruptionPrompt(&frontend_);
    window.Load();
    SimulatedBoard& board = UseLateBoard();
    Tick(window, "Check1");
    Click(window, "Command1");
    frontend_.dialogAnswers = {answer};
    std::size_t sentAtStop = 0;
    frontend_.onEvents = [&] {
      if (sentAtStop == 0 && Moves(board).size() >= 2) {
        sentAtStop = Moves(board).size();
        Click(window, "Command9");
      }
    };
    Click(window, "Command6");
    frontend_.onEvents = nullptr;
    ASSERT_GT(sentAtStop, 0u);
    EXPECT_EQ(frontend_.dialogs, 1);
    const Lines whole = RingAllLines();
    if (answer == 0) {
      // Ends where it stands: no further move, no lift.
      EXPECT_EQ(Moves(board), Lines(whole.begin(), whole.begin() + sentAtStop));
    } else {
      EXPECT_EQ(Moves(board), whole);
      EXPECT_FALSE(link_.StopRequested());
    }
    EXPECT_FALSE(window.JobRunning());
    EXPECT_EQ(window.session()->jobKind(), std::nullopt);
    EXPECT_TRUE(Find(window, "Command6")->isEnabled());
  }
}

TEST_F(MillingWindowTest, SecondStartWhileAJobRunsIsRefused) {
  UseRing();
  UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  SimulatedBoard& board = UseLateBoard();
  Tick(window, "Check1");
  Click(window, "Command1");
  int runs = 0;
  frontend_.onEvents = [&] {
    ++runs;
    for (const char* name :
         {"Command1", "Command2", "Command6", "Command4", "Command5", "Command7", "Command8"}) {
      EXPECT_FALSE(Find(window, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Find(window, "Command9")->isEnabled());
    EXPECT_TRUE(Find(window, "tv")->isEnabled());
    EXPECT_TRUE(Find(window, "TabStrip1")->isEnabled());
    for (const char* name : {"Command6", "Command7", "Command2", "Command1", "Command5"}) {
      emit Find<QPushButton>(window, name)->clicked();  // even past the disabled buttons
    }
  };
  Click(window, "Command6");
  frontend_.onEvents = nullptr;
  ASSERT_GT(runs, 0);
  EXPECT_EQ(Moves(board), RingAllLines());
  EXPECT_EQ(Tree(window).topLevelItemCount(), 1);  // no parse ran inside the job
  EXPECT_TRUE(Find(window, "Command6")->isEnabled());
}

TEST_F(MillingWindowTest, ManualMoveDuringAJobIsCarriedByTheNextMove) {
  UseRing();
  SimulatedBoard& idle = UseBoard();
  MillingWindow window(link_, settings_);
  window.Load();
  // Outside a job it moves at once.
  Field(window, "tx")->setText(QStringLiteral("1"));
  Field(window, "ty")->setText(QStringLiteral("0"));
  Field(window, "tz")->setText(QStringLiteral("0,5"));
  Click(window, "Command3");
  EXPECT_EQ(Moves(idle), Lines{"200,0,100,2000;"});

  SimulatedBoard& board = UseLateBoard();
  Tick(window, "Check1");
  Click(window, "Command1");
  std::size_t sentAtClick = 0;
  frontend_.onEvents = [&] {
    if (sentAtClick != 0 || Moves(board).size() < 3) return;
    sentAtClick = Moves(board).size();
    // Too far for the step range: refused with the move's own message.
    Field(window, "tx")->setText(QStringLiteral("99999999999"));
    Click(window, "Command3");
    Field(window, "tx")->setText(QStringLiteral("1"));
    Click(window, "Command3");
  };
  Click(window, "Command6");
  frontend_.onEvents = nullptr;
  ASSERT_GT(sentAtClick, 0u);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, std::string(texts::kMoveOutOfRange));

  // No move of its own: the job's next move carries 200 steps more in X and
  // 100 more in Z.
  Lines expected = RingAllLines();
  ASSERT_EQ(expected[sentAtClick], "-10,-20,0,2000;");
  expected[sentAtClick] = "190,-20,100,2000;";
  EXPECT_EQ(Moves(board), expected);
}

// "Поднять" by 10 mm in the interruption dialog, then "Стоп" deep in the
// ring's hole: the next start — the resume, or a fresh start that first goes
// back to the job's origin — cuts every line at the job's own depth, not
// 10 mm above it, and nothing but the travel back is added.
TEST_F(MillingWindowTest, RaisedInTheDialogThenStoppedTheNextStartCutsAtTheJobsDepths) {
  UseRing();
  const Lines whole = RingAllLines();
  // Where each line of the job leaves the head, from the job's start.
  std::vector<std::array<std::int64_t, 3>> ends;
  std::array<std::int64_t, 3> at{};
  for (const std::string& line : whole) {
    std::size_t from = 0;
    for (std::int64_t& axis : at) {
      const std::size_t comma = line.find(',', from);
      axis += std::stoll(line.substr(from, comma - from));
      from = comma + 1;
    }
    ends.push_back(at);
  }
  struct RaiseThenStop : InterruptionPrompt {
    Link& link;
    explicit RaiseThenStop(Link& l) : link(l) {}
    bool GoOn() override {
      InterruptionLink(link).RaiseLower("10", true);
      return false;
    }
  } raiseThenStop(link_);
  for (const bool resume : {true, false}) {
    SCOPED_TRACE(resume);
    UseBoard();
    const SimulatedBoard* board = nullptr;
    std::size_t firstRun = 0;
    {
      MillingWindow window(link_, settings_);
      window.Load();
      board = &UseLateBoard();
      Tick(window, "Check1");
      Click(window, "Command1");
      window.SetInterruptionPrompt(&raiseThenStop);
      bool stopped = false;
      frontend_.onEvents = [&] {
        if (!stopped && Moves(*board).size() >= 8) {
          stopped = true;
          Click(window, "Command9");
        }
      };
      Click(window, "Command6");
      frontend_.onEvents = nullptr;
      ASSERT_TRUE(stopped);
      firstRun = board->Record().size();
      ASSERT_GT(board->Record().back().positionAfter[2], ends[firstRun - 2][2]);  // raised
      // The journal counts the job's lines the board did, not the raise.
      const JournalRead journal = ReadJournal(folder_.path() / "mill-all.journal");
      ASSERT_EQ(journal.status, JournalRead::Status::Ok);
      ASSERT_EQ(journal.record.point.lines, static_cast<std::int64_t>(firstRun - 1));
      window.close();
    }
    // The window opened again (its handshake's "V;"), the picture parsed again.
    MillingWindow window(link_, settings_);
    window.Load();
    ++firstRun;
    Tick(window, "Check1");
    Click(window, "Command1");
    window.SetInterruptionPrompt(&frontend_);
    frontend_.questions.clear();
    frontend_.resumeOffers.clear();
    frontend_.resumeAnswers = {resume};
    frontend_.yesNoAnswers = {true};  // a fresh start: back to the origin first
    Click(window, "Command6");
    EXPECT_EQ(frontend_.resumeOffers.size(), 1u);
    const auto& record = board->Record();
    // The raise's line is not a line of the job: the journal has one line fewer.
    const std::size_t done = resume ? firstRun - 2 : 0;
    ASSERT_GE(record.size(), firstRun + whole.size() - done);
    const std::size_t added = record.size() - firstRun - (whole.size() - done);
    // Resumed: down by the raise to the depth the job left. Afresh: across
    // at the raised height, then down to where the job began.
    EXPECT_EQ(added, resume ? 1u : 2u);
    for (std::size_t i = done; i < whole.size(); ++i) {
      SCOPED_TRACE(i);
      const auto& command = record[firstRun + added + i - done];
      EXPECT_EQ(command.text, whole[i]);
      EXPECT_EQ(command.positionAfter, ends[i]);
    }
    EXPECT_EQ(frontend_.questions.size(), resume ? 0u : 1u);
    window.close();
  }
}

TEST_F(MillingWindowTest, LargeWindowShowsAllFourLayersSmallOneShowsTabs) {
  UseRing();
  MillingWindow window(link_, settings_);
  Show(window);
  window.Load();
  window.resize(1280, 820);
  QApplication::processEvents();
  EXPECT_TRUE(window.GridShown());
  EXPECT_TRUE(Find(window, "TabStrip1")->isHidden());
  for (const char* box : {"Pict", "Pict1", "Pict2", "Pict3"}) {
    EXPECT_TRUE(Find(window, box)->isVisible()) << box;
  }
  // Side by side: two columns, two rows.
  EXPECT_EQ(Find(window, "Pict")->y(), Find(window, "Pict1")->y());
  EXPECT_EQ(Find(window, "Pict")->x(), Find(window, "Pict2")->x());
  EXPECT_GT(Find(window, "Pict2")->y(), Find(window, "Pict")->y());

  window.resize(640, 480);
  QApplication::processEvents();
  EXPECT_FALSE(window.GridShown());
  EXPECT_TRUE(Find(window, "TabStrip1")->isVisible());
  EXPECT_TRUE(Find(window, "Pict")->isVisible());
  for (const char* box : {"Pict1", "Pict2", "Pict3"}) EXPECT_TRUE(Find(window, box)->isHidden());
  Find<QTabBar>(window, "TabStrip1")->setCurrentIndex(3);
  EXPECT_TRUE(Find(window, "Pict3")->isVisible());
  EXPECT_TRUE(Find(window, "Pict")->isHidden());
}

TEST_F(MillingWindowTest, ClosingWritesTheKeysAndEndsAJobThatWaits) {
  UseRing();
  UseBoard();
  MillingWindow window(link_, settings_);
  Show(window);
  window.Load();
  BoardFaults silent;
  silent.silent = true;
  SimulatedBoard& deaf = UseBoard(silent);
  Tick(window, "Check1");
  Click(window, "Command1");
  Field(window, "Text6")->setText(QStringLiteral("0,350"));
  Field(window, "Text1")->setText(QStringLiteral("2"));
  Field(window, "Text3")->setText(QStringLiteral("6"));
  Field(window, "Text4")->setText(QStringLiteral("3500"));
  bool closed = false;
  frontend_.onEvents = [&] {
    if (!closed) {
      closed = true;
      window.close();
    }
  };
  Click(window, "Command6");  // returns: the closed window's wait was abandoned
  frontend_.onEvents = nullptr;
  EXPECT_TRUE(closed);
  EXPECT_EQ(Moves(deaf), Lines{"30,30,0,2000;"});
  EXPECT_TRUE(link_.StopRequested());
  EXPECT_FALSE(window.JobRunning());
  EXPECT_EQ(settings_.ReadSetting("cncrez_width", ""), "0,350");
  EXPECT_EQ(settings_.ReadSetting("cncrez_depth", ""), "2");
  EXPECT_EQ(settings_.ReadSetting("mill_diameter", ""), "6");
  EXPECT_EQ(settings_.ReadSetting("SM_mill_delay", ""), "3500");
  EXPECT_EQ(Tree(window).topLevelItemCount(), 0);

  // Opened again with a board that answers: a fresh link, a whole job.
  settings_.WriteSetting("cncrez_depth", "1,275");
  settings_.WriteSetting("mill_diameter", "0,05");
  settings_.WriteSetting("SM_mill_delay", "4000");
  SimulatedBoard& board = UseBoard();
  Show(window);
  window.Load();
  EXPECT_EQ(Text(window, "Text6"), QStringLiteral("0,350"));
  EXPECT_EQ(Text(window, "Text7"), QStringLiteral("0"));
  Tick(window, "Check1");
  Click(window, "Command1");
  Click(window, "Command6");
  EXPECT_EQ(Moves(board), RingAllLines());
}

TEST_F(MillingWindowTest, MenuEntryOpensTheWindow) {
  UseRing();
  MainWindow main(settings_, link_);
  auto* action = main.findChild<QAction*>(QStringLiteral("mill_cl"));
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->isEnabled());
  action->trigger();
  QWidget* child = main.Child(QStringLiteral("mill_cl"));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->objectName(), QStringLiteral("Form1"));
  EXPECT_EQ(Text(*child, "Text6"), QStringLiteral("0,35"));
}

}  // namespace
}  // namespace vertolin
