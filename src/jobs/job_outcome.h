// How a job ended, and where.
#pragma once

#include <cstdint>

namespace vertolin {

enum class JobOutcome {
  Done,      // it ran to its end
  Refused,   // a field, the picture or a move was wrong; a message said why
  Stopped,   // the person stopped it; it ended where it stood
  LinkLost,  // the board could not be read or written; it ended where it stood
};

struct JobResult {
  JobOutcome outcome = JobOutcome::Done;
  std::int64_t stepsDone = 0;     // program steps carried out
  std::int64_t linesSent = 0;     // command lines written
  std::int64_t acknowledged = 0;  // acknowledgements taken: the resume point

  // A result compares as its outcome: `RunJob(...) == JobOutcome::Done`.
  friend bool operator==(const JobResult& result, JobOutcome outcome) {
    return result.outcome == outcome;
  }
};

}  // namespace vertolin
