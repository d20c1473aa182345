#include "figures/figures_json.h"

#include <gtest/gtest.h>

#include "figures/figure_set.h"
#include "figures/picture_art.h"
#include "figures/selection.h"

namespace vertolin {
namespace {

TEST(FiguresJson, RingPictureWithoutLabels) {
  const FigureSet set = Parse(PictureFromArt(
      {".......", ".#####.", ".#...#.", ".#.#.#.", ".#...#.", ".#####.", "......."}));
  EXPECT_EQ(
      FiguresJson(set, false),
      "{\"width\":7,\"height\":7,"
      "\"figures\":[{\"n\":1,\"colour\":\"light\",\"level\":0},{\"n\":2,\"colour\":\"dark\",\"level\":1},"
      "{\"n\":3,\"colour\":\"light\",\"level\":2},{\"n\":4,\"colour\":\"dark\",\"level\":3}],"
      "\"pairs\":[[1,2],[2,3],[3,4]],"
      "\"tree\":[{\"key\":\"P1\",\"parent\":null},{\"key\":\"P2\",\"parent\":\"P1\"},"
      "{\"key\":\"P3\",\"parent\":\"P2\"},{\"key\":\"P4\",\"parent\":\"P3\"}]}");
}

TEST(FiguresJson, SkipsFreeSlotsAndAddsLabelRows) {
  // The U frees number 2: figures 1 and 3 only.
  const FigureSet set = Parse(PictureFromArt({".....", ".#.#.", ".###.", "....."}));
  EXPECT_EQ(
      FiguresJson(set, true),
      "{\"width\":5,\"height\":4,"
      "\"figures\":[{\"n\":1,\"colour\":\"light\",\"level\":0},{\"n\":3,\"colour\":\"dark\",\"level\":1}],"
      "\"pairs\":[[1,3]],"
      "\"tree\":[{\"key\":\"P1\",\"parent\":null},{\"key\":\"P3\",\"parent\":\"P1\"}],"
      "\"labels\":[[1,1,1,1,1],[1,3,1,3,1],[1,3,3,3,1],[1,1,1,1,1]]}");
}

TEST(FiguresJson, AllLightPictureHasEmptyPairsAndTree) {
  const FigureSet set = Parse(PictureFromArt({".."}));
  EXPECT_EQ(FiguresJson(set, true),
            "{\"width\":2,\"height\":1,\"figures\":[{\"n\":1,\"colour\":\"light\",\"level\":0}],"
            "\"pairs\":[],\"tree\":[],\"labels\":[[1,1]]}");
}

TEST(Selection, PaintsExactlyTheFiguresPixelsGreenOnACopyOfWork) {
  PixelImage work = PictureFromArt({".....", ".#.#.", ".###.", "....."});
  work.SetPixel(1, 1, 200, 10, 20);  // a light pixel of another figure keeps its colours
  const FigureSet set = Parse(work);
  const PixelImage selection = SelectionOf(work, set.labels, 3);
  for (int y = 1; y <= 4; ++y) {
    for (int x = 1; x <= 5; ++x) {
      const std::size_t at = work.Offset(x, y);
      if (set.labels.at(x, y) == 3) {
        EXPECT_EQ(selection.bytes()[at], 0);
        EXPECT_EQ(selection.bytes()[at + 1], 255);
        EXPECT_EQ(selection.bytes()[at + 2], 0);
      } else {
        for (int i = 0; i < 3; ++i)
          EXPECT_EQ(selection.bytes()[at + i], work.bytes()[at + i]) << x << "," << y;
      }
    }
  }
  // The root: every background pixel carrying figure 1.
  const PixelImage root = SelectionOf(work, set.labels, 1);
  EXPECT_EQ(root.bytes()[root.Offset(3, 2) + 1], 255);
  EXPECT_EQ(root.bytes()[root.Offset(2, 2) + 1], 0);
}

TEST(Selection, StaleMapOfAnotherSizeTouchesOnlyTheSharedPart) {
  const FigureSet set = Parse(PictureFromArt({"##", "##"}));
  const PixelImage larger(4, 1);
  const PixelImage painted = SelectionOf(larger, set.labels, 2);
  EXPECT_EQ(painted.bytes()[painted.Offset(2, 1) + 2], 0);    // red cleared: painted
  EXPECT_EQ(painted.bytes()[painted.Offset(3, 1) + 2], 255);  // outside the map: untouched
}

}  // namespace
}  // namespace vertolin
