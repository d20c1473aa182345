// The command lines the PC sends: comma-separated integer fields ended by ";",
// no spaces and no line end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

// Joins fields with "," and ends the line with ";"; an empty field is written
// as nothing ("x,y,,,d;").
std::string CommandLine(std::initializer_list<std::optional<std::int64_t>> fields);

// The outlining and cutting windows drop up to four trailing zero fields:
// "12,0,0,0;" becomes "12;", "0,0,0,0;" becomes "0;".
std::string WithoutTrailingZeros(std::string line);

// The manual positioning window's move for a firmware kind letter; nothing
// for a letter that has no move text.
std::optional<std::string> PositioningMoveText(char kindLetter, std::int32_t x, std::int32_t y,
                                               std::int32_t z, std::int32_t delay);

// The pause lines of the outlining and cutting windows (sent without ";").
inline constexpr std::string_view kLaserOffPause = "0,0,-1";
inline constexpr std::string_view kLaserOnPause = "0,0,1";

// The identification query.
inline constexpr std::string_view kIdentify = "V;";

}  // namespace vertolin
