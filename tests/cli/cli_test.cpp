#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/time.h>

#include <csignal>

#include "board/board_process.h"
#endif

#include "modes/scanner/height_map.h"
#include "modes/scanner/mesh_view.h"
#include "modes/cutting/cut_reference.h"
#include "modes/cutting/cutting_layers.h"
#include "modes/cutting/processing_run.h"
#include "picture/bmp_builder.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/recording_frontend.h"
#include "util/exe_folder.h"

namespace vertolin {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() / ("vertolin-cli-" + std::to_string(random()));
    std::filesystem::create_directory(folder_);
    ini_ = (folder_ / "cnc.ini").string();
    WriteIni("[CNC]\r\n");
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    args.insert(args.begin(), {"--ini", ini_});
    return RunCli(args, {out_, err_});
  }

  void WriteIni(const std::string& text) { std::ofstream(ini_, std::ios::binary) << text; }

  std::filesystem::path folder_;
  std::string ini_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CliTest, PrintedMoveFollowsTheKindLetter) {
  EXPECT_EQ(Run({"--print", "move", "1", "-0,5", "2"}), kCliDone);
  EXPECT_EQ(out_.str(), "200,-100,400,2000;\n");
  EXPECT_EQ(Run({"--print", "--kind", "P", "move", "1", "0", "2"}), kCliDone);
  EXPECT_EQ(out_.str(), "200,0,,,2000;\n");
  EXPECT_EQ(Run({"--print", "--kind", "B", "move", "1", "0", "2"}), kCliDone);
  EXPECT_EQ(out_.str(), "200,0,,2000;\n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliTest, SettingsFileAndOverridesShapeTheMove) {
  WriteIni("[CNC]\nSM_X_ratio=0,25\nSM_delay=500\n");
  EXPECT_EQ(Run({"--print", "move", "0.625", "0", "0"}), kCliDone);
  EXPECT_EQ(out_.str(), "2,0,0,500;\n");
  EXPECT_EQ(Run({"--set", "SM_X_ratio=0.25", "--set", "sm_DELAY=9", "--print", "move", "0.875", "0",
                 "0"}),
            kCliDone);
  EXPECT_EQ(out_.str(), "4,0,0,9;\n");
  EXPECT_FALSE(std::ifstream(ini_).fail());
}

TEST_F(CliTest, BadInputIsRefusedWithTheWindowsMessage) {
  EXPECT_EQ(Run({"--print", "move", "1", "x", "0"}), kCliRefused);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "Ошибка: Введите число в поле для перемещения по 2-ой оси!\n");
  EXPECT_EQ(Run({"--print", "--kind", "X", "move", "1", "0", "0"}), kCliRefused);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"--print", "move", "1e12", "0", "0"}), kCliRefused);
}

TEST_F(CliTest, UsageErrors) {
  EXPECT_EQ(Run({}), kCliUsage);
  EXPECT_EQ(Run({"fly"}), kCliUsage);
  EXPECT_EQ(Run({"move", "1"}), kCliUsage);
  EXPECT_EQ(Run({"--print", "--port", "sim:M", "query"}), kCliUsage);
  EXPECT_EQ(Run({"--bogus", "query"}), kCliUsage);
  EXPECT_NE(err_.str().find("usage:"), std::string::npos);
}

