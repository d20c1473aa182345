// The cutting window's work on a 2000 × 2000 photograph-like picture:
// "Обработать" (prepare), with CR as the run does it (a worklist of the
// pixels that can still change) against whole passes, and the cut of its
// drawing through vertolin-cli --print, in lines per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <streambuf>

#include "cli/cli.h"
#include "modes/cutting/cutting_layers.h"
#include "modes/cutting/picture_filters.h"
#include "modes/cutting/processing_run.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/counting_buffer.h"
#include "support/quiet_frontend.h"

namespace vertolin {
namespace {

constexpr int kSide = 2000;

// Smooth tones in colour, soft shadows, sharp-edged shapes and grain: what a
// photograph gives the filters.
PixelImage Photograph() {
  PixelImage picture(kSide, kSide);
  std::mt19937 random(2000);
  std::uniform_int_distribution<int> grain(-12, 12);
  for (int y = 1; y <= kSide; ++y) {
    for (int x = 1; x <= kSide; ++x) {
      double tone = 150 + 70 * std::sin(x / 131.0) * std::cos(y / 89.0) +
                    30 * std::sin((x + y) / 23.0);
      const double dx = (x % 500) - 250.0;
      const double dy = (y % 400) - 200.0;
      if ((x / 173 + y / 211) % 5 == 0) tone = 250;  // light patches
      const auto at = [&](double shift) {
        return static_cast<std::uint8_t>(std::clamp(tone + shift + grain(random), 0.0, 255.0));
      };
      picture.SetPixel(x, y, at(-10), at(0), at(15));
      // Black discs and bands, as deep shadows give: solid areas the thinning
      // takes pass after pass.
      const bool band = std::abs((x + 2 * y) % 600 - 300) < 35;
      if (dx * dx + dy * dy < 120.0 * 120.0 || band) picture.SetPixel(x, y, 0, 0, 0);
    }
  }
  return picture;
}

const PixelImage& Picture() {
  static const PixelImage picture = Photograph();
  return picture;
}

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() / "vertolin_cutting_bench";
    std::filesystem::create_directories(path);
    std::ofstream(path / "neuro.net") << "";
    return path;
  }();
  return folder;
}

void Prepare(benchmark::State& state) {
  QuietFrontend frontend;
  UnseenProcessing view;
  int passes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CuttingLayers layers = CuttingLayers::From(Picture());
    state.ResumeTiming();
    CuttingPreparation preparation(layers, frontend, Folder());
    passes = preparation.Process(view).removalPasses;
  }
  state.counters["CR passes"] = passes;
}
BENCHMARK(Prepare)->Unit(benchmark::kMillisecond)->Iterations(3);

// The CR passes alone on the picture as CN leaves it, by worklist and by
// whole passes (range 0 and 1).
void RemovalPasses(benchmark::State& state) {
  PixelImage sharpened = Picture();
  GreyThreshold(sharpened);
  for (int pass = 0; pass < 5; ++pass) Sharpen(sharpened);
  const bool worklist = state.range(0) == 0;
  int passes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    PixelImage layer = sharpened;
    state.ResumeTiming();
    passes = 0;
    if (worklist) {
      PatternRemoval removal(layer);
      while (++passes, removal.Pass()) {
      }
    } else {
      while (++passes, RemovePatterns(layer)) {
      }
    }
  }
  state.counters["CR passes"] = passes;
}
BENCHMARK(RemovalPasses)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void CutPrint(benchmark::State& state) {
  const std::filesystem::path drawing = Folder() / "drawing.bmp";
  {
    QuietFrontend frontend;
    UnseenProcessing view;
    CuttingLayers layers = CuttingLayers::From(Picture());
    CuttingPreparation preparation(layers, frontend, Folder());
    preparation.Process(view);
    WritePictureFile(drawing, layers.pattern);
  }
  const std::string ini = PathToUtf8(Folder() / "cnc.ini");
  double lines = 0;
  for (auto _ : state) {
    CountingBuffer counter;
    std::ostream out(&counter);
    std::ostringstream err;
    RunCli({"--ini", ini, "--print", "cut", PathToUtf8(drawing), "--prepared"}, {out, err});
    lines += static_cast<double>(counter.lines);
    state.counters["lines"] = static_cast<double>(counter.lines);
  }
  state.counters["lines/s"] = benchmark::Counter(lines, benchmark::Counter::kIsRate);
}
BENCHMARK(CutPrint)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
