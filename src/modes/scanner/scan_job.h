// "Сканировать": the probe walks the mesh node by node and the board's
// measurements fill the height map, as a program on the job engine.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"
#include "modes/scanner/height_map.h"
#include "modes/scanner/scan_plan.h"

namespace vertolin {

class WindowLink;

// How the window shows the scan's progress.
class ScanProgress {
 public:
  virtual ~ScanProgress() = default;
  // Node (x, y) measured `value` (raw during a real scan): "Данные: v" and
  // the node's marker.
  virtual void Measured(int x, int y, std::int32_t value) = 0;
};

// The dry run's pause after every node; a test may shorten it.
inline constexpr std::chrono::milliseconds kDryRunPause{10};

struct ScanOptions {
  DryRunValues dryRun = DryRunValues::SeededFromClock();
  std::function<void(std::chrono::milliseconds)> pause;  // none: sleep
};

struct ScanResult {
  JobResult job;
  bool flat = false;  // a real scan measured the same height everywhere
};

// Checks the mesh (refusing with a message before anything moves), clears
// StopFlag, makes `map` anew and walks it through `window` (formats::kScanner).
// A dry run (drive switch clear) takes random values and pauses after each
// node. At the end of a real scan the map is normalised (a flat one becomes
// all 0, and the person is told), then "Сканирвание завершено". A scan that
// is stopped or loses the board ends quietly: the map keeps the values
// measured so far, not normalised. A refused mesh leaves `map` as it was.
ScanResult RunScan(WindowLink& window, const ScanFields& fields, HeightMap& map,
                   ScanProgress& progress, ScanOptions options = {});

// What RunScan would send through `window`, counted ahead on a map of its
// own: the lines follow from the mesh alone, every probe answered 0.
// Nothing when the mesh is refused or the scan runs dry.
// `also` sees the count's motions too (jobs/job_count.h).
std::optional<JobEstimate> CountScan(WindowLink& window, const ScanFields& fields,
                                     MotionObserver* also = nullptr);

}  // namespace vertolin