TEST_F(CliTest, SettingsThatCannotBeUsedAreSaidAndAnUnreadableFileIsRefused) {
  // Unusable content: said on standard error, then the defaults.
  struct Case {
    std::string bytes;
    std::string said;
  };
  const Case cases[] = {
      {"Port=com3\r\n", "не содержит раздела [CNC]"},
      {std::string("\xFF\xFE[\0C\0", 6), "UTF-16"},
      {"[CNC]\rSM_X_ratio=0.01\r", "одним символом CR"},
  };
  for (const Case& c : cases) {
    WriteIni(c.bytes);
    EXPECT_EQ(Run({"--print", "move", "1", "0", "0"}), kCliDone) << c.said;
    EXPECT_EQ(out_.str(), "200,0,0,2000;\n") << c.said;
    EXPECT_NE(err_.str().find(c.said), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("Используются значения по умолчанию."), std::string::npos);
  }
  // A file named on the command line that cannot be read: nothing is done.
  std::filesystem::remove(ini_);
  EXPECT_EQ(Run({"--print", "move", "1", "0", "0"}), kCliRefused);
  EXPECT_NE(err_.str().find("не найден."), std::string::npos);
  std::filesystem::create_directory(ini_);
  EXPECT_EQ(Run({"--print", "move", "1", "0", "0"}), kCliRefused);
  EXPECT_NE(err_.str().find("не читается"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  std::filesystem::remove(ini_);
  WriteIni("[CNC]\r\n");

  // A bad --set value is refused, not replaced by the default calibration.
  EXPECT_EQ(Run({"--set", "SM_X_ratio=abc", "--print", "move", "1", "0", "0"}), kCliRefused);
  EXPECT_EQ(err_.str(), "Ошибка: Значение --set SM_X_ratio=abc не является числом.\n");
  EXPECT_EQ(Run({"--set", "speed=fast", "--print", "move", "1", "0", "0"}), kCliRefused);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CliTest, QueryAndMoveAgainstTheSimulatedBoard) {
  EXPECT_EQ(Run({"--port", "sim:S", "query"}), kCliDone);
  EXPECT_EQ(out_.str(), "ST\n");
  EXPECT_EQ(Run({"--port", "sim:P", "move", "1", "2", "3"}), kCliDone);
  EXPECT_EQ(err_.str(), "");
}

#ifndef _WIN32
// A journal or a map that is a FIFO, a device or a file with a huge hole is
// refused with a message, instead of blocking for ever or reading until the
// memory runs out.
TEST_F(CliTest, JournalsAndMapsThatAreNoFilesToReadAreRefusedAtOnce) {
  const std::filesystem::path journal = folder_ / "engrave.journal";
  const std::filesystem::path map = folder_ / "map.txt";
  PixelImage picture(4, 1);
  picture.SetGrey(2, 1, 0);
  const std::string bmp = (folder_ / "row.bmp").string();
  ASSERT_TRUE(WritePictureFile(bmp, picture));
  const std::vector<std::string> resume = {"--port", "sim:P", "engrave", bmp, "--resume"};
  const std::vector<std::string> interpolate = {"interpolate", map.string(), "--out",
                                                (folder_ / "view.bmp").string()};
  struct Case {
    const char* label;
    std::function<void()> make;
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {"FIFO journal", [&] { ::mkfifo(journal.c_str(), 0600); }, resume, "это не обычный файл"},
      {"journal linked to /dev/zero",
       [&] { std::filesystem::create_symlink("/dev/zero", journal); }, resume,
       "это не обычный файл"},
      {"FIFO map", [&] { ::mkfifo(map.c_str(), 0600); }, interpolate, "это не обычный файл"},
      {"map linked to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", map); },
       interpolate, "это не обычный файл"},
      {"6 x 5 map and a 2 GB hole",
       [&] {
         {
           std::ofstream rows(map);
           for (int row = 0; row < 5; ++row) rows << "1 1 1 1 1 1\n";
         }
         std::filesystem::resize_file(map, std::uintmax_t{2} << 30);
       },
       interpolate, "файл больше"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(journal);
    std::filesystem::remove(map);
    c.make();
    EXPECT_EQ(Run(c.args), kCliRefused) << c.label;
    EXPECT_NE(err_.str().find(c.said), std::string::npos) << c.label << ": " << err_.str();
  }
}
#endif

TEST_F(CliTest, MissingPortIsALinkError) {
  EXPECT_EQ(Run({"--port", (folder_ / "ttyNothing").string(), "query"}), kCliLinkError);
  EXPECT_NE(err_.str().find("не найден."), std::string::npos);
  EXPECT_EQ(Run({"--port", "sim:Q", "query"}), kCliLinkError);
}

class CliRasterTest : public CliTest {
 protected:
  // A 10 × 1 picture, black in columns 1 and 3; 0.5 mm wide at 0.005 mm
  // per step gives 10 steps per pixel.
  std::string BlackColumnsOneAndThree() {
    PixelImage picture(10, 1);
    picture.SetGrey(1, 1, 0);
    picture.SetGrey(3, 1, 128);
    const auto path = folder_ / "row.bmp";
    EXPECT_TRUE(WritePictureFile(path, picture));
    WriteIni("[CNC]\r\nEtching_width=0,5\r\nEtching_delay=4000\r\nEtching_min=0\r\n");
    return path.string();
  }
};

TEST_F(CliRasterTest, EngravePrintsTheRasterLines) {
  const std::string picture = BlackColumnsOneAndThree();
  EXPECT_EQ(Run({"--print", "engrave", picture, "--return"}), kCliDone);
  EXPECT_EQ(out_.str(),
            ",,,10,2000;\n10,0,0;\n10,0,4000;\n10,0,0;\n10,0,1992;\n0,10,0;\n-30,-10,0;\n");
  EXPECT_EQ(err_.str(), "Лазерная гравировка: Гравировка закончена!\n");
}

TEST_F(CliRasterTest, BurnCarriesTheIdleDelayAndReadsItsKeys) {
  const std::string picture = BlackColumnsOneAndThree();
  EXPECT_EQ(Run({"--print", "--set", "SM_delay=2000", "burn", picture}), kCliDone);
  EXPECT_EQ(out_.str(), ",,2000;\n10,0,2000;\n10,0,4000;\n10,0,2000;\n10,0,2996;\n0,10,2000;\n");
  EXPECT_EQ(Run({"--print", "--set", "Etching_width=0,525", "burn", picture}), kCliRefused);
  EXPECT_NE(err_.str().find("не целое"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CliRasterTest, EstimateCountsTheLinesPrintWouldSendAndOpensNoPort) {
  const std::string picture = BlackColumnsOneAndThree();
  EXPECT_EQ(Run({"--set", "Port=/nonexistent", "estimate", "engrave", picture, "--return"}),
            kCliDone);
  // The seven lines of the printed job: 62 bytes, 70 + 20 steps, two burns;
  // 0.180 s of steps and 0.019 s on the wire that no step covers (the first
  // two lines: after them each line comes while the one before steps).
  EXPECT_EQ(out_.str(),
            "{\"lines\":7,\"bytes\":62,\"steps\":{\"x\":70,\"y\":20,\"z\":0},"
            "\"tool_on_share\":0.2857,\"baud\":9600,\"seconds\":0.199}\n");
  // --progress counts the job first, then reports on standard error as it runs.
  EXPECT_EQ(Run({"--print", "--progress", "engrave", picture}), kCliDone);
  EXPECT_NE(err_.str().find("строка 6 из 6, прошло 0:00, осталось 0:00\n"), std::string::npos)
      << err_.str();
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"estimate"},
                                                {"estimate", "query"},
                                                {"--print", "estimate", "engrave", picture}}) {
    EXPECT_EQ(Run(wrong), kCliUsage);
  }
}

// --protocol grbl: the program instead of the native lines, counted by
// estimate, the setting taken as the option's default, and no port for it yet.
TEST_F(CliRasterTest, GrblPrintsAndCountsTheJobsProgram) {
  const std::string picture = BlackColumnsOneAndThree();
  const std::string program =
      "G21 G90\nM4 S0\nG1 X0.050 F1000\nX0.100 S1000\nX0.150 S0\nX0.200 S498\nY0.050 S0\n"
      "X0.050 Y0.000\nM5\nM2\n";
  EXPECT_EQ(Run({"--print", "--protocol", "grbl", "engrave", picture, "--return"}), kCliDone);
  EXPECT_EQ(out_.str(), program);
  EXPECT_EQ(Run({"--set", "Protocol=grbl", "--print", "engrave", picture, "--return"}), kCliDone);
  EXPECT_EQ(out_.str(), program);
  EXPECT_EQ(Run({"--set", "Protocol=grbl", "--print", "--protocol", "native", "engrave", picture}),
            kCliDone);
  EXPECT_TRUE(out_.str().starts_with(",,,10,2000;\n")) << out_.str();
  EXPECT_EQ(Run({"--protocol", "grbl", "estimate", "engrave", picture, "--return"}), kCliDone);
  EXPECT_TRUE(
      out_.str().starts_with("{\"lines\":10,\"bytes\":" + std::to_string(program.size()) +
                             ",\"steps\":{\"x\":70,\"y\":20,\"z\":0},\"tool_on_share\":0.2000,"))
      << out_.str();
  EXPECT_EQ(Run({"--print", "--protocol", "grbl", "move", "1", "-0,5", "2"}), kCliDone);
  EXPECT_EQ(out_.str(), "G21 G90\nG1 X1.000 Y-0.500 Z2.000 F171.847\nM5\nM2\n");
  EXPECT_EQ(Run({"--protocol", "gcode", "--print", "engrave", picture}), kCliUsage);
  // A native board does not answer as grbl: nothing of the program goes to it.
  EXPECT_EQ(Run({"--protocol", "grbl", "--port", "sim:P", "engrave", picture}), kCliLinkError);
  EXPECT_NE(err_.str().find("Protocol=native"), std::string::npos) << err_.str();
}

