#include "modes/scanner/image_export.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>

#include "modes/scanner/mesh_view.h"
#include "picture/bmp.h"
#include "picture/pixel_image.h"
#include "support/temp_folder.h"
#include "util/file_replace.h"

namespace vertolin {
namespace {

PixelImage ReadBack(const std::filesystem::path& file) {
  const FileBytes file_bytes = ReadFileBytes(file);
  EXPECT_EQ(file_bytes.status, FileBytes::Status::kOk);
  const auto* data = reinterpret_cast<const std::uint8_t*>(file_bytes.bytes.data());
  BmpReadResult read = ReadBmp(std::span(data, file_bytes.bytes.size()));
  EXPECT_EQ(read.error, BmpError::None);
  if (!read.picture) return {};
  EXPECT_EQ(read.picture->fileBitsPerPixel, 24);
  return read.picture->image;
}

TEST(ImageExportTest, SavesTheViewReplacingTheLastSave) {
  test::TempFolder folder;
  const std::filesystem::path file = folder.path() / "image.bmp";

  // An odd width, so that rows are padded differently in memory and on disk.
  const MeshLayout layout = LayOutMesh({223, 122}, 6, 5);
  PixelImage view = DrawEmptyMesh(layout);
  for (int g = 0; g < 30; ++g)
    PaintNode(view, layout, g % 6 + 1, g % 5 + 1, static_cast<std::uint8_t>(g * 8));
  ASSERT_TRUE(SaveImageBmp(view, folder.path()).saved);
  EXPECT_EQ(ReadBack(file), view);

  const PixelImage second = DrawEmptyMesh(LayOutMesh({100, 90}, 4, 3));
  ASSERT_TRUE(SaveImageBmp(second, folder.path()).saved);
  EXPECT_EQ(ReadBack(file), second);
  // Nothing of the temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);

  // A failed save leaves the last picture and says why.
  const ImageSaveResult empty = SaveImageBmp(PixelImage(), folder.path());
  EXPECT_FALSE(empty.saved);
  EXPECT_EQ(empty.error, texts::kImageNotSaved);
  EXPECT_EQ(ReadBack(file), second);
  const ImageSaveResult missing = SaveImageBmp(second, folder.path() / "no such folder");
  EXPECT_FALSE(missing.saved);
  EXPECT_TRUE(missing.error.starts_with(texts::kImageNotSaved)) << missing.error;
  EXPECT_GT(missing.error.size(), texts::kImageNotSaved.size());
}

}  // namespace
}  // namespace vertolin
