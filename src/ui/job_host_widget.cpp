#include "ui/job_host_widget.h"

#include <algorithm>
#include <utility>

#include "jobs/job_journal.h"
#include "link/link.h"
#include "link/window_link.h"
#include "ui/frontend_dialog.h"

namespace vertolin {

namespace {

constexpr std::string_view kLinkLostResumable =
    "Связь с платой потеряна: задание прервано. Когда плата снова ответит, запустите его "
    "ещё раз: Vertolin предложит продолжить с места остановки.";

}  // namespace

JobHost::JobHost(std::function<void()> changed)
    : changed_(std::move(changed)), bar_(NewJobProgressBar()) {}

JobHost::~JobHost() { DropJobProgressBar(bar_); }

std::vector<JobHost*>& JobHost::Active() {
  static std::vector<JobHost*> active;
  return active;
}

bool JobHost::Run(std::shared_ptr<const void> keep, const Count& count,
                  const std::function<void()>& job) {
  return Run(std::move(keep), count, Journal{}, job);
}

bool JobHost::Run(std::shared_ptr<const void> keep, const Count& count, const Journal& journal,
                  const std::function<void()>& job) {
  if (running_) return false;
  // Held to the end of the job: the window may drop its own reference.
  const std::shared_ptr<const void> held = std::move(keep);
  count_ = count ? count() : std::nullopt;
  struct Running {
    JobHost& host;
    explicit Running(JobHost& h) : host(h) {
      host.running_ = true;
      Active().push_back(&host);
      host.started_ = std::chrono::steady_clock::now();
      host.dialogsBefore_ = DialogTime::Seconds();
      host.last_ = JobProgress{};
      // Before the first report the time left is the estimate's; the times
      // run on between reports, which a long line keeps apart.
      if (host.count_) {
        host.Show(host.last_);
        TickJobProgress(*host.bar_, [&host = host] {
          if (host.count_) host.Show(host.last_);
        });
      }
      if (host.changed_) host.changed_();
    }
    ~Running() {
      auto& active = Active();
      active.erase(std::remove(active.begin(), active.end(), &host), active.end());
      host.running_ = false;
      host.count_.reset();
      HideJobProgress(*host.bar_);
      if (host.changed_) host.changed_();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
  };
  bool journalKept = false;
  {
    const Running running(*this);
    std::optional<JournalScope> journalScope;
    if (count_ && journal.window != nullptr) {
      journalScope.emplace(*journal.window, JournalPath(journal.settingsFile, journal.name),
                           journal.name, journal.caption, *count_);
      journalKept = true;
    }
    job();
  }
  // After the window has said that the link is lost (its buttons follow the
  // end of the job): a job whose journal is kept can go on where the board
  // stopped, which the person should know before giving the work up.
  if (journalKept) {
    Link& link = journal.window->link();
    if (link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost) {
      link.frontend().ShowStatus(kLinkLostResumable);
    }
  }
  return true;
}

bool JobHost::ShowProgress(const JobProgress& progress) {
  const auto& active = Active();
  if (active.empty() || !active.back()->count_) return false;
  active.back()->Show(progress);
  return true;
}

void JobHost::Show(const JobProgress& progress) {
  last_ = progress;
  JobProgress shown = progress;
  shown.elapsedSeconds = JobSeconds();
  ShowJobProgress(*bar_, ProgressTexts(shown, *count_), progress.linesSent, count_->lines);
}

double JobHost::JobSeconds() const {
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  return std::max(wall - (DialogTime::Seconds() - dialogsBefore_), 0.0);
}

namespace {

struct DialogClock {
  int open = 0;
  std::chrono::steady_clock::time_point since;
  double closedSeconds = 0;
};

DialogClock& Dialogs() {
  static DialogClock clock;
  return clock;
}

}  // namespace

JobHost::DialogTime::DialogTime() {
  DialogClock& clock = Dialogs();
  if (clock.open++ == 0) clock.since = std::chrono::steady_clock::now();
}

JobHost::DialogTime::~DialogTime() {
  DialogClock& clock = Dialogs();
  if (--clock.open == 0) {
    clock.closedSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clock.since).count();
  }
}

double JobHost::DialogTime::Seconds() {
  const DialogClock& clock = Dialogs();
  double seconds = clock.closedSeconds;
  if (clock.open > 0) {
    seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clock.since).count();
  }
  return seconds;
}

}  // namespace vertolin