TEST_F(CliRasterTest, PicturesThatCannotBeEngravedAreRefused) {
  EXPECT_EQ(Run({"--print", "engrave", (folder_ / "none.bmp").string()}), kCliRefused);
  EXPECT_NE(err_.str().find("не найден!"), std::string::npos);
  std::ofstream(folder_ / "text.bmp") << "not a picture";
  EXPECT_EQ(Run({"--print", "engrave", (folder_ / "text.bmp").string()}), kCliRefused);
  EXPECT_EQ(err_.str(), "Ошибка: Ошибка открытия файла!\n" + (folder_ / "text.bmp").string() +
                            ": " + std::string(kNotAPictureReason) + ".\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CliRasterTest, CtrlCStopsTheJobAtItsNextStepWithExitFour) {
  const std::string picture = BlackColumnsOneAndThree();
  // An interrupt already counted: the first look at the events asks to stop,
  // the next step asks the question and the tool answers it "stop".
  volatile std::sig_atomic_t interrupts = 1;
  out_.str("");
  err_.str("");
  EXPECT_EQ(RunCli({"--ini", ini_, "--print", "engrave", picture}, {out_, err_, &interrupts}),
            kCliStopped);
  EXPECT_EQ(out_.str(), ",,,10,2000;\n");
  EXPECT_NE(err_.str().find("Гравировка остановлена"), std::string::npos);
  EXPECT_EQ(err_.str().find("Гравировка закончена"), std::string::npos);
}

#ifndef _WIN32
volatile std::sig_atomic_t alarmInterrupts = 0;
extern "C" void CountAlarm(int) { alarmInterrupts = alarmInterrupts + 1; }

TEST_F(CliRasterTest, ABoardThatFallsSilentEndsTheJobAndCtrlCEndsTheWaitAtOnce) {
  const std::string picture = BlackColumnsOneAndThree();
  // "V;", the opening line and the first move are answered, then nothing;
  // the opening line's "T" answers the first wait, so the fourth line waits.
  BoardProcess board({"--kind", "P", "--after", "3", "--silent"});
  EXPECT_EQ(Run({"--port", board.path(), "--ack-timeout", "0,2", "engrave", picture}),
            kCliLinkError);
  EXPECT_NE(err_.str().find("Плата не ответила на строку 4 «10,0,0;»"), std::string::npos)
      << err_.str();

  // Ctrl-C during the wait, long before the line would be overdue (the
  // handshake's settling takes up to two seconds before it).
  BoardProcess again({"--kind", "P", "--after", "3", "--silent"});
  alarmInterrupts = 0;
  const auto previous = std::signal(SIGALRM, CountAlarm);
  itimerval timer{};
  timer.it_value.tv_sec = 2;
  timer.it_value.tv_usec = 500000;
  ::setitimer(ITIMER_REAL, &timer, nullptr);
  out_.str("");
  err_.str("");
  EXPECT_EQ(
      RunCli({"--ini", ini_, "--port", again.path(), "--ack-timeout", "60", "engrave", picture},
             {out_, err_, &alarmInterrupts}),
      kCliStopped);
  std::signal(SIGALRM, previous);
  EXPECT_NE(err_.str().find("stopped at line 4 (10,0,0;)"), std::string::npos) << err_.str();
}
#endif

TEST_F(CliRasterTest, EngraveRunsOnlyOnTheLaserBoard) {
  const std::string picture = BlackColumnsOneAndThree();
  EXPECT_EQ(Run({"--port", "sim:P", "engrave", picture}), kCliDone);
  EXPECT_EQ(Run({"--port", "sim:M", "engrave", picture}), kCliWrongBoard);
  EXPECT_NE(err_.str().find("Некорректная прошивка"), std::string::npos);
}

class CliMillingTest : public CliTest {
 protected:
  // The 7 × 7 ring with its centre; 0,35 mm wide at 0.005 mm per step is 10
  // steps per pixel, a depth of 1,275 mm one step per grey level.
  std::string Ring() {
    PixelImage picture(7, 7);
    for (int i = 2; i <= 6; ++i) {
      for (const int j : {2, 6}) {
        picture.SetGrey(i, j, 0);
        picture.SetGrey(j, i, 0);
      }
    }
    picture.SetGrey(4, 4, 0);
    const auto path = folder_ / "ring.bmp";
    EXPECT_TRUE(WritePictureFile(path, picture));
    WriteIni(
        "[CNC]\r\ncncrez_width=0,35\r\ncncrez_depth=1,275\r\nmill_diameter=0,1\r\n"
        "Port=" +
        (folder_ / "ttyNothing").string() + "\r\n");
    return path.string();
  }

  std::vector<std::string> OutLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(CliMillingTest, FiguresPrintsTheParseWithoutAPort) {
  const std::string ring = Ring();
  EXPECT_EQ(Run({"figures", ring}), kCliDone);  // the ini names a port that does not exist
  EXPECT_EQ(err_.str(), "");
  const std::string json = out_.str();
  EXPECT_EQ(json.rfind("{\"width\":7,\"height\":7,", 0), 0u);
  EXPECT_NE(json.find("\"pairs\":[[1,2],[2,3],[3,4]]"), std::string::npos);
  EXPECT_NE(json.find("{\"key\":\"P4\",\"parent\":\"P3\"}]}\n"), std::string::npos);
  EXPECT_EQ(json.find("labels"), std::string::npos);
  EXPECT_EQ(Run({"--print", "figures", ring, "--labels"}), kCliDone);
  EXPECT_NE(out_.str().find("\"labels\":[[1,1,1,1,1,1,1],[1,2,2,2,2,2,1],"), std::string::npos);
}

TEST_F(CliMillingTest, MillAllPrintsTheRingsMoves) {
  const std::string ring = Ring();
  EXPECT_EQ(Run({"--print", "mill-all", ring, "--return"}), kCliDone);
  EXPECT_EQ(err_.str(), "");
  const auto lines = OutLines();
  // Centre, ring's hole (12 steps), ring's outside (16 steps), return.
  ASSERT_EQ(lines.size(), 3u + (2u + 12u + 1u) + (2u + 16u + 1u) + 1u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{"30,30,0,2000;", "0,0,-255,4000;", "0,0,255,2000;",
                                      "-10,-20,0,2000;", "0,0,-255,4000;", "-10,10,0,0;"}));
  EXPECT_EQ(lines[18], "-10,0,0,2000;");
  EXPECT_EQ(lines.back(), "-10,-10,0,0;");
}

TEST_F(CliMillingTest, MillTakesTheFigureNumberAndItsKeys) {
  const std::string ring = Ring();
  EXPECT_EQ(Run({"--print", "--set", "SM_mill_delay=500", "mill", ring, "--figure", "4"}),
            kCliDone);
  EXPECT_EQ(out_.str(), "30,30,0,2000;\n0,0,-255,500;\n0,0,255,2000;\n");
  EXPECT_EQ(Run({"--print", "mill", ring, "--figure", "1"}), kCliRefused);
  EXPECT_NE(err_.str().find("Ошибка: Фигура касается края изображения"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"--print", "--set", "cncrez_width=abc", "mill", ring, "--figure", "4"}),
            kCliRefused);
  EXPECT_EQ(err_.str(), "Ошибка: Введите число в поле «Ширина»!\n");
  EXPECT_EQ(Run({"--print", "mill", ring}), kCliUsage);
  EXPECT_EQ(Run({"--print", "mill", ring, "--figure", "x"}), kCliUsage);
  EXPECT_EQ(Run({"--print", "--ack-timeout", "0", "mill-all", ring}), kCliUsage);
}

