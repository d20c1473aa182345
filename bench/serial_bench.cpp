// How many command lines per second the PC side can send and have
// acknowledged, so that the PC is never what slows a job down.
#include <benchmark/benchmark.h>

#include "support/quiet_frontend.h"
#include "board/board_process.h"
#include "link/link.h"
#include "jobs/job_runner.h"
#include "link/window_link.h"

namespace vertolin {
namespace {

void AcknowledgedLines(benchmark::State& state) {
  BoardProcess board({"--kind", "M"});
  QuietFrontend frontend;
  Link link(frontend);
  if (!link.Open(board.path(), 115200)) {
    state.SkipWithError("the board's port did not open");
    return;
  }
  WindowLink window(link, formats::kRouter);
  window.SetDriveSwitch([] { return true; });
  for (auto _ : state) {
    window.SendStep({1, -1, 0, 400}, {1, 1, 1}, true);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                          benchmark::Counter::kIsRate);
}
BENCHMARK(AcknowledgedLines)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

JobProgram SameLines(int count) {
  for (int i = 0; i < count; ++i) co_yield ProgramStep::Move({1, -1, 0, 400}, {1, 1, 1});
}

// The same lines as a job program through the runner: its checkpoint, event
// pump and counting must not cost throughput.
void AcknowledgedLinesThroughRunner(benchmark::State& state) {
  BoardProcess board({"--kind", "M"});
  QuietFrontend frontend;
  Link link(frontend);
  if (!link.Open(board.path(), 115200)) {
    state.SkipWithError("the board's port did not open");
    return;
  }
  WindowLink window(link, formats::kRouter);
  window.SetDriveSwitch([] { return true; });
  JobRunner runner(window);
  constexpr int kBatch = 100;
  for (auto _ : state) runner.Run(SameLines(kBatch));
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["lines_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kBatch), benchmark::Counter::kIsRate);
}
BENCHMARK(AcknowledgedLinesThroughRunner)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
