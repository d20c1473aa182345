// The two picture operations of the milling window that prepare the Work
// layer for tracing: "Градиент" cuts white gaps along every step of grey
// level, "Отступить" pushes the figures' outlines in by one tool diameter.
//
// Both work as if on a copy A of a layer that never changes during the pass
// and a result C that starts as A and receives the white pixels (blue, green
// and red 255); only blue bytes are compared. Pixels within the whole bound of
// the picture's edges never change, and neither do the row padding bytes. The
// figure table, the pair list and the redraw are the window's business. The
// result is written into the layer the window already holds, so a pass
// allocates no second picture.
//
// Neither takes a time per pixel that grows with the tool's area: "Отступить"
// takes the same for any diameter, and "Градиент" settles nearly every pixel
// at a cost that does not depend on the radius and the few left near the
// disc's edge at a cost linear in it.
#pragma once

#include <optional>

namespace vertolin {

class PixelImage;

// The tool radius in picture pixels: diameter × W / 2 / width (diameter and
// finished width in millimetres, W the picture's width in pixels).
double ToolRadiusPixels(double diameterMm, int pictureWidth, double widthMm);

// The tool diameter in picture pixels: diameter × W / width.
double ToolDiameterPixels(double diameterMm, int pictureWidth, double widthMm);

// The whole bound of a radius: the radius rounded to the nearest integer,
// plus one when that is below it, which makes it the smallest integer not
// below the radius. Nothing when the radius is not finite or the bound does
// not fit an int (a scale left undefined by the fields); the passes then
// change no pixel.
std::optional<int> WholeBound(double radius);

// "Градиент" on the Base layer `base` with tool radius `r` (pixels), bound
// `R` = WholeBound(r): every pixel (x, y) with R + 1 ≤ x ≤ W − R and
// R + 1 ≤ y ≤ H − R turns white when some pixel (x', y') with |x − x'| ≤ R,
// |y − y'| ≤ R and (x − x')² + (y − y')² ≤ r² differs from it in blue by more
// than 10. `work` (the Work layer; it may be `base` itself) receives the
// result, taking `base`'s size.
void GradientPass(const PixelImage& base, double r, PixelImage& work);

// The outlining window's "Градиент": the same pass over the 3 × 3
// neighbourhood, whatever the spot's size: every pixel (x, y) with
// 2 ≤ x ≤ W − 1 and 2 ≤ y ≤ H − 1 turns white when a pixel of its 3 × 3
// square (itself and its eight neighbours) differs from it in blue by more
// than 10. The outermost rows and columns keep `base`'s colours, so a grey
// step gets a white line one pixel wide on each side.
void NeighbourGradientPass(const PixelImage& base, PixelImage& work);

// "Отступить" on the Work layer `work` with tool diameter `d` (pixels), bound
// `D` = WholeBound(d): every pixel (x, y) with D + 1 ≤ x ≤ W − D and
// D + 1 ≤ y ≤ H − D turns white when some pixel (x', y') with |x − x'| ≤ D,
// |y − y'| ≤ D and (x − x')² + (y − y')² ≤ d² has blue 255 in the layer as
// it was before the pass. Changes `work` in place.
void OffsetPass(PixelImage& work, double d);

}  // namespace vertolin