TEST_F(CliMillingTest, NonsenseFieldsAreRefusedByNameBeforeAnythingIsSent) {
  const std::string ring = Ring();
  const std::string row = (folder_ / "row.bmp").string();
  {
    PixelImage picture(10, 1);
    picture.SetGrey(1, 1, 0);
    ASSERT_TRUE(WritePictureFile(row, picture));
  }
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"--set", "Etching_width=0", "engrave", row}, "на пиксель приходится 0 шагов по оси X"},
      {{"--set", "Etching_width=4e-324", "burn", row}, "на пиксель"},
      {{"--set", "Etching_width=-0,5", "engrave", row}, "«Ширина» не может быть отрицательным"},
      {{"--set", "Etching_width=0,5", "--set", "SM_Y_ratio=1e308", "engrave", row}, "по оси Y"},
      {{"--set", "Etching_width=0,5", "--set", "Etching_delay=-5", "burn", row}, "«Задержка»"},
      {{"--set", "cncrez_width=1e-308", "mill-all", ring}, "меньше одного шага по оси X"},
      {{"--set", "cncrez_width=1e308", "mill-all", ring}, "Перемещение не выполнено"},
      {{"--set", "cncrez_depth=-1", "relief", ring}, "«Глубина» не может"},
      {{"--set", "cncrez_depth=1e-9", "mill-all", ring}, "по оси Z"},
      {{"--set", "mill_diameter=-3", "relief", ring}, "«Диаметр» не может"},
      {{"--set", "SM_mill_delay=-1", "mill", ring, "--figure", "4"}, "«Задержка» не может"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--print");
    EXPECT_EQ(Run(args), kCliRefused) << c.args[1];
    EXPECT_NE(err_.str().find(c.said), std::string::npos) << c.args[1] << ": " << err_.str();
    EXPECT_EQ(out_.str(), "") << c.args[1];
  }
  // A line speed the port cannot take is refused before the port opens
  // (Windows leaves any positive speed to the port's driver).
#ifndef _WIN32
  EXPECT_EQ(Run({"--set", "speed=12345", "--port", "sim:M", "mill-all", ring}), kCliRefused);
  EXPECT_NE(err_.str().find("Скорость порта 12345"), std::string::npos);
  EXPECT_EQ(err_.str().find("SetCommState"), std::string::npos);
#endif
}

TEST_F(CliMillingTest, ReliefOnAWhitePictureCutsNothing) {
  const auto path = folder_ / "white.bmp";
  ASSERT_TRUE(WritePictureFile(path, PixelImage(9, 9)));
  EXPECT_EQ(Run({"--print", "relief", path.string(), "--return"}), kCliDone);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliMillingTest, PicturesBelow24BitsCannotBeMilled) {
  test::BmpLayout layout;
  layout.bitsPerPixel = 8;
  layout.palette = {{0, 0, 0}};
  layout.coloursUsed = 1;
  layout.rows = {{0}};
  const auto bytes = test::BuildBmp(layout);
  const auto path = folder_ / "eight.bmp";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  std::string warning = LowDepthWarningText(kMillingImpossibleText);
  std::erase(warning, '\r');  // the console writes plain line ends
  for (const char* command : {"mill-all", "relief", "figures"}) {
    EXPECT_EQ(Run({"--print", command, path.string()}), kCliRefused) << command;
    EXPECT_EQ(err_.str(), "Внимание: " + warning + "\n") << command;
    EXPECT_EQ(out_.str(), "");
  }
}

