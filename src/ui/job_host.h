// How a window hosts its jobs, whatever they are: one at a time (events run
// inside a job's waits, so a second click must not nest a job), the window
// told when one starts and ends so that its buttons follow, and the objects
// the job works on kept alive until it has unwound, even when the window is
// closed or loads another picture meanwhile.
#pragma once

#include <functional>
#include <memory>

namespace vertolin {

class JobHost {
 public:
  // `changed` runs when a job starts and when it ends.
  explicit JobHost(std::function<void()> changed) : changed_(std::move(changed)) {}
  JobHost(const JobHost&) = delete;
  JobHost& operator=(const JobHost&) = delete;

  bool Running() const { return running_; }

  // Runs `job` holding `keep` alive, unless a job runs already. False when
  // it was refused.
  bool Run(std::shared_ptr<const void> keep, const std::function<void()>& job);

 private:
  std::function<void()> changed_;
  bool running_ = false;
};

}  // namespace vertolin
