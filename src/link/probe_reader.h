// The reading half of ReadProbe: the board answers a probe line with decimal
// digits followed by "OK" (137OK), in as many pieces as the port delivers.
// The value is the digits before the first "OK" read as one number; every
// other character is skipped, so a sign is ignored, and carriage returns and
// line feeds are ignored wherever they appear, even between "O" and "K".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vertolin {

namespace texts {

inline constexpr std::string_view kProbeValueTooLarge =
    "Плата прислала измерение больше, чем помещается в число.\r\n\r\nРабота программы остановлена.";

}  // namespace texts

class ProbeReader {
 public:
  enum class Status {
    NeedMore,   // no "OK" yet: feed the next bytes
    Value,      // `value` holds the measurement
    ReadError,  // the digits pass the 32-bit range: treated as a failed read
  };
  struct Result {
    Status status = Status::NeedMore;
    std::int32_t value = 0;
    // Bytes of this piece that belong to the reply (up to and including the
    // "K", or the digit that overflowed); the rest is not the reply's.
    std::size_t consumed = 0;
  };

  // Takes the next piece of the reply. After Value or ReadError the reader
  // starts afresh with the next piece, as at the start of every ReadProbe.
  Result Feed(std::string_view bytes);

  // Forgets a reply in progress.
  void Reset() { *this = ProbeReader(); }

 private:
  std::int32_t value_ = 0;
  bool afterO_ = false;  // the last character that counts was "O"
};

}  // namespace vertolin
