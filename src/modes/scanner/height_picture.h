// "Интерполировать": the height map drawn as a continuous grey picture by
// bicubic interpolation, the cubic Lagrange polynomials through the four
// nearest nodes along each axis.
#pragma once

#include <cstdint>
#include <string_view>

namespace vertolin {

class HeightMap;
class PixelImage;

namespace texts {

inline constexpr std::string_view kInterpolationNeedsNodes =
    "Для интерполяции нужно не меньше 4 точек сетки по X и по Y";

}  // namespace texts

// The interpolated height at pixel (p, q) of a picture `width` × `height`
// (Text6, Text7) laid over the map, before rounding: pixel (0, 0) is node
// (1, 1) and (width, height) is node (meshX, meshY). The base node is held
// one node inside the mesh, so near its edges the cubic is extrapolated.
// Requires a map of at least 4 × 4 nodes.
double InterpolatedHeight(const HeightMap& map, int width, int height, int p, int q);

// That height rounded halves to even and clipped to 0 … 255.
std::uint8_t InterpolatedGrey(const HeightMap& map, int width, int height, int p, int q);

// Paints every pixel (p, q), p = 0 … width and q = 0 … height, at column
// p + 9 and row q + 9 of `view` (0-based), using the map's own mesh size; what
// falls outside the view is left out. Returns the refusal text, without
// painting, for a map below 4 × 4 nodes (none scanned yet, or too small);
// empty when done.
std::string_view InterpolateInto(PixelImage& view, const HeightMap& map, int width, int height);

}  // namespace vertolin
