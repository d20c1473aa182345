// A job that loses its board half-way, then the same job with --resume
// against a fresh board: together the two boards must have received exactly
// the job's lines once each, plus what restores the tool.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "jobs/job_journal.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "board/board_process.h"
#endif

namespace vertolin {
namespace {

[[maybe_unused]] std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ResumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("vertolin-resume-" + std::to_string(random()));
    std::filesystem::create_directory(folder_);
    ini_ = (folder_ / "cnc.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    args.insert(args.begin(), {"--ini", ini_, "--no-progress"});
    return RunCli(args, {out_, err_});
  }

  std::string Picture(const PixelImage& picture) {
    const auto path = folder_ / "picture.bmp";
    EXPECT_TRUE(WritePictureFile(path, picture));
    return path.string();
  }

  std::filesystem::path Journal(const std::string& job) const {
    return folder_ / (job + ".journal");
  }

  std::filesystem::path folder_;
  std::string ini_;
  std::ostringstream out_;
  std::ostringstream err_;
};

PixelImage Greys() {
  PixelImage picture(9, 5);
  for (int y = 1; y <= 5; ++y) {
    for (int x = 1; x <= 9; ++x) {
      if ((x + y) % 3 != 0) picture.SetGrey(x, y, static_cast<std::uint8_t>(25 * x));
    }
  }
  return picture;
}

[[maybe_unused]] PixelImage Rings() {
  PixelImage picture(17, 9);
  for (const int left : {2, 10}) {
    for (int i = 0; i <= 5; ++i) {
      picture.SetGrey(left + i, 2, 0);
      picture.SetGrey(left + i, 7, 0);
      picture.SetGrey(left, 2 + i, 0);
      picture.SetGrey(left + 5, 2 + i, 0);
    }
  }
  return picture;
}

#ifndef _WIN32
// The commands a board's record holds, the identification queries left out.
std::vector<std::string> Received(const std::filesystem::path& record) {
  std::vector<std::string> commands;
  std::ifstream in(record);
  for (std::string line; std::getline(in, line);) {
    const std::string text = line.substr(0, line.find_first_of(" \t"));
    if (text != "V;") commands.push_back(text);
  }
  return commands;
}

TEST_F(ResumeTest, ALostJobResumedSendsEveryLineOnceAfterRestoringTheTool) {
  struct Case {
    const char* name;
    std::string ini;
    std::vector<std::string> job;  // the picture is added last
    const char* kind;
    PixelImage picture;
    // What a resume restores: the raster's opening line, the laser if the
    // lines done left it on, or nothing (the router's tool stayed down).
    enum class Restore { Opening, Laser, None } restore;
  };
  const Case cases[] = {
      {"engraving",
       "[CNC]\r\nEtching_width=9\r\n",
       {"engrave"},
       "P",
       Greys(),
       Case::Restore::Opening},
      {"milling",
       "[CNC]\r\ncncrez_width=1,7\r\ncncrez_depth=1\r\nmill_diameter=0,1\r\n",
       {"mill-all"},
       "M",
       Rings(),
       Case::Restore::None},
      {"cutting",
       "[CNC]\r\nEtching9_width=3,4\r\n",
       {"cut", "--prepared"},
       "O",
       Rings(),
       Case::Restore::Laser},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(ini_, std::ios::binary) << c.ini;
    const std::string picture = Picture(c.picture);
    std::vector<std::string> job = c.job;
    job.push_back(picture);

    std::vector<std::string> printed = job;
    printed.insert(printed.begin(), {"--print", "--kind", c.kind});
    ASSERT_EQ(Run(printed), kCliDone) << err_.str();
    const std::vector<std::string> all = Lines(out_.str());
    ASSERT_GT(all.size(), 12u);

    const auto first = folder_ / "first.txt";
    const auto second = folder_ / "second.txt";
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    // The board answers the identification and about half the job; a laser
    // job is cut off in the middle of a stroke, with the laser on.
    std::size_t half = all.size() / 2;
    for (bool lit = false; c.restore == Case::Restore::Laser; ++half) {
      for (std::size_t i = 0; i < half; ++i) {
        if (all[i].rfind("0,0,1", 0) == 0) lit = true;
        if (all[i].rfind("0,0,-1", 0) == 0) lit = false;
      }
      if (lit || half == all.size()) break;
    }
    const std::string dropAfter = std::to_string(1 + half);
    {
      BoardProcess board({"--kind", c.kind, "--drop-after", dropAfter, "--record", first.string()});
      std::vector<std::string> run = job;
      run.insert(run.begin(), {"--port", board.path()});
      EXPECT_EQ(Run(run), kCliLinkError) << err_.str();
    }
    const JournalRead journal = ReadJournal(Journal(job[0]));
    ASSERT_EQ(journal.status, JournalRead::Status::Ok);
    const auto done = static_cast<std::size_t>(journal.record.point.lines);
    const std::vector<std::string> before = Received(first);
    EXPECT_EQ(before.size(), done);

    {
      BoardProcess board({"--kind", c.kind, "--record", second.string()});
      std::vector<std::string> run = job;
      run.insert(run.begin(), {"--port", board.path(), "--resume"});
      EXPECT_EQ(Run(run), kCliDone) << err_.str();
    }
    EXPECT_NE(err_.str().find("resuming from line " + std::to_string(done + 1)), std::string::npos)
        << err_.str();
    EXPECT_FALSE(std::filesystem::exists(Journal(job[0])));

    std::vector<std::string> joined = before;
    const std::vector<std::string> after = Received(second);
    joined.insert(joined.end(), after.begin(), after.end());
    std::vector<std::string> restored = all;
    const auto at = restored.begin() + static_cast<std::ptrdiff_t>(done);
    if (c.restore == Case::Restore::Opening) restored.insert(at, all[0]);
    if (c.restore == Case::Restore::Laser) {
      std::string lit;  // the last line that switched the laser, if it is on
      for (std::size_t i = 0; i < done; ++i) {
        if (all[i].rfind("0,0,1", 0) == 0) lit = all[i];
        if (all[i].rfind("0,0,-1", 0) == 0) lit.clear();
      }
      ASSERT_FALSE(lit.empty());
      restored.insert(at, lit);
    }
    EXPECT_EQ(joined, restored);
  }
}

// Ctrl-C while the board still works off the raster's line sent ahead: the
// journal counts that line too, so the resume neither repeats nor skips one.
TEST_F(ResumeTest, AnInterruptedRasterJournalsEveryLineTheBoardDid) {
  std::ofstream(ini_, std::ios::binary) << "[CNC]\r\nEtching_width=9\r\n";
  const std::string picture = Picture(Greys());
  ASSERT_EQ(Run({"--print", "--kind", "P", "engrave", picture}), kCliDone);
  const std::vector<std::string> all = Lines(out_.str());
  const auto first = folder_ / "first.txt";
  const auto second = folder_ / "second.txt";
  {
    BoardProcess board({"--kind", "P", "--delay", "150", "--record", first.string()});
    static volatile std::sig_atomic_t interrupts = 0;
    interrupts = 0;
    std::atomic<bool> finished = false;
    std::thread watcher([&] {
      for (int tries = 0; tries < 3000 && !finished; ++tries) {
        if (Received(first).size() >= 6) {
          interrupts = 1;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    out_.str("");
    err_.str("");
    EXPECT_EQ(RunCli({"--ini", ini_, "--no-progress", "--port", board.path(), "engrave", picture},
                     {out_, err_, &interrupts}),
              kCliStopped);
    finished = true;
    watcher.join();
  }
  const JournalRead journal = ReadJournal(Journal("engrave"));
  ASSERT_EQ(journal.status, JournalRead::Status::Ok);
  EXPECT_TRUE(journal.record.ended);
  const auto done = static_cast<std::size_t>(journal.record.point.lines);
  std::vector<std::string> joined = Received(first);
  ASSERT_EQ(joined.size(), done);
  {
    BoardProcess board({"--kind", "P", "--record", second.string()});
    EXPECT_EQ(Run({"--port", board.path(), "--resume", "engrave", picture}), kCliDone)
        << err_.str();
  }
  const std::vector<std::string> after = Received(second);
  joined.insert(joined.end(), after.begin(), after.end());
  std::vector<std::string> expected = all;
  expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(done), all[0]);  // the opening
  EXPECT_EQ(joined, expected);
}

// kill -9 of the tool mid-raster: the journal lags up to half a second, but
// the record of lines sent beside it says how many went out, and the board
// does every one of them; the resume sends each remaining line once.
TEST_F(ResumeTest, AResumeAfterTheToolWasKilledSendsNoLineTheBoardDid) {
  std::ofstream(ini_, std::ios::binary) << "[CNC]\r\nEtching_width=9\r\n";
  const std::string picture = Picture(Greys());
  ASSERT_EQ(Run({"--print", "--kind", "P", "engrave", picture}), kCliDone);
  const std::vector<std::string> all = Lines(out_.str());
  const auto first = folder_ / "first.txt";
  const auto second = folder_ / "second.txt";
  {
    BoardProcess board({"--kind", "P", "--delay", "20", "--record", first.string()});
    const pid_t tool = ::fork();
    ASSERT_GE(tool, 0);
    if (tool == 0) {
      std::ostringstream out;
      std::ostringstream err;
      ::_exit(RunCli({"--ini", ini_, "--no-progress", "--port", board.path(), "engrave", picture},
                     {out, err}));
    }
    for (int tries = 0; tries < 2000 && Received(first).size() < 25; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(tool, SIGKILL);
    int status = 0;
    ::waitpid(tool, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    // What the tool wrote before it died reaches the board all the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  const JournalRead journal = ReadJournal(Journal("engrave"));
  ASSERT_EQ(journal.status, JournalRead::Status::Ok);
  EXPECT_FALSE(journal.record.ended);
  EXPECT_TRUE(journal.countedSent);
  EXPECT_EQ(journal.Warning(), kJournalLeftRunningCounted);
  std::vector<std::string> joined = Received(first);
  ASSERT_EQ(static_cast<std::size_t>(journal.record.point.lines), joined.size());
  {
    BoardProcess board({"--kind", "P", "--record", second.string()});
    EXPECT_EQ(Run({"--port", board.path(), "--resume", "engrave", picture}), kCliDone)
        << err_.str();
  }
  EXPECT_NE(err_.str().find("Сколько строк ушло на плату, записано"), std::string::npos);
  const std::vector<std::string> after = Received(second);
  const std::size_t done = joined.size();
  joined.insert(joined.end(), after.begin(), after.end());
  std::vector<std::string> expected = all;
  expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(done), all[0]);  // the opening
  EXPECT_EQ(joined, expected);
  EXPECT_FALSE(std::filesystem::exists(SentRecord::PathFor(Journal("engrave"))));
}

// Resumed from a journal a crash would have left (no place of the head: it
// is taken to stand where the lines ended), and from one a stop left, whose
// place of the head the resume travels from.
TEST_F(ResumeTest, AStoppedMillingJobResumesByLoweringTheLiftedTool) {
  std::ofstream(ini_, std::ios::binary)
      << "[CNC]\r\ncncrez_width=1,7\r\ncncrez_depth=1\r\nmill_diameter=0,1\r\n";
  const std::string picture = Picture(Rings());
  ASSERT_EQ(Run({"--print", "mill-all", picture}), kCliDone);
  const std::vector<std::string> all = Lines(out_.str());
  const auto first = folder_ / "first.txt";
  const auto second = folder_ / "second.txt";
  for (const bool crashed : {true, false}) {
    SCOPED_TRACE(crashed);
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    {
      // Stopped once the board's record shows the cutter three lines deep.
      BoardProcess board({"--delay", "100", "--record", first.string()});
      static volatile std::sig_atomic_t interrupts = 0;
      interrupts = 0;
      std::atomic<bool> finished = false;
      std::thread watcher([&] {
        for (int tries = 0; tries < 3000 && !finished; ++tries) {
          std::ifstream recorded(first);
          int deep = 0;
          for (std::string line; std::getline(recorded, line);) {
            if (line.substr(line.rfind(' ') + 1) != "0") ++deep;
          }
          if (deep >= 3) {
            interrupts = 1;
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      });
      out_.str("");
      err_.str("");
      EXPECT_EQ(
          RunCli({"--ini", ini_, "--no-progress", "--port", board.path(), "mill-all", picture},
                 {out_, err_, &interrupts}),
          kCliStopped);
      finished = true;
      watcher.join();
    }
    const JournalRead journal = ReadJournal(Journal("mill-all"));
    ASSERT_EQ(journal.status, JournalRead::Status::Ok);
    EXPECT_EQ(journal.record.point.depth, 0);  // lifted
    EXPECT_TRUE(journal.record.ended);
    const auto done = static_cast<std::size_t>(journal.record.point.lines);
    ASSERT_TRUE(journal.record.place);
    JournalRecord rewritten = journal.record;
    if (crashed) {
      // As a journal a crash would have left: resumed all the same, with a warning.
      rewritten.ended = false;
      rewritten.place.reset();
    } else {
      // The head 100 steps further on X than the lines left it.
      rewritten.place->position[0] += 100;
    }
    std::ofstream(Journal("mill-all"), std::ios::binary) << JournalText(rewritten);
    std::vector<std::string> joined = Received(first);
    ASSERT_EQ(joined.size(), done + 1);  // and the lift
    const std::string lift = joined.back();
    {
      BoardProcess board({"--record", second.string()});
      EXPECT_EQ(Run({"--port", board.path(), "--resume", "mill-all", picture}), kCliDone)
          << err_.str();
    }
    EXPECT_EQ(err_.str().find("прерванного сбоем программы") != std::string::npos, crashed)
        << err_.str();
    const std::vector<std::string> after = Received(second);
    joined.insert(joined.end(), after.begin(), after.end());
    // The lift goes up by the depth the lines done went down; the restore goes
    // back 100 steps on X at that height, then down by as much again.
    ASSERT_EQ(lift.rfind("0,0,", 0), 0u) << lift;
    const std::string depth = lift.substr(4, lift.find(',', 4) - 4);
    std::vector<std::string> expected = all;
    expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(done),
                    {lift, "0,0,-" + depth + lift.substr(lift.find(',', 4))});
    if (!crashed)
      expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(done) + 1, "-100,0,0,2000;");
    EXPECT_EQ(joined, expected);
  }
}
#endif

TEST_F(ResumeTest, AJournalOfAnotherPictureOrADamagedOneIsNotUsed) {
  std::ofstream(ini_, std::ios::binary) << "[CNC]\r\nEtching_width=9\r\n";
  const std::string picture = Picture(Greys());
  const auto journal = Journal("engrave");
  const auto resume = [&] { return Run({"--port", "sim:P", "engrave", picture, "--resume"}); };

  EXPECT_EQ(resume(), kCliRefused);
  EXPECT_NE(err_.str().find("не найден: продолжать нечего"), std::string::npos) << err_.str();

  JournalRecord other{"engrave", "engrave other.bmp", "0123456789abcdef", 40,           {7, 0},
                      true,      std::nullopt,        std::nullopt,       std::nullopt, {}};
  const std::string otherText = JournalText(other);
  const std::string cases[] = {otherText, otherText.substr(0, otherText.size() / 2),
                               otherText.substr(0, otherText.find("acknowledged=")) +
                                   "acknowledged=8\n" + otherText.substr(otherText.find("depth="))};
  const char* said[] = {"записан для другой картинки или других настроек", "повреждён",
                        "повреждён"};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    std::ofstream(journal, std::ios::binary) << cases[i];
    EXPECT_EQ(resume(), kCliRefused);
    EXPECT_NE(err_.str().find(said[i]), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
    // Left as it was, for the person to look at.
    std::ifstream in(journal, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), cases[i]);
  }
  // A job that runs to its end leaves no journal; --resume and --print exclude each other.
  EXPECT_EQ(Run({"--port", "sim:P", "engrave", picture}), kCliDone) << err_.str();
  EXPECT_FALSE(std::filesystem::exists(journal));
  EXPECT_EQ(Run({"--print", "engrave", picture, "--resume"}), kCliUsage);
}

}  // namespace
}  // namespace vertolin
