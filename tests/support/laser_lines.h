// The laser value of an outlining command line: its third field (+1 on,
// −1 off), 0 when it has none. Pause lines ("0,0,-1") count too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vertolin::test {

inline int LaserValue(std::string_view line) {
  std::vector<std::string> fields{""};
  for (const char c : line) {
    if (c == ',') {
      fields.emplace_back();
    } else if (c != ';') {
      fields.back().push_back(c);
    }
  }
  if (fields.size() < 3 || fields[2].empty()) return 0;
  return std::stoi(fields[2]);
}

}  // namespace vertolin::test
