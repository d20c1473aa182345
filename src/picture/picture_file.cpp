#include "picture/picture_file.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <system_error>
#include <vector>

#include "picture/bmp.h"
#include "picture/jpeg.h"

namespace vertolin {

namespace {

// Enough of a file to hold any header we read, when the file is too big to
// read whole.
constexpr std::size_t kHeaderProbeBytes = 1024 * 1024;

PictureResult Failed(PictureError error, int width = 0, int height = 0) {
  PictureResult result;
  result.error = error;
  result.width = width;
  result.height = height;
  if (error == PictureError::CannotOpen) result.reason = kNotAPictureReason;
  return result;
}

PictureResult Unreadable(std::string_view reason) {
  PictureResult result = Failed(PictureError::CannotOpen);
  result.reason = reason;
  return result;
}

bool IsBmp(std::span<const std::uint8_t> file) {
  return file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
}

bool IsJpeg(std::span<const std::uint8_t> file) {
  return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

// Reads at most `limit` bytes from the start of the file (of about
// `expected` bytes; the file may change while it is read).
std::optional<std::vector<std::uint8_t>> ReadStart(const std::filesystem::path& path,
                                                   std::uintmax_t limit, std::uintmax_t expected) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(std::min(limit, expected)));
  constexpr std::size_t kChunk = 1 << 16;
  while (bytes.size() < limit) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uintmax_t>(kChunk, limit - bytes.size()));
    const std::size_t had = bytes.size();
    bytes.resize(had + want);
    in.read(reinterpret_cast<char*>(bytes.data() + had), static_cast<std::streamsize>(want));
    bytes.resize(had + static_cast<std::size_t>(in.gcount()));
    if (in.eof()) return bytes;
    if (!in) return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::string NotFoundText(std::string_view pathUtf8) {
  std::string text = "Файл ";
  text += pathUtf8;
  text += " не найден!\r\n";
  text += kChooseAnotherFileText;
  return text;
}

std::string TooLargeText(int width, int height) {
  if (width <= 0 || height <= 0) {
    return "Файл изображения слишком велик. Наибольший размер файла — " +
           std::to_string(kMaxPictureFileBytes / (1024 * 1024)) + " МБ.";
  }
  return "Изображение слишком велико: " + std::to_string(width) + " × " + std::to_string(height) +
         " пикселей. Наибольший размер — " + std::to_string(kMaxPictureMegapixels) +
         " мегапикселей.";
}

std::string LowDepthWarningText(std::string_view impossibleLine) {
  std::string text(kLowDepthText);
  text += "\r\n";
  text += impossibleLine;
  text += "\r\n";
  text += kConvertTo24BitText;
  return text;
}

std::string PictureErrorText(const PictureResult& result, std::string_view pathUtf8) {
  switch (result.error) {
    case PictureError::None:
      return {};
    case PictureError::NotFound:
      return NotFoundText(pathUtf8);
    case PictureError::CannotOpen: {
      // Which file, and why: the first line alone left the person guessing.
      std::string text(kCannotOpenText);
      text += "\r\n";
      text += pathUtf8;
      if (!result.reason.empty()) text += ": " + result.reason;
      return text + ".";
    }
    case PictureError::TooLarge:
      return TooLargeText(result.width, result.height);
    case PictureError::Damaged:
      return std::string(kDamagedText);
  }
  return std::string(kCannotOpenText);
}

// Either decoder's result as the windows take it.
template <typename Decoded>
PictureResult FromDecoder(Decoded& decoded, bool tooLarge) {
  if (tooLarge) return Failed(PictureError::TooLarge, decoded.width, decoded.height);
  if (!decoded.picture) return Failed(PictureError::CannotOpen);
  PictureResult result;
  result.picture = std::move(decoded.picture);
  result.width = decoded.width;
  result.height = decoded.height;
  return result;
}

PictureResult DecodePicture(std::span<const std::uint8_t> file, std::int64_t maxPixels) {
  try {
    if (IsBmp(file)) {
      BmpReadResult bmp = ReadBmp(file, maxPixels);
      return FromDecoder(bmp, bmp.error == BmpError::TooLarge);
    }
    if (IsJpeg(file)) {
      JpegDecodeResult jpeg = DecodeJpeg(file, maxPixels);
      if (jpeg.error == JpegError::Damaged)
        return Failed(PictureError::Damaged, jpeg.width, jpeg.height);
      return FromDecoder(jpeg, jpeg.error == JpegError::TooLarge);
    }
  } catch (const std::bad_alloc&) {
    return Failed(PictureError::TooLarge);
  }
  return Failed(PictureError::CannotOpen);
}

PictureResult LoadPictureFile(const std::filesystem::path& path) {
  if (!FileExists(path)) return Failed(PictureError::NotFound);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return Unreadable("файл не читается");

  if (size > kMaxPictureFileBytes) {
    // Read only the header: with no pixels allowed, any picture it describes
    // comes back as TooLarge with its size, for the message.
    const auto start = ReadStart(path, kHeaderProbeBytes, size);
    if (!start) return Unreadable("файл не читается");
    const PictureResult probe = DecodePicture(*start, 0);
    if (probe.error == PictureError::TooLarge) {
      // A header within the pixel limit: the file's size is the reason.
      const bool fewPixels = std::int64_t{probe.width} * probe.height <= kMaxPicturePixels;
      return fewPixels ? Failed(PictureError::TooLarge) : probe;
    }
    // Not a picture header at all: as any other file we cannot decode.
    return Failed(PictureError::CannotOpen);
  }

  try {
    const auto bytes = ReadStart(path, kMaxPictureFileBytes, size);
    if (!bytes) return Unreadable("файл не читается");
    return DecodePicture(*bytes);
  } catch (const std::bad_alloc&) {
    return Failed(PictureError::TooLarge);
  }
}

bool FileExists(const std::filesystem::path& path) {
  if (path.empty()) return false;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) return false;
  return std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool WritePictureFile(const std::filesystem::path& path, const PixelImage& image) {
  const std::vector<std::uint8_t> bytes = WriteBmp(image);
  return !bytes.empty() && WriteFileBytes(path, bytes);
}

bool WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace vertolin