#ifndef _WIN32
TEST_F(CliMillingTest, AStoppedJobLiftsTheToolOutOfTheWork) {
  const std::string ring = Ring();
  const std::string record = (folder_ / "record.txt").string();
  {
    // Each line takes the board 200 ms; the stop comes once the board's
    // record shows the cutter two lines deep in the work, however long the
    // handshake took on a busy machine.
    BoardProcess board({"--delay", "200", "--record", record});
    alarmInterrupts = 0;
    std::atomic<bool> finished = false;
    std::thread watcher([&] {
      for (int tries = 0; tries < 3000 && !finished; ++tries) {
        std::ifstream recorded(record);
        int deep = 0;
        for (std::string line; std::getline(recorded, line);) {
          if (line.substr(line.rfind(' ') + 1) != "0") ++deep;
        }
        if (deep >= 2) {
          alarmInterrupts = 1;  // as the tool's Ctrl-C handler counts it
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    out_.str("");
    err_.str("");
    EXPECT_EQ(RunCli({"--ini", ini_, "--port", board.path(), "mill-all", ring},
                     {out_, err_, &alarmInterrupts}),
              kCliStopped);
    finished = true;
    watcher.join();
  }
  EXPECT_NE(err_.str().find("stopped at line "), std::string::npos) << err_.str();
  std::ifstream in(record);
  std::string line;
  std::string last;
  while (std::getline(in, line)) last = line;
  // The board ends where the job began in depth, whatever line it stopped at.
  EXPECT_EQ(last.substr(last.rfind(' ') + 1), "0") << last << "\n" << err_.str();
  EXPECT_NE(err_.str().find("lifting the tool"), std::string::npos) << err_.str();
}
#endif

#ifndef _WIN32
// A Ctrl-C while the handshake waits for a slow board ends the tool with the
// stop's status, and nothing after "V;" goes out: not the move, not the job.
// The board answers 3 s late, so 0.3 s is in the settling (1 to 2 s) and
// 2.2 s in the wait for the reply to "V;".
TEST_F(CliMillingTest, CtrlCDuringTheHandshakeStopsBeforeAnythingIsSent) {
  const std::string ring = Ring();
  const std::string record = (folder_ / "record.txt").string();
  const struct {
    std::vector<std::string> command;
    char kind;
    std::chrono::milliseconds after;
  } cases[] = {
      {{"move", "1", "1", "0"}, 'M', std::chrono::milliseconds(300)},
      {{"move", "1", "1", "0"}, 'M', std::chrono::milliseconds(2200)},
      {{"mill-all", ring}, 'M', std::chrono::milliseconds(2200)},
      {{"scan"}, 'S', std::chrono::milliseconds(300)},
  };
  for (const auto& c : cases) {
    const std::string label = c.command[0] + " at " + std::to_string(c.after.count()) + " ms";
    std::filesystem::remove(record);
    // An older journal stays for a resume: the fresh start sent nothing.
    const std::filesystem::path journal = folder_ / (c.command[0] + ".journal");
    std::ofstream(journal) << "kept";
    BoardProcess board({"--kind", std::string(1, c.kind), "--delay", "3000", "--record", record});
    std::vector<std::string> args = {"--ini", ini_, "--port", board.path()};
    args.insert(args.end(), c.command.begin(), c.command.end());
    alarmInterrupts = 0;
    std::thread interrupter([&] {
      std::this_thread::sleep_for(c.after);
      alarmInterrupts = 1;  // as the tool's Ctrl-C handler counts it
    });
    out_.str("");
    err_.str("");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli(args, {out_, err_, &alarmInterrupts}), kCliStopped) << label << err_.str();
    interrupter.join();
    // Generous: it ran for ever.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << label;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
      EXPECT_EQ(line.substr(0, 2), "V;") << label;
    }
    std::ifstream kept(journal);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept") << label;
    std::filesystem::remove(journal);
  }
}
#endif

// A Ctrl-C while a job with --progress is counted ends the tool there: no
// port is opened and an older journal is left as it was.
TEST_F(CliMillingTest, CtrlCWhileTheJobIsCountedEndsBeforeThePortAndTheJournal) {
  const std::string ring = Ring();  // its port does not exist
  const std::filesystem::path journal = folder_ / "mill-all.journal";
  std::ofstream(journal) << "kept";
  volatile std::sig_atomic_t interrupts = 1;
  EXPECT_EQ(RunCli({"--ini", ini_, "--progress", "mill-all", ring}, {out_, err_, &interrupts}),
            kCliStopped)
      << err_.str();
  EXPECT_EQ(err_.str(), "vertolin-cli: stopped\n");
  std::ifstream in(journal);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
}

TEST_F(CliMillingTest, MillingRunsOnlyOnTheMillingBoard) {
  const std::string ring = Ring();
  EXPECT_EQ(Run({"--port", "sim:M", "mill-all", ring}), kCliDone);
  EXPECT_EQ(Run({"--port", "sim:P", "mill-all", ring}), kCliWrongBoard);
  EXPECT_NE(err_.str().find("Некорректная прошивка"), std::string::npos);
}

class CliScannerTest : public CliTest {
 protected:
  std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::filesystem::path Path(const char* name) { return folder_ / name; }
};

TEST_F(CliScannerTest, PrintedScanTakesTheProbeRepliesInWalkOrder) {
  // Mesh 4 × 3 over 120 mm with a 200 × 100 picture: the area's Y is 60 mm,
  // pitches 8000 and 6000 steps.
  WriteIni(
      "[CNC]\nscanner_mesh_width=4\nscanner_mesh_height=3\nscanner_area_width=120\n"
      "scanner_picture_width=200\nscanner_picture_height=100\n");
  // Walk (1,1) (2,1) (2,2) (1,2) (1,3) (2,3), (3,3) (4,3) (4,2) (3,2) (3,1) (4,1).
  std::ofstream(Path("probe.txt")) << "40 50 60 70 80 90\n140 130 120 110 100 -15\n";
  EXPECT_EQ(Run({"--print", "scan", "--probe", Path("probe.txt").string(), "--map",
                 Path("map.txt").string()}),
            kCliDone)
      << err_.str();
  const std::string out = out_.str();
  EXPECT_EQ(out.substr(0, 49), "0,0,200;\n8000,0,0;\n0,0,200;\n0,6000,0;\n0,0,200;\n-8");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 12 + 11);
  // Raw 15 … 140 stretched: 15 → 0, 140 → 255; the sign of "-15" is not read.
  EXPECT_EQ(ReadFile(Path("map.txt")), "51 71 173 0\n112 92 194 214\n133 153 255 235\n");
  EXPECT_EQ(err_.str(), "Vertolin: Сканирвание завершено\n");

  // A short probe file, a missing --map: refused before anything is sent.
  std::ofstream(Path("short.txt")) << "1 2 3";
  EXPECT_EQ(Run({"--print", "scan", "--probe", Path("short.txt").string(), "--map",
                 Path("map.txt").string()}),
            kCliRefused);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"--print", "scan", "--probe", Path("probe.txt").string()}), kCliRefused);
  EXPECT_EQ(
      Run({"--print", "--set", "scanner_mesh_width=5", "scan", "--map", Path("map.txt").string()}),
      kCliRefused);
  EXPECT_EQ(err_.str(), "Vertolin: Размер сетки по X должен быть кратным 4\n");
  EXPECT_EQ(Run({"interpolate", Path("map.txt").string()}), kCliUsage);
}

