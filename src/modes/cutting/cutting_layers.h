// The cutting window's four layers of one picture file.
#pragma once

#include "picture/pixel_image.h"

namespace vertolin {

struct CuttingLayers {
  PixelImage base;     // "Основная": the picture as loaded, never changed
  PixelImage work;     // input and output of the filters (shown only with the filter buttons)
  PixelImage pattern;  // "Шаблон": the black-and-white drawing GS leaves; saved as neuro.bmp
  PixelImage trace;    // "Лазер": the source of the cut, which paints its path on it

  // Every layer becomes the picture.
  static CuttingLayers From(const PixelImage& picture) {
    return {picture, picture, picture, picture};
  }

  bool empty() const { return base.empty(); }
};

}  // namespace vertolin
