// Writes small seed pictures for the fuzzers: a BMP of every layout the reader
// accepts, and JPEGs of the kinds the decoder meets (colour, grey, chroma
// subsampled, progressive).
#include <turbojpeg.h>

#include <cstdio>
#include <string>

#include "picture/bmp.h"
#include "picture/bmp_builder.h"
#include "picture/jpeg.h"
#include "picture/picture_file.h"

namespace {

using vertolin::PixelImage;
using vertolin::test::BmpLayout;
using vertolin::test::BuildBmp;

PixelImage Pattern(int width, int height) {
  PixelImage image(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      image.SetPixel(x, y, static_cast<std::uint8_t>(x * 29), static_cast<std::uint8_t>(y * 41),
                     static_cast<std::uint8_t>((x ^ y) * 17));
    }
  }
  return image;
}

std::vector<std::uint8_t> Compress(const PixelImage& image, int subsampling, int flags) {
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> out;
  if (tjCompress2(handle, image.bytes().data(), image.width(), static_cast<int>(image.stride()),
                  image.height(), TJPF_BGR, &buffer, &size, subsampling, 75, flags) == 0) {
    out.assign(buffer, buffer + size);
  }
  tjFree(buffer);
  tjDestroy(handle);
  return out;
}

bool Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || !vertolin::WriteFileBytes(path, bytes)) {
    std::fprintf(stderr, "make-fuzz-seeds: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

std::vector<std::vector<std::uint8_t>> Rows(int count, std::size_t bytes) {
  std::vector<std::vector<std::uint8_t>> rows(static_cast<std::size_t>(count));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t i = 0; i < bytes; ++i)
      rows[r].push_back(static_cast<std::uint8_t>(r * 31 + i * 7));
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds <folder>\n");
    return 2;
  }
  const std::filesystem::path bmp = std::filesystem::path(argv[1]) / "bmp";
  const std::filesystem::path jpeg = std::filesystem::path(argv[1]) / "jpeg";
  std::filesystem::create_directories(bmp);
  std::filesystem::create_directories(jpeg);
  bool ok = true;

  const std::vector<std::array<std::uint8_t, 3>> grey2{{0, 0, 0}, {255, 255, 255}};
  std::vector<std::array<std::uint8_t, 3>> full(256);
  for (int i = 0; i < 256; ++i)
    full[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7};

  struct Seed {
    const char* name;
    BmpLayout layout;
  };
  std::vector<Seed> seeds;
  auto add = [&](const char* name, std::uint32_t header, int width, int height, std::uint16_t bits,
                 std::uint32_t compression, std::size_t paletteSize, std::uint32_t used) {
    BmpLayout layout;
    layout.headerSize = header;
    layout.width = width;
    layout.height = height;
    layout.bitsPerPixel = bits;
    layout.compression = compression;
    layout.coloursUsed = used;
    layout.palette.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(paletteSize));
    if (bits == 16 && compression == 3) layout.masks = {0xF800, 0x07E0, 0x001F};
    if (bits == 32 && compression == 3) layout.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    layout.rows = Rows(height < 0 ? -height : height,
                       (static_cast<std::size_t>(width) * bits + 7) / 8);
    // Palette indices must stay inside the palette.
    if (bits <= 8 && paletteSize < 256) {
      for (auto& row : layout.rows) {
        for (auto& byte : row)
          byte = bits == 8 ? static_cast<std::uint8_t>(byte % paletteSize) : 0x10;
      }
    }
    seeds.push_back({name, layout});
  };
  add("core1.bmp", 12, 9, 3, 1, 0, 2, 0);
  add("core8.bmp", 12, 3, 2, 8, 0, 256, 0);
  add("core24.bmp", 12, 3, 2, 24, 0, 0, 0);
  add("info1.bmp", 40, 13, 2, 1, 0, 2, 0);
  add("info4.bmp", 40, 5, 3, 4, 0, 16, 0);
  add("info4-used.bmp", 40, 5, 3, 4, 0, 3, 3);
  add("info8.bmp", 40, 3, -2, 8, 0, 5, 5);
  add("info16.bmp", 40, 3, 2, 16, 0, 0, 0);
  add("info16-565.bmp", 40, 3, 2, 16, 3, 0, 0);
  add("v2-16-565.bmp", 52, 3, -2, 16, 3, 0, 0);
  add("v3-32.bmp", 56, 2, 2, 32, 3, 0, 0);
  add("v4-24.bmp", 108, 3, -2, 24, 0, 0, 0);
  add("v5-32.bmp", 124, 2, 2, 32, 3, 0, 0);
  add("info32.bmp", 40, 2, 3, 32, 0, 0, 0);
  for (const Seed& seed : seeds) ok = Save(bmp / seed.name, BuildBmp(seed.layout)) && ok;
  ok = Save(bmp / "written.bmp", vertolin::WriteBmp(Pattern(5, 4))) && ok;

  const PixelImage colour = Pattern(16, 16);
  PixelImage grey(16, 8);
  for (int y = 1; y <= 8; ++y) {
    for (int x = 1; x <= 16; ++x) grey.SetGrey(x, y, static_cast<std::uint8_t>(x * 15 + y));
  }
  ok = Save(jpeg / "colour444.jpg", vertolin::EncodeJpeg(colour, 80)) && ok;
  ok = Save(jpeg / "grey.jpg", vertolin::EncodeJpeg(grey, 80)) && ok;
  ok = Save(jpeg / "colour420.jpg", Compress(Pattern(17, 9), TJSAMP_420, 0)) && ok;
  ok = Save(jpeg / "progressive422.jpg", Compress(colour, TJSAMP_422, TJFLAG_PROGRESSIVE)) && ok;
  return ok ? 0 : 1;
}
