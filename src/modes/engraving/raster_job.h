// The raster jobs of the gradation engraving and wood burning windows: the
// picture is walked in serpentine rows and every pixel darker than white is
// burned by a one-pixel move whose step delay grows with its darkness.
#pragma once

#include <optional>
#include <string>

#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"

namespace vertolin {

class PixelImage;
class WindowLink;

// The window's fields, read afresh wherever the job uses them, so that an
// edit takes effect at the next move.
class RasterFields {
 public:
  virtual ~RasterFields() = default;
  virtual std::string StepsPerPixel() const = 0;  // Text2
  virtual std::string LightDelay() const = 0;     // Text3: delay of the lightest burn (gradation)
  virtual std::string DarkDelay() const = 0;      // Text4: delay of a black pixel
  virtual std::string Width() const = 0;          // Text6: finished width in mm
  virtual bool ReturnToStart() const = 0;         // Check2
  virtual bool DrawEachPixel() const = 0;         // Check3 (gradation)
};

// How the window shows the job's progress.
class RasterProgress {
 public:
  virtual ~RasterProgress() = default;
  // Pixel (x, y) was burned and marked in the job's picture (its red byte is
  // 255); `show` says whether the person should see it now.
  virtual void Burned(int x, int y, bool show) = 0;
  // Everything marked so far should be seen now.
  virtual void ShowAll() = 0;
};

// Runs one job on `picture` (the working copy: burned pixels get their red
// byte set to 255) through `window`, a gradation (formats::kGradation) or
// wood-burning (formats::kWoodBurning) window link.
JobResult RunRasterJob(WindowLink& window, PixelImage& picture, const RasterFields& fields,
                       RasterProgress& progress);

// What RunRasterJob would send through `window` on `picture` (left
// unmarked), counted ahead (jobs/job_count.h); nothing when it refuses.
// `also` sees the count's motions too (jobs/job_count.h).
std::optional<JobEstimate> CountRasterJob(WindowLink& window, const PixelImage& picture,
                                          const RasterFields& fields,
                                          MotionObserver* also = nullptr);

}  // namespace vertolin
