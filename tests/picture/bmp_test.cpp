#include "picture/bmp.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>

#include "picture/bmp_builder.h"

namespace vertolin {
namespace {

using test::BmpLayout;
using test::BuildBmp;
using test::Poke;
using Bgr = std::array<std::uint8_t, 3>;

Bgr At(const PixelImage& image, int x, int y) {
  const std::size_t at = image.Offset(x, y);
  return {image.bytes()[at], image.bytes()[at + 1], image.bytes()[at + 2]};
}

LoadedPicture Read(const std::vector<std::uint8_t>& file) {
  BmpReadResult result = ReadBmp(file);
  EXPECT_EQ(result.error, BmpError::None);
  if (!result.picture) return {};
  return *result.picture;
}

PixelImage Pattern(int width, int height) {
  PixelImage image(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      image.SetPixel(x, y, static_cast<std::uint8_t>(x * 40 + y), static_cast<std::uint8_t>(y * 30),
                     static_cast<std::uint8_t>(x * 7 + y * 11));
    }
  }
  return image;
}

TEST(Bmp, WrittenFilesReadBackUnchanged) {
  for (const int width : {1, 2, 3, 4, 5, 8}) {
    const PixelImage image = Pattern(width, 3);
    const std::vector<std::uint8_t> file = WriteBmp(image);
    const std::size_t rowSize = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    ASSERT_EQ(file.size(), 54 + rowSize * 3) << width;
    // Bottom-up: the file's first row is the picture's last.
    EXPECT_EQ(file[54], image.bytes()[image.Offset(1, 3)]);
    const LoadedPicture read = Read(file);
    EXPECT_EQ(read.fileBitsPerPixel, 24);
    EXPECT_EQ(read.image, image) << width;
  }
  EXPECT_TRUE(WriteBmp(PixelImage()).empty());
}

TEST(Bmp, OddRowsCarryOnePaddingByteAndPixelsSitAtTheirOffsets) {
  BmpLayout layout;
  layout.headerSize = 108;
  layout.width = 3;
  layout.height = -2;  // top-down
  layout.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}};
  const PixelImage image = Read(BuildBmp(layout)).image;
  ASSERT_EQ(image.stride(), 10u);
  ASSERT_EQ(image.bytes().size(), 20u);
  for (int y = 1; y <= 2; ++y) {
    for (int x = 1; x <= 3; ++x) {
      const std::size_t at = static_cast<std::size_t>(y - 1) * 10 +
                             static_cast<std::size_t>(x - 1) * 3;
      const auto first = static_cast<std::uint8_t>((y - 1) * 10 + (x - 1) * 3 + 1);
      EXPECT_EQ(image.bytes()[at], first);
      EXPECT_EQ(At(image, x, y), (Bgr{first, static_cast<std::uint8_t>(first + 1),
                                      static_cast<std::uint8_t>(first + 2)}));
    }
  }
}

