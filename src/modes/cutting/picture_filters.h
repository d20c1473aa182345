// The five filters that turn a picture into a black-on-white drawing of lines
// one pixel wide for the cutting window: ST (grey and threshold), CN
// (sharpening), CR (pattern removal), CL (clean-up) and GS (black and white).
//
// Each works on one layer in place and touches only its visited range:
// columns and rows 2 to W − 1 and H − 1 (CN: 3 to W − 2 and H − 2), so the
// picture's border and the row padding keep their bytes. Dark means a blue
// byte below 100. ST, CR and GS read what they write as they go; CN and CL
// read their neighbourhoods from the layer as it was before the pass. Writers
// set all three bytes of a pixel.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vertolin {

class PixelImage;

// In the order the processing run chains them.
enum class CuttingFilter { ST, CN, CR, CL, GS };

// "Нейро. ST - " and the like; the status label shows it followed by the pass.
std::string_view FilterStatusText(CuttingFilter filter);
// "Нейро. ST - 1".
std::string FilterLabel(CuttingFilter filter, int pass);

// A pixel is dark below this blue value.
inline constexpr std::uint8_t kDarkBelow = 100;

// A 3 × 3 neighbourhood code: bit b is set when cell b is dark, cells counted
// row by row from the top left (0 up-left … 4 the pixel itself … 8
// down-right).
inline constexpr int kNeighbourhoodCodes = 512;
inline constexpr int kCentreBit = 1 << 4;

// The codes whose centre CR turns white. They were chosen one by one with the
// connectivity list window, so the list itself is the rule.
inline constexpr std::array<std::uint16_t, 117> kRemovalCodeList = {
    23,  26,  27,  30,  31,  50,  51,  54,  55,  58,  59,  62,  63,  89,  90,  91,  94,
    95,  122, 123, 126, 127, 152, 153, 154, 155, 158, 159, 176, 178, 179, 180, 182, 183,
    184, 185, 186, 187, 188, 189, 190, 191, 216, 217, 218, 219, 222, 223, 240, 242, 243,
    244, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255, 304, 306, 307, 308, 310, 311,
    314, 315, 317, 319, 378, 379, 382, 383, 408, 409, 410, 411, 414, 415, 432, 434, 435,
    436, 438, 439, 440, 441, 442, 443, 444, 445, 446, 447, 464, 472, 473, 474, 475, 478,
    479, 496, 498, 499, 500, 502, 503, 504, 505, 506, 507, 508, 509, 510, 511};

namespace detail {
constexpr std::array<bool, kNeighbourhoodCodes> RemovalTable() {
  std::array<bool, kNeighbourhoodCodes> table{};
  for (const std::uint16_t code : kRemovalCodeList) table[code] = true;
  return table;
}
constexpr bool RemovalListIsSound() {
  std::uint16_t previous = 0;
  for (const std::uint16_t code : kRemovalCodeList) {
    // Ascending (so no code twice), within nine bits, and only dark centres.
    if (code <= previous || code >= kNeighbourhoodCodes || (code & kCentreBit) == 0) return false;
    previous = code;
  }
  return true;
}
}  // namespace detail

// RemovalCodes, looked up by code.
inline constexpr std::array<bool, kNeighbourhoodCodes> kRemovalCodes = detail::RemovalTable();
static_assert(detail::RemovalListIsSound());
static_assert(kRemovalCodes[511] && !kRemovalCodes[kCentreBit]);

// Called before each row of the visited range with its 1-based number; the
// place for progress and for letting the windows' events run.
using FilterRowHook = std::function<void(int y)>;

// ST: grey := 0.3 red + 0.59 green + 0.11 blue rounded halves to even; grey
// 100 or more turns white, anything else becomes that grey.
void GreyThreshold(PixelImage& layer, const FilterRowHook& onRow = {});

// CN: 4 × the pixel's blue minus a quarter of each neighbour's, clamped to
// 0 … 255 and rounded halves to even (a flat area doubles).
void Sharpen(PixelImage& layer, const FilterRowHook& onRow = {});

// CR: a dark pixel whose neighbourhood code, read from the layer as it stands
// (pixels already whitened in this pass count as white), is a removal code
// turns white. True when some pixel did.
bool RemovePatterns(PixelImage& layer, const FilterRowHook& onRow = {});

// CR pass after pass on one layer, as the processing run chains them: each
// pass has exactly the effect of RemovePatterns, but after the first one it
// examines only the pixels whose neighbourhood has changed since they were
// last examined (a neighbour whitened after them in the pass before, or
// before them in this one), so a pass costs in proportion to what can still
// change. The layer must not be changed by anything else between passes.
class PatternRemoval {
 public:
  explicit PatternRemoval(PixelImage& layer);

  // One CR pass; true when some pixel turned white.
  bool Pass(const FilterRowHook& onRow = {});

 private:
  void Examine(int x, int y, bool whole);
  void Queue(std::vector<std::vector<int>>& rows, std::vector<std::uint8_t>& queued, int x, int y);

  PixelImage& layer_;
  bool first_ = true;
  bool changed_ = false;
  int extra_ = 0;  // the column right of a pixel just whitened, examined next
  // Per row the columns to examine in this pass and in the next, and per
  // pixel whether it is queued there.
  std::vector<std::vector<int>> now_;
  std::vector<std::vector<int>> next_;
  std::vector<std::uint8_t> queuedNow_;
  std::vector<std::uint8_t> queuedNext_;
};

// CL: a dark pixel with fewer than 3 dark cells in its neighbourhood (itself
// included) turns white: lone pixels and the free ends of lines go.
void CleanUp(PixelImage& layer, const FilterRowHook& onRow = {});

// GS: blue 100 or more turns white, anything else black.
void BlackAndWhite(PixelImage& layer, const FilterRowHook& onRow = {});

// Any of the five; the result is CR's changed flag, false for the others.
bool ApplyFilter(CuttingFilter filter, PixelImage& layer, const FilterRowHook& onRow = {});

}  // namespace vertolin
