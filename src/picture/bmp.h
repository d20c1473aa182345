// BMP files: reading every uncompressed variant into a 24-bit PixelImage, and
// writing a 24-bit picture. Files come from the person's disk, so nothing in a
// header is trusted: every size and offset is checked against the file first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "picture/picture_limits.h"
#include "picture/pixel_image.h"

namespace vertolin {

enum class BmpError {
  None,
  NotBmp,       // no "BM" signature
  Truncated,    // header, masks, palette or pixel rows reach past the end of the file
  BadHeader,    // impossible field values (size, planes, offsets, masks)
  Unsupported,  // compressed (RLE, JPEG, PNG …), unknown header or bit depth
  BadPalette,   // a pixel names a colour beyond the palette
  TooLarge,     // more pixels than allowed (checked before anything is allocated)
};

struct BmpReadResult {
  std::optional<LoadedPicture> picture;  // set exactly when error is None
  BmpError error = BmpError::None;
  // The header's size once it was read (also for TooLarge); 0 before that.
  int width = 0;
  int height = 0;
};

// Decodes a whole BMP file. Pictures with more than `maxPixels` pixels are
// refused as TooLarge right after the header is read.
BmpReadResult ReadBmp(std::span<const std::uint8_t> file,
                      std::int64_t maxPixels = kMaxPicturePixels);

// A 24-bit bottom-up file with a BITMAPINFOHEADER (rows padded to 4 bytes).
// Empty for an empty picture or one whose file would pass 4 GB.
std::vector<std::uint8_t> WriteBmp(const PixelImage& image);

}  // namespace vertolin
