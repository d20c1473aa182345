// Runs the vertolin-board program for a test or a benchmark: starts it with
// the given options, learns the path of its port, and ends it when the
// object goes. The board is also told to stop when this process's end of its
// standard input closes, so a crashed test leaves no board behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vertolin {

class BoardProcess {
 public:
  // Throws std::runtime_error when the board does not start within a few
  // seconds (bad options, missing program).
  explicit BoardProcess(std::vector<std::string> args);
  ~BoardProcess();
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  // The port to open, e.g. "/dev/pts/7".
  const std::string& path() const;
  // The port the board serves once its line is back (--line-back): the next
  // path it prints; empty when none came within a few seconds.
  const std::string& NextPath();

 private:
  void Stop() noexcept;

  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string path_;
};

}  // namespace vertolin
