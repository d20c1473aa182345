#include "picture/offset_gradient.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

using Byte = std::uint8_t;

// Rows are combined kLanes bytes at a time through fixed-size temporaries:
// the compiler turns each block into vector instructions even at -O2, and a
// destination that overlaps a source further ahead still reads the old bytes.
constexpr std::size_t kLanes = 16;

// Grey levels that differ by more than this are a step for "Градиент".
constexpr int kGreyStep = 10;

// "Градиент" takes the picture in strips of at least this many columns.
constexpr std::size_t kStripColumns = 2048;

// How many rows ahead a strip asks for the picture's bytes.
constexpr int kPrefetchRows = 2;

// A disc whose outline has at most this many corners per quadrant is
// followed exactly by as many boxes (see ChooseBoxes).
constexpr std::size_t kCornerBoxes = 4;

constexpr Byte kEightWhite[8 * PixelImage::kBytesPerPixel] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

struct MaxOp {
  static Byte Of(Byte a, Byte b) { return a < b ? b : a; }
};
struct MinOp {
  static Byte Of(Byte a, Byte b) { return b < a ? b : a; }
};

// dst[i] = Op(a[i], b[i]) for i < n; dst may be a, and b may be a + s (s > 0).
template <class Op>
void Combine(Byte* dst, const Byte* a, const Byte* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    Byte ta[kLanes];
    Byte tb[kLanes];
    std::memcpy(ta, a + i, kLanes);
    std::memcpy(tb, b + i, kLanes);
    for (std::size_t k = 0; k < kLanes; ++k) ta[k] = Op::Of(ta[k], tb[k]);
    std::memcpy(dst + i, ta, kLanes);
  }
  for (; i < n; ++i) dst[i] = Op::Of(a[i], b[i]);
}

// max and min at once: max[i] = Max(max[i], a[i]), min[i] = Min(min[i], b[i]).
void CombineBoth(Byte* max, Byte* min, const Byte* a, const Byte* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    Byte hi[kLanes], lo[kLanes], ta[kLanes], tb[kLanes];
    std::memcpy(hi, max + i, kLanes);
    std::memcpy(lo, min + i, kLanes);
    std::memcpy(ta, a + i, kLanes);
    std::memcpy(tb, b + i, kLanes);
    for (std::size_t k = 0; k < kLanes; ++k) {
      hi[k] = MaxOp::Of(hi[k], ta[k]);
      lo[k] = MinOp::Of(lo[k], tb[k]);
    }
    std::memcpy(max + i, hi, kLanes);
    std::memcpy(min + i, lo, kLanes);
  }
  for (; i < n; ++i) {
    max[i] = MaxOp::Of(max[i], a[i]);
    min[i] = MinOp::Of(min[i], b[i]);
  }
}

// floor(log2(n)) for n ≥ 1.
int FloorLog2(std::size_t n) {
  int k = 0;
  while ((std::size_t{2} << k) <= n) ++k;
  return k;
}

// The largest whole square not above radius², the limit of i² + j²: the sums
// are whole, so comparing them with it is the same as comparing with radius².
std::int64_t SquareLimit(double radius) {
  return static_cast<std::int64_t>(std::floor(radius * radius));
}

// The largest i in [0, cap] with i² ≤ rest, or −1 when rest < 0.
int HalfChord(std::int64_t rest, int cap) {
  if (rest < 0) return -1;
  auto i = static_cast<std::int64_t>(std::sqrt(static_cast<double>(rest)));
  while (i * i > rest) --i;
  while ((i + 1) * (i + 1) <= rest) ++i;
  return static_cast<int>(std::min<std::int64_t>(i, cap));
}

// The neighbourhood of both passes for a radius and its bound: halfWidths[j]
// (0 ≤ j ≤ bound) is the largest i ≤ bound with i² + j² within the radius, or
// −1 when row j of the neighbourhood is empty. It is symmetric in i and j, so
// the same table gives the half-heights of its columns.
std::vector<int> HalfWidths(double radius, int bound) {
  const std::int64_t limit = SquareLimit(radius);
  std::vector<int> widths(static_cast<std::size_t>(bound) + 1);
  for (int j = 0; j <= bound; ++j) widths[j] = HalfChord(limit - std::int64_t{j} * j, bound);
  return widths;
}

// The bound of a pass when it can change anything: a neighbourhood that is
// not empty and pixels inside the margins.
std::optional<int> WorkingBound(double radius, int width, int height) {
  const std::optional<int> bound = WholeBound(radius);
  if (!bound || *bound < 0) return std::nullopt;
  const std::int64_t side = 2 * std::int64_t{*bound} + 1;
  if (side > width || side > height) return std::nullopt;
  return bound;
}

void Whiten(PixelImage& picture, std::size_t at) {
  Byte* pixel = picture.bytes().data() + at;
  pixel[0] = pixel[1] = pixel[2] = 255;
}

// --- "Градиент" ------------------------------------------------------------

// The extreme (Op) of the last `length` rows fed, over a sliding window of
// rows, at a constant cost per row whatever the length (van Herk/Gil-Werman:
// suffix extremes of the previous block of `length` rows joined with the
// running extreme of the current one).
template <class Op>
class RunningColumns {
 public:
  RunningColumns(int length, std::size_t width)
      : length_(length),
        width_(width),
        block_(static_cast<std::size_t>(length) * width),
        suffix_(static_cast<std::size_t>(length) * width),
        running_(width),
        result_(width) {}

