// The screen must not be what slows a job: the gradation window's job and
// the same job through the command-line tool, both against an instantly
// acknowledging board on a pseudo-terminal, over a 1000 × 1000 picture.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/quiet_frontend.h"
#include "settings/settings_store.h"
#include "board/board_process.h"
#include "cli/cli.h"
#include "link/link.h"
#include "link/window_link.h"
#include "modes/engraving/engraving_window.h"
#include "modes/engraving/raster_job.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"

namespace vertolin {
namespace {

// Dark shapes on white, about a sixth of the pixels burned: some 170,000
// burns and 30,000 travel moves.
std::filesystem::path Picture() {
  static const std::filesystem::path path = [] {
    PixelImage picture(1000, 1000);
    for (int y = 1; y <= 1000; ++y) {
      for (int x = 1; x <= 1000; ++x) {
        const int dx = x % 250 - 125;
        const int dy = y % 250 - 125;
        if (dx * dx + dy * dy < 2600)
          picture.SetGrey(x, y, static_cast<std::uint8_t>((x + y) % 200));
      }
    }
    const auto file = std::filesystem::temp_directory_path() / "vertolin-bench-1000.bmp";
    WritePictureFile(file, picture);
    return file;
  }();
  return path;
}

std::filesystem::path Settings() {
  const auto file = std::filesystem::temp_directory_path() / "vertolin-bench-cnc.ini";
  std::ofstream(file) << "[CNC]\r\nEtching_width=50\r\nEtching_image=" << Picture().string()
                      << "\r\nEtching_delay=400\r\nEtching_min=100\r\n";
  return file;
}

void WindowJob(benchmark::State& state) {
  BoardProcess board({"--kind", "P"});
  QuietFrontend frontend([] { QCoreApplication::processEvents(); });
  SettingsStore settings(Settings(), frontend);
  Link link(frontend);
  link.Open(board.path(), 115200);
  EngravingWindow window(link, settings, formats::kGradation);
  window.Load();
  window.show();
  window.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
  for (auto _ : state) window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
  window.Unload();
}
BENCHMARK(WindowJob)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void CliJob(benchmark::State& state) {
  BoardProcess board({"--kind", "P"});
  const std::string ini = Settings().string();
  std::ostringstream out;
  std::ostringstream err;
  for (auto _ : state) {
    RunCli({"--ini", ini, "--port", board.path(), "engrave", Picture().string()}, {out, err});
  }
}
BENCHMARK(CliJob)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The tool's job without its handshake (which waits one to two seconds for
// acknowledgements still on their way): the same job the window runs, with
// no screen at all.
struct SettingsFields : RasterFields {
  std::string StepsPerPixel() const override { return "10"; }
  std::string LightDelay() const override { return "100"; }
  std::string DarkDelay() const override { return "400"; }
  std::string Width() const override { return "50"; }
  bool ReturnToStart() const override { return false; }
  bool DrawEachPixel() const override { return false; }
};

struct NoProgress : RasterProgress {
  void Burned(int, int, bool) override {}
  void ShowAll() override {}
};

void HeadlessJob(benchmark::State& state) {
  BoardProcess board({"--kind", "P"});
  QuietFrontend frontend;
  Link link(frontend);
  link.Open(board.path(), 115200);
  PixelImage picture = LoadPictureFile(Picture()).picture->image;
  for (auto _ : state) {
    WindowLink window(link, formats::kGradation);
    window.SetDriveSwitch([] { return true; });
    SettingsFields fields;
    NoProgress progress;
    RunRasterJob(window, picture, fields, progress);
  }
}
BENCHMARK(HeadlessJob)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace vertolin

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
