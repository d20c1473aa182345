// Hand-built BMP files of every layout the reader accepts, written field by
// field (independently of the writer under test), so tests and fuzz seeds can
// describe a file and then spoil one field of it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vertolin::test {

struct BmpLayout {
  std::uint32_t headerSize = 40;  // 12 (core), 40, 52, 56, 108, 124
  std::int32_t width = 1;
  std::int32_t height = 1;  // negative: top-down
  std::uint16_t planes = 1;
  std::uint16_t bitsPerPixel = 24;
  std::uint32_t compression = 0;  // 0 BI_RGB, 3 BI_BITFIELDS
  std::uint32_t coloursUsed = 0;
  std::vector<std::array<std::uint8_t, 3>> palette;  // blue, green, red
  std::array<std::uint32_t, 3> masks{};              // red, green, blue (BI_BITFIELDS)
  std::vector<std::vector<std::uint8_t>> rows;  // pixel bytes of each row in file order, unpadded
};

namespace detail {
inline void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
}  // namespace detail

inline std::vector<std::uint8_t> BuildBmp(const BmpLayout& layout) {
  using detail::Put;
  std::vector<std::uint8_t> dib;
  if (layout.headerSize == 12) {
    Put(dib, 12, 4);
    Put(dib, static_cast<std::uint32_t>(layout.width), 2);
    Put(dib, static_cast<std::uint32_t>(layout.height), 2);
    Put(dib, layout.planes, 2);
    Put(dib, layout.bitsPerPixel, 2);
  } else {
    Put(dib, layout.headerSize, 4);
    Put(dib, static_cast<std::uint32_t>(layout.width), 4);
    Put(dib, static_cast<std::uint32_t>(layout.height), 4);
    Put(dib, layout.planes, 2);
    Put(dib, layout.bitsPerPixel, 2);
    Put(dib, layout.compression, 4);
    Put(dib, 0, 4);  // image size: may be 0 for BI_RGB
    Put(dib, 2835, 4);
    Put(dib, 2835, 4);
    Put(dib, layout.coloursUsed, 4);
    Put(dib, 0, 4);
    // From V2 on the masks are part of the header; a plain info header with
    // BI_BITFIELDS has them right after it.
    if (layout.headerSize > 40 || layout.compression == 3) {
      for (std::uint32_t mask : layout.masks) Put(dib, mask, 4);
    }
    dib.resize(dib.size() < layout.headerSize ? layout.headerSize : dib.size(), 0);
  }
  for (const auto& entry : layout.palette) {
    dib.insert(dib.end(), entry.begin(), entry.end());
    if (layout.headerSize != 12) dib.push_back(0);
  }

  std::vector<std::uint8_t> file{'B', 'M'};
  std::size_t pixelBytes = 0;
  for (const auto& row : layout.rows) pixelBytes += (row.size() + 3) / 4 * 4;
  Put(file, static_cast<std::uint32_t>(14 + dib.size() + pixelBytes), 4);
  Put(file, 0, 4);
  Put(file, static_cast<std::uint32_t>(14 + dib.size()), 4);
  file.insert(file.end(), dib.begin(), dib.end());
  for (const auto& row : layout.rows) {
    file.insert(file.end(), row.begin(), row.end());
    file.resize(file.size() + (4 - row.size() % 4) % 4, 0);
  }
  return file;
}

// Overwrites a little-endian field of a built file.
inline void Poke(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace vertolin::test