  // Where the next row goes.
  Byte* Next() { return Row(block_, static_cast<int>(fed_ % length_)); }

  // Takes the row written at Next(); gives the window's extreme once `length`
  // rows are in, valid until the next call.
  const Byte* Push() {
    const int pos = static_cast<int>(fed_ % length_);
    const Byte* row = Row(block_, pos);
    if (pos == 0) {
      std::memcpy(running_.data(), row, width_);
    } else {
      Combine<Op>(running_.data(), running_.data(), row, width_);
    }
    const Byte* out = nullptr;
    if (fed_ + 1 >= length_) {
      if (pos == length_ - 1) {
        out = running_.data();
      } else {
        Combine<Op>(result_.data(), Row(suffix_, pos + 1), running_.data(), width_);
        out = result_.data();
      }
    }
    if (pos == length_ - 1) {
      for (int k = length_ - 2; k >= 0; --k)
        Combine<Op>(Row(block_, k), Row(block_, k), Row(block_, k + 1), width_);
      std::swap(block_, suffix_);
    }
    ++fed_;
    return out;
  }

 private:
  Byte* Row(std::vector<Byte>& rows, int k) {
    return rows.data() + static_cast<std::size_t>(k) * width_;
  }

  int length_;
  std::size_t width_;
  std::vector<Byte> block_;
  std::vector<Byte> suffix_;
  std::vector<Byte> running_;
  std::vector<Byte> result_;
  std::int64_t fed_ = 0;
};

// The extreme of `levels` over windows of 2·half + 1 bytes centred at
// first, first + 1, …, first + n − 1, where levels[u] already holds the extreme
// of the 2^level bytes from u.
template <class Op>
void CentredWindows(Byte* dst, const Byte* levels, std::size_t first, int half, int level,
                    std::size_t n) {
  const std::size_t span = std::size_t{1} << level;
  const Byte* left = levels + first - half;
  const Byte* right = levels + first + half + 1 - span;
  Combine<Op>(dst, left, right, n);
}

// The extremes of 2^k consecutive bytes (k = 1, 2, …) for the last rows fed:
// along a row ("row levels": bytes u … u + 2^k − 1 of row t) or down the
// columns ("column levels": rows u … u + 2^k − 1 of column x). Level 0, the
// greys themselves, is kept by the run. Any window's extreme is then that of
// the two runs of 2^k that cover it from its ends. Each level keeps as many
// rows as are read back.
class LevelRing {
 public:
  LevelRing() = default;
  // depths[k − 1]: the rows kept of level k.
  LevelRing(const std::vector<int>& depths, std::size_t width)
      : stride_(width + kLanes) {  // the slack lets a lane block start at any valid byte
    std::size_t rows = 0;
    for (const int depth : depths) {
      levels_.push_back({rows, depth});
      rows += static_cast<std::size_t>(depth);
    }
    max_.assign(rows * stride_, 0);
    min_.assign(rows * stride_, 0);
  }

  Byte* Max(int level, int row) { return max_.data() + Slot(level, row); }
  Byte* Min(int level, int row) { return min_.data() + Slot(level, row); }
  const Byte* Max(int level, int row) const { return max_.data() + Slot(level, row); }
  const Byte* Min(int level, int row) const { return min_.data() + Slot(level, row); }

 private:
  struct Level {
    std::size_t first;  // row of the ring where the level starts
    int depth;
  };

  std::size_t Slot(int level, int row) const {
    const Level& kept = levels_[static_cast<std::size_t>(level - 1)];
    return (kept.first + static_cast<std::size_t>(row % kept.depth)) * stride_;
  }

  std::size_t stride_ = 0;
  std::vector<Level> levels_;
  std::vector<Byte> max_;
  std::vector<Byte> min_;
};

// A rectangle of offsets, |i| ≤ halfWidth and |j| ≤ halfHeight around a
// centre, whose grey extremes are followed row by row.
struct Box {
  enum Role {
    kInside,      // centred on the pixel, within its disc
    kCapsAcross,  // centred `shift` columns left and right of it: around the left and right caps
    kCapsAlong,   // centred `shift` rows above and below it: around the top and bottom caps
  };
  int halfWidth = 0;
  int halfHeight = 0;
  Role role = kInside;
  int shift = 0;
};

class BoxExtremes {
 public:
  // Extremes for `width` columns, kept for rows up to `keep` rows back.
  BoxExtremes(Box shape, std::size_t width, int keep)
      : box(shape),
        level(FloorLog2(2 * static_cast<std::size_t>(shape.halfWidth) + 1)),
        max(2 * shape.halfHeight + 1, width),
        min(2 * shape.halfHeight + 1, width),
        ringRows_(keep + 1),
        ringMax_(static_cast<std::size_t>(ringRows_) * width),
        ringMin_(ringMax_.size()),
        width_(width) {}

  void Keep(int y, const Byte* rowMax, const Byte* rowMin) {
    std::memcpy(ringMax_.data() + Slot(y), rowMax, width_);
    std::memcpy(ringMin_.data() + Slot(y), rowMin, width_);
  }
  const Byte* KeptMax(int y) const { return ringMax_.data() + Slot(y); }
  const Byte* KeptMin(int y) const { return ringMin_.data() + Slot(y); }

