#include "modes/milling/offset_gradient.h"

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

// A disc whose outline has at most this many corners per quadrant is
// followed exactly by as many boxes (see ChooseBoxes).
constexpr std::size_t kCornerBoxes = 4;

constexpr Byte kEightWhite[8 * PixelImage::kBytesPerPixel] = {255, 255, 255, 255, 255, 255, 255, 255,
                                                              255, 255, 255, 255, 255, 255, 255, 255,
                                                              255, 255, 255, 255, 255, 255, 255, 255};

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

std::size_t WholeLanes(std::size_t n) { return (n + kLanes - 1) / kLanes * kLanes; }

// floor(log2(n)) for n ≥ 1.
int FloorLog2(std::size_t n) {
  int k = 0;
  while ((std::size_t{2} << k) <= n) ++k;
  return k;
}

// The largest whole square not above radius², the limit of i² + j²: the sums
// are whole, so comparing them with it is the same as comparing with radius².
std::int64_t SquareLimit(double radius) { return static_cast<std::int64_t>(std::floor(radius * radius)); }

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
      for (int k = length_ - 2; k >= 0; --k) Combine<Op>(Row(block_, k), Row(block_, k), Row(block_, k + 1), width_);
      std::swap(block_, suffix_);
    }
    ++fed_;
    return out;
  }

 private:
  Byte* Row(std::vector<Byte>& rows, int k) { return rows.data() + static_cast<std::size_t>(k) * width_; }

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
void CentredWindows(Byte* dst, const Byte* levels, std::size_t first, int half, int level, std::size_t n) {
  const std::size_t span = std::size_t{1} << level;
  const Byte* left = levels + first - half;
  const Byte* right = levels + first + half + 1 - span;
  Combine<Op>(dst, left, right, n);
}

// Raises levels[u] from the extreme of 2^from bytes to that of 2^to bytes.
template <class Op>
void Double(Byte* levels, std::size_t n, int from, int to) {
  for (int k = from; k < to; ++k) {
    const std::size_t step = std::size_t{1} << k;
    if (n > step) Combine<Op>(levels, levels, levels + step, n - step);
  }
}

// A rectangle of offsets centred on the pixel, |i| ≤ halfWidth and
// |j| ≤ halfHeight, whose grey extremes are followed row by row.
struct Box {
  int halfWidth = 0;
  int halfHeight = 0;
  bool inside = false;  // within the disc; else one of the boxes that together hold it
};

class BoxExtremes {
 public:
  BoxExtremes(Box box, int delay, std::size_t width)
      : box(box),
        level(FloorLog2(2 * static_cast<std::size_t>(box.halfWidth) + 1)),
        max(2 * box.halfHeight + 1, width),
        min(2 * box.halfHeight + 1, width),
        ringRows_(delay - box.halfHeight + 1),
        ringMax_(static_cast<std::size_t>(ringRows_) * width),
        ringMin_(ringMax_.size()),
        width_(width) {}

  // Keeps the extremes of the box centred on row y until `delay` rows later.
  void Keep(int y, const Byte* rowMax, const Byte* rowMin) {
    std::memcpy(ringMax_.data() + Slot(y), rowMax, width_);
    std::memcpy(ringMin_.data() + Slot(y), rowMin, width_);
  }
  const Byte* KeptMax(int y) const { return ringMax_.data() + Slot(y); }
  const Byte* KeptMin(int y) const { return ringMin_.data() + Slot(y); }

  Box box;
  int level;  // of the horizontal doubling that spans its rows
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
// for any size (running extremes along the rows, then down the columns), so
// rectangles inside and around the disc settle almost every pixel, and the few
// left open get the disc's own extremes at a cost linear in its radius.
class GradientRun {
 public:
  // `out` starts as a copy of `base` and may be `base` itself (see TakeGreys).
  GradientRun(const PixelImage& base, double r, int bound, PixelImage& out)
      : base_(base), out_(out), width_(base.width()), height_(base.height()), bound_(bound) {
    halfWidths_ = HalfWidths(r, bound);
    reach_ = 0;
    while (reach_ < bound_ && halfWidths_[reach_ + 1] >= 0) ++reach_;
    columnsOfHeight_.assign(static_cast<std::size_t>(reach_) + 1, {});
    for (int i = 0; i <= reach_; ++i) columnsOfHeight_[halfWidths_[i]].push_back(i);
  }

