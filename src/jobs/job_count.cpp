#include "jobs/job_count.h"

#include <deque>
#include <memory>
#include <string>
#include <utility>

#include "link/link.h"
#include "link/link_error.h"
#include "link/link_format.h"
#include "motion/native_protocol.h"
#include "link/serial_port.h"
#include "link/window_link.h"
#include "settings/machine_profile.h"

namespace vertolin {

namespace {

// Messages are dropped and a question is answered "stop": the real run asks
// it again. No events run, so nothing the person does can land in a count.
class QuietFrontend : public Frontend {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ShowFirmwareWarning(std::string_view) override {}
  void RunPendingEvents() override {}
};

// Answers every line with "T" (the identification query with the firmware
// letter first, a probe's line with the measurement "0OK"); it sees the
// window link's motions to know a probe.
class CountingPort : public SerialPort, public MotionObserver {
 public:
  explicit CountingPort(char kind) : kind_(kind) {}

  void Written(const Motion& motion, std::string_view) override {
    probeNext_ = motion.kind == MotionKind::Probe;
  }
  void Write(std::string_view bytes) override {
    if (std::exchange(probeNext_, false)) {
      replies_.insert(replies_.end(), {'0', 'O', 'K'});
      return;
    }
    if (bytes == kIdentify) replies_.push_back(kind_);
    replies_.push_back('T');
  }
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds) override {
    Write(bytes);
    return true;
  }
  // A read with no answer owed would wait for ever on a board that is not
  // there: it is a lost line, which ends the count.
  int ReadByte() override {
    if (replies_.empty()) return -2;
    const char c = replies_.front();
    replies_.pop_front();
    return static_cast<unsigned char>(c);
  }
  bool TakesTime() const override { return false; }

 private:
  char kind_;
  bool probeNext_ = false;
  std::deque<char> replies_;
};

char KindLetter(const LinkFormat& format) {
  return format.kind.empty() ? 'M' : format.kind.front();
}

}  // namespace

std::optional<JobEstimate> CountJob(WindowLink& real, const CountedRun& run, MotionObserver* also) {
  if (!real.DriveOn() && also == nullptr) return std::nullopt;
  const MachineProfile& profile = real.link().profile();
  const LinkFormat& format = real.format();
  QuietFrontend frontend;
  Link link(frontend, profile);
  JobEstimator estimator(profile.idleDelay, profile.baud);
  auto port = std::make_unique<CountingPort>(KindLetter(format));
  CountingPort& answers = *port;
  link.Attach(std::move(port));
  WindowLink window(link, format);
  window.AddMotionObserver(&estimator);
  window.AddMotionObserver(&answers);
  if (also != nullptr) window.AddMotionObserver(also);
  window.SetDriveSwitch([] { return true; });
  window.CopyCarryFrom(real);
  try {
    if (run(window).outcome != JobOutcome::Done) return std::nullopt;
  } catch (const LinkError&) {
    return std::nullopt;
  }
  return estimator.estimate();
}

}  // namespace vertolin
