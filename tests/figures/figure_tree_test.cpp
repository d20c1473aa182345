#include "figures/figure_tree.h"

#include <gtest/gtest.h>

#include "figures/figure_set.h"
#include "figures/picture_art.h"

namespace vertolin {
namespace {

TEST(FigureTable, HandsOutTheLowestFreeNumberAndDoublesWhenFull) {
  FigureTable table;
  EXPECT_EQ(table.size(), 100);
  for (int n = 1; n <= 100; ++n) ASSERT_EQ(table.Allocate(kDarkFigure), n);
  EXPECT_EQ(table.Allocate(kLightFigure), 101);
  EXPECT_EQ(table.size(), 200);
  EXPECT_EQ(table[101].colour, kLightFigure);

  table.Free(50);
  table.Free(7);
  table.Free(7);  // freeing twice must not hand 7 out twice
  EXPECT_EQ(table[7].state, kSlotFree);
  EXPECT_EQ(table[7].colour, kDarkFigure);  // a freed slot keeps its colour
  EXPECT_EQ(table.Allocate(kLightFigure), 7);
  EXPECT_EQ(table.Allocate(kLightFigure), 50);
  EXPECT_EQ(table.Allocate(kLightFigure), 102);

  table.MarkMilled(3);
  EXPECT_EQ(table[3].state, kFigureMilled);
  table.Reset();
  EXPECT_EQ(table, FigureTable());
  EXPECT_EQ(table.Allocate(kDarkFigure), 1);
}

TEST(NestingPairList, StoresEachPairOnceWhicheverWayRound) {
  NestingPairList pairs;
  pairs.Add(1, 2);
  pairs.Add(2, 1);
  pairs.Add(2, 3);
  pairs.Add(1, 2);
  EXPECT_EQ(pairs.pairs(), (std::vector<NestingPair>{{1, 2}, {2, 3}}));
  EXPECT_TRUE(pairs.Contains(3, 2));
  EXPECT_FALSE(pairs.Contains(1, 3));
}

TEST(NestingPairList, DoublesItsSlotsWhenTheCountExceedsThem) {
  NestingPairList pairs;
  for (int i = 1; i <= 100; ++i) pairs.Add(1, i + 1);
  EXPECT_EQ(pairs.capacity(), 100);
  pairs.Add(1, 500);
  EXPECT_EQ(pairs.capacity(), 200);
  // Many pairs: every one still found, none stored twice.
  for (int i = 1; i <= 20000; ++i) pairs.Add(i + 7, i);
  for (int i = 1; i <= 20000; ++i) pairs.Add(i, i + 7);
  EXPECT_EQ(pairs.count(), 101 + 20000 - 1);  // (8, 1) is the (1, 8) stored before
  EXPECT_EQ(pairs.capacity(), 25600);
}

TEST(FigureTree, KeysAreTheLetterPAndTheNumber) {
  EXPECT_EQ(NodeKey(1), "P1");
  EXPECT_EQ(NodeKey(1234), "P1234");
  EXPECT_EQ(FigureOfKey("P17"), 17);
  EXPECT_EQ(FigureOfKey("P"), std::nullopt);
  EXPECT_EQ(FigureOfKey("P1x"), std::nullopt);
  EXPECT_EQ(FigureOfKey(""), std::nullopt);
}

TEST(FigureTree, SiblingsInTheOrderTheyFirstTouchTheirParent) {
  // The right square starts a row higher, so it meets the background first.
  const FigureSet set =
      Parse(PictureFromArt({"........", ".....##.", ".##..##.", ".##.....", "........"}));
  const std::int32_t right = set.labels.at(6, 2);
  const std::int32_t left = set.labels.at(2, 3);
  EXPECT_EQ(set.tree.nodes(), (std::vector<FigureTreeNode>{{1, 0}, {right, 1}, {left, 1}}));
  EXPECT_TRUE(set.tree.HasChildren(1));
  EXPECT_FALSE(set.tree.HasChildren(right));
  EXPECT_EQ(set.figures[left].level, 1);
}

TEST(FigureTree, RootIsTheFirstOuterThatIsNobodysInner) {
  NestingPairList pairs;
  pairs.Add(5, 6);  // 5 is inner of the next pair: not the root
  pairs.Add(9, 5);
  pairs.Add(6, 7);
  FigureTable table;
  const FigureTree tree = FillTree(table, pairs);
  EXPECT_EQ(tree.nodes(), (std::vector<FigureTreeNode>{{9, 0}, {5, 9}, {6, 5}, {7, 6}}));
  EXPECT_EQ(table[7].level, 3);
  EXPECT_EQ(table[9].level, 0);
}

TEST(FigureTree, DeepNestingKeepsCountingLevels) {
  // Concentric square rings, alternately dark and light, 60 deep.
  const int size = 121;
  PixelImage image(size, size);
  for (int y = 1; y <= size; ++y) {
    for (int x = 1; x <= size; ++x) {
      const int ring = std::min({x - 1, y - 1, size - x, size - y});
      if (ring % 2 == 1) image.SetGrey(x, y, 0);
    }
  }
  const FigureSet set = Parse(image);
  ASSERT_EQ(set.tree.nodes().size(), 61u);
  for (std::size_t i = 1; i < set.tree.nodes().size(); ++i) {
    const FigureTreeNode& node = set.tree.nodes()[i];
    EXPECT_EQ(node.parent, set.tree.nodes()[i - 1].figure);
    EXPECT_EQ(set.figures[node.figure].level, static_cast<int>(i));
  }
}

TEST(FigureTree, MalformedListsNeitherLoopNorRepeatNodes) {
  FigureTable table;
  EXPECT_TRUE(FillTree(table, NestingPairList()).empty());

  NestingPairList noRoot;  // every outer is somebody's inner
  noRoot.Add(1, 2);
  noRoot.Add(2, 3);
  noRoot.Add(3, 1);
  EXPECT_TRUE(FillTree(table, noRoot).empty());

  NestingPairList cycle;  // 9 → 1 → 2 → 3 → 1 again
  cycle.Add(9, 1);
  cycle.Add(1, 2);
  cycle.Add(2, 3);
  cycle.Add(3, 1);
  EXPECT_EQ(FillTree(table, cycle).nodes(),
            (std::vector<FigureTreeNode>{{9, 0}, {1, 9}, {2, 1}, {3, 2}}));
}

}  // namespace
}  // namespace vertolin
