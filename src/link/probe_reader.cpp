#include "link/probe_reader.h"

#include <limits>

namespace vertolin {

ProbeReader::Result ProbeReader::Feed(std::string_view bytes) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') continue;
    if (afterO_ && c == 'K') {
      const std::int32_t value = value_;
      Reset();
      return {Status::Value, value, i + 1};
    }
    afterO_ = c == 'O';
    if (c >= '0' && c <= '9') {
      const int digit = c - '0';
      if (value_ > (kMax - digit) / 10) {
        Reset();
        return {Status::ReadError, 0, i + 1};
      }
      value_ = value_ * 10 + digit;
    }
  }
  return {Status::NeedMore, 0, bytes.size()};
}

}  // namespace vertolin
