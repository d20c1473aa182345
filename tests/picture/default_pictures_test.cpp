#include "picture/default_pictures.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "picture/jpeg.h"
#include "picture/picture_file.h"
#include "support/temp_folder.h"

#include "support/jpeg_skip.h"

namespace vertolin {
namespace {

// The 4-connected region of one grey value around (x, y), as pixel indices.
struct Region {
  std::set<int> pixels;
  bool touchesEdge = false;
};

Region RegionAt(const PixelImage& image, int x, int y) {
  Region region;
  const std::uint8_t grey = image.Grey(x, y);
  std::vector<std::pair<int, int>> todo{{x, y}};
  while (!todo.empty()) {
    const auto [px, py] = todo.back();
    todo.pop_back();
    if (px < 1 || py < 1 || px > image.width() || py > image.height() || image.Grey(px, py) != grey)
      continue;
    if (!region.pixels.insert((py - 1) * image.width() + (px - 1)).second) continue;
    if (px == 1 || py == 1 || px == image.width() || py == image.height())
      region.touchesEdge = true;
    todo.insert(todo.end(), {{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}});
  }
  return region;
}

TEST(DefaultPictures, OrnamentIsTwoColouredWithFiguresInsideFigures) {
  const PixelImage image = DrawOrnament();
  ASSERT_EQ(image.width(), kDefaultPictureWidth);
  ASSERT_EQ(image.height(), kDefaultPictureHeight);
  for (int y = 1; y <= image.height(); ++y) {
    for (int x = 1; x <= image.width(); ++x) {
      const std::size_t at = image.Offset(x, y);
      const std::uint8_t b = image.bytes()[at];
      ASSERT_TRUE(b == 0 || b == 255) << x << "," << y;
      ASSERT_EQ(image.bytes()[at + 1], b);
      ASSERT_EQ(image.bytes()[at + 2], b);
    }
  }

  // Outwards from the pinhole of the first ring: pinhole, dot, ring's
  // inside, ring, field, frame, background; each a region of its own that
  // only the last reaches the edge.
  const std::vector<std::pair<int, int>> steps{{85, 95}, {85, 85}, {85, 70}, {85, 55},
                                               {85, 30}, {85, 12}, {3, 3}};
  std::uint8_t expected = 255;
  std::set<int> inner;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const auto [x, y] = steps[i];
    EXPECT_EQ(image.Grey(x, y), expected) << i;
    const Region region = RegionAt(image, x, y);
    EXPECT_EQ(region.touchesEdge, i + 1 == steps.size()) << i;
    for (const int p : inner) EXPECT_FALSE(region.pixels.count(p)) << i;
    inner.insert(region.pixels.begin(), region.pixels.end());
    expected = static_cast<std::uint8_t>(255 - expected);
  }

  // Chained squares meet only at a corner: apart when 4-connected.
  EXPECT_EQ(image.Grey(27, 27), 0);
  EXPECT_EQ(image.Grey(28, 28), 0);
  EXPECT_EQ(image.Grey(28, 27), 255);
  EXPECT_EQ(image.Grey(27, 28), 255);
  EXPECT_EQ(RegionAt(image, 27, 27).pixels.size(), 36u);
}

TEST(DefaultPictures, GepardIsGreyWithSmoothTonesAndSharpEdges) {
  VERTOLIN_SKIP_WITHOUT_JPEG();
  const std::vector<std::uint8_t> file = EncodeJpeg(DrawGepard(), kGepardJpegQuality);
  const JpegDecodeResult decoded = DecodeJpeg(file);
  ASSERT_TRUE(decoded.picture);
  const PixelImage& image = decoded.picture->image;
  ASSERT_EQ(image.width(), kDefaultPictureWidth);
  ASSERT_EQ(image.height(), kDefaultPictureHeight);
  std::set<int> levels;
  int sharpEdges = 0;
  for (int y = 1; y <= image.height(); ++y) {
    for (int x = 1; x <= image.width(); ++x) {
      const std::size_t at = image.Offset(x, y);
      ASSERT_EQ(image.bytes()[at], image.bytes()[at + 1]) << x << "," << y;
      ASSERT_EQ(image.bytes()[at], image.bytes()[at + 2]) << x << "," << y;
      levels.insert(image.Grey(x, y));
      if (x > 1 && std::abs(image.Grey(x, y) - image.Grey(x - 1, y)) > 100) ++sharpEdges;
    }
  }
  EXPECT_GE(levels.size(), 150u);
  EXPECT_GE(sharpEdges, 50);
}

TEST(DefaultPictures, BothFilesAreWrittenAndLoadAsTwentyFourBit) {
  test::TempFolder folder;
  ASSERT_TRUE(WriteDefaultPictures(folder.path()));
  const PictureResult ornament = LoadPictureFile(folder.path() / kOrnamentFileName);
  ASSERT_TRUE(ornament.picture);
  EXPECT_EQ(ornament.picture->fileBitsPerPixel, 24);
  EXPECT_EQ(ornament.picture->image, DrawOrnament());
  if (test::kHaveJpeg) {
    const PictureResult gepard = LoadPictureFile(folder.path() / kGepardFileName);
    ASSERT_TRUE(gepard.picture);
    EXPECT_EQ(gepard.picture->fileBitsPerPixel, 24);
  }
  EXPECT_FALSE(WriteDefaultPictures(folder.path() / "missing"));
}

}  // namespace
}  // namespace vertolin
