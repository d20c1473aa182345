#include "link/link.h"

#include <chrono>

#include "link/link_error.h"
#include "link/texts.h"

namespace vertolin {

namespace {

std::int64_t SteadyWholeSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Link::Link(Frontend& frontend, MachineProfile profile)
    : wholeSeconds(SteadyWholeSeconds), pump_(frontend), profile_(std::move(profile)) {}

Link::~Link() = default;

bool Link::Open() { return Open(profile_.port, profile_.baud); }

bool Link::Open(std::string_view name, int baud) {
  Close();
  lastOpenError_ = 0;
  port_ = SerialOpen(name, baud, frontend(), &lastOpenError_);
  return port_ != nullptr;
}

void Link::Attach(std::unique_ptr<SerialPort> port) {
  grbl_.reset();
  grblIdentity_.reset();
  port_ = std::move(port);
}

void Link::Close() {
  grbl_.reset();
  grblIdentity_.reset();
  port_.reset();
}

bool Link::ConnectGrbl() {
  if (grbl_ != nullptr && !grblReadAgain_) return true;
  if (grbl_ != nullptr) {
    // The same stream, which the window links hold.
    grblIdentity_ = grbl_->Connect();
    grblReadAgain_ = !grblIdentity_;
    return grblIdentity_.has_value();
  }
  auto stream = std::make_unique<GrblStream>(*this);
  grblIdentity_ = stream->Connect();
  if (grblIdentity_) grbl_ = std::move(stream);
  return grbl_ != nullptr;
}

void Link::FailRead() {
  // A port closed under a wait by the program's own shutdown is no failure
  // to tell the person about.
  if (!closing_) frontend().ShowMessage(texts::kTitleVertolin, texts::kReadError);
  RequestStop(StopCause::LinkLost);
  throw LinkError();
}

void Link::Confirmed(const Motion& motion, bool now) {
  machine_.Acknowledged(motion);
  const auto clock = std::chrono::steady_clock::now();
  if (!now && clock - positionShown_ < std::chrono::milliseconds(100)) return;
  positionShown_ = clock;
  frontend().ShowPosition(machine_.Shown(profile_));
}

void Link::ShowPosition() {
  positionShown_ = std::chrono::steady_clock::now();
  frontend().ShowPosition(machine_.Shown(profile_));
}

}  // namespace vertolin
