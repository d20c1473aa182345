// JPEG files through libjpeg-turbo: decoding straight into a PixelImage, and
// encoding one (the default grey picture is written this way).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "picture/picture_limits.h"
#include "picture/pixel_image.h"

namespace vertolin {

enum class JpegError {
  None,
  Corrupt,   // not a JPEG the decoder can read (bad header, unsupported colours, fatal data error)
  TooLarge,  // more pixels than allowed, known from the header before anything is allocated
  Damaged,   // cut short, or a header promising far more pixels than its data can hold
};

struct JpegDecodeResult {
  std::optional<LoadedPicture> picture;  // set exactly when error is None
  JpegError error = JpegError::None;
  // The header's size once it was read (also for TooLarge); 0 before that.
  int width = 0;
  int height = 0;
};

// Decodes a whole JPEG file to 24-bit blue-green-red (grey JPEGs give grey
// pixels); fileBitsPerPixel is always 24. Harmless damage the decoder steps
// over (stray bytes between segments) still gives a picture; data that ends
// before the picture does is refused as Damaged rather than engraved with its
// missing part flat grey, and so is a header whose size the data cannot
// possibly fill (found before that size is allocated and decoded).
JpegDecodeResult DecodeJpeg(std::span<const std::uint8_t> file,
                            std::int64_t maxPixels = kMaxPicturePixels);

// Encodes at quality 1..100 with full colour resolution. A picture whose every
// pixel is grey (blue = green = red) is stored as a one-channel JPEG, so that it
// decodes as exactly grey again. Empty on failure.
std::vector<std::uint8_t> EncodeJpeg(const PixelImage& image, int quality);

}  // namespace vertolin
