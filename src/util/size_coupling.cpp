#include "util/size_coupling.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "util/numbers.h"

namespace vertolin {

namespace {

// (value × numerator, rounded) divided by denominator, remainder dropped.
std::optional<std::string> ScaledWhole(std::string_view text, int numerator, int denominator) {
  const auto value = ParseNumber(text);
  if (!value || denominator < 1) return std::nullopt;
  const double product = RoundHalfEven(*value * numerator);
  if (std::abs(product) > static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2)) {
    return std::nullopt;
  }
  return IntText(static_cast<std::int64_t>(product) / denominator);
}

}  // namespace

std::optional<std::string> HeightForWidth(std::string_view widthText, int width, int height) {
  return ScaledWhole(widthText, height, width);
}

std::optional<std::string> WidthForHeight(std::string_view heightText, int width, int height) {
  return ScaledWhole(heightText, width, height);
}

std::optional<std::string> StepsPerPixelForWidth(std::string_view widthText, double xRatio,
                                                 int width) {
  const auto value = ParseNumber(widthText);
  if (!value || width < 1 || xRatio == 0) return std::nullopt;
  return FieldText(std::abs(*value / xRatio / width));
}

std::optional<std::string> WidthForStepsPerPixel(std::string_view stepsText, double xRatio,
                                                 int width) {
  const auto value = ParseNumber(stepsText);
  if (!value || width < 1) return std::nullopt;
  return FieldText(std::abs(*value * xRatio * width));
}

}  // namespace vertolin