TEST_F(CliScannerTest, DryRunMapReadsBackAndInterpolatesToTheView) {
  EXPECT_EQ(Run({"--print", "scan", "--dry-run", "--map", Path("dry.txt").string()}), kCliDone);
  EXPECT_EQ(out_.str(), "");  // a dry run sends nothing
  std::string error;
  const auto map = ParseHeightMapText(ReadFile(Path("dry.txt")), error);
  ASSERT_TRUE(map) << error;
  EXPECT_EQ(map->meshX(), 6);
  EXPECT_EQ(map->meshY(), 5);
  for (const std::int32_t value : map->values()) EXPECT_TRUE(value >= 0 && value <= 255);

  ASSERT_EQ(Run({"interpolate", Path("dry.txt").string(), "--out", Path("v.bmp").string()}),
            kCliDone);
  const PictureResult view = LoadPictureFile(Path("v.bmp"));
  ASSERT_TRUE(view.picture);
  EXPECT_EQ(view.picture->fileBitsPerPixel, 24);
  ASSERT_EQ(view.width, 222);
  ASSERT_EQ(view.height, 222);
  // Node (x, y) at pixel (40 (x − 1) + 9, 50 (y − 1) + 9), 0-based.
  for (int y = 1; y <= 5; ++y) {
    for (int x = 1; x <= 6; ++x) {
      EXPECT_EQ(view.picture->image.Grey(40 * (x - 1) + 10, 50 * (y - 1) + 10), map->At(x, y));
    }
  }
  EXPECT_EQ(view.picture->image.Grey(1, 1), 255);  // the margin stays white

  std::ofstream(Path("bad.txt")) << "1 2 3 4\n5 6 7\n";
  EXPECT_EQ(Run({"interpolate", Path("bad.txt").string(), "--out", Path("b.bmp").string()}),
            kCliRefused);
  std::ofstream(Path("small.txt")) << "1 2 3\n4 5 6\n7 8 9\n10 11 12\n";
  EXPECT_EQ(Run({"interpolate", Path("small.txt").string(), "--out", Path("b.bmp").string()}),
            kCliRefused);
  EXPECT_FALSE(std::filesystem::exists(Path("b.bmp")));
}

#ifndef _WIN32
TEST_F(CliScannerTest, ScanOnTheBoardProgramFollowsItsSurface) {
  // The board's surface rises as 100 + x ÷ 37 + 2 (y ÷ 53) (steps) over this
  // small area: 20 mm × 20 mm, pitches 800 and 1000 steps.
  BoardProcess board({"--kind", "S"});
  WriteIni("[CNC]\nscanner_area_width=20\n");
  // Its progress is counted from the mesh: 6 × 5 nodes, each a move and a probe.
  ASSERT_EQ(Run({"--port", board.path(), "--progress", "scan", "--map", Path("map.txt").string()}),
            kCliDone)
      << err_.str();
  EXPECT_NE(err_.str().find("строка 59 из 59, прошло "), std::string::npos) << err_.str();
  ASSERT_EQ(Run({"interpolate", Path("map.txt").string(), "--out", Path("v.bmp").string()}),
            kCliDone);
  const PictureResult view = LoadPictureFile(Path("v.bmp"));
  ASSERT_TRUE(view.picture);
  const auto surface = [](double x, double y) { return x / 37 + 2 * (y / 53); };
  const double top = surface(4000, 4000);
  for (int q = 0; q <= 200; q += 10) {
    for (int p = 0; p <= 200; p += 10) {
      const double expected = surface(p * 20.0, q * 20.0) * 255 / top;
      EXPECT_NEAR(view.picture->image.Grey(p + 10, q + 10), expected, 3) << p << "," << q;
    }
  }
}

// A probe left unanswered (silence, or babble that never says "OK") is a
// lost link after --ack-timeout, and the nodes measured before are written.
TEST_F(CliScannerTest, AnUnansweredProbeEndsTheScanAndKeepsTheNodesMeasured) {
  for (const char* fault : {"--silent", "--babble"}) {
    // "V;", the first probe and the move to the second node are answered.
    BoardProcess board({"--kind", "S", "--after", "3", fault});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"--port", board.path(), "--ack-timeout", "0,5", "scan", "--map",
                   Path("map.txt").string()}),
              kCliLinkError)
        << fault;
    // Far below for ever, which it was.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << fault;
    EXPECT_NE(err_.str().find("Плата не ответила на строку 3"), std::string::npos) << err_.str();
    std::string error;
    const auto map = ParseHeightMapText(ReadFile(Path("map.txt")), error);
    ASSERT_TRUE(map) << error;
    EXPECT_GE(map->At(1, 1), 100) << fault;
    EXPECT_EQ(map->At(2, 1), 0) << fault;
  }
}

TEST_F(CliScannerTest, BoardFallingSilentMidScanKeepsTheNodesMeasured) {
  BoardProcess board({"--kind", "S", "--drop-after", "12"});
  EXPECT_EQ(Run({"--port", board.path(), "scan", "--map", Path("map.txt").string()}),
            kCliLinkError);
  EXPECT_NE(err_.str().find("Ошибка чтения данных с Ардуино"), std::string::npos) << err_.str();
  std::string error;
  const auto map = ParseHeightMapText(ReadFile(Path("map.txt")), error);
  ASSERT_TRUE(map) << error;
  // Raw heights (100 and more) where measured, zeros after.
  EXPECT_GE(map->At(1, 1), 100);
  EXPECT_GE(map->At(2, 1), 100);
  EXPECT_EQ(map->At(6, 5), 0);
}
#endif

}  // namespace
}  // namespace vertolin

