#include "board/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace vertolin {

namespace {

using Clock = BoardSimulation::Clock;

volatile std::sig_atomic_t gStop = 0;

void OnStopSignal(int) { gStop = 1; }

// The longest the loop sleeps: bounds how late a stop signal that slipped
// in just before poll() is noticed.
constexpr int kMaxWaitMs = 50;
// Replies are gathered up to this much before one write.
constexpr std::size_t kOutboxFill = 4096;
// How long a dropping line waits for the client to read the last answers.
constexpr auto kDrainLimit = std::chrono::seconds(2);

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }

 private:
  int fd_;
};

int Fail(const char* what) {
  std::fprintf(stderr, "vertolin-board: %s: %s\n", what, std::strerror(errno));
  return 1;
}

// The text with anything unprintable escaped, so that one command stays one
// line whatever bytes it held.
std::string Escaped(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 40);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '\\') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      line += escaped;
    } else {
      line.push_back(c);
    }
  }
  return line;
}

std::string RecordLine(const BoardCommand& command) {
  std::string line = Escaped(command.text);
  line.push_back('\t');
  const auto& p = command.positionAfter;
  line += std::to_string(p[0]) + ' ' + std::to_string(p[1]) + ' ' + std::to_string(p[2]);
  if (command.burn) line += " burn=" + std::to_string(command.burnDelay);
  line.push_back('\n');
  return line;
}

std::string RecordLine(const GrblExecuted& block) {
  char position[128];
  std::snprintf(position, sizeof position, "%.3f %.3f %.3f", block.end[0], block.end[1],
                block.end[2]);
  char power[48];
  std::snprintf(power, sizeof power, "%g", block.power);
  return std::to_string(block.line) + '\t' + Escaped(block.text) + '\t' + position +
         (block.laserOn ? "\tlaser on S" : "\tlaser off S") + power + '\n';
}

void WriteLine(std::FILE* record, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), record);
  std::fflush(record);
}

