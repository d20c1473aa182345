// "Разобрать" on a 4000 × 3000 picture: a thresholded photograph (large
// smooth regions with some grain) and pure noise, half dark, where the
// regions are most numerous and merge most often.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "figures/figure_set.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Value noise: random levels on a coarse grid, smoothly interpolated and
// summed over three scales, then thresholded at the middle; 0.5 % of the
// pixels flipped for the grain of a real photograph.
PixelImage PhotographLike() {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> level(0.0, 1.0);
  std::vector<double> field(static_cast<std::size_t>(kWidth) * kHeight, 0.0);
  double weight = 1.0;
  for (const int cell : {400, 120, 30}) {
    const int gw = kWidth / cell + 2;
    const int gh = kHeight / cell + 2;
    std::vector<double> grid(static_cast<std::size_t>(gw) * gh);
    for (double& g : grid) g = level(random);
    for (int y = 0; y < kHeight; ++y) {
      const double fy = static_cast<double>(y) / cell;
      const int gy = static_cast<int>(fy);
      const double ty = fy - gy;
      const double sy = ty * ty * (3 - 2 * ty);
      for (int x = 0; x < kWidth; ++x) {
        const double fx = static_cast<double>(x) / cell;
        const int gx = static_cast<int>(fx);
        const double tx = fx - gx;
        const double sx = tx * tx * (3 - 2 * tx);
        const auto at = [&](int i, int j) { return grid[static_cast<std::size_t>(j) * gw + i]; };
        const double top = at(gx, gy) + (at(gx + 1, gy) - at(gx, gy)) * sx;
        const double bottom = at(gx, gy + 1) + (at(gx + 1, gy + 1) - at(gx, gy + 1)) * sx;
        field[static_cast<std::size_t>(y) * kWidth + x] += weight * (top + (bottom - top) * sy);
      }
    }
    weight *= 0.4;
  }
  const double middle = (1.0 + 0.4 + 0.16) / 2;
  std::bernoulli_distribution grain(0.005);
  PixelImage image(kWidth, kHeight);
  for (int y = 1; y <= kHeight; ++y) {
    for (int x = 1; x <= kWidth; ++x) {
      bool dark = field[static_cast<std::size_t>(y - 1) * kWidth + (x - 1)] < middle;
      if (grain(random)) dark = !dark;
      if (dark) image.SetGrey(x, y, 30);
    }
  }
  return image;
}

PixelImage Noise() {
  std::mt19937 random(12);
  std::bernoulli_distribution dark(0.5);
  PixelImage image(kWidth, kHeight);
  for (int y = 1; y <= kHeight; ++y) {
    for (int x = 1; x <= kWidth; ++x) {
      if (dark(random)) image.SetGrey(x, y, 0);
    }
  }
  return image;
}

void ParsePicture(benchmark::State& state, const PixelImage& picture) {
  std::size_t figures = 0;
  std::size_t pairs = 0;
  for (auto _ : state) {
    const FigureSet set = Parse(picture);
    figures = 0;
    for (int n = 1; n <= set.figures.size(); ++n) figures += set.figures[n].inUse() ? 1 : 0;
    pairs = static_cast<std::size_t>(set.pairs.count());
    benchmark::DoNotOptimize(set.labels.row(0));
  }
  const double pixels = static_cast<double>(picture.width()) * picture.height();
  state.counters["Mpixel_per_s"] = benchmark::Counter(
      pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.counters["figures"] = static_cast<double>(figures);
  state.counters["pairs"] = static_cast<double>(pairs);
}

void ParsePhotographLike(benchmark::State& state) {
  static const PixelImage picture = PhotographLike();
  ParsePicture(state, picture);
}
BENCHMARK(ParsePhotographLike)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void ParseNoise(benchmark::State& state) {
  static const PixelImage picture = Noise();
  ParsePicture(state, picture);
}
BENCHMARK(ParseNoise)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