  void Run() {
    // A neighbourhood of the pixel alone never differs from it.
    if (reach_ == 0) return;
    const std::size_t count = static_cast<std::size_t>(width_ - 2 * bound_);
    interiorWidth_ = count;
    spanX_ = static_cast<std::size_t>(bound_ - reach_);
    spanWidth_ = count + 2 * static_cast<std::size_t>(reach_);
    greyRows_ = 2 * reach_ + 1;
    greys_.assign(static_cast<std::size_t>(greyRows_) * spanWidth_ + kLanes, 0);
    const int y0 = bound_;
    const int y1 = height_ - bound_;
    const std::size_t centre = static_cast<std::size_t>(reach_);

    std::vector<BoxExtremes> boxes;
    for (const Box& box : ChooseBoxes()) boxes.emplace_back(box, reach_, count);
    std::sort(boxes.begin(), boxes.end(), [](const BoxExtremes& p, const BoxExtremes& q) { return p.level < q.level; });
    std::vector<Byte> levelsMax(spanWidth_);
    std::vector<Byte> levelsMin(spanWidth_);
    std::vector<Byte> insideMax(count), insideMin(count), aroundMax(count), aroundMin(count);

    for (int t = y0 - reach_; t < y1 + reach_; ++t) {
      TakeGreys(t);
      std::memcpy(levelsMax.data(), Grey(t), spanWidth_);
      std::memcpy(levelsMin.data(), Grey(t), spanWidth_);
      int level = 0;
      for (BoxExtremes& extremes : boxes) {
        const int h = extremes.box.halfHeight;
        if (t < y0 - h || t >= y1 + h) continue;
        Double<MaxOp>(levelsMax.data(), spanWidth_, level, extremes.level);
        Double<MinOp>(levelsMin.data(), spanWidth_, level, extremes.level);
        level = std::max(level, extremes.level);
        CentredWindows<MaxOp>(extremes.max.Next(), levelsMax.data(), centre, extremes.box.halfWidth, extremes.level,
                              count);
        CentredWindows<MinOp>(extremes.min.Next(), levelsMin.data(), centre, extremes.box.halfWidth, extremes.level,
                              count);
        const Byte* columnMax = extremes.max.Push();
        const Byte* columnMin = extremes.min.Push();
        if (columnMax != nullptr) extremes.Keep(t - h, columnMax, columnMin);
      }
      const int y = t - reach_;
      if (y < y0) continue;
      bool firstInside = true;
      bool firstAround = true;
      for (const BoxExtremes& extremes : boxes) {
        bool& first = extremes.box.inside ? firstInside : firstAround;
        Byte* max = extremes.box.inside ? insideMax.data() : aroundMax.data();
        Byte* min = extremes.box.inside ? insideMin.data() : aroundMin.data();
        if (first) {
          std::memcpy(max, extremes.KeptMax(y), count);
          std::memcpy(min, extremes.KeptMin(y), count);
          first = false;
        } else {
          CombineBoth(max, min, extremes.KeptMax(y), extremes.KeptMin(y), count);
        }
      }
      // Boxes inside that fill the disc settle every pixel.
      if (firstAround) {
        DecideRow(y, insideMax.data(), insideMin.data(), insideMax.data(), insideMin.data());
      } else {
        DecideRow(y, insideMax.data(), insideMin.data(), aroundMax.data(), aroundMin.data());
      }
    }
  }

  // Verdicts: the number of the two unions of boxes that hold a grey step.
  enum : Byte { kKeep = 0, kUnsure = 1, kWhite = 2 };

  // Boxes inside the disc settle most pixels that turn white, boxes around
  // it most that stay; only pixels between the two are looked at exactly.
  // A small disc is the union of the boxes at its outline's corners. A larger
  // one holds its widest row, its tallest column and its largest square, and
  // lies within its bounding square. (More boxes leave fewer pixels open but
  // cost every pixel more; on photographs these few do best.)
  std::vector<Box> ChooseBoxes() const {
    std::vector<Box> corners;
    for (int j = 0; j <= reach_; ++j) {
      if (j == reach_ || halfWidths_[j + 1] < halfWidths_[j]) corners.push_back({halfWidths_[j], j, true});
    }
    if (corners.size() <= kCornerBoxes) return corners;
    int square = 0;
    while (square < reach_ && halfWidths_[square + 1] >= square + 1) ++square;
    return {{halfWidths_[0], 0, true},
            {halfWidths_[square], square, true},
            {halfWidths_[reach_], reach_, true},
            {reach_, reach_, false}};
  }

