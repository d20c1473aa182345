#include "modes/cutting/picture_filters.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

using Byte = std::uint8_t;
constexpr std::size_t kPixel = PixelImage::kBytesPerPixel;
constexpr Byte kWhite = 255;
constexpr Byte kBlack = 0;

bool Dark(Byte blue) { return blue < kDarkBelow; }

void SetAll(Byte* pixel, Byte value) { pixel[0] = pixel[1] = pixel[2] = value; }

// Calls visit(row, x, y) for every pixel at least `margin` pixels inside the
// picture's edge, `row` pointing at the row's first byte.
template <class Visit>
void ForVisited(PixelImage& layer, int margin, const FilterRowHook& onRow, Visit visit) {
  Byte* const bytes = layer.bytes().data();
  for (int y = 1 + margin; y <= layer.height() - margin; ++y) {
    if (onRow) onRow(y);
    Byte* const row = bytes + layer.Offset(1, y);
    for (int x = 1 + margin; x <= layer.width() - margin; ++x) visit(row, x, y);
  }
}

Byte* At(Byte* row, int x) { return row + static_cast<std::size_t>(x - 1) * kPixel; }
const Byte* At(const Byte* row, int x) { return row + static_cast<std::size_t>(x - 1) * kPixel; }

// The neighbourhood code around column x; `above`, `row` and `below` are the
// first bytes of three consecutive rows.
int NeighbourhoodCode(const Byte* above, const Byte* row, const Byte* below, int x) {
  int code = 0;
  int bit = 1;
  for (const Byte* line : {above, row, below}) {
    for (int dx = -1; dx <= 1; ++dx, bit <<= 1) {
      if (Dark(*At(line, x + dx))) code |= bit;
    }
  }
  return code;
}

}  // namespace

std::string_view FilterStatusText(CuttingFilter filter) {
  switch (filter) {
    case CuttingFilter::ST:
      return "Нейро. ST - ";
    case CuttingFilter::CN:
      return "Нейро. CN - ";
    case CuttingFilter::CR:
      return "Нейро. CR - ";
    case CuttingFilter::CL:
      return "Нейро. CL - ";
    case CuttingFilter::GS:
      return "Нейро. GS - ";
  }
  return {};
}

std::string FilterLabel(CuttingFilter filter, int pass) {
  return std::string(FilterStatusText(filter)) + IntText(pass);
}

void GreyThreshold(PixelImage& layer, const FilterRowHook& onRow) {
  ForVisited(layer, 1, onRow, [](Byte* row, int x, int) {
    Byte* const pixel = At(row, x);
    // In doubles, as every other formula of the program.
    const double grey = RoundHalfEven(0.3 * pixel[2] + 0.59 * pixel[1] + 0.11 * pixel[0]);
    SetAll(pixel, grey >= kDarkBelow ? kWhite : static_cast<Byte>(grey));
  });
}

void Sharpen(PixelImage& layer, const FilterRowHook& onRow) {
  const std::vector<Byte> before = layer.bytes();
  const std::size_t stride = layer.stride();
  Byte* const out = layer.bytes().data();
  ForVisited(layer, 2, onRow, [&](Byte* row, int x, int) {
    const Byte* const centre = before.data() + (row - out);
    int neighbours = 0;
    for (const Byte* line : {centre - stride, centre, centre + stride}) {
      neighbours += *At(line, x - 1) + *At(line, x) + *At(line, x + 1);
    }
    neighbours -= *At(centre, x);
    // s = 4 b − Σ n / 4 = t / 4 exactly; clamped, then rounded halves to even.
    const int t = 16 * *At(centre, x) - neighbours;
    int s = 0;
    if (t >= 4 * 255) {
      s = 255;
    } else if (t > 0) {
      s = t / 4;
      const int quarters = t % 4;
      if (quarters > 2 || (quarters == 2 && s % 2 == 1)) ++s;
    }
    SetAll(At(row, x), static_cast<Byte>(s));
  });
}

bool RemovePatterns(PixelImage& layer, const FilterRowHook& onRow) {
  const std::size_t stride = layer.stride();
  bool changed = false;
  ForVisited(layer, 1, onRow, [&](Byte* row, int x, int) {
    Byte* const pixel = At(row, x);
    if (!Dark(pixel[0])) return;
    if (kRemovalCodes[static_cast<std::size_t>(
            NeighbourhoodCode(row - stride, row, row + stride, x))]) {
      SetAll(pixel, kWhite);
      changed = true;
    }
  });
  return changed;
}

PatternRemoval::PatternRemoval(PixelImage& layer)
    : layer_(layer),
      now_(static_cast<std::size_t>(layer.height()) + 1),
      next_(static_cast<std::size_t>(layer.height()) + 1),
      queuedNow_(static_cast<std::size_t>(layer.width()) *
                 static_cast<std::size_t>(layer.height())),
      queuedNext_(queuedNow_.size()) {}

