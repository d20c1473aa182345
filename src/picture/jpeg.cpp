#include "picture/jpeg.h"

#include <turbojpeg.h>

#include <cctype>
#include <climits>
#include <memory>
#include <new>
#include <string>

namespace vertolin {

namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct BufferFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

JpegDecodeResult Refuse(JpegError error, int width = 0, int height = 0) {
  JpegDecodeResult result;
  result.error = error;
  result.width = width;
  result.height = height;
  return result;
}

bool AllGrey(const PixelImage& image) {
  for (int y = 1; y <= image.height(); ++y) {
    const std::uint8_t* pixel = image.bytes().data() + image.Offset(1, y);
    for (int x = 0; x < image.width(); ++x, pixel += 3) {
      if (pixel[0] != pixel[1] || pixel[0] != pixel[2]) return false;
    }
  }
  return true;
}

// Far beyond what any Huffman-coded picture gets to (a blank baseline one
// needs a byte per 256 pixels at the very least), yet it stops a 2 kB file
// from claiming 36 megapixels.
constexpr std::int64_t kMostPixelsPerByte = 4096;

// The decoder's warning that the data ended before the picture did ("Premature
// end of JPEG file", "premature end of data segment"); other warnings, such
// as stray bytes before a marker, leave the picture whole.
bool CutShort(const char* warning) {
  if (warning == nullptr) return false;
  std::string text(warning);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("premature end") != std::string::npos;
}

}  // namespace

JpegDecodeResult DecodeJpeg(std::span<const std::uint8_t> file, std::int64_t maxPixels) {
  // The library counts sizes in unsigned long, which is 32 bits on Windows.
  if (file.empty() || file.size() > ULONG_MAX) return Refuse(JpegError::Corrupt);
  const Handle handle(tjInitDecompress());
  if (!handle) return Refuse(JpegError::Corrupt);

  const auto* const bytes = file.data();
  const auto size = static_cast<unsigned long>(file.size());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourSpace = 0;
  if (tjDecompressHeader3(handle.get(), bytes, size, &width, &height, &subsampling, &colourSpace) !=
          0 ||
      width <= 0 || height <= 0) {
    return Refuse(JpegError::Corrupt);
  }
  if (std::int64_t{width} * height > maxPixels ||
      PixelImage::StrideFor(width) > static_cast<std::size_t>(INT_MAX)) {
    return Refuse(JpegError::TooLarge, width, height);
  }
  // Even a blank picture takes some bits per 8 × 8 block; a small file whose
  // header claims a vast frame is damaged, and decoding it would fill
  // hundreds of megabytes with grey.
  if (std::int64_t{width} * height > static_cast<std::int64_t>(file.size()) * kMostPixelsPerByte) {
    return Refuse(JpegError::Damaged, width, height);
  }

  JpegDecodeResult result;
  result.width = width;
  result.height = height;
  try {
    result.picture.emplace();
    result.picture->image = PixelImage(width, height);
  } catch (const std::bad_alloc&) {
    return Refuse(JpegError::TooLarge, width, height);
  }
  PixelImage& image = result.picture->image;
  // Progressive files may hold any number of scans; the limit keeps a hostile
  // one from taking minutes.
  const int flags = TJFLAG_LIMITSCANS;
  if (tjDecompress2(handle.get(), bytes, size, image.bytes().data(), width,
                    static_cast<int>(image.stride()), height, TJPF_BGR, flags) != 0) {
    if (tjGetErrorCode(handle.get()) != TJERR_WARNING)
      return Refuse(JpegError::Corrupt, width, height);
    if (CutShort(tjGetErrorStr2(handle.get()))) return Refuse(JpegError::Damaged, width, height);
  }
  result.picture->fileBitsPerPixel = 24;
  return result;
}

std::vector<std::uint8_t> EncodeJpeg(const PixelImage& image, int quality) {
  if (image.empty() || image.stride() > static_cast<std::size_t>(INT_MAX)) return {};
  const Handle handle(tjInitCompress());
  if (!handle) return {};

  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int subsampling = AllGrey(image) ? TJSAMP_GRAY : TJSAMP_444;
  const int status = tjCompress2(handle.get(), image.bytes().data(), image.width(),
                                 static_cast<int>(image.stride()), image.height(), TJPF_BGR,
                                 &buffer, &size, subsampling, quality, TJFLAG_ACCURATEDCT);
  const std::unique_ptr<unsigned char, BufferFree> owned(buffer);
  if (status != 0 || buffer == nullptr) return {};
  return std::vector<std::uint8_t>(buffer, buffer + size);
}

}  // namespace vertolin
