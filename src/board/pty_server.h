// Serves a simulated board on a pseudo-terminal, so that the program's own
// serial code can talk to it as to a real port. POSIX only; not part of the
// core library.
#pragma once

#include <cstdio>

#include "board/simulated_board.h"

namespace vertolin {

struct PtyServeOptions {
  std::FILE* record = nullptr;  // one line per complete command, when given
  bool stopAtStdinEof = false;  // end when standard input closes
};

// Opens a pseudo-terminal, prints the path of its port on stdout and answers
// for `board` until a stop signal, the end of stdin (when asked) or the
// board's line drop. Returns the exit code for the program.
int ServeOnPty(SimulatedBoard& board, const PtyServeOptions& options);

}  // namespace vertolin
