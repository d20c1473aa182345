// "Сохранить в BMP": the view as it stands saved as image.bmp beside the
// program, replacing an earlier one without asking.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vertolin {

class PixelImage;

namespace texts {

inline constexpr std::string_view kImageFileName = "image.bmp";
inline constexpr std::string_view kImageSaved = "Изображение сохранено";
inline constexpr std::string_view kTitleSaving = "Сохранение";
inline constexpr std::string_view kImageNotSaved = "Не удалось сохранить image.bmp";

}  // namespace texts

// On success the window shows kImageSaved titled kTitleSaving; otherwise
// `error` (kImageNotSaved and the system's reason) titled "Ошибка".
struct ImageSaveResult {
  bool saved = false;
  std::string error;
};

// Writes `view` as a 24-bit BMP named image.bmp in `folder`, through a
// temporary file renamed over the old one, so that a failed save leaves the
// earlier picture whole.
ImageSaveResult SaveImageBmp(const PixelImage& view, const std::filesystem::path& folder);

// The same beside the running program.
ImageSaveResult SaveImageBmp(const PixelImage& view);

}  // namespace vertolin
