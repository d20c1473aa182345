#include "modes/connectivity/connectivity_list.h"

#include <algorithm>

#include "util/frontend.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

std::array<bool, kPatternCells> PatternCells(std::int32_t number) {
  std::array<bool, kPatternCells> cells{};
  std::int32_t m = number;
  for (int k = 1; k <= kPatternCells; ++k) {
    // C++ keeps the sign of the remainder (-1 for negative odd numbers).
    cells[k - 1] = (m % 2 == 1);
    m /= 2;
  }
  return cells;
}

bool IsCandidate(std::int32_t number) {
  const auto cells = PatternCells(number);
  return cells[kCentreCell - 1] && std::count(cells.begin(), cells.end(), true) >= 3;
}

void ConnectivityList::Next() {
  if (patternNumber_ <= kLastAdvancedNumber) ++patternNumber_;
  while (!IsCandidate(patternNumber_)) {
    // Nothing above the limit is advanced: without this the search would
    // look at the same number for ever.
    if (patternNumber_ > kLastAdvancedNumber) return;
    // A negative number lights no cell, so counting up through them one by
    // one could only end at the first candidate from 0; go there at once.
    if (patternNumber_ < 0) patternNumber_ = 0;
    ++patternNumber_;
  }
}

void ConnectivityList::Include() {
  if (!list_.empty()) list_ += ',';
  list_ += NumberText();
  Next();
}

bool ConnectivityList::Show(std::string_view text) {
  const auto value = ParseNumber(text);
  const auto number = value ? RoundToInt32(*value) : std::nullopt;
  if (!number) {
    frontend_.ShowMessage(texts::kTitleError, kNotANumberText);
    return false;
  }
  patternNumber_ = *number;
  return true;
}

std::string ConnectivityList::NumberText() const { return IntText(patternNumber_); }

}  // namespace vertolin