  Box box;
  int level;  // of the row levels that span its rows
  RunningColumns<MaxOp> max;
  RunningColumns<MinOp> min;

 private:
  std::size_t Slot(int y) const { return static_cast<std::size_t>(y % ringRows_) * width_; }

  int ringRows_;
  std::vector<Byte> ringMax_;
  std::vector<Byte> ringMin_;
  std::size_t width_;
};

// One "Градиент" pass. Whether a pixel turns white depends only on the
// greatest and least grey within its disc. Those of a rectangle cost the same
// for any size (running extremes along the rows, then down the columns). A
// small disc is the union of the rectangles at its outline's corners. A
// larger one is its largest square and four caps beyond the square's sides:
// a step within the square whitens, and a pixel with no step in the
// rectangles around its caps stays. The few left open (a step about as far
// away as the radius, common on smooth shading) get the extremes of each cap
// whose rectangle holds a step, chord by chord from the row and column
// levels, two runs a chord.
class GradientRun {
 public:
  // `out` is `base`'s size and a copy of it outside the pixels the pass
  // decides (see CopyMargins); the pass writes each of those.
  GradientRun(const PixelImage& base, double r, int bound, PixelImage& out)
      : base_(base), out_(out), width_(base.width()), height_(base.height()), bound_(bound) {
    halfWidths_ = HalfWidths(r, bound);
    reach_ = 0;
    while (reach_ < bound_ && halfWidths_[reach_ + 1] >= 0) ++reach_;
    square_ = 0;
    while (square_ < reach_ && halfWidths_[square_ + 1] >= square_ + 1) ++square_;
  }

  void Run() {
    const auto interior = static_cast<std::size_t>(width_ - 2 * bound_);
    if (reach_ == 0) {
      // A neighbourhood of the pixel alone never differs from it.
      for (int y = bound_; y < height_ - bound_; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * out_.stride() +
                               static_cast<std::size_t>(bound_) * PixelImage::kBytesPerPixel;
        std::memcpy(out_.bytes().data() + at, base_.bytes().data() + at,
                    interior * PixelImage::kBytesPerPixel);
      }
      return;
    }
    const std::size_t strip = StripWidth();
    for (std::size_t first = 0; first < interior; first += strip)
      RunStrip(first, std::min(strip, interior - first));
  }

 private:
  // Verdicts: a bit for each cap whose rectangle holds a step, or white.
  static constexpr Byte kKeep = 0;
  static constexpr Byte kWhite = 0x80;
  static constexpr int kCaps = 4;      // right, left, below, above
  static constexpr Byte kOpen = 0x0F;  // the caps' bits
  static constexpr std::uint64_t kOpenBits = kOpen * std::uint64_t{0x0101010101010101};

  // The picture is taken in strips of columns, each from top to bottom, so
  // that the rows a strip keeps stay in the processor's cache; each strip
  // reads the reach beyond its sides again.
  std::size_t StripWidth() const {
    return std::max<std::size_t>(kStripColumns, 8 * static_cast<std::size_t>(reach_));
  }

  // The rectangles a strip follows.
  std::vector<Box> ChooseBoxes() const {
    std::vector<Box> corners;
    for (int j = 0; j <= reach_; ++j) {
      if (j == reach_ || halfWidths_[j + 1] < halfWidths_[j])
        corners.push_back({halfWidths_[j], j});
    }
    if (corners.size() <= kCornerBoxes) return corners;
    // The caps lie beyond the square, within the chord next to it; their
    // rectangles take one column of the square when that makes them centred.
    const int capHeight = halfWidths_[square_ + 1];
    const int capFirst = (reach_ - square_) % 2 == 0 ? square_ : square_ + 1;
    const int capHalf = (reach_ - capFirst) / 2;
    const int capShift = capFirst + capHalf;
    return {{halfWidths_[square_], square_},
            {capHalf, capHeight, Box::kCapsAcross, capShift},
            {capHeight, capHalf, Box::kCapsAlong, capShift}};
  }

