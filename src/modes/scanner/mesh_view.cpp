#include "modes/scanner/mesh_view.h"

#include <algorithm>

#include "picture/picture_limits.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

int Cell(int side, int mesh) {
  if (mesh < 2) return 0;
  return std::max(0, (side - kViewExtra) / (mesh - 1));
}

// Line positions margin + i × cell for i < count, those below `limit` only.
// With a cell of 0 all lines coincide, so one stands for them; a mesh far
// larger than the box thus costs no more than the box's pixels.
std::vector<int> LinePositions(int count, int cell, int limit) {
  std::vector<int> positions;
  for (int i = 0; i < count; ++i) {
    const int at = i * cell + kViewMargin;
    if (at >= limit) break;
    positions.push_back(at);
    if (cell == 0) break;
  }
  return positions;
}

// Pixel (column, row), 0-based, when it lies inside the picture.
void Put(PixelImage& view, int column, int row, MarkerColour colour) {
  if (column < 0 || row < 0 || column >= view.width() || row >= view.height()) return;
  view.SetPixel(column + 1, row + 1, colour.blue, colour.green, colour.red);
}
void Put(PixelImage& view, int column, int row, std::uint8_t grey) {
  Put(view, column, row, MarkerColour{grey, grey, grey});
}

// A node marker: the node's pixel and its left, upper, right and lower ones.
void Marker(PixelImage& view, int column, int row, MarkerColour colour) {
  Put(view, column, row, colour);
  Put(view, column - 1, row, colour);
  Put(view, column, row - 1, colour);
  Put(view, column + 1, row, colour);
  Put(view, column, row + 1, colour);
}
void Marker(PixelImage& view, int column, int row, std::uint8_t grey) {
  Marker(view, column, row, MarkerColour{grey, grey, grey});
}

}  // namespace

std::optional<int> PictureSide(std::string_view text) {
  const auto value = ParseNumber(text);
  if (!value) return std::nullopt;
  return RoundToInt32(*value);
}

std::optional<BoxSize> BoxForPicture(int pictureWidth, int pictureHeight) {
  if (pictureWidth < 0 || pictureHeight < 0) return std::nullopt;
  const std::int64_t width = std::int64_t{pictureWidth} + kViewExtra;
  const std::int64_t height = std::int64_t{pictureHeight} + kViewExtra;
  if (width * height > kMaxPicturePixels) return std::nullopt;
  return BoxSize{static_cast<int>(width), static_cast<int>(height)};
}

MeshLayout LayOutMesh(BoxSize box, int meshX, int meshY) {
  return {box, meshX, meshY, Cell(box.width, meshX), Cell(box.height, meshY)};
}

std::vector<int> GridColumns(const MeshLayout& layout) {
  return LinePositions(layout.meshX, layout.cellX, layout.box.width);
}

std::vector<int> GridRows(const MeshLayout& layout) {
  return LinePositions(layout.meshY, layout.cellY, layout.box.height);
}

PixelImage DrawEmptyMesh(const MeshLayout& layout) {
  PixelImage view(std::max(0, layout.box.width), std::max(0, layout.box.height));
  const std::vector<int> columns = GridColumns(layout);
  const std::vector<int> rows = GridRows(layout);
  if (columns.empty() || rows.empty()) return view;

  const int right = std::min(layout.NodeColumn(layout.meshX), view.width() - 1);
  const int bottom = std::min(layout.NodeRow(layout.meshY), view.height() - 1);
  for (const int row : rows) {
    for (int column = kViewMargin; column <= right; ++column) Put(view, column, row, kGridGrey);
  }
  for (const int column : columns) {
    for (int row = kViewMargin; row <= bottom; ++row) Put(view, column, row, kGridGrey);
  }
  for (const int row : rows) {
    for (const int column : columns) Marker(view, column, row, kMarkerBlack);
  }
  return view;
}

void PaintNode(PixelImage& view, const MeshLayout& layout, int x, int y, std::uint8_t grey) {
  Marker(view, layout.NodeColumn(x), layout.NodeRow(y), grey);
}

void MarkNodesUnmeasured(PixelImage& view, const MeshLayout& layout) {
  for (int y = 1; y <= layout.meshY; ++y) {
    for (int x = 1; x <= layout.meshX; ++x) {
      Marker(view, layout.NodeColumn(x), layout.NodeRow(y), kUnmeasuredMarker);
    }
  }
}

std::uint8_t MarkerGrey(std::int32_t value) {
  return static_cast<std::uint8_t>(std::clamp(value, std::int32_t{0}, std::int32_t{255}));
}

GripPlace PlaceGrip(int boxLeft, int boxTop, BoxSize box) {
  return {boxLeft + box.width - kGripSide / 2, boxTop + box.height - kGripSide / 2};
}

GripResize ResizeByGrip(int width, int height, int meshX, int meshY, int unitsPerPixel) {
  GripResize result;
  if (std::int64_t{width} * unitsPerPixel > kGripFloorUnits) {
    result.boxWidth = width;
    if (meshX >= 2) result.pictureWidth = (meshX - 1) * Cell(width, meshX);
  }
  if (std::int64_t{height} * unitsPerPixel > kGripFloorUnits) {
    result.boxHeight = height;
    if (meshY >= 2) result.pictureHeight = (meshY - 1) * Cell(height, meshY);
  }
  return result;
}

}  // namespace vertolin