  // The blue bytes of row y (0-based) in the interior's columns and the
  // reach on either side, into the ring of the last 2·reach + 1 rows: all
  // that a row's decision looks at. Row y is taken before any pixel within
  // the reach of it turns white, so the picture may be both source and result.
  void TakeGreys(int y) {
    const Byte* from =
        base_.bytes().data() + static_cast<std::size_t>(y) * base_.stride() + spanX_ * PixelImage::kBytesPerPixel;
    Byte* to = greys_.data() + static_cast<std::size_t>(y % greyRows_) * spanWidth_;
    for (std::size_t x = 0; x < spanWidth_; ++x) to[x] = from[x * PixelImage::kBytesPerPixel];
  }

  // Row y's greys from the column reach_ to the left of the interior.
  const Byte* Grey(int y) const { return greys_.data() + static_cast<std::size_t>(y % greyRows_) * spanWidth_; }

  // The neighbourhood holds its centre, so max ≥ grey ≥ min.
  static Byte IsStep(Byte grey, Byte max, Byte min) {
    return static_cast<Byte>(max - grey) > kGreyStep || static_cast<Byte>(grey - min) > kGreyStep ? 1 : 0;
  }

  // Row y (0-based) once the extremes of both unions of boxes are known for
  // it: a step within the boxes inside the disc whitens, none within those
  // around it keeps, anything else is looked at exactly.
  void DecideRow(int y, const Byte* innerMax, const Byte* innerMin, const Byte* outerMax, const Byte* outerMin) {
    const Byte* grey = Grey(y) + reach_;
    const std::size_t count = interiorWidth_;
    verdicts_.resize(count);
    Byte* verdicts = verdicts_.data();
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
      Byte g[kLanes], inHi[kLanes], inLo[kLanes], outHi[kLanes], outLo[kLanes];
      std::memcpy(g, grey + i, kLanes);
      std::memcpy(inHi, innerMax + i, kLanes);
      std::memcpy(inLo, innerMin + i, kLanes);
      std::memcpy(outHi, outerMax + i, kLanes);
      std::memcpy(outLo, outerMin + i, kLanes);
      for (std::size_t k = 0; k < kLanes; ++k) {
        g[k] = static_cast<Byte>(IsStep(g[k], inHi[k], inLo[k]) + IsStep(g[k], outHi[k], outLo[k]));
      }
      std::memcpy(verdicts + i, g, kLanes);
    }
    for (; i < count; ++i) {
      verdicts[i] =
          static_cast<Byte>(IsStep(grey[i], innerMax[i], innerMin[i]) + IsStep(grey[i], outerMax[i], outerMin[i]));
    }

    // Pixels left open are taken in runs; a gap shorter than the reach costs
    // less to cross than a second run's margins.
    std::size_t runStart = 0;
    std::size_t runEnd = 0;
    bool inRun = false;
    for (i = 0; i < count;) {
      if (i + 8 <= count) {
        std::uint64_t word;
        std::memcpy(&word, verdicts + i, 8);
        if ((word & 0x0101010101010101) == 0) {  // no kUnsure among the eight
          i += 8;
          continue;
        }
      }
      if (verdicts[i] == kUnsure) {
        if (inRun && i - runEnd > static_cast<std::size_t>(reach_)) {
          ExactRun(y, runStart, runEnd);
          inRun = false;
        }
        if (!inRun) {
          runStart = i;
          inRun = true;
        }
        runEnd = i;
      }
      ++i;
    }
    if (inRun) ExactRun(y, runStart, runEnd);

    Byte* pixels = out_.bytes().data() + static_cast<std::size_t>(y) * out_.stride() +
                   (spanX_ + reach_) * PixelImage::kBytesPerPixel;
    for (i = 0; i < count;) {
      if (i + 8 <= count) {
        std::uint64_t word;
        std::memcpy(&word, verdicts + i, 8);
        if (word == 0) {
          i += 8;
          continue;
        }
        if (word == kWhite * 0x0101010101010101) {
          std::memcpy(pixels + i * PixelImage::kBytesPerPixel, kEightWhite, sizeof kEightWhite);
          i += 8;
          continue;
        }
      }
      const Byte white = verdicts[i] == kWhite ? 255 : 0;
      Byte* pixel = pixels + i * PixelImage::kBytesPerPixel;
      pixel[0] |= white;
      pixel[1] |= white;
      pixel[2] |= white;
      ++i;
    }
  }

