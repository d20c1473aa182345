#include "picture/picture_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "picture/bmp.h"
#include "picture/bmp_builder.h"
#include "picture/jpeg.h"
#include "support/temp_folder.h"

#include "support/jpeg_skip.h"

namespace vertolin {
namespace {

using test::TempFolder;

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  ASSERT_TRUE(WriteFileBytes(path, bytes));
}

PixelImage Small() {
  PixelImage image(5, 4);
  image.SetPixel(2, 3, 10, 20, 30);
  return image;
}

TEST(PictureFile, OutcomesOfLoading) {
  TempFolder folder;
  const PictureResult missing = LoadPictureFile(folder.path() / "нет.bmp");
  EXPECT_EQ(missing.error, PictureError::NotFound);
  EXPECT_EQ(LoadPictureFile(folder.path()).error,
            PictureError::NotFound);  // a folder is not a file
  EXPECT_EQ(LoadPictureFile({}).error, PictureError::NotFound);

  const std::string text = "just some text, no picture\r\n";
  Write(folder.path() / "text.bmp", std::vector<std::uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(LoadPictureFile(folder.path() / "text.bmp").error, PictureError::CannotOpen);
  Write(folder.path() / "empty.jpg", {});
  EXPECT_EQ(LoadPictureFile(folder.path() / "empty.jpg").error, PictureError::CannotOpen);

  // The content decides, not the name.
  ASSERT_TRUE(WritePictureFile(folder.path() / "really-a-bmp.jpg", Small()));
  const PictureResult bmp = LoadPictureFile(folder.path() / "really-a-bmp.jpg");
  ASSERT_EQ(bmp.error, PictureError::None);
  EXPECT_EQ(bmp.picture->image, Small());
  if (test::kHaveJpeg) {
    Write(folder.path() / "really-a-jpeg.bmp", EncodeJpeg(Small(), 90));
    const PictureResult jpeg = LoadPictureFile(folder.path() / "really-a-jpeg.bmp");
    ASSERT_EQ(jpeg.error, PictureError::None);
    EXPECT_EQ(jpeg.picture->image.width(), 5);
  }

  // A picture below 24 bits loads; the windows then warn about its depth.
  test::BmpLayout layout;
  layout.bitsPerPixel = 8;
  layout.palette = {{1, 2, 3}};
  layout.coloursUsed = 1;
  layout.rows = {{0}};
  Write(folder.path() / "eight.bmp", test::BuildBmp(layout));
  const PictureResult eight = LoadPictureFile(folder.path() / "eight.bmp");
  ASSERT_TRUE(eight.picture);
  EXPECT_EQ(eight.picture->fileBitsPerPixel, 8);
}

TEST(PictureFile, TooLargePicturesAreRefusedBeforeTheirPixelsAreRead) {
  TempFolder folder;
  test::BmpLayout layout;
  layout.width = 9000;
  layout.height = 9000;
  Write(folder.path() / "huge.bmp", test::BuildBmp(layout));
  const PictureResult result = LoadPictureFile(folder.path() / "huge.bmp");
  EXPECT_EQ(result.error, PictureError::TooLarge);
  EXPECT_FALSE(result.picture);
  EXPECT_EQ(
      PictureErrorText(result, "huge.bmp"),
      "Изображение слишком велико: 9000 × 9000 пикселей. Наибольший размер — 40 мегапикселей.");

  // A file too big to read whole: only its header is looked at (the file is
  // sparse, so this costs no disk).
  const std::filesystem::path big = folder.path() / "big.bmp";
  Write(big, test::BuildBmp(layout));
  std::filesystem::resize_file(big, kMaxPictureFileBytes + 1);
  const PictureResult bigResult = LoadPictureFile(big);
  EXPECT_EQ(bigResult.error, PictureError::TooLarge);
  EXPECT_EQ(bigResult.width, 9000);
  const std::filesystem::path bigText = folder.path() / "big.txt";
  Write(bigText, {'h', 'i'});
  std::filesystem::resize_file(bigText, kMaxPictureFileBytes + 1);
  EXPECT_EQ(LoadPictureFile(bigText).error, PictureError::CannotOpen);

  // A small picture in a file far too big: the file's size is the reason.
  test::BmpLayout small;
  small.width = 400;
  small.height = 300;
  const std::filesystem::path padded = folder.path() / "padded.bmp";
  Write(padded, test::BuildBmp(small));
  std::filesystem::resize_file(padded, kMaxPictureFileBytes + 1);
  const PictureResult paddedResult = LoadPictureFile(padded);
  EXPECT_EQ(paddedResult.error, PictureError::TooLarge);
  EXPECT_EQ(PictureErrorText(paddedResult, "padded.bmp"), TooLargeText(0, 0));
}

TEST(PictureFile, MessagesForThePerson) {
  PictureResult missing;
  missing.error = PictureError::NotFound;
  EXPECT_EQ(PictureErrorText(missing, "C:\\картинки\\а.bmp"),
            "Файл C:\\картинки\\а.bmp не найден!\r\nВыберите другой файл!");
  PictureResult cannot;
  cannot.error = PictureError::CannotOpen;
  cannot.reason = "файл не читается";
  EXPECT_EQ(PictureErrorText(cannot, "x.bmp"),
            "Ошибка открытия файла!\r\nx.bmp: файл не читается.");
  PictureResult damaged;
  damaged.error = PictureError::Damaged;
  EXPECT_EQ(PictureErrorText(damaged, "x")
                .rfind("Ошибка открытия файла!\r\nФайл изображения повреждён", 0),
            0u);
  EXPECT_EQ(PictureErrorText(PictureResult{}, "x"), "");
  EXPECT_EQ(LowDepthWarningText(kMillingImpossibleText),
            "В изображении используется менее 24 бит на пиксель.\r\nФрезеровка невозможна.\r\n"
            "Преобразуйте изображение к 24-битовому формату (например в Paint)");
  EXPECT_EQ(TooLargeText(0, 0),
            "Файл изображения слишком велик. Наибольший размер файла — 256 МБ.");
}

TEST(PictureFile, Utf8PathsReachTheFileSystemUnchanged) {
  TempFolder folder;
  const std::string name = "Гепард №2.bmp";
  const std::filesystem::path path = folder.path() / PathFromUtf8(name);
  EXPECT_EQ(PathToUtf8(PathFromUtf8(name)), name);
  EXPECT_FALSE(FileExists(path));
  ASSERT_TRUE(WritePictureFile(path, Small()));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(PathToUtf8(path.filename()), name);
  EXPECT_EQ(LoadPictureFile(path).error, PictureError::None);

  EXPECT_FALSE(WritePictureFile(folder.path() / "no-such-folder" / "a.bmp", Small()));
  EXPECT_FALSE(WritePictureFile(folder.path() / "empty.bmp", PixelImage()));
}

}  // namespace
}  // namespace vertolin
