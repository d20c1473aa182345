// vertolin-cli: the windows' jobs without windows, for scripting, for checking
// a job before it runs, and for tests.
#pragma once

#include <csignal>
#include <iosfwd>
#include <string>
#include <vector>

namespace vertolin {

// Exit statuses of the tool.
enum CliStatus : int {
  kCliDone = 0,
  kCliRefused = 1,  // bad field or file; a message says why
  kCliUsage = 2,
  kCliLinkError = 3,
  kCliStopped = 4,     // stopped by the person
  kCliWrongBoard = 5,  // the board answered with another firmware than the job needs
};

struct CliStreams {
  std::ostream& out;  // command lines (--print) and results
  std::ostream& err;  // messages as "Title: text"
  // Counts interrupts (Ctrl-C): the first asks the job to stop, a second one
  // also ends a wait for a board that does not answer.
  const volatile std::sig_atomic_t* interrupts = nullptr;
  // Standard error is a terminal: job commands show their progress there
  // unless told otherwise.
  bool errIsTerminal = false;
};

// Runs one command line (without the program name).
int RunCli(const std::vector<std::string>& args, CliStreams streams);

}  // namespace vertolin
