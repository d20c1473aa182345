// Decoding the pictures a person opens, and the raster job's command lines
// for a large grey picture (the --print path: no port, every line counted).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ostream>
#include <streambuf>

#include "support/counting_buffer.h"
#include "support/quiet_frontend.h"
#include "cli/print_port.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/engraving/raster_job.h"
#include "picture/bmp.h"
#include "picture/jpeg.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth tones with sharp edges, like a photograph of a grey subject.
PixelImage GreyPicture(int width, int height) {
  PixelImage picture(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      double tone = 128 + 100 * std::sin(x / 97.0) * std::cos(y / 61.0);
      if ((x / 400 + y / 300) % 3 == 0) tone = 255;  // white blocks: travel moves
      picture.SetGrey(x, y, static_cast<std::uint8_t>(std::clamp(tone, 0.0, 255.0)));
    }
  }
  return picture;
}

const PixelImage& Picture() {
  static const PixelImage picture = GreyPicture(kWidth, kHeight);
  return picture;
}

void DecodeBmp(benchmark::State& state) {
  const std::vector<std::uint8_t> file = WriteBmp(Picture());
  for (auto _ : state) benchmark::DoNotOptimize(ReadBmp(file));
  state.counters["Mpixel/s"] = benchmark::Counter(
      state.iterations() * double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(DecodeBmp)->Unit(benchmark::kMillisecond);

void DecodeJpg(benchmark::State& state) {
  const std::vector<std::uint8_t> file = EncodeJpeg(Picture(), 90);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJpeg(file));
  state.counters["Mpixel/s"] = benchmark::Counter(
      state.iterations() * double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(DecodeJpg)->Unit(benchmark::kMillisecond);

struct FixedFields : RasterFields {
  std::string StepsPerPixel() const override { return "10"; }
  std::string LightDelay() const override { return "0"; }
  std::string DarkDelay() const override { return "4000"; }
  std::string Width() const override { return "200"; }  // 4000 px at 0.005 mm: 10 steps
  bool ReturnToStart() const override { return true; }
  bool DrawEachPixel() const override { return false; }
};

struct NoProgress : RasterProgress {
  void Burned(int, int, bool) override {}
  void ShowAll() override {}
};

void EngravePrint(benchmark::State& state) {
  QuietFrontend frontend;
  std::size_t lines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    PixelImage picture = Picture();
    CountingBuffer buffer;
    std::ostream out(&buffer);
    Link link(frontend);
    link.Attach(std::make_unique<PrintPort>(out, 'P'));
    WindowLink window(link, formats::kGradation);
    window.SetDriveSwitch([] { return true; });
    FixedFields fields;
    NoProgress progress;
    state.ResumeTiming();
    RunRasterJob(window, picture, fields, progress);
    lines += buffer.lines;
  }
  state.counters["lines/s"] = benchmark::Counter(double(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(EngravePrint)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