void PatternRemoval::Queue(std::vector<std::vector<int>>& rows, std::vector<std::uint8_t>& queued,
                           int x, int y) {
  // Only dark pixels of the visited range are ever examined, and a pixel
  // once white stays white.
  if (x < 2 || y < 2 || x > layer_.width() - 1 || y > layer_.height() - 1) return;
  if (!Dark(layer_.bytes()[layer_.Offset(x, y)])) return;
  std::uint8_t& flag =
      queued[static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(layer_.width()) +
             static_cast<std::size_t>(x - 1)];
  if (flag != 0) return;
  flag = 1;
  rows[static_cast<std::size_t>(y)].push_back(x);
}

void PatternRemoval::Examine(int x, int y, bool whole) {
  const std::size_t stride = layer_.stride();
  Byte* const row = layer_.bytes().data() + layer_.Offset(1, y);
  Byte* const pixel = At(row, x);
  if (!Dark(pixel[0])) return;
  if (!kRemovalCodes[static_cast<std::size_t>(
          NeighbourhoodCode(row - stride, row, row + stride, x))]) {
    return;
  }
  SetAll(pixel, kWhite);
  changed_ = true;
  // Those after it in raster order see the change in this pass (a whole
  // pass examines them anyway), those before it only in the next.
  if (!whole) {
    const std::size_t right = static_cast<std::size_t>(y - 1) *
                                  static_cast<std::size_t>(layer_.width()) +
                              static_cast<std::size_t>(x);
    if (x + 1 <= layer_.width() - 1 && queuedNow_[right] == 0) {
      queuedNow_[right] = 1;
      extra_ = x + 1;
    }
    for (int dx = -1; dx <= 1; ++dx) {
      if (Dark(*At(row + stride, x + dx))) Queue(now_, queuedNow_, x + dx, y + 1);
    }
  }
  // Read here first: in a dark area being cleared most are white already.
  for (int dx = -1; dx <= 1; ++dx) {
    if (Dark(*At(row - stride, x + dx))) Queue(next_, queuedNext_, x + dx, y - 1);
  }
  if (Dark(*At(row, x - 1))) Queue(next_, queuedNext_, x - 1, y);
}

bool PatternRemoval::Pass(const FilterRowHook& onRow) {
  changed_ = false;
  const int W = layer_.width();
  if (first_) {
    first_ = false;
    ForVisited(layer_, 1, onRow, [&](Byte*, int x, int y) { Examine(x, y, true); });
  } else {
    for (int y = 2; y <= layer_.height() - 1; ++y) {
      if (onRow) onRow(y);
      std::vector<int>& columns = now_[static_cast<std::size_t>(y)];
      std::sort(columns.begin(), columns.end());
      std::size_t i = 0;
      for (;;) {
        int x = 0;
        if (extra_ != 0) {
          x = std::exchange(extra_, 0);
        } else if (i < columns.size()) {
          x = columns[i++];
        } else {
          break;
        }
        queuedNow_[static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(W) +
                   static_cast<std::size_t>(x - 1)] = 0;
        Examine(x, y, false);
      }
      columns.clear();
    }
  }
  // Every queue of this pass is empty now; the next pass takes its own.
  std::swap(now_, next_);
  std::swap(queuedNow_, queuedNext_);
  return changed_;
}

void CleanUp(PixelImage& layer, const FilterRowHook& onRow) {
  const std::vector<Byte> before = layer.bytes();
  const std::size_t stride = layer.stride();
  Byte* const out = layer.bytes().data();
  ForVisited(layer, 1, onRow, [&](Byte* row, int x, int) {
    const Byte* const centre = before.data() + (row - out);
    if (!Dark(*At(centre, x))) return;
    int dark = 0;
    for (const Byte* line : {centre - stride, centre, centre + stride}) {
      for (int dx = -1; dx <= 1; ++dx) dark += Dark(*At(line, x + dx)) ? 1 : 0;
    }
    if (dark < 3) SetAll(At(row, x), kWhite);
  });
}

void BlackAndWhite(PixelImage& layer, const FilterRowHook& onRow) {
  ForVisited(layer, 1, onRow, [](Byte* row, int x, int) {
    Byte* const pixel = At(row, x);
    SetAll(pixel, Dark(pixel[0]) ? kBlack : kWhite);
  });
}

bool ApplyFilter(CuttingFilter filter, PixelImage& layer, const FilterRowHook& onRow) {
  switch (filter) {
    case CuttingFilter::ST:
      GreyThreshold(layer, onRow);
      return false;
    case CuttingFilter::CN:
      Sharpen(layer, onRow);
      return false;
    case CuttingFilter::CR:
      return RemovePatterns(layer, onRow);
    case CuttingFilter::CL:
      CleanUp(layer, onRow);
      return false;
    case CuttingFilter::GS:
      BlackAndWhite(layer, onRow);
      return false;
  }
  return false;
}

}  // namespace vertolin