  // The interior columns first … first + count − 1 (0-based, from the margin).
  void RunStrip(std::size_t first, std::size_t count) {
    interiorWidth_ = count;
    spanX_ = static_cast<std::size_t>(bound_ - reach_) + first;
    spanWidth_ = count + 2 * static_cast<std::size_t>(reach_);
    greyRows_ = 2 * reach_ + 1;
    greys_.assign(static_cast<std::size_t>(greyRows_) * spanWidth_ + kLanes, 0);
    const int y0 = bound_;
    const int y1 = height_ - bound_;
    const std::size_t centre = static_cast<std::size_t>(reach_);

    std::vector<BoxExtremes> boxes;
    int rowLevels = 0;
    caps_ = false;
    for (const Box& box : ChooseBoxes()) {
      // A pixel's row is decided once the rows down to the reach below it are
      // in; the box centred on the row `shift` above it is kept longest.
      const int keep = reach_ - box.halfHeight + (box.role == Box::kCapsAlong ? box.shift : 0);
      const std::size_t width =
          count + (box.role == Box::kCapsAcross ? 2 * static_cast<std::size_t>(box.shift) : 0);
      boxes.emplace_back(box, width, keep);
      rowLevels = std::max(rowLevels, boxes.back().level);
      caps_ = caps_ || box.role != Box::kInside;
    }
    columnLevelCount_ = 0;
    if (caps_) {
      // The longest chords of the caps are those next to the square.
      columnLevelCount_ = FloorLog2(2 * static_cast<std::size_t>(halfWidths_[square_ + 1]) + 1);
      rowLevels = std::max(rowLevels, columnLevelCount_);
    }
    // The boxes read the row levels of the row just fed; the caps read the
    // levels of their chords up to the reach on either side of the pixel's
    // row; a column level is read back by the next one for 2^k rows.
    std::vector<int> rowDepths(static_cast<std::size_t>(rowLevels), 1);
    std::vector<int> columnDepths(static_cast<std::size_t>(columnLevelCount_));
    for (int k = 1; k <= columnLevelCount_; ++k)
      columnDepths[k - 1] = std::min(greyRows_, (1 << k) + 1);
    if (caps_) {
      for (int d = square_ + 1; d <= reach_; ++d) {
        const int level = FloorLog2(2 * static_cast<std::size_t>(halfWidths_[d]) + 1);
        if (level > 0) rowDepths[level - 1] = columnDepths[level - 1] = greyRows_;
      }
    }
    rowLevels_ = LevelRing(rowDepths, spanWidth_);
    columnLevels_ = LevelRing(columnDepths, spanWidth_);
    std::vector<Byte> insideMax(count + kLanes), insideMin(count + kLanes);
    verdicts_.assign(count + kLanes, kKeep);

    for (int t = y0 - reach_; t < y1 + reach_; ++t) {
      TakeGreys(t);
      FeedRowLevels(t, rowLevels);
      FeedColumnLevels(t, y0 - reach_);
      for (BoxExtremes& extremes : boxes) {
        const Box& box = extremes.box;
        const int h = box.halfHeight;
        const int reachAlong = box.role == Box::kCapsAlong ? box.shift : 0;
        if (t < y0 - reachAlong - h || t >= y1 + reachAlong + h) continue;
        const std::size_t across =
            box.role == Box::kCapsAcross ? static_cast<std::size_t>(box.shift) : 0;
        const std::size_t width = count + 2 * across;
        CentredWindows<MaxOp>(extremes.max.Next(), RowMax(extremes.level, t), centre - across,
                              box.halfWidth, extremes.level, width);
        CentredWindows<MinOp>(extremes.min.Next(), RowMin(extremes.level, t), centre - across,
                              box.halfWidth, extremes.level, width);
        const Byte* columnMax = extremes.max.Push();
        const Byte* columnMin = extremes.min.Push();
        if (columnMax != nullptr) extremes.Keep(t - h, columnMax, columnMin);
      }
      const int y = t - reach_;
      if (y < y0) continue;
      bool firstInside = true;
      for (const BoxExtremes& extremes : boxes) {
        if (extremes.box.role != Box::kInside) continue;
        if (firstInside) {
          std::memcpy(insideMax.data(), extremes.KeptMax(y), count);
          std::memcpy(insideMin.data(), extremes.KeptMin(y), count);
          firstInside = false;
        } else {
          CombineBoth(insideMax.data(), insideMin.data(), extremes.KeptMax(y), extremes.KeptMin(y),
                      count);
        }
      }
      if (caps_) {
        for (const BoxExtremes& extremes : boxes) {
          const Box& box = extremes.box;
          if (box.role == Box::kCapsAcross) {
            // The box's row starts `shift` columns left of the interior: the
            // box centred `shift` right of pixel c is its entry c + 2·shift,
            // the one `shift` left of it entry c.
            const std::size_t shift = static_cast<std::size_t>(box.shift);
            capMax_[0] = extremes.KeptMax(y) + 2 * shift;
            capMin_[0] = extremes.KeptMin(y) + 2 * shift;
            capMax_[1] = extremes.KeptMax(y);
            capMin_[1] = extremes.KeptMin(y);
          } else if (box.role == Box::kCapsAlong) {
            capMax_[2] = extremes.KeptMax(y + box.shift);
            capMin_[2] = extremes.KeptMin(y + box.shift);
            capMax_[3] = extremes.KeptMax(y - box.shift);
            capMin_[3] = extremes.KeptMin(y - box.shift);
          }
        }
      }
      DecideRow(y, insideMax.data(), insideMin.data());
    }
  }

  // The blue bytes of row y (0-based) in the strip's columns and the reach on
  // either side, into the ring of the last 2·reach + 1 rows: all that a row's
  // decision looks at.
  void TakeGreys(int y) {
    const Byte* from = base_.bytes().data() + static_cast<std::size_t>(y) * base_.stride() +
                       spanX_ * PixelImage::kBytesPerPixel;
    Byte* to = greys_.data() + static_cast<std::size_t>(y % greyRows_) * spanWidth_;
#if defined(__GNUC__)
    // A strip's rows are short: ask for the next ones before they are needed.
    if (y + kPrefetchRows < height_) {
      const Byte* ahead = from + kPrefetchRows * base_.stride();
      for (std::size_t x = 0; x < spanWidth_ * PixelImage::kBytesPerPixel; x += 64)
        __builtin_prefetch(ahead + x);
    }
#endif
    for (std::size_t x = 0; x < spanWidth_; ++x) to[x] = from[x * PixelImage::kBytesPerPixel];
  }

  // Row y's greys from the column reach_ to the left of the interior.
  const Byte* Grey(int y) const {
    return greys_.data() + static_cast<std::size_t>(y % greyRows_) * spanWidth_;
  }