  // The disc's own extremes for the interior columns first..last of row y:
  // column heights of the disc grow one row at a time, and each column offset
  // joins in once its height is reached, so the cost per pixel is linear in
  // the reach, not in the disc's area.
  void ExactRun(int y, std::size_t first, std::size_t last) {
    // Lengths are rounded up to whole lane blocks (the ring of rows has a
    // block of slack at its end); the bytes past the run are never used.
    const std::size_t count = last - first + 1;
    const std::size_t countBlocks = WholeLanes(count);
    const std::size_t from = first;  // the column reach_ to the left of `first`
    const std::size_t n = WholeLanes(count + 2 * static_cast<std::size_t>(reach_));
    columnMax_.resize(n + kLanes);
    columnMin_.resize(n + kLanes);
    std::memcpy(columnMax_.data(), Grey(y) + from, n);
    std::memcpy(columnMin_.data(), Grey(y) + from, n);
    const Byte* centre = Grey(y) + reach_ + first;
    discMax_.assign(centre, centre + countBlocks);
    discMin_.assign(centre, centre + countBlocks);
    for (int h = 0; h <= reach_; ++h) {
      if (h > 0) {
        // Only the columns of offset |i| ≤ halfWidths_[h] are that tall.
        const std::size_t start = static_cast<std::size_t>(reach_ - halfWidths_[h]);
        const std::size_t length = WholeLanes(count + 2 * static_cast<std::size_t>(halfWidths_[h]));
        for (const Byte* row : {Grey(y - h) + from + start, Grey(y + h) + from + start}) {
          CombineBoth(columnMax_.data() + start, columnMin_.data() + start, row, row, length);
        }
      }
      for (int i : columnsOfHeight_[h]) {
        CombineBoth(discMax_.data(), discMin_.data(), columnMax_.data() + reach_ + i, columnMin_.data() + reach_ + i,
                    countBlocks);
        if (i > 0) {
          CombineBoth(discMax_.data(), discMin_.data(), columnMax_.data() + reach_ - i, columnMin_.data() + reach_ - i,
                      countBlocks);
        }
      }
    }
    for (std::size_t k = 0; k < count; ++k) {
      Byte& verdict = verdicts_[first + k];
      if (verdict == kUnsure) verdict = IsStep(centre[k], discMax_[k], discMin_[k]) ? kWhite : kKeep;
    }
  }

  const PixelImage& base_;
  PixelImage& out_;
  int width_;
  int height_;
  int bound_;
  int reach_ = 0;
  std::size_t interiorWidth_ = 0;
  std::size_t spanX_ = 0;  // first column (0-based) of the greys kept: reach_ left of the interior
  std::size_t spanWidth_ = 0;
  std::vector<int> halfWidths_;
  std::vector<std::vector<int>> columnsOfHeight_;
  int greyRows_ = 0;
  std::vector<Byte> greys_;  // the blue bytes alone, spanWidth_ per row
  std::vector<Byte> verdicts_;
  std::vector<Byte> columnMax_;
  std::vector<Byte> columnMin_;
  std::vector<Byte> discMax_;
  std::vector<Byte> discMin_;
};

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
    return bytes[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * PixelImage::kBytesPerPixel] ==
           255;
  };

  // Every entry is written before it is read: no need to clear the plane.
  const std::unique_ptr<Distance[]> fromAbove(new Distance[static_cast<std::size_t>(width) * height]);
  for (int y = 0; y < height - bound; ++y) {
    Distance* row = fromAbove.get() + static_cast<std::size_t>(y) * width;
    const Distance* previous = y > 0 ? row - width : nullptr;
    for (int x = 0; x < width; ++x) {
      if (white(x, y)) {
        row[x] = 0;
      } else {
        row[x] = previous == nullptr || previous[x] >= far ? far : static_cast<Distance>(previous[x] + 1);
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
      if (covered[x]) Whiten(out, pixelRow + static_cast<std::size_t>(x) * PixelImage::kBytesPerPixel);
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

void GradientPass(const PixelImage& base, double r, PixelImage& work) {
  if (&work != &base) work = base;
  if (const std::optional<int> bound = WorkingBound(r, work.width(), work.height())) {
    GradientRun(work, r, *bound, work).Run();
  }
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
