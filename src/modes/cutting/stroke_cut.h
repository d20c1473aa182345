// "Резать" of the cutting window: the black lines of the Trace layer are cut
// stroke by stroke. A start is the first pixel in raster order (rows 1 to
// H − 1) whose red byte is 0; the stroke is first followed to an end without
// moving, the laser travels there, is switched on, follows the stroke pixel
// by pixel (a pixel on a stroke has red at most 100), and is switched off.
// Cut pixels are marked red in a working copy, which alone decides what is
// still to cut, and, with their four neighbours, in the Trace layer, so that
// a later cut skips everything painted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"

namespace vertolin {

class PixelImage;
class WindowLink;

// The window's fields, read afresh wherever the cut uses them.
class CutFields {
 public:
  virtual ~CutFields() = default;
  virtual std::string Width() const = 0;   // Text6: finished width, mm
  virtual std::string Delay() const = 0;   // Text4: step delay with the laser on, µs
  virtual bool ReturnToStart() const = 0;  // Check2
};

// How the window shows the cut as it paints the Trace layer.
class CutView {
 public:
  virtual ~CutView() = default;
  // Pixel (x, y) and those of its four neighbours inside the picture were
  // painted red in the Trace layer.
  virtual void Marked(int x, int y) = 0;
  // Everything painted so far should be seen now (every eleventh step and at
  // the end of the walk).
  virtual void Redraw() = 0;
};

// One cutting window's cut. The machine position stays between cuts (each
// cut starts by setting it to (1, 1)); the rounding carry is the window
// link's and so also carries across strokes and cuts.
class StrokeCut {
 public:
  explicit StrokeCut(WindowLink& window) : window_(window) {}

  // The cut on `trace`, through the window link (formats::kCutting). Refused
  // with a message, and nothing sent, when the width or the delay is not a
  // number or the width is not above 0. A stop or a lost link ends it
  // quietly with the laser switched off; a complete cut says "Готово".
  JobResult Run(PixelImage& trace, const CutFields& fields, CutView& view);

  // What Run would send on `trace` (left unmarked), counted ahead
  // (jobs/job_count.h); nothing when it refuses.
  // `also` sees the count's motions too (jobs/job_count.h).
  std::optional<JobEstimate> Count(const PixelImage& trace, const CutFields& fields,
                                   MotionObserver* also = nullptr) const;

  // The machine position in pixels, (1, 1) at the top left.
  int x() const { return x_; }
  int y() const { return y_; }

 private:
  WindowLink& window_;
  int x_ = 1;
  int y_ = 1;
};

}  // namespace vertolin
