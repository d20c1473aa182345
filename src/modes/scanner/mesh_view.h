// The scanner's mesh view without a toolkit: the box's size, where the grid
// lines and node markers fall, the resize grip, and the view's pixels as a
// picture that the widget shows and "Сохранить в BMP" saves.
//
// Sizes and positions are screen pixels, 0-based from the box's top-left
// corner; the picture itself (PixelImage) is 1-based as everywhere else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "picture/pixel_image.h"

namespace vertolin {

// The box is the picture's size plus this, a margin of kViewMargin on the top
// and left and the rest on the bottom and right.
inline constexpr int kViewExtra = 22;
inline constexpr int kViewMargin = 9;

inline constexpr std::uint8_t kGridGrey = 200;
inline constexpr std::uint8_t kMarkerBlack = 0;
// The marker of a node a scan has not measured (yet, or ever: it was
// stopped): a blue no height's grey can be, where black is the lowest one.
struct MarkerColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};
inline constexpr MarkerColour kUnmeasuredMarker{60, 120, 230};

// The grip's squares (black at rest, blue while dragged) are this wide and
// high, centred on the box's lower-right corner.
inline constexpr int kGripSide = 13;
// Dragging never makes the box this small or smaller, in the 1/15 pixel
// units the size was first measured in.
inline constexpr int kGripFloorUnits = 1000;
inline constexpr int kUnitsPerPixel = 15;

// Text6 or Text7 read as a whole number of pixels (halves to even); nothing
// when it is no number or passes the 32-bit range.
std::optional<int> PictureSide(std::string_view text);

struct BoxSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const BoxSize&, const BoxSize&) = default;
};

// The box for a picture of the given size: each side + kViewExtra. Nothing
// for a negative side or a box larger than the pictures the program takes
// on; the window then keeps the box it has.
std::optional<BoxSize> BoxForPicture(int pictureWidth, int pictureHeight);

// The mesh as drawn in a box: node (x, y) sits at column (x − 1) × cellX + 9
// and row (y − 1) × cellY + 9, cellX = (width − 22) ÷ (meshX − 1) with the
// remainder dropped, and likewise for Y. A mesh of fewer than 2 nodes along
// an axis has a cell of 0 there (all its nodes on the first line).
struct MeshLayout {
  BoxSize box;
  int meshX = 0;
  int meshY = 0;
  int cellX = 0;
  int cellY = 0;

  int NodeColumn(int x) const { return (x - 1) * cellX + kViewMargin; }
  int NodeRow(int y) const { return (y - 1) * cellY + kViewMargin; }
};
MeshLayout LayOutMesh(BoxSize box, int meshX, int meshY);

// The distinct columns of the vertical grid lines (one per node column)
// that fall inside the box, left to right; the rows of the horizontal lines
// likewise. Node markers sit at every column × row pair.
std::vector<int> GridColumns(const MeshLayout& layout);
std::vector<int> GridRows(const MeshLayout& layout);

// A white box with the grey grid, each line from the first node to the last,
// and a black marker on every node.
PixelImage DrawEmptyMesh(const MeshLayout& layout);

// The five pixels of node (x, y)'s marker (the node's and its four
// neighbours') in grey `grey`; whatever falls outside the picture is left.
void PaintNode(PixelImage& view, const MeshLayout& layout, int x, int y, std::uint8_t grey);

// Every node's marker in kUnmeasuredMarker, as a scan begins: what it does
// not reach stays so.
void MarkNodesUnmeasured(PixelImage& view, const MeshLayout& layout);

// A value of the height map as a marker's grey: raw values of a real scan
// in progress are clipped to 0 … 255.
std::uint8_t MarkerGrey(std::int32_t value);

// Where a grip square's top-left corner goes for a box at (left, top).
struct GripPlace {
  int left = 0;
  int top = 0;
  friend bool operator==(const GripPlace&, const GripPlace&) = default;
};
GripPlace PlaceGrip(int boxLeft, int boxTop, BoxSize box);

// A drag of the grip to a box `width` × `height` pixels (pointer within the
// grip + the grip's position at the press − the box's position). Each side
// is taken only when more than kGripFloorUnits; the picture size fields then
// become whole cells of the new box ((meshX − 1) × cellX), except for a mesh
// of fewer than 2 nodes on that axis, which has no cell to align to and
// leaves the field alone.
struct GripResize {
  std::optional<int> boxWidth;
  std::optional<int> boxHeight;
  std::optional<int> pictureWidth;   // Text6
  std::optional<int> pictureHeight;  // Text7
};
GripResize ResizeByGrip(int width, int height, int meshX, int meshY,
                        int unitsPerPixel = kUnitsPerPixel);

}  // namespace vertolin
