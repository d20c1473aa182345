// A port whose far end is a script: it records what is written and hands out
// scripted read results. For the byte-exact cases a board would not produce.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace vertolin::test {

class ScriptedPort : public SerialPort {
 public:
  struct Shared {
    std::vector<std::string> written;
    std::deque<int> reads;  // results of ReadByte: bytes, -1 or -2
    bool ackEveryWrite = false;
    bool writeFails = false;
    int idleReads = 0;
  };

  explicit ScriptedPort(Shared& shared) : shared_(shared) {}

  void Write(std::string_view bytes) override {
    shared_.written.emplace_back(bytes);
    if (shared_.ackEveryWrite) shared_.reads.push_back('T');
  }
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds) override {
    if (shared_.writeFails) return false;
    Write(bytes);
    return true;
  }
  int ReadByte() override {
    if (shared_.reads.empty()) {
      ++shared_.idleReads;
      return -1;
    }
    const int value = shared_.reads.front();
    shared_.reads.pop_front();
    return value;
  }

  void Script(std::string_view bytes) {
    for (const char c : bytes) shared_.reads.push_back(static_cast<unsigned char>(c));
  }

 private:
  Shared& shared_;
};

}  // namespace vertolin::test