  const Byte* RowMax(int level, int y) const {
    return level == 0 ? Grey(y) : rowLevels_.Max(level, y);
  }
  const Byte* RowMin(int level, int y) const {
    return level == 0 ? Grey(y) : rowLevels_.Min(level, y);
  }
  const Byte* ColumnMax(int level, int y) const {
    return level == 0 ? Grey(y) : columnLevels_.Max(level, y);
  }
  const Byte* ColumnMin(int level, int y) const {
    return level == 0 ? Grey(y) : columnLevels_.Min(level, y);
  }

  // Row t's levels along the row, each from the one below.
  void FeedRowLevels(int t, int levels) {
    for (int k = 1; k <= levels; ++k) {
      const std::size_t step = std::size_t{1} << (k - 1);
      if (spanWidth_ <= step) break;
      Combine<MaxOp>(rowLevels_.Max(k, t), RowMax(k - 1, t), RowMax(k - 1, t) + step,
                     spanWidth_ - step);
      Combine<MinOp>(rowLevels_.Min(k, t), RowMin(k - 1, t), RowMin(k - 1, t) + step,
                     spanWidth_ - step);
    }
  }

  // With row t in, the column runs of 2^k rows that end at it are complete.
  void FeedColumnLevels(int t, int firstRow) {
    for (int k = 1; k <= columnLevelCount_; ++k) {
      const int step = 1 << (k - 1);
      const int u = t - 2 * step + 1;
      if (u < firstRow) break;
      Combine<MaxOp>(columnLevels_.Max(k, u), ColumnMax(k - 1, u), ColumnMax(k - 1, u + step),
                     spanWidth_);
      Combine<MinOp>(columnLevels_.Min(k, u), ColumnMin(k - 1, u), ColumnMin(k - 1, u + step),
                     spanWidth_);
    }
  }

  // The neighbourhood holds its centre, so max ≥ grey ≥ min.
  static Byte IsStep(Byte grey, Byte max, Byte min) {
    return static_cast<Byte>(max - grey) > kGreyStep || static_cast<Byte>(grey - min) > kGreyStep
               ? 1
               : 0;
  }

  // The same for a rectangle that need not hold the pixel.
  static Byte IsStepAway(Byte grey, Byte max, Byte min) {
    const auto above = static_cast<Byte>(MaxOp::Of(max, grey) - grey);
    const auto below = static_cast<Byte>(grey - MinOp::Of(min, grey));
    return above > kGreyStep || below > kGreyStep ? 1 : 0;
  }

  // Sets the cap's bit in out[k] where its rectangle holds a step for g[k]
  // (one lane block; the bit is a constant so that the block stays in vector
  // registers).
  template <int kCap>
  static void CapBits(Byte* out, const Byte* g, const Byte* capMax, const Byte* capMin) {
    Byte hi[kLanes], lo[kLanes];
    std::memcpy(hi, capMax, kLanes);
    std::memcpy(lo, capMin, kLanes);
    for (std::size_t k = 0; k < kLanes; ++k)
      out[k] = static_cast<Byte>(out[k] | IsStepAway(g[k], hi[k], lo[k]) << kCap);
  }

  // The verdict of a pixel with grey g from the extremes of the boxes inside
  // its disc and of those around its caps.
  static Byte Verdict(Byte g, Byte inHi, Byte inLo, const Byte (&capHi)[kCaps],
                      const Byte (&capLo)[kCaps]) {
    Byte open = 0;
    for (int k = 0; k < kCaps; ++k)
      open = static_cast<Byte>(open | IsStepAway(g, capHi[k], capLo[k]) << k);
    return IsStep(g, inHi, inLo) != 0 ? kWhite : open;
  }

