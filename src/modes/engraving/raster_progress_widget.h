// A raster job's progress shown in a picture widget.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "modes/engraving/raster_job.h"
#include "picture/pixel_image.h"
#include "ui/picture_widget.h"

namespace vertolin {

// Shows the burned pixels in the picture widget one by one: each mark costs
// one pixel, and the widget limits its repaints, so the person sees the same
// progress as a full redraw per pixel without its cost. Marks the job does
// not want shown yet wait for the next ShowAll.
class RasterProgressWidget : public RasterProgress {
 public:
  RasterProgressWidget(PictureWidget& widget, const PixelImage& work,
                       std::function<bool()> stillShown)
      : widget_(widget), work_(work), stillShown_(std::move(stillShown)) {}

  void Burned(int x, int y, bool show) override {
    if (!stillShown_()) return;  // another picture was loaded meanwhile
    if (!show) {
      waiting_.emplace_back(x, y);
      return;
    }
    Mark(x, y);
  }

  void ShowAll() override {
    if (stillShown_()) {
      for (const auto& [x, y] : waiting_) Mark(x, y);
      widget_.Flush();
    }
    waiting_.clear();
  }

 private:
  // The pixel as the job left it (its red byte is 255 now).
  void Mark(int x, int y) {
    const std::uint8_t* pixel = work_.bytes().data() + work_.Offset(x, y);
    widget_.MarkPixel(x, y, qRgb(pixel[2], pixel[1], pixel[0]));
  }

  PictureWidget& widget_;
  const PixelImage& work_;
  std::function<bool()> stillShown_;
  std::vector<std::pair<int, int>> waiting_;
};

}  // namespace vertolin
