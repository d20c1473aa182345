#include "board/board_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#ifndef VERTOLIN_BOARD_PATH
#error "VERTOLIN_BOARD_PATH must name the vertolin-board program"
#endif

namespace vertolin {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kStopLimit = std::chrono::seconds(3);

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The next line the board prints, without its "\n"; empty when none came in time.
std::string ReadFirstLine(int fd) {
  std::string line;
  const auto limit = Clock::now() + kStartLimit;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - Clock::now()).count();
    if (left <= 0) return {};
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left)) < 0 && errno != EINTR) return {};
    if (ready.revents == 0) continue;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);  // one line only: the rest is not ours
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {};
    if (c == '\n') return line;
    line.push_back(c);
  }
}

}  // namespace

BoardProcess::BoardProcess(std::vector<std::string> args) {
  args.insert(args.begin(), VERTOLIN_BOARD_PATH);
  args.emplace_back("--stdin-eof");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Close-on-exec everywhere, so that no other child keeps these pipes open.
  int out[2];
  int in[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("BoardProcess: pipe failed");
  if (::pipe2(in, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw std::runtime_error("BoardProcess: pipe failed");
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  stdin_ = in[1];
  if (pid_ < 0) {
    CloseFd(out[0]);
    Stop();
    throw std::runtime_error("BoardProcess: fork failed");
  }
  path_ = ReadFirstLine(out[0]);
  stdout_ = out[0];
  if (path_.empty()) {
    Stop();
    throw std::runtime_error("BoardProcess: " + args.front() + " gave no port");
  }
}

BoardProcess::~BoardProcess() { Stop(); }

const std::string& BoardProcess::path() const { return path_; }

const std::string& BoardProcess::NextPath() {
  path_ = ReadFirstLine(stdout_);
  return path_;
}

void BoardProcess::Stop() noexcept {
  CloseFd(stdin_);
  CloseFd(stdout_);
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto limit = Clock::now() + kStopLimit;
  while (Clock::now() < limit) {
    if (::waitpid(pid_, nullptr, WNOHANG) != 0) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace vertolin
