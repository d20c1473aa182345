// How many command lines per second the PC side can send and have
// acknowledged, so that the PC is never what slows a job down.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>

#include "support/quiet_frontend.h"
#include "board/board_process.h"
#include "link/link.h"
#include "jobs/job_journal.h"
#include "jobs/job_runner.h"
#include "util/file_replace.h"
#include "link/window_link.h"

namespace vertolin {
namespace {

// The simulated board on its pseudo-terminal, and the router's window link to it.
struct BoardSession {
  BoardProcess board{{"--kind", "M"}};
  QuietFrontend frontend;
  Link link{frontend};
  WindowLink window{link, formats::kRouter};

  bool Open(benchmark::State& state) {
    if (!link.Open(board.path(), 115200)) {
      state.SkipWithError("the board's port did not open");
      return false;
    }
    window.SetDriveSwitch([] { return true; });
    return true;
  }
};

void CountLines(benchmark::State& state, std::int64_t perIteration) {
  const auto lines = static_cast<std::int64_t>(state.iterations()) * perIteration;
  state.SetItemsProcessed(lines);
  state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(lines),
                                                          benchmark::Counter::kIsRate);
}

void AcknowledgedLines(benchmark::State& state) {
  BoardSession session;
  if (!session.Open(state)) return;
  for (auto _ : state) {
    session.window.Checkpoint(true);
    session.window.Send({MotionKind::Cut, 1, -1, 0, 400}, {1, 1, 1}, true);
  }
  CountLines(state, 1);
}
BENCHMARK(AcknowledgedLines)->MinTime(2.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

JobProgram SameLines(int count) {
  for (int i = 0; i < count; ++i)
    co_yield ProgramStep::Move({MotionKind::Cut, 1, -1, 0, 400}, {1, 1, 1});
}

// The same lines as a job program through the runner: its checkpoint, event
// pump and counting must not cost throughput.
void AcknowledgedLinesThroughRunner(benchmark::State& state) {
  BoardSession session;
  if (!session.Open(state)) return;
  JobRunner runner(session.window);
  const auto batch = static_cast<int>(state.range(0));
  for (auto _ : state) runner.Run(SameLines(batch));
  CountLines(state, batch);
}
// Short jobs, and jobs long enough for the runner's progress reports.
BENCHMARK(AcknowledgedLinesThroughRunner)
    ->Arg(100)
    ->Arg(10000)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The same, keeping the job journal as a job on a port does: the batches
// are one long job, its journal rewritten every half second and its record
// of lines sent stored at every line.
void AcknowledgedLinesWithJournal(benchmark::State& state) {
  BoardSession session;
  if (!session.Open(state)) return;
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     "vertolin-serial-bench.journal";
  JobJournal journal(
      file, {"bench", "bench", "0", 0, {}, false, std::nullopt, std::nullopt, std::nullopt, {}});
  const auto batch = static_cast<int>(state.range(0));
  struct OneLongJob : ResumeRecorder {
    JobJournal& journal;
    std::int64_t before = 0;
    int batch;
    OneLongJob(JobJournal& j, int b) : journal(j), batch(b) {}
    void Record(const ResumePoint& point, bool) override {
      journal.Record({before + point.lines, point.depth}, false);
    }
    void Sent(const ResumePoint& point) override {
      journal.Sent({before + point.lines, point.depth});
    }
    void Completed() override { before += batch; }
  } job(journal, batch);
  session.window.SetResumeRecorder(&job);
  JobRunner runner(session.window);
  for (auto _ : state) runner.Run(SameLines(batch));
  CountLines(state, batch);
  state.counters["journal_writes"] = static_cast<double>(journal.writes());
  journal.Completed();
}
BENCHMARK(AcknowledgedLinesWithJournal)
    ->Arg(10000)
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// What every line sent adds for the record of lines sent: its share of a
// line's time is this over the lines' CPU time above.
void RecordOfLinesSent(benchmark::State& state) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     "vertolin-sent-bench.journal";
  JobJournal journal(
      file, {"bench", "bench", "0", 0, {}, false, std::nullopt, std::nullopt, std::nullopt, {}});
  std::int64_t lines = 0;
  for (auto _ : state) journal.Sent({++lines, 0});
  journal.Completed();
}
BENCHMARK(RecordOfLinesSent)->MinTime(1.0)->Unit(benchmark::kNanosecond);

// One rewrite of the journal, as while a job runs and (flushed to disk) at
// its stop: at two a second, the running rewrites' share of a job's time is
// twice their time in a second.
void JournalRewrite(benchmark::State& state) {
  const bool flushed = state.range(0) != 0;
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     "vertolin-rewrite-bench.journal";
  JournalRecord record{"bench",      "bench",      "0",          0, {}, false,
                       std::nullopt, std::nullopt, std::nullopt, {}};
  std::string error;
  for (auto _ : state) {
    record.point.lines += 1000;
    if (!ReplaceFileContents(file, JournalText(record), error, flushed)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::filesystem::remove(file);
}
BENCHMARK(JournalRewrite)
    ->Arg(0)
    ->Arg(1)
    ->MinTime(1.0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vertolin

BENCHMARK_MAIN();
