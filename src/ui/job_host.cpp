#include "ui/job_host.h"

#include <utility>

namespace vertolin {

bool JobHost::Run(std::shared_ptr<const void> keep, const std::function<void()>& job) {
  if (running_) return false;
  // Held to the end of the job: the window may drop its own reference.
  const std::shared_ptr<const void> held = std::move(keep);
  struct Running {
    JobHost& host;
    explicit Running(JobHost& h) : host(h) {
      host.running_ = true;
      if (host.changed_) host.changed_();
    }
    ~Running() {
      host.running_ = false;
      if (host.changed_) host.changed_();
    }
  } running(*this);
  job();
  return true;
}

}  // namespace vertolin
