#include "link/reply_buffer.h"

#include <algorithm>

namespace vertolin {

void ReplyBuffer::Append(char c) {
  if (c == 'T') ++acks_;
  if (acks_ == 0 && text_.size() >= kLimit) text_.erase(0, text_.size() - kLimit / 2);
  text_.push_back(c);
}

void ReplyBuffer::ConsumeAck() {
  std::erase_if(text_, [](char c) { return c == '\r' || c == '\n'; });
  const std::size_t t = text_.find('T');
  if (t == std::string::npos) return;
  text_.erase(0, t + 1);
  --acks_;
}

void ReplyBuffer::Clear() {
  text_.clear();
  acks_ = 0;
}

std::string WithoutLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

}  // namespace vertolin