namespace vertolin {
namespace {

// prepare and cut. The processing run needs neuro.net beside the program,
// which these tests make sure of (as scripts/run does); that it refuses
// without one is the processing run's own test.
class CliCuttingTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    const auto network = ExecutableFolder() / "neuro.net";
    if (!std::filesystem::exists(network)) std::ofstream(network) << "";
  }
  std::string Write(const PixelImage& picture, const char* name) {
    const auto path = folder_ / name;
    EXPECT_TRUE(WritePictureFile(path, picture));
    return path.string();
  }
  PixelImage Read(const std::string& path) {
    const PictureResult read = LoadPictureFile(path);
    return read.picture ? read.picture->image : PixelImage();
  }
  // A black bar on white, and a ring of one-pixel lines.
  static PixelImage Bar() {
    PixelImage picture(30, 16);
    for (int y = 6; y <= 9; ++y) {
      for (int x = 5; x <= 25; ++x) picture.SetGrey(x, y, 0);
    }
    return picture;
  }
  static PixelImage Ring() {
    PixelImage picture(15, 15);
    for (int i = 0; i <= 4; ++i) {
      picture.SetGrey(5 + i, 5, 0);
      picture.SetGrey(5 + i, 9, 0);
      picture.SetGrey(5, 5 + i, 0);
      picture.SetGrey(9, 5 + i, 0);
    }
    return picture;
  }
};

TEST_F(CliCuttingTest, PrepareWritesTheDrawingOrOneFiltersWork) {
  const std::string bar = Write(Bar(), "bar.bmp");
  const std::string out = (folder_ / "out.bmp").string();
  CuttingLayers expected = CuttingLayers::From(Bar());
  UnseenProcessing nowhere;
  test::RecordingFrontend quiet;
  std::ofstream(folder_ / "neuro.net") << "";
  ASSERT_EQ(CuttingPreparation(expected, quiet, folder_).Process(nowhere).outcome,
            ProcessingOutcome::Done);

  EXPECT_EQ(Run({"prepare", bar, "--out", out}), kCliDone) << err_.str();
  EXPECT_EQ(Read(out), expected.pattern);
  EXPECT_EQ(out_.str(), "");

  for (const auto& [name, filter] :
       {std::pair{"ST", CuttingFilter::ST}, std::pair{"CR", CuttingFilter::CR}}) {
    SCOPED_TRACE(name);
    PixelImage once = Bar();
    ApplyFilter(filter, once);
    EXPECT_EQ(Run({"prepare", bar, "--out", out, "--only", name}), kCliDone) << err_.str();
    EXPECT_EQ(Read(out), once);
  }

  std::filesystem::remove(out);
  EXPECT_EQ(Run({"prepare", bar}), kCliUsage);
  EXPECT_EQ(Run({"prepare", bar, "--out", out, "--only", "XX"}), kCliUsage);
  EXPECT_EQ(Run({"prepare", (folder_ / "missing.bmp").string(), "--out", out}), kCliRefused);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCuttingTest, CutPrintsTheLinesAndWritesThePaintedPicture) {
  const std::string ring = Write(Ring(), "ring.bmp");
  const std::string painted = (folder_ / "painted.bmp").string();
  // 15 mm over 15 pixels at 0,005 mm per step: 200 steps per pixel.
  EXPECT_EQ(Run({"--print", "--set", "Etching9_width=15", "--set", "Etching9_delay=700", "cut",
                 ring, "--prepared", "--return", "--painted", painted}),
            kCliDone)
      << err_.str();
  std::string want = "800,800,0,2000;\n0,0,1,700;\n";
  for (const char* step : {"200;", "0,200;", "-200;"}) {
    for (int i = 0; i < 4; ++i) want += std::string(step) + "\n";
  }
  want += "0,-200;\n0,-200;\n0,-200;\n0,0,-1,2000;\n-800,-1000;\n";
  EXPECT_EQ(out_.str(), want);
  EXPECT_EQ(Read(painted), test::ReferenceCut(Ring(), 2000, 700, true).trace);
  EXPECT_NE(err_.str().find("Готово"), std::string::npos);

  // Without --prepared the picture is prepared first, as prepare does.
  const std::string prepared = (folder_ / "prepared.bmp").string();
  ASSERT_EQ(Run({"prepare", ring, "--out", prepared}), kCliDone);
  ASSERT_EQ(Run({"--print", "--set", "Etching9_width=15", "cut", prepared, "--prepared"}),
            kCliDone);
  const std::string afterPrepare = out_.str();
  EXPECT_NE(afterPrepare, want);  // CR took the ring's corners
  EXPECT_EQ(Run({"--print", "--set", "Etching9_width=15", "cut", ring}), kCliDone);
  EXPECT_EQ(out_.str(), afterPrepare);

  EXPECT_EQ(Run({"--print", "--set", "Etching9_width=0", "cut", ring, "--prepared"}), kCliRefused);
  EXPECT_EQ(out_.str(), "");
}

class CliOutliningTest : public CliMillingTest {
 protected:
  // The ring at 10 steps per pixel for the outlining keys, a spot of radius
  // 1 pixel.
  std::string OutlinedRing() {
    const std::string ring = Ring();
    WriteIni(
        "[CNC]\r\nEtching2_width=0,35\r\nEtching2_diameter=0,1\r\n"
        "Port=" +
        (folder_ / "ttyNothing").string() + "\r\n");
    return ring;
  }
  std::string WritePicture(const PixelImage& picture, const char* name) {
    const auto path = folder_ / name;
    EXPECT_TRUE(WritePictureFile(path, picture));
    return path.string();
  }
};

