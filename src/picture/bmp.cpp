#include "picture/bmp.h"

#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <new>

namespace vertolin {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kCoreHeaderSize = 12;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

// Little-endian fields; callers have checked that the bytes are there.
std::uint16_t Le16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::uint16_t U16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return Le16(bytes.data() + at);
}
std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return Le32(bytes.data() + at);
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  PutU16(out, at, value);
  PutU16(out, at + 2, value >> 16);
}

// One colour channel of a 16- or 32-bit pixel, taken by its mask.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  // Masks must be one run of set bits: anything else is not a colour channel.
  static std::optional<Channel> FromMask(std::uint32_t mask, int bitsPerPixel) {
    if (mask == 0) return std::nullopt;
    if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0) return std::nullopt;
    const int shift = std::countr_zero(mask);
    const std::uint32_t run = mask >> shift;
    if ((run & (run + 1)) != 0) return std::nullopt;
    return Channel{mask, shift, std::popcount(mask)};
  }

  // The channel's value stretched or cut to 0..255 (a 5-bit 31 becomes 255).
  std::uint8_t Extract(std::uint32_t pixel) const {
    const std::uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
    const std::uint32_t top = (std::uint32_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((value * 255 + top / 2) / top);
  }
};

BmpReadResult Refuse(BmpError error, int width = 0, int height = 0) {
  BmpReadResult result;
  result.error = error;
  result.width = width;
  result.height = height;
  return result;
}

}  // namespace

BmpReadResult ReadBmp(std::span<const std::uint8_t> file, std::int64_t maxPixels) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return Refuse(BmpError::NotBmp);
  if (file.size() < kFileHeaderSize + 4) return Refuse(BmpError::Truncated);

  const std::uint32_t pixelOffset = U32(file, 10);
  const std::uint32_t headerSize = U32(file, kFileHeaderSize);
  switch (headerSize) {
    case 12:   // BITMAPCOREHEADER
    case 40:   // BITMAPINFOHEADER
    case 52:   // BITMAPV2INFOHEADER
    case 56:   // BITMAPV3INFOHEADER
    case 108:  // BITMAPV4HEADER
    case 124:  // BITMAPV5HEADER
      break;
    default:
      return Refuse(BmpError::Unsupported);
  }
  if (file.size() < kFileHeaderSize + headerSize) return Refuse(BmpError::Truncated);

  const bool core = headerSize == kCoreHeaderSize;
  std::int64_t width = 0;
  std::int64_t signedHeight = 0;
  int planes = 0;
  int bitsPerPixel = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t coloursUsed = 0;
  if (core) {
    width = U16(file, 18);
    signedHeight = U16(file, 20);
    planes = U16(file, 22);
    bitsPerPixel = U16(file, 24);
  } else {
    width = static_cast<std::int32_t>(U32(file, 18));
    signedHeight = static_cast<std::int32_t>(U32(file, 22));
    planes = U16(file, 26);
    bitsPerPixel = U16(file, 28);
    compression = U32(file, 30);
    coloursUsed = U32(file, 46);
  }

  // INT32_MIN has no positive counterpart; the 64-bit value keeps that honest.
  if (width <= 0 || signedHeight == 0 || signedHeight == INT32_MIN || planes != 1) {
    return Refuse(BmpError::BadHeader);
  }
  const bool topDown = signedHeight < 0;
  const std::int64_t height = topDown ? -signedHeight : signedHeight;

  const bool depthKnown = core ? (bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                                  bitsPerPixel == 24)
                               : (bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                                  bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32);
  const bool bitfields = compression == kBiBitfields && (bitsPerPixel == 16 || bitsPerPixel == 32);
  if (!depthKnown || (compression != kBiRgb && !bitfields)) return Refuse(BmpError::Unsupported);

  // Size first: nothing below allocates more than the file, and the picture is
  // allocated only once it has passed this.
  if (width * height > maxPixels) {
    return Refuse(BmpError::TooLarge, static_cast<int>(width), static_cast<int>(height));
  }

  std::size_t afterHeader = kFileHeaderSize + headerSize;

  // Channel masks: in the header from V2 on, after a plain info header otherwise.
  std::array<std::uint32_t, 3> masks{0x7C00, 0x03E0, 0x001F};  // 16-bit BI_RGB is 5-5-5
  if (bitfields) {
    std::size_t at = kFileHeaderSize + kInfoHeaderSize;
    if (headerSize == kInfoHeaderSize) {
      if (file.size() < afterHeader + 12) return Refuse(BmpError::Truncated);
      afterHeader += 12;
    }
    for (auto& mask : masks) {
      mask = U32(file, at);
      at += 4;
    }
  }
  std::array<Channel, 3> channels{};  // red, green, blue
  if (bitsPerPixel == 16 || bitfields) {
    for (std::size_t i = 0; i < 3; ++i) {
      const auto channel = Channel::FromMask(masks[i], bitsPerPixel);
      if (!channel) return Refuse(BmpError::BadHeader);
      channels[i] = *channel;
    }
  }

  // Palette, blue-green-red entries: 3 bytes under a core header, 4 otherwise.
  std::array<std::array<std::uint8_t, 3>, 256> palette{};
  std::uint32_t paletteSize = 0;
  std::uint64_t paletteEnd = afterHeader;
  if (bitsPerPixel <= 8) {
    const std::uint32_t addressable = std::uint32_t{1} << bitsPerPixel;
    const std::uint64_t declared = coloursUsed == 0 ? addressable : coloursUsed;
    const std::uint64_t entrySize = core ? 3 : 4;
    paletteEnd = afterHeader + declared * entrySize;
    if (paletteEnd > file.size()) return Refuse(BmpError::Truncated);
    // Entries past what the depth can address are never used.
    paletteSize = static_cast<std::uint32_t>(declared < addressable ? declared : addressable);
    for (std::uint32_t i = 0; i < paletteSize; ++i) {
      const std::size_t at = afterHeader + i * entrySize;
      palette[i] = {file[at], file[at + 1], file[at + 2]};
    }
  }

  if (pixelOffset < paletteEnd) return Refuse(BmpError::BadHeader);
  if (pixelOffset > file.size()) return Refuse(BmpError::Truncated);

  // Rows are padded to 4 bytes; the last row only needs its pixels, since some
  // writers leave out its padding.
  const std::uint64_t rowBits = static_cast<std::uint64_t>(width) *
                                static_cast<std::uint64_t>(bitsPerPixel);
  const std::uint64_t rowSize = (rowBits + 31) / 32 * 4;
  const std::uint64_t lastRowSize = (rowBits + 7) / 8;
  const std::uint64_t available = file.size() - pixelOffset;
  if (available < lastRowSize ||
      static_cast<std::uint64_t>(height - 1) > (available - lastRowSize) / rowSize) {
    return Refuse(BmpError::Truncated, static_cast<int>(width), static_cast<int>(height));
  }

  BmpReadResult result;
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
  try {
    result.picture.emplace();
    result.picture->image = PixelImage(result.width, result.height);
  } catch (const std::bad_alloc&) {
    return Refuse(BmpError::TooLarge, result.width, result.height);
  }
  result.picture->fileBitsPerPixel = bitsPerPixel;
  PixelImage& image = result.picture->image;
  std::uint8_t* const out = image.bytes().data();

  const std::uint8_t* const data = file.data() + pixelOffset;
  for (int fileRow = 0; fileRow < result.height; ++fileRow) {
    const std::uint8_t* const row = data + static_cast<std::size_t>(fileRow) * rowSize;
    const int y = topDown ? fileRow + 1 : result.height - fileRow;
    std::uint8_t* pixel = out + image.Offset(1, y);
    switch (bitsPerPixel) {
      case 1:
      case 4:
      case 8: {
        const int perByte = 8 / bitsPerPixel;
        const unsigned valueMask = (1u << bitsPerPixel) - 1;
        for (int x = 0; x < result.width; ++x, pixel += 3) {
          const int slot = x % perByte;
          const unsigned index = (row[x / perByte] >> (8 - bitsPerPixel * (slot + 1))) & valueMask;
          if (index >= paletteSize)
            return Refuse(BmpError::BadPalette, result.width, result.height);
          std::memcpy(pixel, palette[index].data(), 3);
        }
        break;
      }
      case 16:
        for (int x = 0; x < result.width; ++x, pixel += 3) {
          const std::uint32_t value = Le16(row + x * 2u);
          pixel[0] = channels[2].Extract(value);
          pixel[1] = channels[1].Extract(value);
          pixel[2] = channels[0].Extract(value);
        }
        break;
      case 24:
        std::memcpy(pixel, row, static_cast<std::size_t>(result.width) * 3);
        break;
      case 32:
        for (int x = 0; x < result.width; ++x, pixel += 3) {
          const std::uint8_t* const source = row + x * 4u;
          if (bitfields) {
            const std::uint32_t value = Le32(source);
            pixel[0] = channels[2].Extract(value);
            pixel[1] = channels[1].Extract(value);
            pixel[2] = channels[0].Extract(value);
          } else {
            std::memcpy(pixel, source, 3);
          }
        }
        break;
    }
  }
  return result;
}

