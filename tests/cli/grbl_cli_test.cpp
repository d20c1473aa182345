// vertolin-cli driving vertolin-board --grbl over a pseudo-terminal: every job
// carries out the motion of the program --print exports, a stop and --resume
// together carry out each block once, the stream never overflows the board's
// receive buffer, and refusals, error:N and alarms end a job with grbl's word.
//
// The board's record is the truth: one line per block it completed, with the
// head's machine position after it and the laser. The wire's lines are one
// block per motion while the exported program merges straight runs, so motion
// is compared, not text: end points with the power burning on the way, after
// merging straight runs of equal power on both sides.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/board_process.h"
#include "cli/cli.h"
#include "jobs/job_journal.h"
#include "link/grbl_reply.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

using Clock = std::chrono::steady_clock;
using Thousandths = std::array<std::int64_t, 3>;  // a point in mm, to three decimals

// One move: where it ends, and the power burning on the way (0: dark).
struct Move {
  Thousandths to{};
  long power = 0;
  std::int64_t line = 0;  // the board's line number, for the messages
  std::string text;
  std::array<double, 3> machine{};  // where the board's head ended, mm

  bool operator==(const Move& other) const { return to == other.to && power == other.power; }
};

std::string Show(const Move& move) {
  std::ostringstream text;
  text << move.to[0] << "," << move.to[1] << "," << move.to[2] << " power " << move.power;
  if (!move.text.empty()) text << " (line " << move.line << " «" << move.text << "»)";
  return text.str();
}

// "" when the moves are equal, else where they part.
std::string Difference(const std::vector<Move>& want, const std::vector<Move>& got) {
  for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
    if (i < want.size() && i < got.size() && want[i] == got[i]) continue;
    const auto at = [&](const std::vector<Move>& moves) {
      return i < moves.size() ? Show(moves[i]) : std::string("(none)");
    };
    return "move " + std::to_string(i) + " of " + std::to_string(want.size()) + "/" +
           std::to_string(got.size()) + ": want " + at(want) + ", got " + at(got);
  }
  return "";
}

// Straight runs of one power as one move, as the exported program writes them.
std::vector<Move> Merged(const std::vector<Move>& moves) {
  std::vector<Move> merged;
  Thousandths from{};
  Thousandths heldFrom{};
  for (const Move& move : moves) {
    if (!merged.empty() && merged.back().power == move.power) {
      Thousandths a{};
      Thousandths b{};
      for (std::size_t axis = 0; axis < 3; ++axis) {
        a[axis] = merged.back().to[axis] - heldFrom[axis];
        b[axis] = move.to[axis] - from[axis];
      }
      const bool parallel = a[1] * b[2] == a[2] * b[1] && a[2] * b[0] == a[0] * b[2] &&
                            a[0] * b[1] == a[1] * b[0];
      if (parallel && a[0] * b[0] + a[1] * b[1] + a[2] * b[2] > 0) {
        merged.back().to = move.to;
        from = move.to;
        continue;
      }
    }
    heldFrom = from;
    merged.push_back(move);
    from = move.to;
  }
  return merged;
}

// Enough of grbl's reading of a line for Vertolin's programs: absolute
// millimetres, G0/G1, G92, the spindle words and S. A line moves when its
// target differs from where the last one ended.
class GcodeReader {
 public:
  std::optional<Move> Read(std::string_view line) {
    Thousandths target = at_;
    bool axes = false;
    bool offset = false;
    std::size_t i = 0;
    while (i < line.size()) {
      const char letter = line[i++];
      if (letter == ' ') continue;
      std::size_t end = i;
      while (end < line.size() && line[end] != ' ' &&
             !std::isalpha(static_cast<unsigned char>(line[end])))
        ++end;
      if (end == i) continue;  // a letter without a number: not one of ours
      const double value = std::stod(std::string(line.substr(i, end - i)));
      i = end;
      switch (letter) {
        case 'G':
          if (value == 0 || value == 1) rapid_ = value == 0;
          if (value == 92) offset = true;
          break;
        case 'M':
          if (value == 3 || value == 4) spindle_ = true;
          if (value == 5 || value == 2) spindle_ = false;
          break;
        case 'S':
          power_ = std::lround(value);
          break;
        case 'X':
        case 'Y':
        case 'Z':
          target[static_cast<std::size_t>(letter - 'X')] = std::llround(value * 1000);
          axes = true;
          break;
        default:
          break;
      }
    }
    // G92 names the point the head is at; it does not move it.
    if (!axes || offset || target == at_) {
      if (offset) at_ = target;
      return std::nullopt;
    }
    at_ = target;
    // In laser mode a rapid never burns.
    return Move{target, spindle_ && !rapid_ ? power_ : 0, 0, std::string(line)};
  }