  // Row y (0-based) once the extremes of the boxes are known for it: a step
  // within the boxes inside the disc whitens, none around the caps keeps,
  // anything else is looked at exactly.
  void DecideRow(int y, const Byte* innerMax, const Byte* innerMin) {
    const Byte* grey = Grey(y) + reach_;
    const std::size_t count = interiorWidth_;
    Byte* verdicts = verdicts_.data();
    std::size_t i = 0;
    if (caps_) {
      for (; i + kLanes <= count; i += kLanes) {
        Byte g[kLanes], inHi[kLanes], inLo[kLanes], out[kLanes];
        std::memcpy(g, grey + i, kLanes);
        std::memcpy(inHi, innerMax + i, kLanes);
        std::memcpy(inLo, innerMin + i, kLanes);
        for (std::size_t k = 0; k < kLanes; ++k) out[k] = 0;
        CapBits<0>(out, g, capMax_[0] + i, capMin_[0] + i);
        CapBits<1>(out, g, capMax_[1] + i, capMin_[1] + i);
        CapBits<2>(out, g, capMax_[2] + i, capMin_[2] + i);
        CapBits<3>(out, g, capMax_[3] + i, capMin_[3] + i);
        for (std::size_t k = 0; k < kLanes; ++k)
          out[k] = IsStep(g[k], inHi[k], inLo[k]) != 0 ? kWhite : out[k];
        std::memcpy(verdicts + i, out, kLanes);
      }
      for (; i < count; ++i) {
        Byte capHi[kCaps], capLo[kCaps];
        for (int cap = 0; cap < kCaps; ++cap) {
          capHi[cap] = capMax_[cap][i];
          capLo[cap] = capMin_[cap][i];
        }
        verdicts[i] = Verdict(grey[i], innerMax[i], innerMin[i], capHi, capLo);
      }
      openBlocks_.clear();
      for (i = 0; i < count; i += kLanes) {
        std::uint64_t low;
        std::uint64_t high;
        std::memcpy(&low, verdicts + i, 8);
        std::memcpy(&high, verdicts + i + 8, 8);  // the slack past the row is kKeep
        if (((low | high) & kOpenBits) != 0) openBlocks_.push_back(i);
      }
      if (!openBlocks_.empty()) DecideExactly(y, innerMax, innerMin);
    } else {
      // The boxes inside fill the disc.
      for (; i + kLanes <= count; i += kLanes) {
        Byte g[kLanes], hi[kLanes], lo[kLanes];
        std::memcpy(g, grey + i, kLanes);
        std::memcpy(hi, innerMax + i, kLanes);
        std::memcpy(lo, innerMin + i, kLanes);
        for (std::size_t k = 0; k < kLanes; ++k)
          g[k] = IsStep(g[k], hi[k], lo[k]) != 0 ? kWhite : kKeep;
        std::memcpy(verdicts + i, g, kLanes);
      }
      for (; i < count; ++i)
        verdicts[i] = IsStep(grey[i], innerMax[i], innerMin[i]) != 0 ? kWhite : kKeep;
    }

    // The row's pixels from the picture, then the white ones: the picture's
    // row is still in the cache from TakeGreys, and the result's is written
    // once.
    const std::size_t at = static_cast<std::size_t>(y) * out_.stride() +
                           (spanX_ + reach_) * PixelImage::kBytesPerPixel;
    Byte* pixels = out_.bytes().data() + at;
    std::memcpy(pixels, base_.bytes().data() + at, count * PixelImage::kBytesPerPixel);
    for (i = 0; i < count;) {
      if (i + 8 <= count) {
        std::uint64_t word;
        std::memcpy(&word, verdicts + i, 8);
        if (word == 0) {
          i += 8;
          continue;
        }
        if (word == kWhite * std::uint64_t{0x0101010101010101}) {
          std::memcpy(pixels + i * PixelImage::kBytesPerPixel, kEightWhite, sizeof kEightWhite);
          i += 8;
          continue;
        }
      }
      if (verdicts[i] == kWhite)
        std::memcpy(pixels + i * PixelImage::kBytesPerPixel, kEightWhite,
                    PixelImage::kBytesPerPixel);
      ++i;
    }
  }

  // The chords of row y's caps, each as the two runs of a level that cover
  // it, placed so that entry[c] belongs to interior column c: the right and
  // left caps are columns beyond the square, read down the columns; the caps
  // below and above are rows beyond it, read along the rows. (No offset has
  // both coordinates beyond the square: that corner lies outside the disc.)
  void FindCapChords(int y) {
    for (std::vector<Chord>& chords : capChords_) chords.clear();
    const auto add = [&](int cap, const Byte* max, const Byte* min, std::ptrdiff_t at) {
      capChords_[cap].push_back({max + at, min + at});
    };
    for (int d = square_ + 1; d <= reach_; ++d) {
      const int half = halfWidths_[d];
      const int level = FloorLog2(2 * static_cast<std::size_t>(half) + 1);
      const int tail = 2 * half + 1 - (1 << level);  // where the second run starts past the first
      for (int cap = 0; cap < kCaps; ++cap) {
        if (cap < 2) {
          const int column = cap == 0 ? reach_ + d : reach_ - d;
          add(cap, ColumnMax(level, y - half), ColumnMin(level, y - half), column);
          if (tail > 0)
            add(cap, ColumnMax(level, y - half + tail), ColumnMin(level, y - half + tail), column);
        } else {
          const int row = cap == 2 ? y + d : y - d;
          add(cap, RowMax(level, row), RowMin(level, row), reach_ - half);
          if (tail > 0) add(cap, RowMax(level, row), RowMin(level, row), reach_ - half + tail);
        }
      }
    }
  }