int WaitMs(std::optional<Clock::time_point> next, Clock::time_point now) {
  if (!next) return kMaxWaitMs;
  if (*next <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
  return static_cast<int>(std::min<std::int64_t>(ms, kMaxWaitMs));
}

// Closing the master hangs the line up and throws away what the client has
// not read yet; give it a moment to take the last answers first.
void LetClientDrain(int slave) {
  const auto limit = Clock::now() + kDrainLimit;
  // Bytes written to the master reach the slave's queue a little later.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  int unread = 0;
  while (!gStop && Clock::now() < limit && ::ioctl(slave, FIONREAD, &unread) == 0 && unread > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

void NativeBoardSimulation::Receive(std::string_view bytes, Clock::time_point now) {
  board_.Receive(bytes, now);
}

std::string NativeBoardSimulation::TakeOutput(Clock::time_point now, std::size_t max) {
  return board_.TakeOutput(now, max);
}

std::optional<Clock::time_point> NativeBoardSimulation::NextEventTime() const {
  return board_.NextEventTime();
}

bool NativeBoardSimulation::LineDropped() const { return board_.LineDropped(); }

void NativeBoardSimulation::WriteRecord(std::FILE* record) {
  const auto& commands = board_.Record();
  for (; recorded_ < commands.size(); ++recorded_)
    WriteLine(record, RecordLine(commands[recorded_]));
}

void GrblBoardSimulation::Receive(std::string_view bytes, Clock::time_point now) {
  board_.Receive(bytes, now);
}

std::string GrblBoardSimulation::TakeOutput(Clock::time_point now, std::size_t max) {
  return board_.TakeOutput(now, max);
}

std::optional<Clock::time_point> GrblBoardSimulation::NextEventTime() const {
  return board_.NextEventTime();
}

bool GrblBoardSimulation::LineDropped() const { return board_.LineDropped(); }

void GrblBoardSimulation::LineBack(Clock::time_point now) { board_.LineBack(now); }

void GrblBoardSimulation::WriteRecord(std::FILE* record) {
  const auto& blocks = board_.Executed();
  for (; recorded_ < blocks.size(); ++recorded_) WriteLine(record, RecordLine(blocks[recorded_]));
}

int ServeOnPty(BoardSimulation& board, const PtyServeOptions& options) {
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  // No SA_RESTART: poll() should return at once on a stop signal.
  ::sigaction(SIGTERM, &stop, nullptr);
  ::sigaction(SIGINT, &stop, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Fd master;
  Fd slave;
  // A new port, its path printed: 0, or the exit code of a failure.
  const auto openPort = [&]() -> int {
    master.Reset(::posix_openpt(O_RDWR | O_NOCTTY));
    if (master.get() < 0) return Fail("posix_openpt");
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
      return Fail("grantpt/unlockpt");
    const char* name = ::ptsname(master.get());
    if (name == nullptr) return Fail("ptsname");
    const std::string path = name;

    // Holding the port open ourselves keeps the master from seeing a hang-up
    // whenever a client closes it, so clients may come and go.
    slave.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY));
    if (slave.get() < 0) return Fail("open port");
    termios raw{};
    if (::tcgetattr(slave.get(), &raw) != 0) return Fail("tcgetattr");
    ::cfmakeraw(&raw);
    if (::tcsetattr(slave.get(), TCSANOW, &raw) != 0) return Fail("tcsetattr");
    const int flags = ::fcntl(master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.get(), F_SETFL, flags | O_NONBLOCK) != 0) return Fail("fcntl");
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return 0;
  };
  if (const int failed = openPort(); failed != 0) return failed;

  std::vector<char> buffer(1 << 16);
  std::string outbox;
  const auto writeRecord = [&] {
    if (options.record != nullptr) board.WriteRecord(options.record);
  };

  while (!gStop) {
    auto now = Clock::now();
    // Only take more replies once the client has room for what we hold:
    // a babbling board must not fill our memory while nobody reads.
    if (outbox.size() < kOutboxFill) {
      while (outbox.size() < kOutboxFill) {
        std::string more = board.TakeOutput(now, kOutboxFill - outbox.size());
        if (more.empty()) break;
        outbox += more;
      }
      writeRecord();  // a pause line completes, a block ends inside TakeOutput
    }
    if (!outbox.empty()) {
      const ssize_t written = ::write(master.get(), outbox.data(), outbox.size());
      if (written > 0) {
        outbox.erase(0, static_cast<std::size_t>(written));
      } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        return Fail("write");
      }
    }
    if (board.LineDropped() && outbox.empty()) {
      LetClientDrain(slave.get());
      master.Close();
      slave.Close();
      if (!options.lineBack) return 0;
      const auto back = Clock::now() + *options.lineBack;
      while (!gStop && Clock::now() < back) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      board.LineBack(Clock::now());
      writeRecord();
      if (const int failed = openPort(); failed != 0) return failed;
      continue;
    }

    pollfd fds[2] = {{master.get(), static_cast<short>(POLLIN | (outbox.empty() ? 0 : POLLOUT)), 0},
                     {STDIN_FILENO, POLLIN, 0}};
    // With replies held back, wait for room rather than for the board's
    // next event (babble is always due and would make this spin).
    const int wait = outbox.empty() ? WaitMs(board.NextEventTime(), Clock::now()) : kMaxWaitMs;
    const int ready = ::poll(fds, options.stopAtStdinEof ? 2 : 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Fail("poll");
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      std::size_t got = 0;
      while (true) {
        const ssize_t n = ::read(master.get(), buffer.data() + got, buffer.size() - got);
        if (n > 0) {
          got += static_cast<std::size_t>(n);
          if (got < buffer.size()) break;  // drained: no need for another read to see EAGAIN
          now = Clock::now();
          board.Receive(std::string_view(buffer.data(), got), now);
          got = 0;
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
        if (n == 0) errno = EIO;
        return Fail("read");
      }
      if (got > 0) board.Receive(std::string_view(buffer.data(), got), Clock::now());
      writeRecord();
    }
    if (options.stopAtStdinEof && (fds[1].revents & (POLLIN | POLLERR | POLLHUP))) {
      char discard[256];
      const ssize_t n = ::read(STDIN_FILENO, discard, sizeof discard);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return 0;
    }
  }
  return 0;
}

}  // namespace vertolin
