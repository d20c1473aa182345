// "Интерполировать" of a 40 × 41 map into a 4000 × 3000 view, the size of
// the largest pictures the other windows take on.
#include <benchmark/benchmark.h>

#include <random>

#include "modes/scanner/height_map.h"
#include "modes/scanner/height_picture.h"
#include "modes/scanner/mesh_view.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

void BM_Interpolate(benchmark::State& state) {
  constexpr int kWidth = 4000;
  constexpr int kHeight = 3000;
  HeightMap map(40, 41);
  std::mt19937 random(11);
  for (auto& value : map.values()) value = static_cast<std::int32_t>(random() % 256);
  PixelImage view(kWidth + kViewExtra, kHeight + kViewExtra);
  for (auto _ : state) {
    benchmark::DoNotOptimize(InterpolateInto(view, map, kWidth, kHeight));
    benchmark::ClobberMemory();
  }
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(kWidth + 1) * (kHeight + 1) *
                                                      static_cast<double>(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Interpolate)->Unit(benchmark::kMillisecond);

// The same picture pixel by pixel, nothing computed once: what the fill saves.
void BM_InterpolatePerPixel(benchmark::State& state) {
  constexpr int kWidth = 4000;
  constexpr int kHeight = 3000;
  HeightMap map(40, 41);
  std::mt19937 random(11);
  for (auto& value : map.values()) value = static_cast<std::int32_t>(random() % 256);
  PixelImage view(kWidth + kViewExtra, kHeight + kViewExtra);
  for (auto _ : state) {
    for (int p = 0; p <= kWidth; ++p) {
      for (int q = 0; q <= kHeight; ++q) {
        view.SetGrey(p + kViewMargin + 1, q + kViewMargin + 1,
                     InterpolatedGrey(map, kWidth, kHeight, p, q));
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_InterpolatePerPixel)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