TEST(Bmp, PaletteDepthsDecodeThroughTheirPalettes) {
  const Bgr dark{10, 20, 30};
  const Bgr light{200, 100, 50};
  const Bgr third{1, 2, 3};

  // 1 bit, width across a byte boundary, an empty colour count meaning all
  // colours, bottom-up.
  BmpLayout one;
  one.width = 10;
  one.height = 2;
  one.bitsPerPixel = 1;
  one.palette = {dark, light};
  one.rows = {{0b10110000, 0b01000000}, {0xFF, 0xC0}};
  const LoadedPicture onePicture = Read(BuildBmp(one));
  EXPECT_EQ(onePicture.fileBitsPerPixel, 1);
  const std::array<int, 10> bottom{1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
  for (int x = 1; x <= 10; ++x) {
    EXPECT_EQ(At(onePicture.image, x, 2), bottom[x - 1] ? light : dark) << x;
    EXPECT_EQ(At(onePicture.image, x, 1), light) << x;
  }

  // 4 bits with three colours; the unused nibble after the last pixel may
  // hold anything.
  BmpLayout four;
  four.width = 3;
  four.bitsPerPixel = 4;
  four.coloursUsed = 3;
  four.palette = {dark, light, third};
  four.rows = {{0x21, 0x0F}};
  const LoadedPicture fourPicture = Read(BuildBmp(four));
  EXPECT_EQ(fourPicture.fileBitsPerPixel, 4);
  EXPECT_EQ(At(fourPicture.image, 1, 1), third);
  EXPECT_EQ(At(fourPicture.image, 2, 1), light);
  EXPECT_EQ(At(fourPicture.image, 3, 1), dark);

  // 8 bits, top-down.
  BmpLayout eight;
  eight.width = 3;
  eight.height = -2;
  eight.bitsPerPixel = 8;
  eight.coloursUsed = 4;
  eight.palette = {dark, light, third, {7, 7, 7}};
  eight.rows = {{0, 1, 2}, {3, 3, 0}};
  const PixelImage eightImage = Read(BuildBmp(eight)).image;
  EXPECT_EQ(At(eightImage, 1, 1), dark);
  EXPECT_EQ(At(eightImage, 3, 1), third);
  EXPECT_EQ(At(eightImage, 1, 2), (Bgr{7, 7, 7}));
  EXPECT_EQ(At(eightImage, 3, 2), dark);

  // Core header: 16-bit sizes, 3-byte palette entries, always bottom-up.
  BmpLayout core;
  core.headerSize = 12;
  core.width = 2;
  core.height = 2;
  core.bitsPerPixel = 1;
  core.palette = {dark, light};
  core.rows = {{0x40}, {0x80}};
  const PixelImage coreImage = Read(BuildBmp(core)).image;
  EXPECT_EQ(At(coreImage, 1, 2), dark);
  EXPECT_EQ(At(coreImage, 2, 2), light);
  EXPECT_EQ(At(coreImage, 1, 1), light);
  EXPECT_EQ(At(coreImage, 2, 1), dark);
}

TEST(Bmp, SixteenAndThirtyTwoBitPixelsAreUnpackedByTheirMasks) {
  // 5-5-5 when uncompressed: five bits scale up so that 31 is full.
  BmpLayout rgb555;
  rgb555.width = 3;
  rgb555.bitsPerPixel = 16;
  rgb555.rows = {{0x1F, 0x00, 0x00, 0x7C, 0x00, 0x02}};
  const LoadedPicture picture555 = Read(BuildBmp(rgb555));
  EXPECT_EQ(picture555.fileBitsPerPixel, 16);
  EXPECT_EQ(At(picture555.image, 1, 1), (Bgr{255, 0, 0}));
  EXPECT_EQ(At(picture555.image, 2, 1), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(picture555.image, 3, 1), (Bgr{0, 132, 0}));  // 16 of 31

  // 5-6-5 by masks after a plain info header.
  BmpLayout rgb565 = rgb555;
  rgb565.compression = 3;
  rgb565.masks = {0xF800, 0x07E0, 0x001F};
  rgb565.rows = {{0xE0, 0x07, 0x00, 0xF8, 0x20, 0x00}};
  const PixelImage image565 = Read(BuildBmp(rgb565)).image;
  EXPECT_EQ(At(image565, 1, 1), (Bgr{0, 255, 0}));
  EXPECT_EQ(At(image565, 2, 1), (Bgr{0, 0, 255}));
  EXPECT_EQ(At(image565, 3, 1), (Bgr{0, 4, 0}));  // 1 of 63

  // 32 bits uncompressed: blue, green, red and an ignored byte.
  BmpLayout plain32;
  plain32.width = 1;
  plain32.height = 2;
  plain32.bitsPerPixel = 32;
  plain32.rows = {{1, 2, 3, 99}, {4, 5, 6, 0}};
  const LoadedPicture picture32 = Read(BuildBmp(plain32));
  EXPECT_EQ(picture32.fileBitsPerPixel, 32);
  EXPECT_EQ(At(picture32.image, 1, 2), (Bgr{1, 2, 3}));
  EXPECT_EQ(At(picture32.image, 1, 1), (Bgr{4, 5, 6}));

  // 32 bits with masks inside a V5 header, in an unusual order.
  BmpLayout masked32 = plain32;
  masked32.headerSize = 124;
  masked32.height = -1;
  masked32.compression = 3;
  masked32.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
  masked32.rows = {{0x44, 0x33, 0x22, 0x11}};
  EXPECT_EQ(At(Read(BuildBmp(masked32)).image, 1, 1), (Bgr{0x33, 0x22, 0x11}));
}

TEST(Bmp, TheLastRowMayLackItsPadding) {
  BmpLayout layout;
  layout.width = 1;
  layout.height = 2;
  layout.rows = {{1, 2, 3}, {4, 5, 6}};
  std::vector<std::uint8_t> file = BuildBmp(layout);
  file.pop_back();
  EXPECT_EQ(At(Read(file).image, 1, 1), (Bgr{4, 5, 6}));
  file.pop_back();  // now a pixel byte is missing
  EXPECT_EQ(ReadBmp(file).error, BmpError::Truncated);
}

BmpLayout EightBitLayout() {
  BmpLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.bitsPerPixel = 8;
  layout.coloursUsed = 2;
  layout.palette = {{0, 0, 0}, {255, 255, 255}};
  layout.rows = {{0, 1, 0}, {1, 1, 1}};
  return layout;
}

TEST(Bmp, DamagedOrUnsupportedHeadersAreRefused) {
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
    BmpError expected;
  };
  const std::vector<Case> cases = {
      {"signature", [](auto& f) { f[1] = 'A'; }, BmpError::NotBmp},
      {"pixel data cut short", [](auto& f) { f.resize(f.size() - 5); }, BmpError::Truncated},
      {"header cut short", [](auto& f) { f.resize(30); }, BmpError::Truncated},
      {"offset beyond the file", [](auto& f) { Poke(f, 10, 5000, 4); }, BmpError::Truncated},
      {"offset inside the palette", [](auto& f) { Poke(f, 10, 56, 4); }, BmpError::BadHeader},
      {"palette longer than the file", [](auto& f) { Poke(f, 46, 0xFFFFFFFF, 4); },
       BmpError::Truncated},
      {"index beyond the palette", [](auto& f) { f[f.size() - 4] = 2; }, BmpError::BadPalette},
      {"RLE8", [](auto& f) { Poke(f, 30, 1, 4); }, BmpError::Unsupported},
      {"RLE4", [](auto& f) { Poke(f, 30, 2, 4); }, BmpError::Unsupported},
      {"embedded JPEG", [](auto& f) { Poke(f, 30, 4, 4); }, BmpError::Unsupported},
      {"embedded PNG", [](auto& f) { Poke(f, 30, 5, 4); }, BmpError::Unsupported},
      {"masks on 8 bits", [](auto& f) { Poke(f, 30, 3, 4); }, BmpError::Unsupported},
      {"unknown header size", [](auto& f) { Poke(f, 14, 64, 4); }, BmpError::Unsupported},
      {"depth 2", [](auto& f) { Poke(f, 28, 2, 2); }, BmpError::Unsupported},
      {"zero width", [](auto& f) { Poke(f, 18, 0, 4); }, BmpError::BadHeader},
      {"negative width", [](auto& f) { Poke(f, 18, 0xFFFFFFFD, 4); }, BmpError::BadHeader},
      {"zero height", [](auto& f) { Poke(f, 22, 0, 4); }, BmpError::BadHeader},
      {"height INT_MIN", [](auto& f) { Poke(f, 22, 0x80000000, 4); }, BmpError::BadHeader},
      {"two planes", [](auto& f) { Poke(f, 26, 2, 2); }, BmpError::BadHeader},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> file = BuildBmp(EightBitLayout());
    ASSERT_EQ(ReadBmp(file).error, BmpError::None);
    c.spoil(file);
    const BmpReadResult result = ReadBmp(file);
    EXPECT_EQ(result.error, c.expected) << c.name;
    EXPECT_FALSE(result.picture) << c.name;
  }
}

