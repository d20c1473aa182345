// Any bytes through the in-memory picture decoder that picture files go
// through (JPEG seeds; a "BM" start takes the BMP path).
#include <cstdlib>

#include "picture/picture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vertolin::PictureResult result = vertolin::DecodePicture({data, size});
  if (result.picture) {
    const vertolin::PixelImage& image = result.picture->image;
    if (image.width() != result.width || image.height() != result.height ||
        std::int64_t{image.width()} * image.height() > vertolin::kMaxPicturePixels ||
        image.bytes().size() != image.stride() * static_cast<std::size_t>(image.height())) {
      std::abort();
    }
  } else if (result.error == vertolin::PictureError::None) {
    std::abort();
  }
  return 0;
}