 private:
  Thousandths at_{};
  bool rapid_ = true;
  bool spindle_ = false;
  long power_ = 0;
};

std::vector<Move> ProgramMoves(const std::string& program) {
  GcodeReader reader;
  std::vector<Move> moves;
  std::istringstream lines(program);
  for (std::string line; std::getline(lines, line);) {
    if (auto move = reader.Read(line)) moves.push_back(*move);
  }
  return moves;
}

// One line of the board's record.
struct Executed {
  std::int64_t line = 0;
  std::string text;
  std::array<double, 3> mm{};
  bool lit = false;
  long power = 0;
};

std::vector<Executed> ReadRecord(const std::filesystem::path& file) {
  std::vector<Executed> record;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Executed block;
    std::string number, position, laser;
    std::getline(fields, number, '\t');
    std::getline(fields, block.text, '\t');
    std::getline(fields, position, '\t');
    std::getline(fields, laser);
    if (number.empty() || laser.empty()) continue;  // written half-way
    block.line = std::stoll(number);
    std::istringstream(position) >> block.mm[0] >> block.mm[1] >> block.mm[2];
    block.lit = laser.starts_with("laser on");
    block.power = std::lround(std::stod(laser.substr(laser.find('S') + 1)));
    record.push_back(block);
  }
  // Blocks complete in order; lines without motion are done as they are
  // read, ahead of the blocks still planned.
  std::stable_sort(record.begin(), record.end(),
                   [](const Executed& a, const Executed& b) { return a.line < b.line; });
  return record;
}

std::size_t RecordSize(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

// What the board did: its blocks in the order of their lines, each with the
// target its text names (so G92's frame) and the board's own power. The head's
// machine position after each block must be that target, counted from
// `origin` (the job frame's zero in machine mm), within half of grbl's step.
struct BoardMoves {
  std::vector<Move> moves;
  std::vector<std::string> faults;
};

BoardMoves ReadBoardMoves(const std::vector<Executed>& record,
                          const std::array<double, 3>& origin) {
  BoardMoves result;
  GcodeReader reader;
  for (const Executed& block : record) {
    auto move = reader.Read(block.text);
    if (!move) continue;
    move->line = block.line;
    move->machine = block.mm;
    move->power = block.lit ? block.power : 0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const double want = static_cast<double>(move->to[axis]) / 1000 + origin[axis];
      // The first few say enough.
      if (std::abs(block.mm[axis] - want) > 0.0021 && result.faults.size() < 3) {
        result.faults.push_back("line " + std::to_string(block.line) + " «" + block.text +
                                "» ended at machine " + std::to_string(block.mm[axis]) +
                                " on axis " + std::to_string(axis) + ", its target is " +
                                std::to_string(want));
        break;
      }
    }
    result.moves.push_back(*move);
  }
  return result;
}

std::int64_t LineOf(const std::vector<Executed>& record, std::string_view prefix) {
  for (const Executed& block : record) {
    if (block.text.starts_with(prefix)) return block.line;
  }
  return -1;
}

// The job's lines the board completed without a gap, after the sender's G92:
// what a journal may count as done. -1 when the job never began.
std::int64_t LinesDone(const std::vector<Executed>& record) {
  const std::int64_t frame = LineOf(record, "G92");
  if (frame < 0) return -1;
  std::int64_t done = 0;
  for (const Executed& block : record) {
    if (block.line == frame + done + 1) ++done;
  }
  return done;
}

// The status a board gives, asked on its port once the tool has let go of it.
struct BoardStatus {
  std::string state;
  std::array<double, 3> machine{};
  long speed = -1;        // FS's second number: the spindle or laser power in force
  bool reportsBf = true;  // the report mask still asks for the planner's room
  std::string text;
};

// The board's port opened by the test, as another program would: to ask the
// status, or to move the head by hand before a job.
class PortTalk {
 public:
  explicit PortTalk(const std::string& port)
      : fd_(::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd_ < 0) return;
    termios raw{};
    ::tcgetattr(fd_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
    // Answers to the tool's last questions may still be on their way.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::tcflush(fd_, TCIFLUSH);
  }
  ~PortTalk() {
    if (fd_ >= 0) ::close(fd_);
  }
  PortTalk(const PortTalk&) = delete;
  PortTalk& operator=(const PortTalk&) = delete;

