#include "modes/scanner/mesh_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace vertolin {
namespace {

TEST(MeshViewTest, DefaultFieldsGiveTheBoxAndCells) {
  const std::optional<BoxSize> box = BoxForPicture(200, 200);
  ASSERT_EQ(box, (BoxSize{222, 222}));
  EXPECT_EQ(BoxForPicture(-1, 200), std::nullopt);
  EXPECT_EQ(BoxForPicture(100000, 100000), std::nullopt);

  const MeshLayout layout = LayOutMesh(*box, 6, 5);
  EXPECT_EQ(layout.cellX, 40);
  EXPECT_EQ(layout.cellY, 50);
  EXPECT_EQ(GridColumns(layout), (std::vector<int>{9, 49, 89, 129, 169, 209}));
  EXPECT_EQ(GridRows(layout), (std::vector<int>{9, 59, 109, 159, 209}));
}

// The view by its definition, pixel by pixel against every node: a marker
// within one step of a node, else a grid line between the first and last
// node, else white.
std::uint8_t ReferenceGrey(const MeshLayout& m, int column, int row) {
  bool onRow = false;
  bool onColumn = false;
  for (int x = 1; x <= m.meshX; ++x) {
    for (int y = 1; y <= m.meshY; ++y) {
      const int dc = column - m.NodeColumn(x);
      const int dr = row - m.NodeRow(y);
      if (std::abs(dc) + std::abs(dr) <= 1) return kMarkerBlack;
      onRow = onRow || dr == 0;
      onColumn = onColumn || dc == 0;
    }
  }
  const bool withinX = column >= kViewMargin && column <= m.NodeColumn(m.meshX);
  const bool withinY = row >= kViewMargin && row <= m.NodeRow(m.meshY);
  return (onRow && withinX) || (onColumn && withinY) ? kGridGrey : 255;
}

TEST(MeshViewTest, EmptyMeshMatchesItsDefinition) {
  struct Case {
    BoxSize box;
    int meshX, meshY;
  };
  const Case cases[] = {
      {{222, 222}, 6, 5}, {{105, 80}, 4, 5},    // cells with a remainder
      {{40, 40}, 1, 3},   {{40, 40}, 3000, 3},  // cells of 0: the lines coincide
      {{40, 40}, 0, 5},   {{10, 12}, 2, 2},     // no nodes; a box smaller than the margin
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.meshX) + " x " + std::to_string(c.meshY));
    const MeshLayout layout = LayOutMesh(c.box, c.meshX, c.meshY);
    PixelImage view = DrawEmptyMesh(layout);
    ASSERT_EQ(view.width(), c.box.width);
    ASSERT_EQ(view.height(), c.box.height);
    for (int row = 0; row < view.height(); ++row) {
      for (int column = 0; column < view.width(); ++column) {
        ASSERT_EQ(view.Grey(column + 1, row + 1), ReferenceGrey(layout, column, row))
            << column << "," << row;
      }
    }
    if (c.meshX < 1 || c.meshY < 1) continue;
    // A painted node changes its own five pixels (those inside) and no other.
    PixelImage painted = view;
    PaintNode(painted, layout, c.meshX, c.meshY, 77);
    for (int row = 0; row < view.height(); ++row) {
      for (int column = 0; column < view.width(); ++column) {
        const bool mine = std::abs(column - layout.NodeColumn(c.meshX)) +
                              std::abs(row - layout.NodeRow(c.meshY)) <=
                          1;
        EXPECT_EQ(painted.Grey(column + 1, row + 1), mine ? 77 : view.Grey(column + 1, row + 1));
      }
    }
  }
}

TEST(MeshViewTest, GripKeepsTheFloorAndWholeCells) {
  struct Case {
    int width, height, meshX, meshY;
    std::optional<int> boxWidth, boxHeight, pictureWidth, pictureHeight;
  };
  const Case cases[] = {
      {300, 100, 6, 5, 300, 100, 275, 76},
      {66, 67, 6, 5, std::nullopt, 67, std::nullopt, 44},  // 990 and 1005 units
      {200, 200, 1, 5, 200, 200, std::nullopt, 176},       // one column: no cell
      {-5, 0, 6, 5, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const GripResize r = ResizeByGrip(c.width, c.height, c.meshX, c.meshY);
    EXPECT_EQ(r.boxWidth, c.boxWidth);
    EXPECT_EQ(r.boxHeight, c.boxHeight);
    EXPECT_EQ(r.pictureWidth, c.pictureWidth);
    EXPECT_EQ(r.pictureHeight, c.pictureHeight);
  }
  EXPECT_EQ(PlaceGrip(10, 20, {222, 222}), (GripPlace{226, 236}));
}

}  // namespace
}  // namespace vertolin
