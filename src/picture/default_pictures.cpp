#include "picture/default_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture/jpeg.h"
#include "picture/picture_file.h"

namespace vertolin {

namespace {

constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kWhite = 255;

// Integer geometry only, so the ornament is exact on every compiler.
std::int64_t Square(std::int64_t v) { return v * v; }

void FillRect(PixelImage& image, int left, int top, int right, int bottom, std::uint8_t grey) {
  for (int y = std::max(top, 1); y <= std::min(bottom, image.height()); ++y) {
    for (int x = std::max(left, 1); x <= std::min(right, image.width()); ++x)
      image.SetGrey(x, y, grey);
  }
}

// Pixels whose distance from the centre is within `radius`.
void FillDisc(PixelImage& image, int cx, int cy, int radius, std::uint8_t grey) {
  for (int y = cy - radius; y <= cy + radius; ++y) {
    for (int x = cx - radius; x <= cx + radius; ++x) {
      if (x < 1 || y < 1 || x > image.width() || y > image.height()) continue;
      if (Square(x - cx) + Square(y - cy) <= Square(radius)) image.SetGrey(x, y, grey);
    }
  }
}

// A disc with a disc of the background cut out: outer radius inclusive, the
// hole strictly inside the inner radius stays as it was painted before.
void FillRing(PixelImage& image, int cx, int cy, int outer, int inner, std::uint8_t grey) {
  for (int y = cy - outer; y <= cy + outer; ++y) {
    for (int x = cx - outer; x <= cx + outer; ++x) {
      if (x < 1 || y < 1 || x > image.width() || y > image.height()) continue;
      const std::int64_t d = Square(x - cx) + Square(y - cy);
      if (d <= Square(outer) && d > Square(inner)) image.SetGrey(x, y, grey);
    }
  }
}

struct Point {
  int x;
  int y;
};

// Side of p relative to the edge a → b (the sign of the cross product).
std::int64_t Side(Point a, Point b, Point p) {
  return std::int64_t{b.x - a.x} * (p.y - a.y) - std::int64_t{b.y - a.y} * (p.x - a.x);
}

void FillTriangle(PixelImage& image, Point a, Point b, Point c, std::uint8_t grey) {
  const int left = std::min({a.x, b.x, c.x});
  const int right = std::max({a.x, b.x, c.x});
  const int top = std::min({a.y, b.y, c.y});
  const int bottom = std::max({a.y, b.y, c.y});
  for (int y = std::max(top, 1); y <= std::min(bottom, image.height()); ++y) {
    for (int x = std::max(left, 1); x <= std::min(right, image.width()); ++x) {
      const Point p{x, y};
      const std::int64_t s1 = Side(a, b, p);
      const std::int64_t s2 = Side(b, c, p);
      const std::int64_t s3 = Side(c, a, p);
      const bool inside = (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
      if (inside) image.SetGrey(x, y, grey);
    }
  }
}

// `count` squares of `size` pixels, each one step diagonally from the last,
// so that neighbours meet at one corner pixel only.
void SquareChain(PixelImage& image, int left, int top, int size, int count, int stepX, int stepY) {
  for (int i = 0; i < count; ++i) {
    const int x = left + i * stepX * size;
    const int y = top + i * stepY * size;
    FillRect(image, x, y, x + size - 1, y + size - 1, kBlack);
  }
}

// A small deterministic hash for the spot pattern (no library generator, whose
// sequence may differ between standard libraries).
std::uint32_t Hash(std::uint32_t a, std::uint32_t b) {
  std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

std::uint8_t ClampGrey(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

PixelImage DrawOrnament() {
  PixelImage image(kDefaultPictureWidth, kDefaultPictureHeight);  // white

  // The frame: 8 pixels of black around a white field (17..384 × 17..284).
  FillRect(image, 9, 9, 392, 292, kBlack);
  FillRect(image, 17, 17, 384, 284, kWhite);

  // Chains of squares running in from each corner of the field.
  SquareChain(image, 22, 22, 6, 4, 1, 1);
  SquareChain(image, 374, 22, 6, 4, -1, 1);
  SquareChain(image, 22, 274, 6, 4, 1, -1);
  SquareChain(image, 374, 274, 6, 4, -1, -1);

  // Ring with a dot that has a pinhole.
  FillRing(image, 85, 95, 46, 34, kBlack);
  FillDisc(image, 85, 95, 18, kBlack);
  FillDisc(image, 85, 95, 6, kWhite);

  // Ring with three dots.
  FillRing(image, 200, 95, 46, 34, kBlack);
  FillDisc(image, 200, 77, 8, kBlack);
  FillDisc(image, 184, 104, 8, kBlack);
  FillDisc(image, 216, 104, 8, kBlack);

  // Ring within a ring around a dot.
  FillRing(image, 315, 95, 46, 34, kBlack);
  FillRing(image, 315, 95, 26, 18, kBlack);
  FillDisc(image, 315, 95, 8, kBlack);

  // Triangle with a round hole.
  FillTriangle(image, {90, 180}, {50, 265}, {130, 265}, kBlack);
  FillDisc(image, 90, 238, 9, kWhite);

  // Square with a square hole holding a diamond.
  FillRect(image, 160, 180, 240, 260, kBlack);
  FillRect(image, 172, 192, 228, 248, kWhite);
  for (int y = 200; y <= 240; ++y) {
    for (int x = 180; x <= 220; ++x) {
      if (std::abs(x - 200) + std::abs(y - 220) <= 20) image.SetGrey(x, y, kBlack);
    }
  }

  // Chequerboard: its black cells meet only at corners.
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      if ((row + column) % 2 == 0) {
        const int x = 275 + column * 10;
        const int y = 190 + row * 10;
        FillRect(image, x, y, x + 9, y + 9, kBlack);
      }
    }
  }

  // A staircase down to the right.
  SquareChain(image, 330, 190, 5, 8, 1, 1);
  return image;
}

PixelImage DrawGepard() {
  PixelImage image(kDefaultPictureWidth, kDefaultPictureHeight);

  // Background: light in the upper left, darkening outwards and to the right.
  for (int y = 1; y <= image.height(); ++y) {
    for (int x = 1; x <= image.width(); ++x) {
      const double d = std::hypot(x - 140.0, y - 110.0);
      image.SetGrey(x, y, ClampGrey(235.0 - 0.32 * d - 0.08 * x));
    }
  }

  // The body: an ellipse with its own soft shading from the back to the belly.
  const double bodyX = 230.0;
  const double bodyY = 170.0;
  const double halfWidth = 130.0;
  const double halfHeight = 72.0;
  auto inBody = [&](int x, int y) {
    const double u = (x - bodyX) / halfWidth;
    const double v = (y - bodyY) / halfHeight;
    return u * u + v * v <= 1.0;
  };
  for (int y = 1; y <= image.height(); ++y) {
    for (int x = 1; x <= image.width(); ++x) {
      if (inBody(x, y))
        image.SetGrey(x, y, ClampGrey(190.0 - 0.45 * (y - bodyY) + 0.1 * (x - bodyX)));
    }
  }

  // Spots on a jittered grid: rosettes (a dark ring round a middle tone) and
  // plain dark dots, only where the whole spot lies on the body.
  constexpr int kSpacing = 22;
  for (int row = 0; row * kSpacing < image.height(); ++row) {
    for (int column = 0; column * kSpacing < image.width(); ++column) {
      const std::uint32_t h = Hash(static_cast<std::uint32_t>(row),
                                   static_cast<std::uint32_t>(column));
      const int cx = column * kSpacing + 11 + static_cast<int>(h % 9) - 4 + (row % 2) * 11;
      const int cy = row * kSpacing + 11 + static_cast<int>((h >> 8) % 9) - 4;
      const bool rosette = ((h >> 16) % 3) != 0;
      const int radius = rosette ? 8 : 4;
      if (!inBody(cx - radius, cy) || !inBody(cx + radius, cy) || !inBody(cx, cy - radius) ||
          !inBody(cx, cy + radius)) {
        continue;
      }
      if (rosette) {
        FillRing(image, cx, cy, radius, 4, 40);
        FillDisc(image, cx, cy, 4, 125);
      } else {
        FillDisc(image, cx, cy, radius, 30);
      }
    }
  }

  // Solid shapes with hard edges: a pale sun, a dark ground strip with a
  // white stone, and a black triangle (a mountain) at the right.
  FillDisc(image, 60, 55, 30, 250);
  FillTriangle(image, {330, 10}, {290, 80}, {370, 80}, kBlack);
  FillRect(image, 1, 262, image.width(), image.height(), 60);
  FillRect(image, 40, 272, 90, 290, kWhite);
  return image;
}

bool WriteDefaultPictures(const std::filesystem::path& folder) {
  if (!WritePictureFile(folder / kOrnamentFileName, DrawOrnament())) return false;
#ifdef VERTOLIN_NO_JPEG
  return true;  // a build without a JPEG writer ships the ornament alone
#else
  const std::vector<std::uint8_t> jpeg = EncodeJpeg(DrawGepard(), kGepardJpegQuality);
  return !jpeg.empty() && WriteFileBytes(folder / kGepardFileName, jpeg);
#endif
}

}  // namespace vertolin
