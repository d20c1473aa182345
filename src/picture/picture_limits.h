// How large a picture the program takes on. The milling windows keep four
// layers of 3 bytes per pixel, plus the figure labels of the same size, so the
// limit is set where that still fits comfortably in memory (40 megapixels:
// 480 MB of layers).
#pragma once

#include <cstdint>

namespace vertolin {

inline constexpr int kMaxPictureMegapixels = 40;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{kMaxPictureMegapixels} * 1'000'000;

}  // namespace vertolin
