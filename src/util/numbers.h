// Number texts as the person types them and as cnc.ini stores them: a decimal
// comma or a period, and rounding of halves to even.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

// Reads a whole decimal number: optional surrounding spaces, an optional sign,
// digits with at most one "," or "." and an optional exponent. Anything else
// (empty text, letters, two separators) gives nothing.
std::optional<double> ParseNumber(std::string_view text);

// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

// The rounded value when it is finite and fits in 32 bits.
std::optional<std::int32_t> RoundToInt32(double value);

// Plain integer text: "-" for negatives, no "+", no leading zeros.
std::string IntText(std::int64_t value);

// `count` with the Russian word form it takes: `one` (1, 21, …), `few`
// (2–4, 22–24, …) or `many` (0, 5–20, 25–30, …): "1 строку", "3 строки",
// "11 строк".
std::string CountText(std::int64_t count, std::string_view one, std::string_view few,
                      std::string_view many);

// A number in the general form of the fields (up to 15 significant digits,
// decimal comma), as the windows write derived values back.
std::string FieldText(double value);

}  // namespace vertolin
