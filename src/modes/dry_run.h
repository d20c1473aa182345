// A run that starts with the drive switch clear is dry: nothing is sent, so
// nothing it does may be what the next real run starts from. The windows run
// it on copies of what the job changes (as the count ahead does) and keep the
// window link's rounding carry from before it, which its moves advance
// without moving the machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/step_scaler.h"
#include "link/window_link.h"

namespace vertolin {

// Whether a run sent nothing: its drive switch was clear at the start and no
// move went out since (a switch ticked during the run made it real).
class DryWatch {
 public:
  explicit DryWatch(const WindowLink& window)
      : window_(window), dry_(!window.DriveOn()), movesBefore_(window.movesSent()) {}
  bool StayedDry() const { return dry_ && window_.movesSent() == movesBefore_; }

 private:
  const WindowLink& window_;
  bool dry_;
  std::int64_t movesBefore_;
};

// A job's end message, which after a run that sent nothing says so, so that
// nobody takes a picture drawn on screen for work done on the machine:
// "Гравировка закончена!" becomes "Гравировка закончена (без станка)!" and a
// line on what did not happen.
inline std::string DoneMessage(std::string_view done, bool stayedDry) {
  if (!stayedDry) return std::string(done);
  const bool exclaimed = !done.empty() && done.back() == '!';
  if (exclaimed) done.remove_suffix(1);
  return std::string(done) + " (без станка)" + (exclaimed ? "!" : "") +
         "\r\n\r\nСтанок не двигался: галочка работы на станке была снята.";
}

class DryRunScope {
 public:
  explicit DryRunScope(WindowLink& window)
      : window_(window),
        dry_(!window.DriveOn()),
        carry_(window.carry()),
        movesBefore_(window.movesSent()) {}
  // A run that stayed dry gives the carry back.
  ~DryRunScope() {
    if (StayedDry()) window_.RestoreCarry(carry_);
  }
  DryRunScope(const DryRunScope&) = delete;
  DryRunScope& operator=(const DryRunScope&) = delete;

  // The drive switch was clear at the start: the job should work on copies.
  bool dry() const { return dry_; }
  // Nothing went out: the copies are thrown away. A switch ticked during the
  // run sent the rest from where the dry part had left things, so then the
  // copies become what the window works on, as a run on them would have left it.
  bool StayedDry() const { return dry_ && window_.movesSent() == movesBefore_; }

 private:
  WindowLink& window_;
  bool dry_;
  StepScaler carry_;
  std::int64_t movesBefore_;
};

}  // namespace vertolin