  std::optional<BoardStatus> Status() {
    if (!Write("?")) return std::nullopt;
    for (std::string line; ReadLine(line);) {
      if (!line.starts_with("<")) continue;
      BoardStatus got;
      got.text = line;
      got.state = line.substr(1, line.find('|') - 1);
      const std::size_t mpos = line.find("MPos:");
      if (mpos != std::string::npos) {
        std::sscanf(line.c_str() + mpos, "MPos:%lf,%lf,%lf", &got.machine[0], &got.machine[1],
                    &got.machine[2]);
      }
      const std::size_t fs = line.find("FS:");
      if (fs != std::string::npos) got.speed = std::stol(line.substr(line.find(',', fs) + 1));
      got.reportsBf = line.find("Bf:") != std::string::npos;
      return got;
    }
    return std::nullopt;
  }

  // Sends a line and waits for its "ok", then for the head to come to rest.
  bool Send(const std::string& text) {
    if (!Write(text + "\n")) return false;
    std::string line;
    while (ReadLine(line) && line != "ok") {
      if (line.starts_with("error")) return false;
    }
    if (line != "ok") return false;
    for (int tries = 0; tries < 100; ++tries) {
      const auto status = Status();
      if (status && status->state == "Idle") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  bool Write(const std::string& bytes) {
    return fd_ >= 0 &&
           ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  bool ReadLine(std::string& line) {
    line.clear();
    const auto limit = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < limit) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 50) <= 0) continue;
      char c = 0;
      if (::read(fd_, &c, 1) != 1) continue;
      if (c == '\n') return true;
      if (c != '\r') line.push_back(c);
    }
    return false;
  }

  int fd_;
};

std::optional<BoardStatus> AskStatus(const std::string& port) { return PortTalk(port).Status(); }

PixelImage Greys(int width, int height) {
  PixelImage picture(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      if ((x + y) % 3 != 0) picture.SetGrey(x, y, static_cast<std::uint8_t>(25 * (x % 10 + 1)));
    }
  }
  return picture;
}

// A filled rectangle and a frame with a hole: figures to outline, fill and mill.
PixelImage Blobs() {
  PixelImage picture(24, 15);
  for (int y = 1; y <= 15; ++y) {
    for (int x = 1; x <= 24; ++x) {
      const bool solid = x >= 3 && x <= 10 && y >= 3 && y <= 9;
      const bool frame = x >= 14 && x <= 21 && y >= 3 && y <= 12 &&
                         !(x >= 16 && x <= 19 && y >= 5 && y <= 10);
      if (solid || frame) picture.SetGrey(x, y, 0);
    }
  }
  return picture;
}

// Pictures of whole steps a pixel (0.005 mm a step, grbl's 0.004 mm): 1 mm a
// pixel for the greys, 0.1 and 0.2 mm for the figures.
constexpr const char* kIni =
    "[CNC]\r\nEtching_width=9\r\ncncrez_width=2,4\r\ncncrez_depth=1\r\nmill_diameter=0,1\r\n"
    "Etching9_width=4,8\r\nEtching2_width=4,8\r\nEtching2_diameter=0,2\r\n";

class GrblCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = (folder_.path() / "cnc.ini").string();
    std::ofstream(ini_, std::ios::binary) << kIni;
    ASSERT_TRUE(WritePictureFile(folder_.path() / "greys.bmp", Greys(9, 5)));
    ASSERT_TRUE(WritePictureFile(folder_.path() / "blobs.bmp", Blobs()));
  }

  // The job's arguments with "@NAME" made the path of picture NAME.bmp.
  std::vector<std::string> Job(std::vector<std::string> job) const {
    for (std::string& arg : job) {
      if (arg.starts_with("@")) arg = (folder_.path() / (arg.substr(1) + ".bmp")).string();
    }
    return job;
  }

  int Run(std::vector<std::string> args, const volatile std::sig_atomic_t* interrupts = nullptr) {
    out_.str("");
    err_.str("");
    args.insert(args.begin(), {"--ini", ini_, "--no-progress", "--protocol", "grbl"});
    return RunCli(args, {out_, err_, interrupts});
  }

  // The program the job exports, as moves.
  std::vector<Move> Exported(const std::vector<std::string>& job) {
    std::vector<std::string> args = job;
    args.insert(args.begin(), "--print");
    EXPECT_EQ(Run(args), kCliDone) << err_.str();
    return ProgramMoves(out_.str());
  }

  int RunOn(const BoardProcess& board, std::vector<std::string> job,
            const volatile std::sig_atomic_t* interrupts = nullptr) {
    job.insert(job.begin(), {"--port", board.path(), "--set", "speed=115200"});
    return Run(job, interrupts);
  }

  // The job on the board, Ctrl-C pressed `presses` times once `stopNow` says
  // so. A tool that has not ended `patience` later gets one press more (the
  // program itself counts no more than two), which ends any wait: a hang
  // fails the test instead of stopping it.
  struct Interrupted {
    int status = -1;
    bool stopped = false;    // Ctrl-C was pressed
    bool hungAfter = false;  // the tool did not end of itself
  };
  Interrupted RunStopped(const BoardProcess& board, const std::vector<std::string>& job,
                         std::function<bool()> stopNow, int presses = 1,
                         Clock::duration patience = std::chrono::seconds(5)) {
    static volatile std::sig_atomic_t interrupts = 0;
    interrupts = 0;
    std::atomic<bool> finished = false;
    Interrupted result;
    const auto start = Clock::now();
    std::thread watcher([&] {
      Clock::time_point stoppedAt{};
      while (!finished) {
        if (!result.stopped && stopNow()) {
          result.stopped = true;
          stoppedAt = Clock::now();
          interrupts = presses;
        }
        if (Clock::now() - start > std::chrono::seconds(30) ||
            (result.stopped && Clock::now() - stoppedAt > patience)) {
          result.hungAfter = true;
          interrupts = presses + 1;
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    result.status = RunOn(board, job, &interrupts);
    finished = true;
    watcher.join();
    return result;
  }

  std::filesystem::path Journal(const std::string& job) const {
    return folder_.path() / (job + ".journal");
  }
  std::filesystem::path File(const std::string& name) const { return folder_.path() / name; }

  test::TempFolder folder_;
  std::string ini_;
  std::ostringstream out_;
  std::ostringstream err_;
};

// The job's command: its first word that is no option.
std::string CommandOf(const std::vector<std::string>& job) {
  for (std::size_t i = 0; i < job.size(); ++i) {
    if (job[i] == "--set") {
      ++i;
    } else if (!job[i].starts_with("--")) {
      return job[i];
    }
  }
  return "";
}

struct JobCase {
  const char* name;
  std::vector<std::string> job;  // "@NAME" stands for picture NAME.bmp
};

// clang-format off
const std::vector<JobCase>& EveryJob() {
  static const std::vector<JobCase> jobs = {
      {"engrave", {"engrave", "@greys"}},
      {"engrave negative x, back to the start",
       {"--set", "SM_X_ratio=-0.005", "engrave", "@greys", "--return"}},
      {"burn", {"burn", "@greys"}},
      {"outline", {"outline", "@blobs", "--figure", "3"}},
      {"outline-all", {"outline-all", "@blobs", "--return"}},
      {"fill", {"fill", "@blobs"}},
      {"cut", {"cut", "--prepared", "@blobs"}},
      {"mill", {"mill", "@blobs", "--figure", "3"}},
      {"mill-all with the spindle", {"--set", "grbl_spindle_speed=10000", "mill-all", "@blobs"}},
      {"relief", {"relief", "@blobs", "--return"}},
  };
  return jobs;
}
// clang-format on

TEST_F(GrblCliTest, EveryJobCarriesOutTheExportedProgramsMotion) {
  for (const JobCase& c : EveryJob()) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> job = Job(c.job);
    const std::vector<Move> program = Merged(Exported(job));
    ASSERT_GT(program.size(), 5u);
    const auto record = File(std::string("record-") + c.name);
    {
      BoardProcess board({"--grbl", "--instant", "--record", record.string()});
      ASSERT_EQ(RunOn(board, job), kCliDone) << err_.str();
      const auto status = AskStatus(board.path());
      ASSERT_TRUE(status);
      // At rest, the tool off, the status mask as the board had it.
      EXPECT_EQ(status->state, "Idle") << status->text;
      EXPECT_EQ(status->speed, 0) << status->text;
      EXPECT_FALSE(status->reportsBf) << status->text;
    }
    const BoardMoves done = ReadBoardMoves(ReadRecord(record), {0, 0, 0});
    for (const std::string& fault : done.faults) ADD_FAILURE() << fault;
    const std::string difference = Difference(program, Merged(done.moves));
    EXPECT_EQ(difference, "");
    EXPECT_FALSE(std::filesystem::exists(Journal(CommandOf(job))));
  }
}

// The restore of a resumed job comes first: tool up, over to where the lines
// done ended, tool down again (G0 Z…, G0 X… Y…, G1 Z…), the travels dark; a
// router's spindle runs again before its way down. How many of the moves are
// that, ending at `end`.
std::size_t RestoreMoves(const std::vector<Move>& moves, const Thousandths& end) {
  for (std::size_t count = std::min<std::size_t>(3, moves.size()); count > 0; --count) {
    bool restore = moves[count - 1].to == end;
    for (std::size_t i = 0; i < count; ++i) {
      restore = restore && ((moves[i].text.starts_with("G0 ") && moves[i].power == 0) ||
                            (moves[i].text.starts_with("G1 Z") && i + 1 == count));
    }
    if (restore) return count;
  }
  return 0;
}

TEST_F(GrblCliTest, StopsAndResumesCarryOutEveryBlockOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> job;
    const char* motionScale;  // each job takes a second or so
    // Ctrl-C once the board has done these shares of the job's blocks, then
    // --resume after each.
    std::vector<double> stops;
    // Resumed on the same board, or on one that restarted meanwhile: its
    // machine zero is then where the head stood.
    bool sameBoard;
    // Where the head was moved by hand (with another program) before the
    // job, in the board's machine coordinates: the job's origin.
    std::array<double, 3> byHand;
  };
  const Case cases[] = {
      {"engrave at its start", {"engrave", "@greys"}, "2.5", {0}, false, {}},
      {"engrave half-way", {"engrave", "@greys"}, "2.5", {0.45}, true, {}},
      {"engrave twice, the second time once every line is sent",
       {"engrave", "@greys"},
       "2.5",
       {0.3, 0.93},
       false,
       {}},
      // With the progress shown, whose count is the stream's lines, not the
      // merged program's.
      {"cut, the laser on", {"--progress", "cut", "--prepared", "@blobs"}, "7", {0.3}, false, {}},
      {"cut, the laser on, later", {"cut", "--prepared", "@blobs"}, "7", {0.7}, true, {}},
      {"mill-all with the spindle",
       {"--set", "grbl_spindle_speed=10000", "mill-all", "@blobs"},
       "5",
       {0.15},
       false,
       {}},
      {"mill-all from a raised head", {"mill-all", "@blobs"}, "5", {0.08}, true, {2, 1, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> job = Job(c.job);
    const std::string command = CommandOf(job);
    const std::vector<Move> program = Merged(Exported(job));
    const std::string name = std::to_string(&c - cases);

    // The whole job, for its blocks one by one.
    const auto whole = File("whole-" + name);
    {
      BoardProcess board({"--grbl", "--instant", "--record", whole.string()});
      ASSERT_EQ(RunOn(board, job), kCliDone) << err_.str();
    }
    const std::vector<Executed> wholeRecord = ReadRecord(whole);
    const BoardMoves all = ReadBoardMoves(wholeRecord, {0, 0, 0});
    ASSERT_EQ(all.faults, std::vector<std::string>{});
    ASSERT_EQ(Difference(program, Merged(all.moves)), "");

    std::filesystem::path record = File(name + "-0");
    std::optional<BoardProcess> board;
    board.emplace(
        std::vector<std::string>{"--grbl", "--motion-scale", c.motionScale, "--record", record});
    std::array<double, 3> origin = c.byHand;  // the job's zero in the board's machine mm
    if (origin != std::array<double, 3>{}) {
      char move[96];
      std::snprintf(move, sizeof move, "G0 X%.3f Y%.3f Z%.3f", origin[0], origin[1], origin[2]);
      ASSERT_TRUE(PortTalk(board->path()).Send(move));
    }
    std::int64_t seen = ReadRecord(record).empty() ? 0 : ReadRecord(record).back().line;
    std::vector<Move> joined;  // the job's moves the board carried out, run after run
    std::int64_t acknowledged = 0;
    for (std::size_t run = 0; run <= c.stops.size(); ++run) {
      SCOPED_TRACE("run " + std::to_string(run + 1));
      const bool stops = run < c.stops.size();
      std::vector<std::string> args = job;
      if (run > 0) args.push_back("--resume");
      if (stops) {
        const double share = c.stops[run] - (run > 0 ? c.stops[run - 1] : 0);
        const std::size_t stopAfter =
            RecordSize(record) +
            std::max<std::size_t>(
                1, static_cast<std::size_t>(share * static_cast<double>(wholeRecord.size())));
        const Interrupted stopped = RunStopped(*board, args,
                                               [&] { return RecordSize(record) >= stopAfter; });
        ASSERT_TRUE(stopped.stopped) << "the job ended before the stop: " << err_.str();
        EXPECT_FALSE(stopped.hungAfter) << "the tool did not end after Ctrl-C: " << err_.str();
        EXPECT_EQ(stopped.status, kCliStopped) << err_.str();
      } else {
        EXPECT_EQ(RunOn(*board, args), kCliDone) << err_.str();
        EXPECT_FALSE(std::filesystem::exists(Journal(command)));
      }
      if (run > 0) {
        EXPECT_NE(err_.str().find("resuming from line " + std::to_string(acknowledged + 1)),
                  std::string::npos)
            << err_.str();
      }
      const auto status = AskStatus(board->path());
      ASSERT_TRUE(status);
      // At rest after the hold (no alarm from a reset in motion), the laser
      // and spindle off, the status mask as it was.
      EXPECT_EQ(status->state, "Idle") << status->text;
      EXPECT_EQ(status->speed, 0) << status->text;
      EXPECT_FALSE(status->reportsBf) << status->text;

      std::vector<Executed> part = ReadRecord(record);
      std::erase_if(part, [&](const Executed& block) { return block.line <= seen; });
      ASSERT_FALSE(part.empty());
      seen = part.back().line;
      const BoardMoves moves = ReadBoardMoves(part, origin);
      for (const std::string& fault : moves.faults) ADD_FAILURE() << fault;
      // A resumed run first restores the tool where the lines done left it.
      const Thousandths end = joined.empty() ? Thousandths{} : joined.back().to;
      const std::size_t restore = run > 0 ? RestoreMoves(moves.moves, end) : 0;
      // The lines after the sender's G92 that the board completed without a
      // gap are the ones done (the restore's among them).
      const std::int64_t frame = LineOf(part, "G92");
      ASSERT_GT(frame, 0);
      const std::int64_t done = LinesDone(part);
      for (std::size_t i = restore; i < moves.moves.size(); ++i) {
        const Move& move = moves.moves[i];
        if (!stops || move.line <= frame + done) {
          joined.push_back(move);
          continue;
        }
        // Whatever the tool does after the stop (the router's lift) is no
        // part of the program: it never burns, and never goes deeper.
        EXPECT_EQ(move.power, 0) << Show(move);
        if (!joined.empty()) {
          EXPECT_GE(move.machine[2], joined.back().machine[2] - 0.0021) << Show(move);
        }
      }
      if (!stops) break;

      // The journal counts exactly the lines done.
      const JournalRead journal = ReadJournal(Journal(command));
      ASSERT_EQ(journal.status, JournalRead::Status::Ok) << journal.problem;
      EXPECT_TRUE(journal.record.ended);
      EXPECT_TRUE(journal.record.machineOrigin);
      // The head where it came to rest, for a board that restarts meanwhile.
      ASSERT_TRUE(journal.record.machineHead);
      for (std::size_t axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR((*journal.record.machineHead)[axis], status->machine[axis], 0.0021)
            << "the journal's head on axis " << axis << "; the board says " << status->text;
      }
      if (run == 0) {
        EXPECT_EQ(journal.record.point.lines, done);
        EXPECT_NE(err_.str().find(", " + std::to_string(done) + " carried out"), std::string::npos)
            << err_.str();
      } else {
        EXPECT_GE(journal.record.point.lines, acknowledged);
      }
      acknowledged = journal.record.point.lines;
      if (!c.sameBoard) {
        for (std::size_t axis = 0; axis < 3; ++axis) origin[axis] -= status->machine[axis];
        record = File(name + "-" + std::to_string(run + 1));
        board.emplace(std::vector<std::string>{"--grbl", "--motion-scale", c.motionScale,
                                               "--record", record});
        seen = 0;
      }
    }
    EXPECT_EQ(Difference(all.moves, joined), "");
    EXPECT_EQ(Difference(program, Merged(joined)), "");
  }
}

// The line drops mid-job. A board with its own power runs out its planner and
// answers again on a new port: --resume goes on after the lines it did, each
// block once. A board that restarted (a new one, at machine zero, no homing)
// has lost where its head stands: that resume is refused, the journal kept.
TEST_F(GrblCliTest, ALostLinkThenResumeCarriesOutEveryBlockOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> job;
    const char* motionScale;
    const char* dropAfter;  // lines the board takes, its set-up's included
    bool keptPower;
  };
  const Case cases[] = {
      {"engrave, early", {"engrave", "@greys"}, "2.5", "12", true},
      {"cut, the laser on", {"cut", "--prepared", "@blobs"}, "7", "40", true},
      {"mill-all with the spindle",
       {"--set", "grbl_spindle_speed=10000", "mill-all", "@blobs"},
       "5",
       "30",
       true},
      {"engrave, the board restarted", {"engrave", "@greys"}, "2.5", "30", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> job = Job(c.job);
    const std::string command = CommandOf(job);
    const std::vector<Move> program = Merged(Exported(job));
    const auto record = File(std::string("record-") + c.name);
    std::vector<std::string> options{"--grbl",    "--motion-scale", c.motionScale,  "--drop-after",
                                     c.dropAfter, "--record",       record.string()};
    if (c.keptPower) options.insert(options.end(), {"--line-back", "200"});
    std::optional<BoardProcess> board;
    board.emplace(options);
    ASSERT_EQ(RunOn(*board, job), kCliLinkError) << err_.str();
    const JournalRead lost = ReadJournal(Journal(command));
    ASSERT_EQ(lost.status, JournalRead::Status::Ok) << lost.problem;
    EXPECT_TRUE(lost.record.machineOrigin);
    EXPECT_FALSE(lost.record.machineMaybeDone.empty());

    std::vector<std::string> resume = job;
    resume.push_back("--resume");
    if (!c.keptPower) {
      board.emplace(std::vector<std::string>{"--grbl", "--instant"});
      EXPECT_EQ(RunOn(*board, resume), kCliRefused) << err_.str();
      EXPECT_NE(err_.str().find("перезапустилась"), std::string::npos) << err_.str();
      EXPECT_TRUE(std::filesystem::exists(Journal(command)));
      continue;
    }
    ASSERT_FALSE(board->NextPath().empty());
    EXPECT_EQ(RunOn(*board, resume), kCliDone) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(Journal(command)));

    // The first run's blocks, all the board did after the drop among them,
    // then the resumed run's after its restore.
    const std::vector<Executed> executed = ReadRecord(record);
    std::int64_t resumedFrom = 0;
    for (const Executed& block : executed) {
      if (block.text.starts_with("G92")) resumedFrom = block.line;
    }
    std::vector<Executed> first;
    std::vector<Executed> second;
    for (const Executed& block : executed) {
      (block.line < resumedFrom ? first : second).push_back(block);
    }
    const BoardMoves before = ReadBoardMoves(first, {0, 0, 0});
    const BoardMoves after = ReadBoardMoves(second, {0, 0, 0});
    for (const std::string& fault : before.faults) ADD_FAILURE() << fault;
    for (const std::string& fault : after.faults) ADD_FAILURE() << fault;
    std::vector<Move> joined = before.moves;
    ASSERT_FALSE(joined.empty());
    const std::size_t restore = RestoreMoves(after.moves, joined.back().to);
    joined.insert(joined.end(), after.moves.begin() + static_cast<std::ptrdiff_t>(restore),
                  after.moves.end());
    EXPECT_EQ(Difference(program, Merged(joined)), "");
  }
}

TEST_F(GrblCliTest, AFloodOfShortLinesFillsTheReceiveBufferButNeverOverflowsIt) {
  // 480 pixels of 0.2 mm, a line each, on a board whose motion is slower
  // than the wire: its planner stays full and the lines wait in its buffer.
  ASSERT_TRUE(WritePictureFile(File("flood.bmp"), Greys(60, 8)));
  const std::vector<std::string> job = Job({"--set", "Etching_width=12", "engrave", "@flood"});
  const std::vector<Move> program = Merged(Exported(job));
  const auto record = File("record");
  const auto report = File("buffer");
  {
    BoardProcess board({"--grbl", "--motion-scale", "4", "--record", record.string(),
                        "--buffer-report", report.string()});
    ASSERT_EQ(RunOn(board, job), kCliDone) << err_.str();
  }
  std::ifstream in(report);
  std::string word;
  std::size_t overflowed = 1;
  std::size_t peak = 0;
  in >> word >> overflowed >> word >> peak;
  EXPECT_EQ(overflowed, 0u);
  // Streamed, not sent line by line: the buffer was kept nearly full.
  EXPECT_GE(peak, 110u);
  EXPECT_LE(peak, 127u);
  const BoardMoves done = ReadBoardMoves(ReadRecord(record), {0, 0, 0});
  for (const std::string& fault : done.faults) ADD_FAILURE() << fault;
  EXPECT_EQ(Difference(program, Merged(done.moves)), "");
}

TEST_F(GrblCliTest, RefusalsErrorsAndAlarmsEndTheJobWithGrblsWord) {
  struct Case {
    const char* name;
    std::vector<std::string> board;  // besides --grbl and the record
    std::vector<std::string> job;
    int status;
    std::vector<std::string> said;  // "@LINE" stands for the text of the board's line LINE
    const char* stateAfter;         // the board's state after the job, "" when gone
    bool runsTheJob;                // some of the job's blocks were carried out
  };
  const std::string error33(grbl::ErrorMeaning(33));
  const std::string alarm1(grbl::AlarmMeaning(1));
  // clang-format off
  const Case cases[] = {
      {"in an alarm at connect", {"--alarm", "--instant"}, {"engrave", "@greys"},
       kCliLinkError, {"тревог", "$X"}, "Alarm", false},
      {"a laser job without laser mode", {"--laser-mode", "0", "--instant"},
       {"cut", "--prepared", "@blobs"}, kCliLinkError, {"$32=0", "$32=1"}, "Idle", false},
      {"a router job without laser mode", {"--laser-mode", "0", "--instant"},
       {"mill", "@blobs", "--figure", "3"}, kCliDone, {}, "Idle", true},
      // Answered at once, the lines after it run before the hold arrives.
      {"a line refused", {"--error-at", "20:33", "--instant"}, {"engrave", "@greys"},
       kCliRefused, {"error:33", error33, "строку 20", "@20"}, "Idle", true},
      {"a hard limit", {"--limit-at", "20", "--motion-scale", "2"},
       {"cut", "--prepared", "@blobs"}, kCliRefused, {"ALARM:1", alarm1, "$X"}, "Alarm", true},
      {"the line dropped", {"--drop-after", "30", "--motion-scale", "2"}, {"engrave", "@greys"},
       kCliLinkError, {"Ошибка чтения"}, "", true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> job = Job(c.job);
    const auto record = File(std::string("record-") + c.name);
    std::vector<std::string> said = c.said;
    for (std::string& text : said) {
      if (!text.starts_with("@")) continue;
      // The same job on a board without the fault names its lines.
      const auto whole = File(std::string("whole-") + c.name);
      {
        BoardProcess board({"--grbl", "--instant", "--record", whole.string()});
        ASSERT_EQ(RunOn(board, job), kCliDone) << err_.str();
      }
      const std::int64_t line = std::stoll(text.substr(1));
      for (const Executed& block : ReadRecord(whole)) {
        if (block.line == line) text = "«" + block.text + "»";
      }
      ASSERT_FALSE(text.starts_with("@"));
    }
    std::vector<std::string> options = c.board;
    options.insert(options.begin(), {"--grbl", "--record", record.string()});
    BoardProcess board(options);
    const auto start = Clock::now();
    EXPECT_EQ(RunOn(board, job), c.status) << err_.str();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    for (const std::string& text : said) {
      EXPECT_NE(err_.str().find(text), std::string::npos) << text << " not in\n" << err_.str();
    }
    if (*c.stateAfter != '\0') {
      const auto status = AskStatus(board.path());
      ASSERT_TRUE(status);
      EXPECT_EQ(status->state, c.stateAfter) << status->text;
      EXPECT_EQ(status->speed, 0) << status->text;
    }
    const std::vector<Executed> executed = ReadRecord(record);
    EXPECT_EQ(!ReadBoardMoves(executed, {0, 0, 0}).moves.empty(), c.runsTheJob);
    // A job ended early leaves a journal that counts the lines done, never
    // more: a refused line and the blocks an alarm threw away were not. A
    // board that still answers tells exactly how many.
    if (c.status != kCliDone && c.runsTheJob) {
      const JournalRead journal = ReadJournal(Journal(CommandOf(job)));
      ASSERT_EQ(journal.status, JournalRead::Status::Ok) << journal.problem;
      EXPECT_LE(journal.record.point.lines, LinesDone(executed));
      if (*c.stateAfter != '\0') {
        EXPECT_EQ(journal.record.point.lines, LinesDone(executed));
      }
    }
  }
}

// A second Ctrl-C leaves every wait at once; the board must still not be left
// holding the job's lines with the spindle or the laser on, for a cycle start
// to go on with.
TEST_F(GrblCliTest, ASecondCtrlCEndsTheToolAtOnceWithNothingLeftRunning) {
  struct Case {
    const char* name;
    std::vector<std::string> job;
    const char* motionScale;
  };
  const Case cases[] = {
      {"cut", {"cut", "--prepared", "@blobs"}, "4"},
      {"mill-all with the spindle",
       {"--set", "grbl_spindle_speed=10000", "mill-all", "@blobs"},
       "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto record = File(std::string("record-") + c.name);
    BoardProcess board({"--grbl", "--motion-scale", c.motionScale, "--record", record.string()});
    const Interrupted run = RunStopped(
        board, Job(c.job), [&] { return RecordSize(record) >= 30; }, 2, std::chrono::seconds(3));
    ASSERT_TRUE(run.stopped) << err_.str();
    EXPECT_FALSE(run.hungAfter) << "the tool did not end after two Ctrl-C: " << err_.str();
    EXPECT_EQ(run.status, kCliStopped) << err_.str();
    const auto status = AskStatus(board.path());
    ASSERT_TRUE(status);
    EXPECT_FALSE(status->state.starts_with("Hold") || status->state == "Run") << status->text;
    EXPECT_EQ(status->speed, 0) << status->text;
  }
}
}  // namespace
}  // namespace vertolin
#endif
