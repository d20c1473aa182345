// The numeric field filter: what a typed character becomes in a field that
// holds a number of millimetres or microseconds.
#pragma once

#include <optional>

namespace vertolin {

// Digits, "-", "," and Backspace pass; "." becomes ","; every other
// character is dropped (nothing). Sign and comma positions are not checked:
// the number is tested where it is used.
std::optional<char32_t> FilterNumberKey(char32_t typed);

}  // namespace vertolin
