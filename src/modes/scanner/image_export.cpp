#include "modes/scanner/image_export.h"

#include <cstdint>
#include <vector>

#include "picture/bmp.h"
#include "picture/pixel_image.h"
#include "util/exe_folder.h"
#include "util/file_replace.h"

namespace vertolin {

ImageSaveResult SaveImageBmp(const PixelImage& view, const std::filesystem::path& folder) {
  const std::vector<std::uint8_t> file = WriteBmp(view);
  if (file.empty()) return {false, std::string(texts::kImageNotSaved)};
  const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  std::string reason;
  if (!ReplaceFileContents(folder / texts::kImageFileName, bytes, reason)) {
    return {false, std::string(texts::kImageNotSaved) + "\r\n" + reason};
  }
  return {true, {}};
}

ImageSaveResult SaveImageBmp(const PixelImage& view) {
  return SaveImageBmp(view, ExecutableFolder());
}

}  // namespace vertolin