std::vector<std::uint8_t> WriteBmp(const PixelImage& image) {
  if (image.empty()) return {};
  const std::uint64_t rowSize = (static_cast<std::uint64_t>(image.width()) * 3 + 3) / 4 * 4;
  const std::uint64_t pixelBytes = rowSize * static_cast<std::uint64_t>(image.height());
  const std::uint64_t headers = kFileHeaderSize + kInfoHeaderSize;
  if (headers + pixelBytes > UINT32_MAX) return {};

  std::vector<std::uint8_t> out(static_cast<std::size_t>(headers + pixelBytes), 0);
  out[0] = 'B';
  out[1] = 'M';
  PutU32(out, 2, static_cast<std::uint32_t>(out.size()));
  PutU32(out, 10, static_cast<std::uint32_t>(headers));
  PutU32(out, 14, kInfoHeaderSize);
  PutU32(out, 18, static_cast<std::uint32_t>(image.width()));
  PutU32(out, 22, static_cast<std::uint32_t>(image.height()));  // positive: bottom-up
  PutU16(out, 26, 1);
  PutU16(out, 28, 24);
  PutU32(out, 30, kBiRgb);
  PutU32(out, 34, static_cast<std::uint32_t>(pixelBytes));
  PutU32(out, 38, 3780);  // 96 dots per inch, in dots per metre
  PutU32(out, 42, 3780);

  const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 3;
  for (int y = 1; y <= image.height(); ++y) {
    const std::size_t fileRow = static_cast<std::size_t>(image.height() - y);
    std::memcpy(out.data() + headers + fileRow * rowSize, image.bytes().data() + image.Offset(1, y),
                rowBytes);
  }
  return out;
}

}  // namespace vertolin
