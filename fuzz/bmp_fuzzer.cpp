// Any bytes through the BMP reader: it must refuse or decode, never read or
// write out of bounds, and a decoded picture must be consistent.
#include <cstdlib>

#include "picture/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vertolin::BmpReadResult result = vertolin::ReadBmp({data, size});
  if (result.picture) {
    const vertolin::PixelImage& image = result.picture->image;
    if (image.width() != result.width || image.height() != result.height || image.width() <= 0 ||
        image.height() <= 0 ||
        image.bytes().size() != image.stride() * static_cast<std::size_t>(image.height())) {
      std::abort();
    }
  } else if (result.error == vertolin::BmpError::None) {
    std::abort();
  }
  return 0;
}
