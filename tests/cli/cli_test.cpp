#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "picture/bmp_builder.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() / ("vertolin-cli-" + std::to_string(random()));
    std::filesystem::create_directory(folder_);
    ini_ = (folder_ / "cnc.ini").string();
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
  EXPECT_EQ(Run({"--set", "SM_X_ratio=0.25", "--set", "sm_DELAY=9", "--print", "move", "0.875",
                 "0", "0"}),
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

TEST_F(CliTest, QueryAndMoveAgainstTheSimulatedBoard) {
  EXPECT_EQ(Run({"--port", "sim:S", "query"}), kCliDone);
  EXPECT_EQ(out_.str(), "ST\n");
  EXPECT_EQ(Run({"--port", "sim:P", "move", "1", "2", "3"}), kCliDone);
  EXPECT_EQ(err_.str(), "");
}

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

TEST_F(CliRasterTest, PicturesThatCannotBeEngravedAreRefused) {
  EXPECT_EQ(Run({"--print", "engrave", (folder_ / "none.bmp").string()}), kCliRefused);
  EXPECT_NE(err_.str().find("не найден!"), std::string::npos);
  std::ofstream(folder_ / "text.bmp") << "not a picture";
  EXPECT_EQ(Run({"--print", "engrave", (folder_ / "text.bmp").string()}), kCliRefused);
  EXPECT_EQ(err_.str(), "Ошибка: Ошибка открытия файла!\n");
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
    WriteIni("[CNC]\r\ncncrez_width=0,35\r\ncncrez_depth=1,275\r\nmill_diameter=0,1\r\n"
             "Port=" + (folder_ / "ttyNothing").string() + "\r\n");
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
  EXPECT_EQ(Run({"--print", "--set", "SM_mill_delay=500", "mill", ring, "--figure", "4"}), kCliDone);
  EXPECT_EQ(out_.str(), "30,30,0,2000;\n0,0,-255,500;\n0,0,255,2000;\n");
  EXPECT_EQ(Run({"--print", "mill", ring, "--figure", "1"}), kCliRefused);
  EXPECT_NE(err_.str().find("Ошибка: Фигура касается края изображения"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Run({"--print", "--set", "cncrez_width=abc", "mill", ring, "--figure", "4"}), kCliRefused);
  EXPECT_EQ(err_.str(), "Ошибка: Введите число в поле «Ширина»!\n");
  EXPECT_EQ(Run({"--print", "mill", ring}), kCliUsage);
  EXPECT_EQ(Run({"--print", "mill", ring, "--figure", "x"}), kCliUsage);
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
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  std::string warning = LowDepthWarningText(kMillingImpossibleText);
  std::erase(warning, '\r');  // the console writes plain line ends
  for (const char* command : {"mill-all", "relief", "figures"}) {
    EXPECT_EQ(Run({"--print", command, path.string()}), kCliRefused) << command;
    EXPECT_EQ(err_.str(), "Внимание: " + warning + "\n") << command;
    EXPECT_EQ(out_.str(), "");
  }
}

TEST_F(CliMillingTest, MillingRunsOnlyOnTheMillingBoard) {
  const std::string ring = Ring();
  EXPECT_EQ(Run({"--port", "sim:M", "mill-all", ring}), kCliDone);
  EXPECT_EQ(Run({"--port", "sim:P", "mill-all", ring}), kCliWrongBoard);
  EXPECT_NE(err_.str().find("Некорректная прошивка"), std::string::npos);
}

}  // namespace
}  // namespace vertolin
