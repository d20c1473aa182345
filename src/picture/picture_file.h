// Picture files as the windows open them: the format is told by the content,
// the size is checked before pixels are allocated, and each way of failing has
// the text the person is shown.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "picture/picture_limits.h"
#include "picture/pixel_image.h"
#include "util/path_text.h"  // the picture paths callers name

namespace vertolin {

enum class PictureError {
  None,
  NotFound,    // there is no such file
  CannotOpen,  // not a picture this program decodes, or unreadable
  TooLarge,    // more than kMaxPicturePixels pixels (or a file far too big to be one)
  Damaged,     // a picture whose data ends early or cannot fill its header's size
};

struct PictureResult {
  std::optional<LoadedPicture> picture;  // set exactly when error is None
  PictureError error = PictureError::None;
  // The picture's size when its header could be read (also for TooLarge).
  int width = 0;
  int height = 0;
  // CannotOpen: why, for the person (UTF-8).
  std::string reason;
};

inline constexpr std::string_view kNotAPictureReason =
    "это не изображение BMP или JPEG, которое программа умеет читать";

// Texts shown with the title "Ошибка" (and "Внимание" for the depth warning).
inline constexpr std::string_view kCannotOpenText = "Ошибка открытия файла!";
inline constexpr std::string_view kDamagedText =
    "Ошибка открытия файла!\r\nФайл изображения повреждён: его данные обрываются раньше, "
    "чем изображение кончается.";
inline constexpr std::string_view kChooseAnotherFileText = "Выберите другой файл!";
inline constexpr std::string_view kLowDepthText =
    "В изображении используется менее 24 бит на пиксель.";
inline constexpr std::string_view kMillingImpossibleText = "Фрезеровка невозможна.";
inline constexpr std::string_view kEngravingImpossibleText = "Гравировка невозможна.";
inline constexpr std::string_view kConvertTo24BitText =
    "Преобразуйте изображение к 24-битовому формату (например в Paint)";

// "Файл <path> не найден!" and "Выберите другой файл!" on the next line.
std::string NotFoundText(std::string_view pathUtf8);
// Names the picture's size and the limit; for a file too big to read at all
// (size unknown: 0 × 0) names the file size limit instead.
std::string TooLargeText(int width, int height);
// The three-line warning for a picture below 24 bits per pixel;
// `impossibleLine` is kMillingImpossibleText or kEngravingImpossibleText.
std::string LowDepthWarningText(std::string_view impossibleLine);
// The message for a failed load (empty for None).
std::string PictureErrorText(const PictureResult& result, std::string_view pathUtf8);

// Files above this are not read whole: no picture within the pixel limit needs
// as much (a 32-bit BMP of 40 megapixels is 160 MB).
inline constexpr std::uintmax_t kMaxPictureFileBytes = 256u * 1024 * 1024;

// A BMP ("BM") or JPEG (FF D8 FF) held in memory, whatever its file was called.
PictureResult DecodePicture(std::span<const std::uint8_t> file,
                            std::int64_t maxPixels = kMaxPicturePixels);

// Reads and decodes a picture file.
PictureResult LoadPictureFile(const std::filesystem::path& path);

// True when the path names something other than a folder; false when nothing
// is there or the lookup fails.
bool FileExists(const std::filesystem::path& path);

// Writes the bytes as the whole file; false when they could not all be written.
bool WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes the picture as a 24-bit BMP file; false when it could not be written
// whole.
bool WritePictureFile(const std::filesystem::path& path, const PixelImage& image);

}  // namespace vertolin
