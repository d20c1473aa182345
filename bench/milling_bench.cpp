// The milling jobs' own cost, with a board that acknowledges at once: "Все"
// on a picture of many round figures (planning each figure, the moves and
// the footprints painted per step), and "Резать 3D" on the same kind of
// picture, rounds of "Отступить" and "Разобрать" included.
#include <benchmark/benchmark.h>

#include <deque>
#include <memory>
#include <random>
#include <string_view>

#include "support/quiet_frontend.h"
#include "util/frontend.h"
#include "link/link.h"
#include "link/serial_port.h"
#include "link/window_link.h"
#include "modes/milling/milling_session.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

// Counts the lines and acknowledges each at once.
class InstantBoard : public SerialPort {
 public:
  explicit InstantBoard(std::int64_t& lines) : lines_(lines) {}
  void Write(std::string_view) override {
    ++lines_;
    ++acks_;
  }
  bool WriteChecked(std::string_view bytes, std::chrono::milliseconds) override {
    Write(bytes);
    return true;
  }
  int ReadByte() override {
    if (acks_ == 0) return -1;
    --acks_;
    return 'T';
  }

 private:
  std::int64_t& lines_;
  std::int64_t acks_ = 0;
};

struct Fields : MillingFields {
  std::string width;
  std::string Width() const override { return width; }
  std::string Depth() const override { return "5"; }
  std::string Diameter() const override { return "0,6"; }  // 6 pixels at 10 pixels per mm
  std::string Delay() const override { return "4000"; }
  bool ReturnToOrigin() const override { return true; }
};

struct NoView : MillingView {
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

// Discs of 5 to 30 pixels in a grid of 64-pixel cells, in three greys.
PixelImage Discs(int width, int height) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> radius(5, 30);
  std::uniform_int_distribution<int> grey(0, 2);
  PixelImage image(width, height);
  for (int cy = 32; cy + 32 <= height; cy += 64) {
    for (int cx = 32; cx + 32 <= width; cx += 64) {
      const int r = radius(random);
      const auto level = static_cast<std::uint8_t>(grey(random) * 40);
      for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) image.SetGrey(x, y, level);
        }
      }
    }
  }
  return image;
}

struct Bench {
  QuietFrontend frontend;
  Link link{frontend};
  std::int64_t lines = 0;
  WindowLink window{link, formats::kRouter};
  MillingSession session{window};
  Fields fields;
  NoView view;

  explicit Bench(const PixelImage& picture) {
    link.Attach(std::make_unique<InstantBoard>(lines));
    window.SetDriveSwitch([] { return true; });
    session.Reset();
    session.LoadPicture(picture);
    fields.width = FieldText(picture.width() / 10.0);
  }
};

void BM_MillAll(benchmark::State& state) {
  const PixelImage picture = Discs(static_cast<int>(state.range(0)),
                                   static_cast<int>(state.range(1)));
  Bench bench(picture);
  for (auto _ : state) {
    state.PauseTiming();
    bench.session.Parse(bench.view);
    state.ResumeTiming();
    bench.session.MillAll(bench.fields, bench.view);
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(bench.lines),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MillAll)->Args({2000, 1500})->Args({4000, 3000})->Unit(benchmark::kMillisecond);

void BM_Relief(benchmark::State& state) {
  const PixelImage picture = Discs(static_cast<int>(state.range(0)),
                                   static_cast<int>(state.range(1)));
  Bench bench(picture);
  for (auto _ : state) {
    state.PauseTiming();
    bench.session.LoadPicture(picture);
    state.ResumeTiming();
    bench.session.Relief(bench.fields, bench.view);
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(bench.lines),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Relief)->Args({1000, 750})->Args({2000, 1500})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
