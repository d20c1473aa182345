#include "cli/print_port.h"

#include <ostream>
#include <string>
#include <utility>

#include "motion/native_protocol.h"

namespace vertolin {

void PrintPort::Write(std::string_view bytes) {
  if (out_ != nullptr) *out_ << bytes << '\n';
  if (onLine_) onLine_(bytes);
  if (std::exchange(probeNext_, false)) {
    if (probeValues_.empty()) return;
    for (const char c : std::to_string(probeValues_.front()) + "OK") replies_.push_back(c);
    probeValues_.pop_front();
    return;
  }
  if (bytes == kIdentify) replies_.push_back(kind_);
  replies_.push_back('T');
}

bool PrintPort::WriteChecked(std::string_view bytes, std::chrono::milliseconds) {
  Write(bytes);
  return true;
}

int PrintPort::ReadByte() {
  if (replies_.empty()) return -1;
  const char c = replies_.front();
  replies_.pop_front();
  return static_cast<unsigned char>(c);
}

}  // namespace vertolin
