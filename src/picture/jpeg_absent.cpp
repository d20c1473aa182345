// The JPEG side of a build without libjpeg-turbo (the Windows cross build,
// for which Debian has none): every JPEG is refused as unreadable and none
// can be written, so BMP pictures still work.
#include "picture/jpeg.h"

namespace vertolin {

JpegDecodeResult DecodeJpeg(std::span<const std::uint8_t>, std::int64_t) {
  JpegDecodeResult result;
  result.error = JpegError::Corrupt;
  return result;
}

std::vector<std::uint8_t> EncodeJpeg(const PixelImage&, int) { return {}; }

}  // namespace vertolin
