// The finished-size fields of the picture windows: the width in millimetres
// sets the scale; the height and the steps per pixel are derived from it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

// Height in mm for a width in mm: (width × H, rounded, halves to even)
// divided by W with the remainder dropped. Nothing when the width is not a
// number, W < 1, or the result does not fit.
std::optional<std::string> HeightForWidth(std::string_view widthText, int width, int height);

// Width in mm for a height in mm, the same way round; nothing when H < 1.
std::optional<std::string> WidthForHeight(std::string_view heightText, int width, int height);

// Motor steps per picture pixel along X: |width ÷ mm per step ÷ W|, not rounded.
std::optional<std::string> StepsPerPixelForWidth(std::string_view widthText, double xRatio,
                                                 int width);

// Width in mm for steps per pixel: |steps × mm per step × W|.
std::optional<std::string> WidthForStepsPerPixel(std::string_view stepsText, double xRatio,
                                                 int width);

}  // namespace vertolin
