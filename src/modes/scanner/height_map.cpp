#include "modes/scanner/height_map.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <random>

#include "util/numbers.h"

namespace vertolin {
namespace {

constexpr std::int32_t kLowStart = 2000;
constexpr std::int32_t kHighStart = 0;
constexpr double kTopGrey = 255.0;

}  // namespace

HeightMap::HeightMap(int meshX, int meshY) {
  if (meshX < 1 || meshY < 1) return;
  meshX_ = meshX;
  meshY_ = meshY;
  values_.assign(static_cast<std::size_t>(meshX) * static_cast<std::size_t>(meshY), 0);
}

std::string HeightMapText(const HeightMap& map) {
  std::string text;
  for (int y = 1; y <= map.meshY(); ++y) {
    for (int x = 1; x <= map.meshX(); ++x) {
      if (x > 1) text += ' ';
      text += std::to_string(map.At(x, y));
    }
    text += '\n';
  }
  return text;
}

std::optional<HeightMap> ParseHeightMapText(std::string_view text, std::string& error) {
  std::vector<std::int32_t> values;
  std::size_t meshX = 0;
  int meshY = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++meshY;
    std::size_t count = 0;
    while (true) {
      std::int32_t value = 0;
      const auto [next, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
      if (ec != std::errc()) {
        error = "строка " + std::to_string(meshY) + ": ожидалось целое число";
        return std::nullopt;
      }
      values.push_back(value);
      ++count;
      line.remove_prefix(static_cast<std::size_t>(next - line.data()));
      if (line.empty()) break;
      if (line.front() != ' ' || line.size() == 1) {
        error = "строка " + std::to_string(meshY) + ": числа разделяются одним пробелом";
        return std::nullopt;
      }
      line.remove_prefix(1);
    }
    if (meshX == 0) meshX = count;
    if (count != meshX) {
      error = "строка " + std::to_string(meshY) + ": " + std::to_string(count) + " чисел вместо " +
              std::to_string(meshX);
      return std::nullopt;
    }
  }
  if (values.empty()) {
    error = "в файле нет ни одного числа";
    return std::nullopt;
  }
  HeightMap map(static_cast<int>(meshX), meshY);
  map.values() = std::move(values);
  return map;
}

Normalisation NormaliseHeights(HeightMap& map) {
  std::int32_t lo = kLowStart;
  std::int32_t hi = kHighStart;
  for (const std::int32_t value : map.values()) {
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  }
  if (lo == hi) {
    std::fill(map.values().begin(), map.values().end(), 0);
    return {.flat = true};
  }
  // In double: hi − lo and value − lo can pass the 32-bit range.
  const double span = static_cast<double>(hi) - static_cast<double>(lo);
  for (std::int32_t& value : map.values()) {
    const double stretched = (static_cast<double>(value) - static_cast<double>(lo)) * kTopGrey /
                             span;
    value = static_cast<std::int32_t>(RoundHalfEven(stretched));
  }
  return {};
}

DryRunValues DryRunValues::SeededFromClock() {
  const auto seed = static_cast<std::mt19937::result_type>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  return DryRunValues(
      [engine = std::mt19937(seed),
       unit = std::uniform_real_distribution<double>(0.0, 1.0)]() mutable { return unit(engine); });
}

std::int32_t DryRunValues::Next() {
  const double grey = RoundHalfEven(unit_() * kTopGrey);
  if (!(grey >= 0.0)) return 0;  // also NaN
  return static_cast<std::int32_t>(std::min(grey, kTopGrey));
}

}  // namespace vertolin
