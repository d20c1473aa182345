// How a window hosts its jobs, whatever they are: one at a time (events run
// inside a job's waits, so a second click must not nest a job), the window
// told when one starts and ends so that its buttons follow, the objects the
// job works on kept alive until it has unwound, even when the window is
// closed or loads another picture meanwhile, and the job's progress shown
// in the window's bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_estimate.h"

class QProgressBar;

namespace vertolin {

class WindowLink;

class JobHost {
 public:
  // What the job will send, counted before it starts (jobs/job_count.h);
  // nothing when it cannot be counted.
  using Count = std::function<std::optional<JobEstimate>()>;

  // `changed` runs when a job starts and when it ends.
  explicit JobHost(std::function<void()> changed);
  ~JobHost();
  JobHost(const JobHost&) = delete;
  JobHost& operator=(const JobHost&) = delete;

  bool Running() const { return running_; }

  // The running job's bar ("jobProgress"), for the window to place; hidden
  // while no counted job runs. The window's layout takes it over.
  QProgressBar* bar() const { return bar_; }

  // Counts the job, then runs `job` holding `keep` alive, unless a job runs
  // already. False when it was refused. A job with a count shows its lines
  // and times in the bar; one without is left to the status bar.
  bool Run(std::shared_ptr<const void> keep, const Count& count, const std::function<void()>& job);

  // A counted job that keeps a journal beside the settings file: its name
  // ("engrave", "mill-all", …), its caption for the offer to resume, and the
  // window link it runs on (jobs/job_journal.h, JournalScope).
  struct Journal {
    std::string name;
    std::string caption;
    WindowLink* window = nullptr;
    std::filesystem::path settingsFile;
  };
  bool Run(std::shared_ptr<const void> keep, const Count& count, const Journal& journal,
           const std::function<void()>& job);

  // A running job's progress report (Frontend::ShowProgress): shown in the
  // bar of the host whose job reports, and true, when that job was counted.
  // The bar's times are the host's own: they go on while the board works on
  // a long line, and leave out the time the person spends in a dialog.
  static bool ShowProgress(const JobProgress& progress);

  // Held while a modal box or dialog is open (the stop question, the
  // interruption dialog, a message): that time is the person's, not the
  // job's. Nested ones count once.
  class DialogTime {
   public:
    DialogTime();
    ~DialogTime();
    DialogTime(const DialogTime&) = delete;
    DialogTime& operator=(const DialogTime&) = delete;
    // Every dialog's seconds so far, an open one's included.
    static double Seconds();
  };

 private:
  // There is one thread, and a job starts inside another only through the
  // events its waits run, so the job reporting is always the innermost one.
  static std::vector<JobHost*>& Active();

  void Show(const JobProgress& progress);
  // The seconds since the job started, less those spent in dialogs.
  double JobSeconds() const;

  std::function<void()> changed_;
  bool running_ = false;
  std::optional<JobEstimate> count_;  // the running job's
  std::chrono::steady_clock::time_point started_;
  double dialogsBefore_ = 0;  // DialogTime::Seconds() when it started
  JobProgress last_;          // its last report, shown again as time goes on
  QProgressBar* bar_;
};

}  // namespace vertolin
