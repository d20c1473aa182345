#include "picture/jpeg.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/jpeg_skip.h"

namespace vertolin {
namespace {

PixelImage Gradient(int width, int height) {
  PixelImage image(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      image.SetPixel(x, y, static_cast<std::uint8_t>(x * 255 / width),
                     static_cast<std::uint8_t>(y * 255 / height), static_cast<std::uint8_t>(128));
    }
  }
  return image;
}

// Largest difference of any pixel byte (padding bytes excluded).
int LargestDifference(const PixelImage& a, const PixelImage& b) {
  int largest = 0;
  for (int y = 1; y <= a.height(); ++y) {
    for (int x = 1; x <= a.width(); ++x) {
      for (int c = 0; c < 3; ++c) {
        largest = std::max(largest,
                           std::abs(a.bytes()[a.Offset(x, y) + c] - b.bytes()[b.Offset(x, y) + c]));
      }
    }
  }
  return largest;
}

// Position of the frame header (SOF0) of a baseline file.
std::size_t FrameHeader(const std::vector<std::uint8_t>& file) {
  for (std::size_t i = 2; i + 9 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) return i;
  }
  return 0;
}

TEST(Jpeg, EncodedPicturesDecodeCloseToTheOriginal) {
  VERTOLIN_SKIP_WITHOUT_JPEG();
  // An odd width makes every row end in a padding byte: the decoder must write
  // with the picture's own stride.
  const PixelImage image = Gradient(33, 17);
  const std::vector<std::uint8_t> file = EncodeJpeg(image, 95);
  ASSERT_FALSE(file.empty());
  const JpegDecodeResult decoded = DecodeJpeg(file);
  ASSERT_EQ(decoded.error, JpegError::None);
  ASSERT_TRUE(decoded.picture);
  EXPECT_EQ(decoded.picture->fileBitsPerPixel, 24);
  const PixelImage& back = decoded.picture->image;
  ASSERT_EQ(back.width(), 33);
  ASSERT_EQ(back.height(), 17);
  EXPECT_EQ(back.stride(), image.stride());
  EXPECT_LE(LargestDifference(image, back), 12);
}

TEST(Jpeg, GreyPicturesStayExactlyGrey) {
  VERTOLIN_SKIP_WITHOUT_JPEG();
  PixelImage image(20, 10);
  for (int y = 1; y <= 10; ++y) {
    for (int x = 1; x <= 20; ++x) image.SetGrey(x, y, static_cast<std::uint8_t>(x * 12 + y));
  }
  const JpegDecodeResult decoded = DecodeJpeg(EncodeJpeg(image, 90));
  ASSERT_TRUE(decoded.picture);
  const PixelImage& back = decoded.picture->image;
  for (int y = 1; y <= 10; ++y) {
    for (int x = 1; x <= 20; ++x) {
      const std::size_t at = back.Offset(x, y);
      EXPECT_EQ(back.bytes()[at], back.bytes()[at + 1]);
      EXPECT_EQ(back.bytes()[at], back.bytes()[at + 2]);
    }
  }
  EXPECT_LE(LargestDifference(image, back), 6);
}

TEST(Jpeg, DamagedFilesAreRefusedOrDecodedWithoutHarm) {
  VERTOLIN_SKIP_WITHOUT_JPEG();
  const std::vector<std::uint8_t> file = EncodeJpeg(Gradient(16, 16), 90);
  EXPECT_EQ(DecodeJpeg({}).error, JpegError::Corrupt);
  const std::vector<std::uint8_t> onlyStart(file.begin(), file.begin() + 20);
  EXPECT_EQ(DecodeJpeg(onlyStart).error, JpegError::Corrupt);
  std::vector<std::uint8_t> noise{0xFF, 0xD8, 0xFF};
  for (int i = 0; i < 200; ++i) noise.push_back(static_cast<std::uint8_t>(i * 37));
  EXPECT_EQ(DecodeJpeg(noise).error, JpegError::Corrupt);

  // A file cut inside its picture data would be engraved with its missing
  // part flat grey: it is damaged.
  const std::vector<std::uint8_t> cut(file.begin(), file.end() - 40);
  const JpegDecodeResult partial = DecodeJpeg(cut);
  EXPECT_EQ(partial.error, JpegError::Damaged);
  EXPECT_FALSE(partial.picture);

  // Stray bytes before the end marker are stepped over: the picture is whole.
  std::vector<std::uint8_t> stray = file;
  ASSERT_EQ(stray[stray.size() - 2], 0xFF);
  stray.insert(stray.end() - 2, {0x12, 0x34});
  const JpegDecodeResult strayed = DecodeJpeg(stray);
  ASSERT_TRUE(strayed.picture);
  EXPECT_EQ(strayed.picture->image.width(), 16);
}

TEST(Jpeg, HugeFramesAreRefusedFromTheHeaderAlone) {
  VERTOLIN_SKIP_WITHOUT_JPEG();
  std::vector<std::uint8_t> file = EncodeJpeg(Gradient(16, 16), 90);
  const std::size_t frame = FrameHeader(file);
  ASSERT_NE(frame, 0u);
  // 9000 × 9000: the data that follows is far too short, but a decoder that
  // went ahead would still allocate and fill 243 MB.
  file[frame + 5] = 9000 >> 8;
  file[frame + 6] = 9000 & 0xFF;
  file[frame + 7] = 9000 >> 8;
  file[frame + 8] = 9000 & 0xFF;
  const JpegDecodeResult result = DecodeJpeg(file);
  EXPECT_EQ(result.error, JpegError::TooLarge);
  EXPECT_EQ(result.width, 9000);
  EXPECT_EQ(result.height, 9000);
  EXPECT_FALSE(result.picture);

  // 6000 × 6000 is within the limit, but a file of a few hundred bytes cannot
  // hold it: damaged, found before 108 MB are decoded.
  file[frame + 5] = 6000 >> 8;
  file[frame + 6] = 6000 & 0xFF;
  file[frame + 7] = 6000 >> 8;
  file[frame + 8] = 6000 & 0xFF;
  const JpegDecodeResult claimed = DecodeJpeg(file);
  EXPECT_EQ(claimed.error, JpegError::Damaged);
  EXPECT_FALSE(claimed.picture);
}

}  // namespace
}  // namespace vertolin