TEST(Bmp, MasksThatAreNotOneRunOfBitsAreRefused) {
  for (const std::array<std::uint32_t, 3> masks : {std::array<std::uint32_t, 3>{0, 0x07E0, 0x001F},
                                                   {0xF801, 0x07E0, 0x001E},
                                                   {0x1F800, 0x07E0, 0x001F}}) {
    BmpLayout layout;
    layout.bitsPerPixel = 16;
    layout.compression = 3;
    layout.masks = masks;
    layout.rows = {{0, 0}};
    EXPECT_EQ(ReadBmp(BuildBmp(layout)).error, BmpError::BadHeader) << masks[0];
  }
}

TEST(Bmp, HugeSizesAreRefusedFromTheHeaderAlone) {
  BmpLayout layout;
  layout.width = 100000;
  layout.height = -100000;
  const BmpReadResult tooLarge = ReadBmp(BuildBmp(layout));
  EXPECT_EQ(tooLarge.error, BmpError::TooLarge);
  EXPECT_EQ(tooLarge.width, 100000);
  EXPECT_EQ(tooLarge.height, 100000);

  // With no pixel limit the sizes still cannot overflow the arithmetic: the
  // file simply does not hold them.
  for (const std::uint16_t bits : {1, 24, 32}) {
    layout.width = INT32_MAX;
    layout.height = INT32_MAX;
    layout.bitsPerPixel = bits;
    layout.palette.assign(bits == 1 ? 2 : 0, Bgr{});
    EXPECT_EQ(ReadBmp(BuildBmp(layout), INT64_MAX).error, BmpError::Truncated) << bits;
  }
}

TEST(Bmp, EveryShortenedFileIsRefused) {
  BmpLayout layout = EightBitLayout();
  layout.width = 5;  // one padding byte per row; the last may be left out
  layout.rows = {{0, 1, 0, 1, 1}, {1, 1, 1, 0, 0}};
  const std::vector<std::uint8_t> file = BuildBmp(layout);
  for (std::size_t length = 0; length + 3 < file.size(); ++length) {
    const std::vector<std::uint8_t> start(file.begin(),
                                          file.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(ReadBmp(start).picture) << length;
  }
}

}  // namespace
}  // namespace vertolin
