// G-code of a photo-like engraving (800 × 600, smooth tones with grain and
// white patches): the program's bytes per burned pixel against one
// "G1 X… S…" block per pixel, and the writer's speed in blocks and motions
// per second, alone and inside `vertolin-cli --print --protocol grbl engrave`.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "motion/gcode_protocol.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "util/path_text.h"

namespace vertolin {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kStepsPerPixel = 2;  // Etching_width 8 mm at 0.005 mm per step

PixelImage Photograph() {
  PixelImage picture(kWidth, kHeight);
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> grain(-6, 6);
  for (int y = 1; y <= kHeight; ++y) {
    for (int x = 1; x <= kWidth; ++x) {
      double tone = 140 + 70 * std::sin(x / 97.0) * std::cos(y / 71.0) +
                    25 * std::sin((x + y) / 19.0);
      if ((x / 150 + y / 120) % 4 == 0) tone = 255;  // white patches
      const int grey = tone >= 255 ? 255
                                   : std::clamp(static_cast<int>(tone) + grain(random), 0, 254);
      picture.SetGrey(x, y, static_cast<std::uint8_t>(grey));
    }
  }
  return picture;
}

const PixelImage& Picture() {
  static const PixelImage picture = Photograph();
  return picture;
}

// The raster's native delay for a grey, with the default delays (0 and 4000 µs).
std::int32_t Delay(int grey) {
  return static_cast<std::int32_t>(std::nearbyint(4000.0 * (255 - grey) / 255.0));
}

// The motions of the serpentine raster, as the engraving job makes them.
std::vector<Motion> RasterMotions() {
  std::vector<Motion> motions{{MotionKind::RasterOpen, {}, 4000, kStepsPerPixel}};
  int at = 0;
  for (int row = 1; row <= kHeight; ++row) {
    const bool forward = row % 2 == 1;
    for (int i = 1; i <= kWidth; ++i) {
      const int column = forward ? i : kWidth + 1 - i;
      const int grey = Picture().Grey(column, row);
      if (grey == 255) continue;
      const int start = forward ? column : column + 1;
      if (at != start)
        motions.push_back({MotionKind::Travel, {(start - at) * kStepsPerPixel, 0, 0}});
      motions.push_back(
          {MotionKind::Burn, {forward ? kStepsPerPixel : -kStepsPerPixel, 0, 0}, Delay(grey)});
      at = start + (forward ? 1 : -1);
    }
    motions.push_back({MotionKind::Travel, {0, kStepsPerPixel, 0}});
  }
  return motions;
}

std::int64_t BurnedPixels() {
  std::int64_t burned = 0;
  for (int y = 1; y <= kHeight; ++y)
    for (int x = 1; x <= kWidth; ++x) burned += Picture().Grey(x, y) != 255;
  return burned;
}

// One "G1 X… S…" block for every burned pixel.
std::int64_t BlockPerPixelBytes() {
  std::int64_t bytes = 0;
  char block[64];
  for (int row = 1; row <= kHeight; ++row) {
    const bool forward = row % 2 == 1;
    for (int column = 1; column <= kWidth; ++column) {
      const int grey = Picture().Grey(column, row);
      if (grey == 255) continue;
      const double x = (forward ? column : column - 1) * kStepsPerPixel * 0.005;
      bytes += std::snprintf(block, sizeof block, "G1 X%.3f S%d\n", x,
                             GcodeWriter::RasterPower(Delay(grey), 4000, 1000));
    }
  }
  return bytes;
}

void Writer(benchmark::State& state) {
  const std::vector<Motion> motions = RasterMotions();
  double blocks = 0;
  double added = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    GcodeWriter writer({}, true);
    std::string program = writer.Opening();
    program.reserve(8 << 20);
    for (const Motion& motion : motions) writer.Add(motion, program);
    writer.Close(program);
    blocks += static_cast<double>(std::count(program.begin(), program.end(), '\n'));
    added += static_cast<double>(motions.size());
    bytes = program.size();
  }
  const auto burned = static_cast<double>(BurnedPixels());
  state.counters["blocks/s"] = benchmark::Counter(blocks, benchmark::Counter::kIsRate);
  state.counters["motions/s"] = benchmark::Counter(added, benchmark::Counter::kIsRate);
  state.counters["bytes/burned px"] = static_cast<double>(bytes) / burned;
  state.counters["G1/px bytes/burned px"] = static_cast<double>(BlockPerPixelBytes()) / burned;
}
BENCHMARK(Writer)->Unit(benchmark::kMillisecond)->Iterations(5);

void EngravePrint(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "vertolin_gcode_bench";
  std::filesystem::create_directories(folder);
  WritePictureFile(folder / "photo.bmp", Picture());
  std::ofstream(folder / "cnc.ini") << "[CNC]\r\n";
  double blocks = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    RunCli({"--ini", PathToUtf8(folder / "cnc.ini"), "--print", "--protocol", "grbl", "--set",
            "Etching_width=8", "engrave", PathToUtf8(folder / "photo.bmp")},
           {out, err});
    const std::string program = out.str();
    blocks += static_cast<double>(std::count(program.begin(), program.end(), '\n'));
    bytes = program.size();
  }
  state.counters["blocks/s"] = benchmark::Counter(blocks, benchmark::Counter::kIsRate);
  state.counters["bytes/burned px"] = static_cast<double>(bytes) /
                                      static_cast<double>(BurnedPixels());
}
BENCHMARK(EngravePrint)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
