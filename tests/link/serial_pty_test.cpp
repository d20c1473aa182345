// The real POSIX serial layer against the vertolin-board program on a
// pseudo-terminal: what a person gets with a board on a USB port.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "board/board_process.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

class SerialPtyTest : public ::testing::Test {
 protected:
  bool Open(const BoardProcess& board) { return link_.Open(board.path(), 115200); }

  static std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static std::filesystem::path TempFile(const char* name) {
    std::random_device random;
    return std::filesystem::temp_directory_path() /
           (std::string("vertolin-") + std::to_string(random()) + "-" + name);
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
};

TEST_F(SerialPtyTest, EveryKindPassesItsWindowsHandshake) {
  for (const char kind : {'M', 'S', 'P', 'B', 'O'}) {
    BoardProcess board({"--kind", std::string(1, kind), "--crlf"});
    ASSERT_TRUE(Open(board)) << kind;
    const auto result = RunHandshake(link_, std::string(1, kind) + "T");
    EXPECT_TRUE(result.driveEnabled) << kind;
    EXPECT_EQ(result.status, texts::kStatusOpen);
    link_.Close();
  }
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(SerialPtyTest, MovesAreAcknowledgedAndTheBoardEndsWhereTheyLead) {
  const auto record = TempFile("record.txt");
  {
    BoardProcess board({"--kind", "M", "--record", record.string(), "--garbage", "x\r\n"});
    ASSERT_TRUE(Open(board));
    WindowLink window(link_, formats::kRouter);
    window.SetDriveSwitch([] { return true; });
    for (int i = 0; i < 200; ++i)
      window.Send({MotionKind::Cut, 1, (i % 2) ? 1 : -1, 1}, {0.3, 0.3, 2}, true);
    window.ArduinoMoveMM(1, 0, -1);
    EXPECT_FALSE(window.reply().HasAck());  // waits and acknowledgements stayed in step
  }
  const auto lines = ReadLines(record);
  ASSERT_FALSE(lines.empty());
  // 200 px at 0.3 steps each, then 1 mm; Y back where it started; Z 400 - 200.
  EXPECT_EQ(lines.back().substr(lines.back().find('\t') + 1), "260 0 200");
  std::filesystem::remove(record);
}

TEST_F(SerialPtyTest, SilentBoardGivesAnEmptyReplyAfterTwoToThreeSeconds) {
  BoardProcess board({"--silent"});
  ASSERT_TRUE(Open(board));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryFirmware(link_), "");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(2));
  EXPECT_LT(took, std::chrono::milliseconds(3500));
}

TEST_F(SerialPtyTest, LineDroppedMidJobEndsTheJobWithTheReadMessage) {
  BoardProcess board({"--drop-after", "5"});
  ASSERT_TRUE(Open(board));
  WindowLink window(link_, formats::kRouter);
  window.SetDriveSwitch([] { return true; });
  int sent = 0;
  EXPECT_THROW(
      {
        for (; sent < 100; ++sent) window.Send({MotionKind::Cut, 1}, {1, 1, 1}, true);
      },
      LinkError);
  EXPECT_EQ(sent, 5);  // five were acknowledged, then the line dropped
  EXPECT_TRUE(link_.StopRequested());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, texts::kReadError);
}

TEST_F(SerialPtyTest, LateBoardIsWaitedForWhileEventsRun) {
  BoardProcess board({"--delay", "120"});
  ASSERT_TRUE(Open(board));
  WindowLink window(link_, formats::kRouter);
  window.SetDriveSwitch([] { return true; });
  const auto start = std::chrono::steady_clock::now();
  window.ArduinoMoveMM(1, 1, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(120));
  EXPECT_GE(frontend_.eventRuns, 3);
}

TEST_F(SerialPtyTest, PortHeldByAnotherUserIsReportedAsInUse) {
  BoardProcess board({});
  ASSERT_TRUE(Open(board));
  test::RecordingFrontend other;
  EXPECT_EQ(SerialOpen(board.path(), 9600, other), nullptr);
  ASSERT_EQ(other.messages.size(), 1u);
  EXPECT_EQ(other.messages[0].title, "Vertolin");
  EXPECT_EQ(other.messages[0].text, PortBusyText(board.path()));

  // Closed, the port opens again and the board still answers.
  link_.Close();
  ASSERT_TRUE(Open(board));
  link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  EXPECT_EQ(QueryFirmware(link_), "MT");
}

TEST_F(SerialPtyTest, MissingPortIsReportedAsNotFound) {
  EXPECT_FALSE(link_.Open("ttyVertolinNone", 9600));  // looked up under /dev
  EXPECT_FALSE(link_.Open("/dev/ttyVertolinNone", 9600));
  EXPECT_EQ(link_.lastOpenError(), ENOENT);
  EXPECT_FALSE(SystemErrorText(ENOENT).empty());
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_EQ(frontend_.messages[0].text, PortNotFoundText("ttyVertolinNone"));
  EXPECT_NE(frontend_.messages[1].text.find("не найден."), std::string::npos);
}

TEST_F(SerialPtyTest, ByteZeroIsDistinctFromNothingWithinTheReadWindow) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string path = ::ttyname(slave);
  ASSERT_TRUE(link_.Open(path, 9600));
  ASSERT_EQ(::write(master, "\0A", 2), 2);
  EXPECT_EQ(SerialReadByte(link_), 0);
  EXPECT_EQ(SerialReadByte(link_), 'A');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SerialReadByte(link_), -1);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(15));
  EXPECT_LT(took, std::chrono::milliseconds(200));
  link_.Close();
  ::close(slave);
  ::close(master);
}

extern "C" void IgnoreAlarm(int) {}

// A line goes out whole whatever interrupts its write: signals that do not
// restart system calls arrive every millisecond, and the line is longer than
// the terminal takes at once, while the far end reads it slowly.
TEST_F(SerialPtyTest, ALineGoesOutWholeThroughSignalsAndAFullQueue) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  ASSERT_TRUE(link_.Open(::ttyname(slave), 9600));
  std::string line;
  for (int i = 0; line.size() < 64 * 1024; ++i) line += std::to_string(i) + ",";
  line += "0;";

  std::string received;
  std::thread reader([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    char buffer[97];
    while (received.size() < line.size() && std::chrono::steady_clock::now() < until) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  struct sigaction alarm {};
  alarm.sa_handler = IgnoreAlarm;  // no SA_RESTART: writes fail with EINTR
  struct sigaction previous {};
  ::sigaction(SIGALRM, &alarm, &previous);
  itimerval every{{0, 1000}, {0, 1000}};
  ::setitimer(ITIMER_REAL, &every, nullptr);
  SerialWrite(link_, line);
  itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  reader.join();
  EXPECT_EQ(received.size(), line.size());
  EXPECT_TRUE(received == line);
  link_.Close();
  ::close(slave);
  ::close(master);
}

}  // namespace
}  // namespace vertolin
