#include "util/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vertolin {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;

  // Check the shape ourselves: from_chars alone would accept "1e" prefixes
  // and stop quietly at the first character it does not know.
  std::string normal;
  normal.reserve(text.size());
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') normal.push_back(text[i++]);
  bool digits = false;
  bool separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      digits = true;
      normal.push_back(c);
    } else if ((c == ',' || c == '.') && !separator) {
      separator = true;
      normal.push_back('.');
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normal.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal.push_back(text[i++]);
    bool expDigits = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      expDigits = true;
      normal.push_back(text[i]);
    }
    if (!expDigits) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;

  const char* first = normal.data();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  double value = 0;
  const auto [end, ec] = std::from_chars(first, normal.data() + normal.size(), value);
  if (ec != std::errc() || end != normal.data() + normal.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

double RoundHalfEven(double value) {
  // The default floating-point environment rounds to nearest, ties to even.
  return std::nearbyint(value);
}

std::optional<std::int32_t> RoundToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = RoundHalfEven(value);
  if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      r > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(r);
}

std::string CountText(std::int64_t count, std::string_view one, std::string_view few,
                      std::string_view many) {
  const std::int64_t last = (count < 0 ? -count : count) % 100;
  std::string_view word = many;
  if (last % 10 == 1 && last != 11) word = one;
  if (last % 10 >= 2 && last % 10 <= 4 && (last < 12 || last > 14)) word = few;
  return IntText(count) + " " + std::string(word);
}

std::string IntText(std::int64_t value) {
  char buffer[24];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string FieldText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text(buffer);
  for (char& c : text) {
    if (c == '.') c = ',';
  }
  return text;
}

}  // namespace vertolin
