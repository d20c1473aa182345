#include "picture/pixel_image.h"

namespace vertolin {

PixelImage::PixelImage(int width, int height)
    : width_(width),
      height_(height),
      stride_(StrideFor(width)),
      bytes_(stride_ * static_cast<std::size_t>(height), 0xFF) {}

std::size_t PixelImage::StrideFor(int width) {
  const std::size_t stride = static_cast<std::size_t>(width) * kBytesPerPixel;
  return stride + (stride % 2);
}

void PixelImage::SetPixel(int x, int y, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  const std::size_t at = Offset(x, y);
  bytes_[at] = blue;
  bytes_[at + 1] = green;
  bytes_[at + 2] = red;
}

}  // namespace vertolin