  // The disc's own extremes for the lane blocks of row y that hold pixels
  // left open: the boxes inside (which hold the square) joined with the
  // chords of each cap whose box holds a step for one of the block's open
  // pixels, one chord at a time along runs of blocks so that each is read in
  // order. Only the open pixels take the verdict.
  void DecideExactly(int y, const Byte* innerMax, const Byte* innerMin) {
    FindCapChords(y);
    const std::size_t blocks = openBlocks_.size();
    discMax_.resize(blocks * kLanes);
    discMin_.resize(blocks * kLanes);
    for (std::vector<BlockRun>& runs : capRuns_) runs.clear();
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t first = openBlocks_[b];
      std::memcpy(discMax_.data() + b * kLanes, innerMax + first, kLanes);
      std::memcpy(discMin_.data() + b * kLanes, innerMin + first, kLanes);
      std::uint64_t low;
      std::uint64_t high;
      std::memcpy(&low, verdicts_.data() + first, 8);
      std::memcpy(&high, verdicts_.data() + first + 8, 8);
      std::uint64_t open = (low | high) & kOpenBits;
      open |= open >> 32;
      open |= open >> 16;
      open |= open >> 8;
      for (int cap = 0; cap < kCaps; ++cap) {
        if (((open >> cap) & 1) == 0) continue;
        std::vector<BlockRun>& runs = capRuns_[cap];
        if (!runs.empty() && runs.back().block + runs.back().count == b &&
            runs.back().column + runs.back().count * kLanes == first) {
          ++runs.back().count;  // the next block of the row: one run
        } else {
          runs.push_back({first, b, 1});
        }
      }
    }
    for (int cap = 0; cap < kCaps; ++cap) {
      const Chord* const chords = capChords_[cap].data();
      const std::size_t chordCount = capChords_[cap].size();
      for (const BlockRun& run : capRuns_[cap]) {
        for (std::size_t n = 0; n < run.count; ++n) {
          // One lane block against all the cap's chords, its extremes held
          // in registers.
          Byte* const blockMax = discMax_.data() + (run.block + n) * kLanes;
          Byte* const blockMin = discMin_.data() + (run.block + n) * kLanes;
          const std::size_t column = run.column + n * kLanes;
          Byte hi[kLanes], lo[kLanes];
          std::memcpy(hi, blockMax, kLanes);
          std::memcpy(lo, blockMin, kLanes);
          for (std::size_t c = 0; c < chordCount; ++c) {
            Byte a[kLanes], b[kLanes];
            std::memcpy(a, chords[c].max + column, kLanes);
            std::memcpy(b, chords[c].min + column, kLanes);
            for (std::size_t k = 0; k < kLanes; ++k) {
              hi[k] = MaxOp::Of(hi[k], a[k]);
              lo[k] = MinOp::Of(lo[k], b[k]);
            }
          }
          std::memcpy(blockMax, hi, kLanes);
          std::memcpy(blockMin, lo, kLanes);
        }
      }
    }
    const Byte* const discMax = discMax_.data();
    const Byte* const discMin = discMin_.data();
    const std::size_t* const starts = openBlocks_.data();
    // Whole lane blocks: past the row's end the verdicts are kKeep and stay.
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t first = starts[b];
      Byte g[kLanes], hi[kLanes], lo[kLanes], verdict[kLanes];
      std::memcpy(g, Grey(y) + reach_ + first, kLanes);
      std::memcpy(hi, discMax + b * kLanes, kLanes);
      std::memcpy(lo, discMin + b * kLanes, kLanes);
      std::memcpy(verdict, verdicts_.data() + first, kLanes);
      for (std::size_t k = 0; k < kLanes; ++k) {
        const Byte exact = IsStep(g[k], hi[k], lo[k]) != 0 ? kWhite : kKeep;
        verdict[k] = (verdict[k] & kOpen) != 0 ? exact : verdict[k];
      }
      std::memcpy(verdicts_.data() + first, verdict, kLanes);
    }
  }

  struct Chord {
    const Byte* max;
    const Byte* min;
  };

  // Open blocks next to each other in the row, which a chord is read along.
  struct BlockRun {
    std::size_t column;  // of the first block's first pixel
    std::size_t block;   // the first block's place among the open ones
    std::size_t count;
  };

  const PixelImage& base_;
  PixelImage& out_;
  int width_;
  int height_;
  int bound_;
  int reach_ = 0;
  int square_ = 0;  // the largest s with (s, s) in the disc
  bool caps_ = false;
  std::size_t interiorWidth_ = 0;
  std::size_t spanX_ = 0;  // first column (0-based) of the greys kept: reach_ left of the interior
  std::size_t spanWidth_ = 0;
  std::vector<int> halfWidths_;
  int greyRows_ = 0;
  std::vector<Byte> greys_;  // the blue bytes alone, spanWidth_ per row
  LevelRing rowLevels_;
  int columnLevelCount_ = 0;
  LevelRing columnLevels_;
  const Byte* capMax_[kCaps] = {};  // the extremes around each cap, entry[c] for interior column c
  const Byte* capMin_[kCaps] = {};
  std::vector<Byte> verdicts_;
  std::vector<Chord> capChords_[kCaps];
  std::vector<std::size_t> openBlocks_;   // first interior column of each
  std::vector<BlockRun> capRuns_[kCaps];  // the open blocks that need the cap's chords
  std::vector<Byte> discMax_;
  std::vector<Byte> discMin_;
};

// Makes `work` the size of `base` and a copy of it outside the pixels a
// "Градиент" pass writes (those within the whole bound `bound` of the
// picture's edges, and the row padding). A layer of the same size is not
// copied whole: the pass writes each of its other rows once.
void CopyMargins(const PixelImage& base, int bound, PixelImage& work) {
  if (work.width() != base.width() || work.height() != base.height()) {
    work = base;
    return;
  }
  const std::size_t stride = base.stride();
  const std::size_t left = static_cast<std::size_t>(bound) * PixelImage::kBytesPerPixel;
  const std::size_t right = static_cast<std::size_t>(base.width() - bound) *
                            PixelImage::kBytesPerPixel;
  const Byte* from = base.bytes().data();
  Byte* to = work.bytes().data();
  for (int y = 0; y < base.height(); ++y, from += stride, to += stride) {
    if (y < bound || y >= base.height() - bound) {
      std::memcpy(to, from, stride);
    } else {
      std::memcpy(to, from, left);
      std::memcpy(to + right, from + right, stride - right);
    }
  }
}

// --- "Отступить" -----------------------------------------------------------

