// The tool's side of the job journal: which journal a job command keeps, its
// fingerprint, and --resume.
#pragma once

#include <optional>

#include "cli/cli_context.h"
#include "jobs/job_journal.h"

namespace vertolin {

// The journal of a job command about to run on a port, and with --resume the
// point it goes on from. A refused resume (no journal, a damaged one, one of
// another picture or other settings) is told and gives the exit status
// instead, the journal left as it was.
struct JournalSetup {
  std::optional<JobJournal> journal;
  std::optional<ResumePoint> resume;
  std::optional<HeadPlace> place;  // where the head stood when the job ended
  // A grbl job whose link was lost: the lines the board may have done beyond.
  std::vector<std::optional<std::array<double, 3>>> maybeDone;
  int failure = kCliDone;
};
JournalSetup SetUpJournal(const Options& options, const SettingsStore& settings,
                          ConsoleFrontend& frontend, std::ostream& err, std::int64_t totalLines);

// Says a journal that could not be kept up to date.
void TellJournalProblem(const JobJournal& journal, std::ostream& err);

}  // namespace vertolin
