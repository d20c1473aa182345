// Serial port on POSIX terminals (USB serial adapters, pseudo-terminals).
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "util/frontend.h"
#include "link/serial_port.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

speed_t BaudConstant(int baud) {
  switch (baud) {
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
#ifdef B460800
    case 460800:
      return B460800;
#endif
#ifdef B500000
    case 500000:
      return B500000;
#endif
#ifdef B921600
    case 921600:
      return B921600;
#endif
#ifdef B1000000
    case 1000000:
      return B1000000;
#endif
    default:
      return B0;
  }
}

// How long a plain write keeps at a line the driver does not take at once.
constexpr std::chrono::milliseconds kWholeLineLimit{2000};

class PosixPort : public SerialPort {
 public:
  explicit PosixPort(int fd) : fd_(fd) {}
  ~PosixPort() override { ::close(fd_); }
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  void Write(std::string_view bytes) override {
    // The whole line or, on a dead line, what went before the limit: a line
    // cut by a signal (EINTR, a short write) or by a full output queue would
    // leave the board half a command, which the next line would complete.
    // A line that did not go out shows up as a missing acknowledgement.
    const auto deadline = std::chrono::steady_clock::now() + kWholeLineLimit;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
  }

  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds limit) override {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
    if (done < bytes.size()) {
      ::tcflush(fd_, TCOFLUSH);
      return false;
    }
    // "Transferred" means out of our hands and the driver's: wait for the
    // output queue to drain, as far as the limit allows.
    while (true) {
      int queued = 0;
      if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
      if (std::chrono::steady_clock::now() >= deadline) {
        ::tcflush(fd_, TCOFLUSH);
        return false;
      }
      ::usleep(500);
    }
  }

  int ReadByte() override {
    if (next_ < filled_) return buffer_[next_++];
    next_ = filled_ = 0;
    pollfd p{fd_, POLLIN, 0};
    int ready = 0;
    do {
      ready = ::poll(&p, 1, static_cast<int>(kReadWindow.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return -2;
    if (ready == 0) return -1;
    if ((p.revents & POLLIN) == 0) return -2;  // hang-up or error without data
    const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
    if (n > 0) {
      filled_ = static_cast<std::size_t>(n);
      return buffer_[next_++];
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return -1;
    return -2;  // end of file or a failed read: the line is gone
  }

 private:
  int fd_;
  unsigned char buffer_[256];
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
};

std::string DevicePath(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);
  return "/dev/" + std::string(name);
}

// The Win32 codes the person's messages are chosen by.
constexpr int kCodeNotFound = 2;
constexpr int kCodeAccessDenied = 5;

int OpenFailureCode(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return kCodeNotFound;
    case EBUSY:
    case EACCES:
    case EPERM:
    case EWOULDBLOCK:
      return kCodeAccessDenied;
    default:
      return error;
  }
}

void ReportOpenFailure(std::string_view name, int error, Frontend& frontend, int* systemError) {
  if (systemError != nullptr) *systemError = error;
  const int code = OpenFailureCode(error);
  if (code == kCodeNotFound) {
    frontend.ShowMessage(texts::kTitleVertolin, PortNotFoundText(name));
  } else if (code == kCodeAccessDenied) {
    frontend.ShowMessage(texts::kTitleVertolin, PortBusyText(name));
  } else {
    frontend.ShowMessage(texts::kTitleVertolin, "CreateFile ошибка: " + IntText(code));
  }
}

}  // namespace

std::string SystemErrorText(int code) { return code == 0 ? std::string() : std::strerror(code); }

bool SupportedBaud(int baud) { return BaudConstant(baud) != B0; }

std::unique_ptr<SerialPort> OpenDevicePort(std::string_view name, int baud, Frontend& frontend,
                                           int* systemError) {
  const std::string path = DevicePath(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    ReportOpenFailure(name, errno, frontend, systemError);
    return nullptr;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    ReportOpenFailure(name, ENOENT, frontend, systemError);
    return nullptr;
  }
  // Exclusive use: the advisory lock keeps out other programs that honour it,
  // TIOCEXCL keeps out every later open but a privileged one.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    ::close(fd);
    ReportOpenFailure(name, error == EWOULDBLOCK ? EBUSY : error, frontend, systemError);
    return nullptr;
  }

  auto port = std::make_unique<PosixPort>(fd);
  termios tio{};
  bool stateOk = ::tcgetattr(fd, &tio) == 0;
  if (stateOk) {
    ::cfmakeraw(&tio);  // binary, 8 data bits, no parity, no software flow control
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | HUPCL);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = BaudConstant(baud);
    if (speed == B0) {
      errno = EINVAL;
      stateOk = false;
    } else {
      stateOk = ::cfsetispeed(&tio, speed) == 0 && ::cfsetospeed(&tio, speed) == 0 &&
                ::tcsetattr(fd, TCSANOW, &tio) == 0;
    }
  }
  if (!stateOk) {
    frontend.ShowMessage(texts::kTitleVertolin, "SetCommState ошибка: " + IntText(errno));
  }
  // DTR and RTS held off, as the boards expect; a pseudo-terminal has no
  // modem lines, so a refusal here is no fault.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd, TIOCMBIC, &lines);
  return port;
}

}  // namespace vertolin
