// The patterns of a 3 × 3 pixel neighbourhood, stepped through one by one so
// that the person can write down which of them count as connected.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace vertolin {

class Frontend;

inline constexpr int kPatternCells = 9;
inline constexpr int kCentreCell = 5;
// Numbers up to this one are still advanced by "Дальше"; above it they stay.
inline constexpr std::int32_t kLastAdvancedNumber = 512;

inline constexpr std::string_view kNotANumberText = "Введите число в поле номера!";

// Cell k (1 … 9) of a pattern number, index k - 1: lit when bit k - 1 is set.
// Read by remainder and truncating division, so a negative number lights none.
std::array<bool, kPatternCells> PatternCells(std::int32_t number);

// A candidate for the list: centre cell lit and at least three cells lit.
bool IsCandidate(std::int32_t number);

// Form10's state: PatternNumber and the comma-separated list.
class ConnectivityList {
 public:
  explicit ConnectivityList(Frontend& frontend) : frontend_(frontend) {}

  // Window load: pattern 0.
  void Load() { patternNumber_ = 0; }

  // "Дальше": the next candidate. Numbers above kLastAdvancedNumber are not
  // advanced, so when none remains the search stops where it stands.
  void Next();

  // "Включить": the number goes to the end of the list, then "Дальше".
  void Include();

  // "Показать": the number typed by the person ("," or "." allowed, halves
  // rounded to even). Anything that is not a 32-bit number is refused with a
  // message and changes nothing; returns whether it was taken.
  bool Show(std::string_view text);

  std::int32_t patternNumber() const { return patternNumber_; }
  std::string NumberText() const;
  std::array<bool, kPatternCells> Cells() const { return PatternCells(patternNumber_); }

  // The list is the person's text box: it may have been edited by hand.
  const std::string& list() const { return list_; }
  void SetList(std::string list) { list_ = std::move(list); }

 private:
  Frontend& frontend_;
  std::int32_t patternNumber_ = 0;
  std::string list_;
};

}  // namespace vertolin
