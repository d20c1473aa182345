// Characters received from the board and not yet taken by a wait.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vertolin {

class ReplyBuffer {
 public:
  // A board that talks without ever acknowledging must not fill memory: past
  // this size only the tail is kept (it holds no "T", so nothing is lost).
  static constexpr std::size_t kLimit = 4096;

  void Append(char c);
  bool HasAck() const { return acks_ > 0; }

  // Takes one acknowledgement: drops carriage returns and line feeds, then
  // everything up to and including the first "T". "T\r\n" leaves nothing,
  // "TT" leaves "T" for the next wait.
  void ConsumeAck();

  void Clear();
  std::string_view text() const { return text_; }

 private:
  std::string text_;
  std::size_t acks_ = 0;  // "T" characters in text_
};

// Removes carriage returns and line feeds.
std::string WithoutLineEnds(std::string_view text);

}  // namespace vertolin
