// A stream buffer for benchmarks of command streams: counts the lines
// written without keeping them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <streambuf>

namespace vertolin {

class CountingBuffer : public std::streambuf {
 public:
  std::size_t lines = 0;

 protected:
  int overflow(int c) override {
    if (c == '\n') ++lines;
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    lines += static_cast<std::size_t>(std::count(s, s + n, '\n'));
    return n;
  }
};

}  // namespace vertolin
