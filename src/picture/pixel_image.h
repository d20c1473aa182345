// One picture layer as the jobs read and write it: rows from the top, pixels
// left to right, each pixel blue, green, red; every row padded to an even
// number of bytes. Pixel coordinates are 1-based, (1, 1) at the top left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vertolin {

class PixelImage {
 public:
  static constexpr int kBytesPerPixel = 3;

  PixelImage() = default;
  // A white picture of the given size.
  PixelImage(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t stride() const { return stride_; }
  bool empty() const { return width_ == 0 || height_ == 0; }

  // The row stride for a width: W × 3, plus one when odd.
  static std::size_t StrideFor(int width);

  // Byte index of pixel (x, y): (y − 1) × S + (x − 1) × 3.
  std::size_t Offset(int x, int y) const {
    return static_cast<std::size_t>(y - 1) * stride_ +
           static_cast<std::size_t>(x - 1) * kBytesPerPixel;
  }

  // The grey value every consumer reads: the blue byte.
  std::uint8_t Grey(int x, int y) const { return bytes_[Offset(x, y)]; }
  void SetPixel(int x, int y, std::uint8_t blue, std::uint8_t green, std::uint8_t red);
  void SetGrey(int x, int y, std::uint8_t grey) { SetPixel(x, y, grey, grey, grey); }

  // The whole S × H byte array.
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  friend bool operator==(const PixelImage&, const PixelImage&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> bytes_;
};

// A picture file as loaded: its pixels (always 24-bit) and the file's own bit
// depth, which decides whether the jobs may run on it.
struct LoadedPicture {
  PixelImage image;
  int fileBitsPerPixel = 24;
};

}  // namespace vertolin
