// "Грав-ть всё" as `vertolin-cli --print fill` runs it, on a 2000 × 2000
// photograph-like picture with a 1 mm spot on a 200 mm width (10 pixels per
// millimetre: a spot of 10 pixels): the lines written per second and the
// whole time. Beside it the same fill's picture stages alone — "Градиент"
// once, then "Разобрать" and "Отступить" as many rounds as the fill ran
// ("Все" does not change the Work layer, so the stages see the same
// pictures) — so that the share of the time spent outside "Отступить" and
// "Разобрать" is the first figure less the second, over the first.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "figures/figure_set.h"
#include "picture/offset_gradient.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

constexpr int kSide = 2000;

// Counts lines without keeping them.
class CountingBuffer : public std::streambuf {
 public:
  std::int64_t lines = 0;

 protected:
  int_type overflow(int_type c) override {
    if (c == '\n') ++lines;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    lines += std::count(s, s + n, '\n');
    return n;
  }
};

// A photograph of dark subjects on a light ground: smooth shading with a
// few grey levels' noise, dark blobs of several greys (some with light
// holes), a dark band and thin dark lines.
PixelImage Photograph() {
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> noise(-3, 3);
  PixelImage picture(kSide, kSide);
  for (int y = 1; y <= kSide; ++y) {
    for (int x = 1; x <= kSide; ++x) {
      double tone = 190 + 40 * std::sin(x / 310.0) * std::cos(y / 230.0) + noise(random);
      picture.SetGrey(x, y, static_cast<std::uint8_t>(std::clamp(tone, 0.0, 255.0)));
    }
  }
  std::uniform_int_distribution<int> centre(200, kSide - 200);  // clear of the edge margin
  std::uniform_int_distribution<int> size(20, 160);
  std::uniform_int_distribution<int> grey(10, 90);
  for (int i = 0; i < 60; ++i) {
    const int cx = centre(random), cy = centre(random), rx = size(random), ry = size(random);
    const int g = grey(random);
    const bool hole = i % 3 == 0;
    for (int y = std::max(1, cy - ry); y <= std::min(kSide, cy + ry); ++y) {
      for (int x = std::max(1, cx - rx); x <= std::min(kSide, cx + rx); ++x) {
        const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
        const double d2 = dx * dx + dy * dy;
        if (d2 > 1) continue;
        if (hole && d2 < 0.15) continue;
        // Shading across the blob: a grey step or two inside it.
        const int shade = g + static_cast<int>(30 * dx) + noise(random);
        picture.SetGrey(x, y, static_cast<std::uint8_t>(std::clamp(shade, 0, 100)));
      }
    }
  }
  for (int y = 1400; y <= 1520; ++y) {
    for (int x = 300; x <= 1700; ++x)
      picture.SetGrey(x, y, static_cast<std::uint8_t>(40 + noise(random)));
  }
  for (int line = 0; line < 8; ++line) {
    for (int x = 200; x <= 1800; ++x) {
      const int y = 250 + line * 120 + static_cast<int>(30 * std::sin(x / 90.0));
      for (int w = 0; w < 3 + line; ++w) picture.SetGrey(x, y + w, 20);
    }
  }
  return picture;
}

const std::filesystem::path& PicturePath() {
  static const std::filesystem::path path = [] {
    const auto file = std::filesystem::temp_directory_path() / "vertolin-fill-bench.bmp";
    WritePictureFile(file, Photograph());
    return file;
  }();
  return path;
}

std::vector<std::string> FillArgs() {
  return {"--ini",
          (std::filesystem::temp_directory_path() / "vertolin-fill-bench.ini").string(),
          "--print",
          "--set",
          "Etching2_width=200",
          "--set",
          "Etching2_diameter=1",
          "fill",
          PicturePath().string()};
}

void BM_FillPrint(benchmark::State& state) {
  const std::vector<std::string> args = FillArgs();
  std::int64_t lines = 0;
  for (auto _ : state) {
    CountingBuffer counter;
    std::ostream out(&counter);
    std::ostringstream err;
    const int status = RunCli(args, {out, err});
    if (status != kCliDone) state.SkipWithError(("fill: " + err.str()).c_str());
    lines += counter.lines;
    state.counters["lines"] = static_cast<double>(counter.lines);
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FillPrint)->Unit(benchmark::kMillisecond)->Iterations(3);

// The fill's picture stages alone, on the picture as the fill reads it, each
// stage's processor time as a counter (ms per fill).
void BM_FillStages(benchmark::State& state) {
  const PictureResult loaded = LoadPictureFile(PicturePath());
  const PixelImage& base = loaded.picture->image;
  const double d = ToolDiameterPixels(1, base.width(), 200);
  double gradient = 0, parse = 0, offset = 0;
  const auto ms = [](std::clock_t from) {
    return 1000.0 * double(std::clock() - from) / CLOCKS_PER_SEC;
  };
  for (auto _ : state) {
    std::clock_t start = std::clock();
    PixelImage work;
    NeighbourGradientPass(base, work);
    gradient += ms(start);
    int rounds = 0;
    // As the fill: parse; while figures are left, offset and parse again,
    // until a round changes nothing.
    start = std::clock();
    FigureSet set = Parse(work);
    parse += ms(start);
    while (!set.tree.empty()) {
      start = std::clock();
      const PixelImage before = work;
      OffsetPass(work, d);
      const bool changed = work != before;
      offset += ms(start);
      const auto nodes = set.tree.nodes();
      start = std::clock();
      set = Parse(work);
      parse += ms(start);
      ++rounds;
      if (!changed && set.tree.nodes() == nodes) break;
    }
    state.counters["rounds"] = rounds;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["gradient_ms"] = gradient / n;
  state.counters["parse_ms"] = parse / n;
  state.counters["offset_ms"] = offset / n;
}
BENCHMARK(BM_FillStages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
