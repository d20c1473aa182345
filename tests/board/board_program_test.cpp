// The vertolin-board program over a real pseudo-terminal, opened the way a
// serial port is.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "board/board_process.h"

namespace vertolin {
namespace {

int OpenPort(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios raw{};
  ::tcgetattr(fd, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(fd, TCSANOW, &raw);
  return fd;
}

void Send(int fd, std::string_view text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Up to `count` bytes, whatever came within two seconds.
std::string Receive(int fd, std::size_t count) {
  std::string got;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (got.size() < count && std::chrono::steady_clock::now() < limit) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string TempPath(const char* name) {
  const std::string path = ::testing::TempDir() + name + std::to_string(::getpid());
  std::remove(path.c_str());
  return path;
}

TEST(BoardProgramTest, AnswersOverThePortAndRecordsEveryCommand) {
  const std::string record = TempPath("board_record_m_");
  {
    BoardProcess board({"--record", record});
    int fd = OpenPort(board.path());
    ASSERT_GE(fd, 0);
    Send(fd, "V;");
    EXPECT_EQ(Receive(fd, 2), "MT");
    Send(fd, "10,-5,3,100;");
    EXPECT_EQ(Receive(fd, 1), "T");
    // The port may be closed and opened again, as the program does between jobs.
    ::close(fd);
    fd = OpenPort(board.path());
    ASSERT_GE(fd, 0);
    Send(fd, "V;");
    EXPECT_EQ(Receive(fd, 2), "MT");
    ::close(fd);
  }
  EXPECT_EQ(ReadFile(record), "V;\t0 0 0\n10,-5,3,100;\t10 -5 3\nV;\t10 -5 3\n");
  std::remove(record.c_str());
}

TEST(BoardProgramTest, RecordsBurnsAndKeepsOddBytesOnOneLine) {
  const std::string record = TempPath("board_record_p_");
  {
    BoardProcess board({"--kind", "P", "--record", record});
    const int fd = OpenPort(board.path());
    ASSERT_GE(fd, 0);
    Send(fd, ",,,2,400;4,0,300;a\tb;");
    EXPECT_EQ(Receive(fd, 3), "TTT");
    ::close(fd);
  }
  EXPECT_EQ(ReadFile(record), ",,,2,400;\t0 0 0\n4,0,300;\t4 0 0 burn=300\na\\x09b;\t4 0 0\n");
  std::remove(record.c_str());
}

TEST(BoardProgramTest, DroppedLineFailsTheClientsReads) {
  BoardProcess board({"--kind", "S", "--drop-after", "1", "--crlf"});
  const int fd = OpenPort(board.path());
  ASSERT_GE(fd, 0);
  Send(fd, "V;");
  EXPECT_EQ(Receive(fd, 4), "ST\r\n");
  pollfd ready{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 2000), 1);
  char byte = 0;
  EXPECT_LE(::read(fd, &byte, 1), 0);
  ::close(fd);
}

TEST(BoardProgramTest, FallsSilentAfterTheCommandsItAnswers) {
  BoardProcess board({"--after", "1", "--silent"});
  const int fd = OpenPort(board.path());
  ASSERT_GE(fd, 0);
  Send(fd, "V;");
  EXPECT_EQ(Receive(fd, 2), "MT");
  Send(fd, "1,0,0,100;");
  pollfd ready{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&ready, 1, 200), 0);
  ::close(fd);
}

TEST(BoardProgramTest, ServesAGrblBoardAndRecordsItsBlocks) {
  const std::string record = TempPath("board_record_grbl_");
  {
    BoardProcess board({"--grbl", "--instant", "--surface", "-1.5", "--record", record});
    const int fd = OpenPort(board.path());
    ASSERT_GE(fd, 0);
    const std::string banner = "\r\nGrbl 1.1h ['$' for help]\r\n";
    EXPECT_EQ(Receive(fd, banner.size()), banner);
    Send(fd, "G21 G90\nM4 S0\nG1 X2 F600 S250\nG38.2 Z-5 F100\nM5\n?");
    const std::string answers =
        "ok\r\nok\r\nok\r\n[PRB:2.000,0.000,-1.500:1]\r\nok\r\nok\r\n"
        "<Idle|MPos:2.000,0.000,-1.500|FS:0,0>\r\n";
    EXPECT_EQ(Receive(fd, answers.size()), answers);
    ::close(fd);
  }
  EXPECT_EQ(ReadFile(record),
            "1\tG21 G90\t0.000 0.000 0.000\tlaser off S0\n"
            "2\tM4 S0\t0.000 0.000 0.000\tlaser off S0\n"
            "3\tG1 X2 F600 S250\t2.000 0.000 0.000\tlaser on S250\n"
            "4\tG38.2 Z-5 F100\t2.000 0.000 -1.500\tlaser off S250\n"
            "5\tM5\t2.000 0.000 -1.500\tlaser off S250\n");
  std::remove(record.c_str());
}

TEST(BoardProgramTest, GrblBoardDropsItsLine) {
  BoardProcess board({"--grbl", "--drop-after", "1"});
  const int fd = OpenPort(board.path());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Receive(fd, 30), "\r\nGrbl 1.1h ['$' for help]\r\n");
  Send(fd, "$I\n$I\n");
  EXPECT_EQ(Receive(fd, 42), "[VER:1.1h.20190825:]\r\n[OPT:V,15,128]\r\nok\r\n");
  pollfd ready{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 2000), 1);
  char byte = 0;
  EXPECT_LE(::read(fd, &byte, 1), 0);
  ::close(fd);
}

TEST(BoardProgramTest, BadOptionsGiveNoPort) {
  EXPECT_THROW(BoardProcess({"--after", "-1", "--babble"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--kind", "MM"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--delay", "soon"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--pace", "--baud", "0"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--grbl", "--kind", "M"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--instant"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--grbl", "--laser-mode", "2"}), std::runtime_error);
  EXPECT_THROW(BoardProcess({"--grbl", "--motion-scale", "-1"}), std::runtime_error);
}

}  // namespace
}  // namespace vertolin