#ifndef _WIN32
// Ctrl-C while the laser burns: nobody answers the tool's stop question, so
// no pause line goes out; the job ends with the whole laser-off line, and
// every line on the wire is whole (ends with ";").
TEST_F(CliOutliningTest, CtrlCWithTheLaserOnEndsWithAWholeLaserOffLine) {
  OutlinedRing();  // the keys
  PixelImage square(40, 40);
  for (int y = 6; y <= 35; ++y) {
    for (int x = 6; x <= 35; ++x) square.SetGrey(x, y, 0);
  }
  const std::string picture = WritePicture(square, "square.bmp");
  const std::string record = (folder_ / "record.txt").string();
  const auto Recorded = [&] {
    std::ifstream in(record);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line.substr(0, line.find('\t')));
    return lines;
  };
  for (const char* command : {"outline-all", "fill"}) {
    std::filesystem::remove(record);
    BoardProcess board({"--kind", "P", "--delay", "20", "--record", record});
    alarmInterrupts = 0;
    std::atomic<bool> finished = false;
    std::thread watcher([&] {
      // Stops once five lines have followed the laser's switching on.
      while (!finished) {
        const std::vector<std::string> lines = Recorded();
        const auto on = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.starts_with("0,0,1,"); });
        if (on != lines.end() && lines.end() - on > 5) {
          alarmInterrupts = 1;  // as the tool's Ctrl-C handler counts it
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    out_.str("");
    err_.str("");
    EXPECT_EQ(RunCli({"--ini", ini_, "--port", board.path(), command, picture},
                     {out_, err_, &alarmInterrupts}),
              kCliStopped)
        << command;
    finished = true;
    watcher.join();
    const std::vector<std::string> lines = Recorded();
    ASSERT_FALSE(lines.empty()) << command;
    EXPECT_EQ(lines.back(), "0,0,-1,2000;") << command << "\n" << err_.str();
    for (const std::string& line : lines)
      EXPECT_TRUE(line.ends_with(";")) << command << ": " << line;
  }
}
#endif

TEST_F(CliOutliningTest, OutlineOfTheOnePixelFigureSwitchesTheLaserOnAndOff) {
  const std::string ring = OutlinedRing();
  EXPECT_EQ(
      Run({"--print", "--set", "Etching2_delay=700", "outline", ring, "--figure", "4", "--return"}),
      kCliDone);
  EXPECT_EQ(out_.str(), "30,30,0,2000;\n0,0,1,700;\n0,0,-1,2000;\n-30,-30;\n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliOutliningTest, OutlineAllPrintsTheRingsCompactLines) {
  const std::string ring = OutlinedRing();
  EXPECT_EQ(Run({"--print", "outline-all", ring, "--return"}), kCliDone);
  EXPECT_EQ(err_.str(), "");
  const auto lines = OutLines();
  ASSERT_EQ(lines.size(), 3u + (2u + 12u + 1u) + (2u + 16u + 1u) + 1u);
  EXPECT_EQ(
      std::vector<std::string>(lines.begin(), lines.begin() + 8),
      (std::vector<std::string>{"30,30,0,2000;", "0,0,1,1000;", "0,0,-1,2000;", "-10,-20,0,2000;",
                                "0,0,1,1000;", "-10,10;", "0,10;", "0,10;"}));
  EXPECT_EQ(lines[9], "10;");  // sx whole steps right: sx and ";" alone
  EXPECT_EQ(lines.back(), "-10,-10;");
}

TEST_F(CliOutliningTest, OutlineRefusesLikeMill) {
  const std::string ring = OutlinedRing();
  EXPECT_EQ(Run({"--print", "outline", ring, "--figure", "1"}), kCliRefused);
  EXPECT_NE(err_.str().find("Ошибка: Фигура касается края изображения"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"--print", "outline", ring, "--figure", "9"}), kCliRefused);
  EXPECT_NE(err_.str().find("Фигуры 9 нет в дереве вложения."), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  for (const char* bad :
       {"Etching2_width=abc", "Etching2_width=-1", "Etching2_diameter=0", "Etching2_delay=x"}) {
    EXPECT_EQ(Run({"--print", "--set", bad, "outline-all", ring}), kCliRefused) << bad;
    EXPECT_EQ(out_.str(), "") << bad;
    EXPECT_EQ(err_.str().rfind("Ошибка: ", 0), 0u) << bad;
  }
  EXPECT_EQ(Run({"--print", "outline", ring}), kCliUsage);
  EXPECT_NE(err_.str().find("outline needs --figure N"), std::string::npos);
}

TEST_F(CliOutliningTest, FillWithoutDarkPixelsPrintsNothing) {
  const std::string white = WritePicture(PixelImage(9, 9), "white.bmp");
  EXPECT_EQ(Run({"--print", "fill", white, "--return"}), kCliDone);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliOutliningTest, GradientCutsFortyFromFiftyOneButNotFromFifty) {
  // Two dark areas side by side, 11..20 and 21..30, on white; a spot of 4
  // pixels clears what "Градиент" leaves of them in one round, so the fill
  // is one outline per figure that "Градиент" made.
  for (const int right : {51, 50}) {
    PixelImage picture(40, 30);
    for (int y = 11; y <= 20; ++y) {
      for (int x = 11; x <= 30; ++x)
        picture.SetGrey(x, y, static_cast<std::uint8_t>(x <= 20 ? 40 : right));
    }
    const std::string path = WritePicture(picture, "areas.bmp");
    EXPECT_EQ(Run({"--print", "--set", "Etching2_width=2", "--set", "Etching2_diameter=0,2", "fill",
                   path}),
              kCliDone);
    EXPECT_EQ(err_.str(), "");
    const auto lines = OutLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "0,0,1,1000;"), right == 51 ? 2 : 1) << right;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "0,0,-1,2000;"), right == 51 ? 2 : 1) << right;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "110,110,0,2000;");  // to (12, 12): one pixel inside the area's edge
  }
}

TEST_F(CliOutliningTest, OutliningRunsOnlyOnTheLaserBoard) {
  const std::string ring = OutlinedRing();
  EXPECT_EQ(Run({"--port", "sim:P", "outline-all", ring}), kCliDone);
  EXPECT_EQ(Run({"--port", "sim:M", "fill", ring}), kCliWrongBoard);
  EXPECT_NE(err_.str().find("Некорректная прошивка"), std::string::npos);
  EXPECT_EQ(Run({"--port", "sim:O", "outline", ring, "--figure", "4"}), kCliWrongBoard);
}

}  // namespace
}  // namespace vertolin
