// A photo-like engraving's G-code streamed to the simulated grbl 1.1 board at
// 115200 baud, its motion instant, so that the wire is all that limits it:
// the bytes per second that reach the board against the wire's 11,520, by
// counting characters (the sender's way) and by waiting for every "ok".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/grbl_board.h"
#include "link/grbl_stream.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "util/frontend.h"

namespace vertolin {
namespace {

class QuietFrontend : public Frontend {
 public:
  void ShowMessage(std::string_view, std::string_view) override {}
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ShowFirmwareWarning(std::string_view) override {}
  void RunPendingEvents() override {}
};

// A raster's blocks as the writer makes them: a row of pixels of changing
// power, "X… S…", then the step to the next row.
std::vector<std::string> PhotoBlocks(int count) {
  std::vector<std::string> blocks = {"M4 S0", "G1 X0.000 F3000"};
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> grain(-40, 40);
  for (int i = 0, x = 0, row = 0; static_cast<int>(blocks.size()) < count; ++i) {
    x += 1 + i % 3;
    if (x > 800) {
      x = 0;
      blocks.push_back("Y" + std::to_string(++row) + ".100 S0");
    }
    const int power = std::clamp(
        static_cast<int>(500 + 400 * std::sin(x / 60.0) * std::cos(row / 40.0)) + grain(random), 0,
        1000);
    blocks.push_back("X" + std::to_string(x / 10) + "." + std::to_string(x % 10) + "00 S" +
                     std::to_string(power));
  }
  return blocks;
}

void Stream(benchmark::State& state, bool countCharacters) {
  const auto blocks = PhotoBlocks(3000);
  std::int64_t bytes = 0;
  for (const std::string& block : blocks) bytes += static_cast<std::int64_t>(block.size()) + 1;
  double seconds = 0;
  for (auto _ : state) {
    QuietFrontend frontend;
    MachineProfile profile;
    Link link(frontend, profile);
    GrblBoardOptions options;
    options.motionScale = 0;
    options.baud = 115200;
    link.Attach(std::make_unique<SimPort>(GrblBoard(options)));
    GrblStream stream(link);
    if (!stream.Connect()) state.SkipWithError("no grbl");
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& block : blocks) {
      stream.Send(block, true, false);
      if (!countCharacters) stream.AwaitAnswers();
    }
    stream.AwaitAnswers();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const double perSecond = static_cast<double>(bytes) * static_cast<double>(state.iterations()) /
                           seconds;
  state.counters["bytes_per_s"] = perSecond;
  state.counters["share_of_wire"] = perSecond / 11520.0;
}

void BM_CharacterCounting(benchmark::State& state) { Stream(state, true); }
void BM_SendAndWait(benchmark::State& state) { Stream(state, false); }

BENCHMARK(BM_CharacterCounting)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SendAndWait)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
