// The pictures the program ships with, drawn from geometry so that they are
// ours and the same on every build: a two-colour ornament for the milling and
// outlining windows and a grey picture for the engraving windows.
#pragma once

#include <filesystem>
#include <string_view>

#include "picture/pixel_image.h"

namespace vertolin {

inline constexpr std::string_view kOrnamentFileName = "ornament.bmp";
inline constexpr std::string_view kGepardFileName = "gepard2.jpg";
inline constexpr int kDefaultPictureWidth = 400;
inline constexpr int kDefaultPictureHeight = 300;
inline constexpr int kGepardJpegQuality = 90;

// Black on white, pure black and pure white only. A frame holds three rings
// (with a dot, three dots, and a second ring inside), a triangle with a hole,
// a square holding a diamond, a chequerboard and chains of squares that touch
// only at their corners: figures nested several levels deep, and the diagonal
// contacts where tracing has to decide what is connected.
PixelImage DrawOrnament();

// Grey (blue = green = red): smooth gradients, a spotted body, and solid
// shapes with sharp edges.
PixelImage DrawGepard();

// Writes both pictures into the folder under their file names; false when
// either could not be written.
bool WriteDefaultPictures(const std::filesystem::path& folder);

}  // namespace vertolin
