// "Градиент" and "Отступить" on a 4000 × 3000 picture with discs of radius 5
// to 40 pixels (the tool radius for the first, the tool diameter for the
// second): the time should barely grow with the radius.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "picture/offset_gradient.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth noise: random values on a coarse grid, interpolated.
class ValueNoise {
 public:
  ValueNoise(int cell, std::uint32_t seed)
      : cell_(cell), columns_(kWidth / cell + 2), rows_(kHeight / cell + 2) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(-1, 1);
    values_.resize(static_cast<std::size_t>(columns_) * rows_);
    for (double& v : values_) v = unit(random);
  }
  double At(int x, int y) const {
    const double fx = static_cast<double>(x) / cell_;
    const double fy = static_cast<double>(y) / cell_;
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double sx = Smooth(fx - ix);
    const double sy = Smooth(fy - iy);
    const double top = Lerp(Value(ix, iy), Value(ix + 1, iy), sx);
    const double bottom = Lerp(Value(ix, iy + 1), Value(ix + 1, iy + 1), sx);
    return Lerp(top, bottom, sy);
  }

 private:
  static double Smooth(double t) { return t * t * (3 - 2 * t); }
  static double Lerp(double a, double b, double t) { return a + (b - a) * t; }
  double Value(int x, int y) const { return values_[static_cast<std::size_t>(y) * columns_ + x]; }

  int cell_;
  int columns_;
  int rows_;
  std::vector<double> values_;
};

// A photograph's mix: a smooth sky-like top, shaded ground, a few large
// objects with sharp outlines, textured areas (foliage, fabric) and a little
// sensor noise.
const PixelImage& Photograph() {
  static const PixelImage picture = [] {
    PixelImage p(kWidth, kHeight);
    const ValueNoise light(700, 1);
    const ValueNoise shade(150, 2);
    const ValueNoise texture(6, 3);
    const ValueNoise patches(400, 4);
    std::mt19937 random(5);
    std::uniform_int_distribution<int> noise(-2, 2);
    struct Blob {
      double cx, cy, rx, ry;
      int level;
    };
    const Blob blobs[] = {{900, 1900, 500, 700, 40},  {2600, 2100, 800, 450, 170},
                          {3300, 900, 300, 300, 230}, {1800, 700, 250, 120, 90},
                          {500, 600, 180, 260, 20},   {2100, 2700, 600, 200, 120}};
    for (int y = 1; y <= kHeight; ++y) {
      for (int x = 1; x <= kWidth; ++x) {
        double grey = y < 1200 ? 200 + 40 * light.At(x, y) - y * 0.03 : 110 + 50 * shade.At(x, y);
        for (const Blob& b : blobs) {
          const double u = (x - b.cx) / b.rx;
          const double v = (y - b.cy) / b.ry;
          if (u * u + v * v <= 1) grey = b.level + 25 * shade.At(x, y);
        }
        if (patches.At(x, y) > 0.35) grey += 40 * texture.At(x, y);  // textured areas
        grey += noise(random);
        p.SetGrey(x, y, static_cast<std::uint8_t>(std::clamp(grey, 0.0, 255.0)));
      }
    }
    return p;
  }();
  return picture;
}

// A traced two-colour picture: large black figures on white, some with holes.
const PixelImage& TwoColour() {
  static const PixelImage picture = [] {
    PixelImage p(kWidth, kHeight);
    const ValueNoise shapes(300, 7);
    const ValueNoise detail(40, 8);
    for (int y = 1; y <= kHeight; ++y) {
      for (int x = 1; x <= kWidth; ++x) {
        const double v = shapes.At(x, y) + 0.15 * detail.At(x, y);
        if (v > 0.1 && v < 0.8) p.SetGrey(x, y, 0);
      }
    }
    return p;
  }();
  return picture;
}

void Gradient(benchmark::State& state) {
  const PixelImage& base = Photograph();
  const auto radius = static_cast<double>(state.range(0));
  PixelImage work(kWidth, kHeight);  // the window's Work layer
  for (auto _ : state) {
    GradientPass(base, radius, work);
    benchmark::DoNotOptimize(work.bytes().data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(Gradient)
    ->Arg(5)
    ->Arg(10)
    ->Arg(20)
    ->Arg(40)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Offset(benchmark::State& state) {
  const PixelImage& work = TwoColour();
  const auto diameter = static_cast<double>(state.range(0));
  PixelImage layer(kWidth, kHeight);
  for (auto _ : state) {
    state.PauseTiming();
    layer = work;  // every pass starts from the same figures
    state.ResumeTiming();
    OffsetPass(layer, diameter);
    benchmark::DoNotOptimize(layer.bytes().data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(Offset)->Arg(5)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