// Whitens in `out` every pixel inside the margins that has a pure-white pixel
// of `work` within the disc: first, per column, the distance to the nearest
// white pixel above or below (capped past the bound); then, per row, each
// column reaches the chord of the disc at that distance, and a pixel turns
// white when some column's chord covers it. Two sweeps per row find that, so
// the cost per pixel is the same for any diameter. `out` may be `work`
// itself: the distances above are all taken first, and the sweep upwards
// reads each row before it whitens it.
template <class Distance>
void OffsetRun(const PixelImage& work, double d, int bound, PixelImage& out) {
  const int width = work.width();
  const int height = work.height();
  const auto far = static_cast<Distance>(bound + 1);
  // Half-chords by vertical distance; "far" holds none.
  std::vector<int> halfWidths = HalfWidths(d, bound);
  halfWidths.push_back(-1);

  const Byte* bytes = work.bytes().data();
  const std::size_t stride = work.stride();
  const auto white = [&](int x, int y) {
    return bytes[static_cast<std::size_t>(y) * stride +
                 static_cast<std::size_t>(x) * PixelImage::kBytesPerPixel] == 255;
  };

  // Every entry is written before it is read: no need to clear the plane.
  const std::unique_ptr<Distance[]> fromAbove(
      new Distance[static_cast<std::size_t>(width) * height]);
  for (int y = 0; y < height - bound; ++y) {
    Distance* row = fromAbove.get() + static_cast<std::size_t>(y) * width;
    const Distance* previous = y > 0 ? row - width : nullptr;
    for (int x = 0; x < width; ++x) {
      if (white(x, y)) {
        row[x] = 0;
      } else {
        row[x] = previous == nullptr || previous[x] >= far ? far
                                                           : static_cast<Distance>(previous[x] + 1);
      }
    }
  }

  std::vector<Distance> fromBelow(static_cast<std::size_t>(width), far);
  std::vector<int> half(static_cast<std::size_t>(width));
  std::vector<Byte> covered(static_cast<std::size_t>(width));
  for (int y = height - 1; y >= bound; --y) {
    for (int x = 0; x < width; ++x) {
      if (white(x, y)) {
        fromBelow[x] = 0;
      } else if (fromBelow[x] < far) {
        ++fromBelow[x];
      }
    }
    if (y >= height - bound) continue;

    const Distance* above = fromAbove.get() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) half[x] = halfWidths[std::min(above[x], fromBelow[x])];
    int rightmost = -1;  // furthest column reached by a chord from the left
    for (int x = 0; x < width; ++x) {
      if (half[x] >= 0) rightmost = std::max(rightmost, x + half[x]);
      covered[x] = rightmost >= x;
    }
    int leftmost = width;  // furthest column reached by a chord from the right
    for (int x = width - 1; x >= 0; --x) {
      if (half[x] >= 0) leftmost = std::min(leftmost, x - half[x]);
      if (leftmost <= x) covered[x] = 1;
    }
    const std::size_t pixelRow = static_cast<std::size_t>(y) * out.stride();
    for (int x = bound; x < width - bound; ++x) {
      if (covered[x])
        Whiten(out, pixelRow + static_cast<std::size_t>(x) * PixelImage::kBytesPerPixel);
    }
  }
}

}  // namespace

double ToolRadiusPixels(double diameterMm, int pictureWidth, double widthMm) {
  return diameterMm * pictureWidth / 2 / widthMm;
}

double ToolDiameterPixels(double diameterMm, int pictureWidth, double widthMm) {
  return diameterMm * pictureWidth / widthMm;
}

std::optional<int> WholeBound(double radius) {
  const std::optional<std::int32_t> nearest = RoundToInt32(radius);
  if (!nearest) return std::nullopt;
  std::int64_t bound = *nearest;
  if (static_cast<double>(bound) < radius) ++bound;
  if (bound > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(bound);
}

namespace {

// "Градиент" with the neighbourhood of radius `r` within the square of
// `bound` (none: the pass changes nothing).
void GradientWithin(const PixelImage& base, double r, std::optional<int> bound, PixelImage& work) {
  if (&work == &base) {
    if (!bound) return;
    // A strip reads the columns beside it that the strip before has whitened.
    const PixelImage source = base;
    GradientRun(source, r, *bound, work).Run();
    return;
  }
  if (!bound) {
    work = base;
    return;
  }
  CopyMargins(base, *bound, work);
  GradientRun(base, r, *bound, work).Run();
}

}  // namespace

void GradientPass(const PixelImage& base, double r, PixelImage& work) {
  GradientWithin(base, r, WorkingBound(r, base.width(), base.height()), work);
}

void NeighbourGradientPass(const PixelImage& base, PixelImage& work) {
  // Radius 1.5 within the bound 1: i² + j² ≤ 2 holds the whole square.
  constexpr double kSquareRadius = 1.5;
  const bool fits = base.width() >= 3 && base.height() >= 3;
  GradientWithin(base, kSquareRadius, fits ? std::optional<int>(1) : std::nullopt, work);
}

void OffsetPass(PixelImage& work, double d) {
  const std::optional<int> bound = WorkingBound(d, work.width(), work.height());
  if (!bound) return;
  // The narrowest type that holds the distances up to "farther than D".
  if (*bound < std::numeric_limits<std::uint8_t>::max()) {
    OffsetRun<std::uint8_t>(work, d, *bound, work);
  } else if (*bound < std::numeric_limits<std::uint16_t>::max()) {
    OffsetRun<std::uint16_t>(work, d, *bound, work);
  } else {
    OffsetRun<std::uint32_t>(work, d, *bound, work);
  }
}

}  // namespace vertolin
