#include "figures/figure_set.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "figures/picture_art.h"
#include "figures/reference_labelling.h"
#include "picture/default_pictures.h"

namespace vertolin {
namespace {

// What one comparison met, so that the random runs can show they reached the
// rare paths (table growth, renumbered frame …).
struct Seen {
  bool tableGrew = false;
  bool pairsGrew = false;
  bool frameRenumbered = false;
};

// Compares the fast parse with the literal one: every cell of the map (frame
// included), every figure slot, the pairs in order with their slot count,
// and the tree in insertion order.
void ExpectSameAsReference(const PixelImage& picture, const std::string& what,
                           Seen* seen = nullptr) {
  const FigureSet fast = Parse(picture);
  reference::Parsed slow;
  try {
    slow = reference::Parse(picture);
  } catch (const std::exception& error) {
    ADD_FAILURE() << what << ": the literal tree fill failed: " << error.what();
    return;
  }
  ASSERT_EQ(fast.labels.width(), slow.width) << what;
  ASSERT_EQ(fast.labels.height(), slow.height) << what;
  for (int y = 0; y <= slow.height + 1; ++y) {
    for (int x = 0; x <= slow.width + 1; ++x) {
      ASSERT_EQ(fast.labels.at(x, y), slow.at(x, y)) << what << " at (" << x << ", " << y << ")";
    }
  }
  ASSERT_EQ(fast.figures.size() + 1, static_cast<int>(slow.figures.size())) << what;
  for (int n = 1; n <= fast.figures.size(); ++n) {
    ASSERT_EQ(fast.figures[n], slow.figures[static_cast<std::size_t>(n)])
        << what << ", figure " << n;
  }
  EXPECT_EQ(fast.pairs.pairs(), slow.pairs) << what;
  EXPECT_EQ(fast.pairs.capacity(), slow.pairSlots) << what;
  EXPECT_EQ(fast.tree.nodes(), slow.tree) << what;

  if (seen != nullptr) {
    seen->tableGrew |= fast.figures.size() > FigureTable::kInitialSlots;
    seen->pairsGrew |= fast.pairs.capacity() > NestingPairList::kInitialSlots;
    seen->frameRenumbered |= fast.labels.frameFigure() != 1;
  }
}

PixelImage RandomNoise(int width, int height, double darkShare, std::mt19937& random) {
  PixelImage image(width, height);
  std::bernoulli_distribution dark(darkShare);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      if (dark(random)) image.SetGrey(x, y, 0);
    }
  }
  return image;
}

// Discs and rings painted over each other: figures inside figures, several
// levels deep, with ragged edges where they overlap.
PixelImage RandomShapes(int width, int height, std::mt19937& random) {
  PixelImage image(width, height);
  std::uniform_int_distribution<int> px(1, width);
  std::uniform_int_distribution<int> py(1, height);
  std::uniform_int_distribution<int> radius(1, std::max(1, std::min(width, height) / 3));
  std::bernoulli_distribution black(0.5);
  const int shapes = 1 + width * height / 60;
  for (int i = 0; i < shapes; ++i) {
    const int cx = px(random);
    const int cy = py(random);
    const int r = radius(random);
    const int hole = r / 2;
    const std::uint8_t grey = black(random) ? 0 : 255;
    for (int y = std::max(1, cy - r); y <= std::min(height, cy + r); ++y) {
      for (int x = std::max(1, cx - r); x <= std::min(width, cx + r); ++x) {
        const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (d <= r * r && d >= hole * hole) image.SetGrey(x, y, grey);
      }
    }
  }
  return image;
}

TEST(ParseMatchesLiteralLabelling, OnRandomNoiseOfManySizesAndDensities) {
  std::mt19937 random(20240611);
  const std::vector<std::pair<int, int>> sizes{
      {1, 1},  {1, 2},  {2, 1},   {2, 2},   {1, 9},   {9, 1},   {3, 3},
      {4, 7},  {7, 4},  {5, 5},   {8, 8},   {13, 6},  {6, 13},  {16, 16},
      {31, 9}, {9, 31}, {24, 24}, {40, 33}, {64, 64}, {64, 17}, {17, 64}};
  const std::vector<double> densities{0.05, 0.2, 0.35, 0.5, 0.65, 0.8, 0.95};
  Seen seen;
  for (const auto& [w, h] : sizes) {
    for (const double density : densities) {
      for (int round = 0; round < 4; ++round) {
        ExpectSameAsReference(RandomNoise(w, h, density, random),
                              std::to_string(w) + "x" + std::to_string(h) + " noise " +
                                  std::to_string(density) + " #" + std::to_string(round),
                              &seen);
        if (HasFatalFailure() || HasFailure()) return;
      }
    }
  }
  EXPECT_TRUE(seen.tableGrew);
  EXPECT_TRUE(seen.pairsGrew);
  EXPECT_TRUE(seen.frameRenumbered);
}

TEST(ParseMatchesLiteralLabelling, OnNestedShapes) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const int w = 1 + static_cast<int>(random() % 64);
    const int h = 1 + static_cast<int>(random() % 64);
    ExpectSameAsReference(RandomShapes(w, h, random), "shapes #" + std::to_string(round));
    if (HasFailure()) return;
  }
}

TEST(ParseMatchesLiteralLabelling, OnALargerNoisePicture) {
  // Thousands of figures and pairs: the pair set and the per-figure caches
  // work at a scale the small pictures do not reach.
  std::mt19937 random(5);
  ExpectSameAsReference(RandomNoise(256, 192, 0.5, random), "256x192 noise");
}

TEST(ParseMatchesLiteralLabelling, OnTheOrnament) {
  ExpectSameAsReference(DrawOrnament(), "ornament");
}

TEST(ParseMatchesLiteralLabelling, OnGreyPicturesAroundTheThreshold) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> grey(95, 106);
  for (int round = 0; round < 40; ++round) {
    PixelImage image(20, 15);
    for (int y = 1; y <= 15; ++y) {
      for (int x = 1; x <= 20; ++x)
        image.SetPixel(x, y, static_cast<std::uint8_t>(grey(random)), 0, 255);
    }
    ExpectSameAsReference(image, "grey #" + std::to_string(round));
  }
}

// The map's picture cells as rows of numbers.
std::vector<std::vector<int>> Rows(const LabelMap& labels) {
  std::vector<std::vector<int>> rows;
  for (int y = 1; y <= labels.height(); ++y) {
    rows.emplace_back();
    for (int x = 1; x <= labels.width(); ++x) rows.back().push_back(labels.at(x, y));
  }
  return rows;
}

std::vector<int> InUse(const FigureTable& figures) {
  std::vector<int> numbers;
  for (int n = 1; n <= figures.size(); ++n) {
    if (figures[n].inUse()) numbers.push_back(n);
  }
  return numbers;
}

TEST(Parse, AllLightGivesTheFrameFigureAloneAndNoPairs) {
  const FigureSet set = Parse(PictureFromArt({".....", ".....", "....."}));
  EXPECT_EQ(InUse(set.figures), std::vector<int>{1});
  EXPECT_EQ(set.pairs.count(), 0);
  EXPECT_TRUE(set.tree.empty());
  for (int y = 0; y <= 4; ++y) {
    for (int x = 0; x <= 6; ++x) EXPECT_EQ(set.labels.at(x, y), 1);
  }
}

TEST(Parse, EmptyPictureGivesAFrameOnly) {
  for (const auto& [w, h] : {std::pair{0, 0}, std::pair{0, 3}, std::pair{3, 0}}) {
    const FigureSet set = Parse(PixelImage(w, h));
    EXPECT_EQ(set.labels.width(), w);
    EXPECT_EQ(set.labels.height(), h);
    for (int y = 0; y <= h + 1; ++y) {
      for (int x = 0; x <= w + 1; ++x) EXPECT_EQ(set.labels.at(x, y), 1) << w << "x" << h;
    }
    EXPECT_EQ(set.pairs.count(), 0);
    EXPECT_TRUE(set.tree.empty());
  }
}

TEST(Parse, OneDarkPixelIsFigureTwoInsideTheFrameFigure) {
  const FigureSet set = Parse(PictureFromArt({".....", ".....", "..#..", ".....", "....."}));
  EXPECT_EQ(set.labels.at(3, 3), 2);
  EXPECT_EQ(InUse(set.figures), (std::vector<int>{1, 2}));
  EXPECT_EQ(set.figures[1].colour, kLightFigure);
  EXPECT_EQ(set.figures[2].colour, kDarkFigure);
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{1, 2}}));
}

TEST(Parse, BlueByteAboveHundredIsLight) {
  PixelImage image(4, 1);
  image.SetPixel(1, 1, 100, 255, 255);  // dark: only blue counts
  image.SetPixel(2, 1, 101, 0, 0);      // light
  image.SetPixel(3, 1, 0, 255, 255);
  image.SetPixel(4, 1, 255, 0, 0);
  const FigureSet set = Parse(image);
  EXPECT_TRUE(set.figures[set.labels.at(1, 1)].dark());
  EXPECT_FALSE(set.figures[set.labels.at(2, 1)].dark());
  EXPECT_TRUE(set.figures[set.labels.at(3, 1)].dark());
  EXPECT_FALSE(set.figures[set.labels.at(4, 1)].dark());
}

TEST(Parse, OnlyTheUpperLeftToLowerRightDiagonalConnects) {
  // Dark (2,2)-(3,3) touch upper-left/lower-right: one figure. Dark
  // (6,2)-(5,3) touch upper-right/lower-left: two figures, and the light
  // pixels (5,2) and (6,3) are joined through that corner.
  const FigureSet set = Parse(PictureFromArt({".......", ".#...#.", "..#.#..", "......."}));
  EXPECT_EQ(set.labels.at(2, 2), set.labels.at(3, 3));
  EXPECT_NE(set.labels.at(6, 2), set.labels.at(5, 3));
  EXPECT_EQ(set.labels.at(5, 2), set.labels.at(6, 3));
}

TEST(Parse, LightReachingOnlyTheRightOrBottomEdgeIsAFigureOfItsOwn) {
  const FigureSet set = Parse(PictureFromArt({"....", ".###", ".#..", ".#.."}));
  EXPECT_EQ(set.labels.at(1, 4), 1);  // reaches the left edge
  EXPECT_NE(set.labels.at(3, 3), 1);  // boxed in but for the right and bottom edges
  EXPECT_FALSE(set.figures[set.labels.at(3, 3)].dark());
}

TEST(Parse, UShapeMergesItsArmsIntoTheRightOne) {
  const FigureSet set = Parse(PictureFromArt({".....", ".#.#.", ".###.", "....."}));
  EXPECT_EQ(Rows(set.labels),
            (std::vector<std::vector<int>>{
                {1, 1, 1, 1, 1}, {1, 3, 1, 3, 1}, {1, 3, 3, 3, 1}, {1, 1, 1, 1, 1}}));
  EXPECT_EQ(set.figures[2].state, kSlotFree);
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{1, 3}}));
}

TEST(Parse, FreedNumberGoesToTheNextNewFigure) {
  // The U frees 2; the dot below is allocated after that and takes it.
  const FigureSet set =
      Parse(PictureFromArt({".....", ".#.#.", ".###.", ".....", "..#..", "....."}));
  EXPECT_EQ(set.labels.at(2, 2), 3);
  EXPECT_EQ(set.labels.at(3, 5), 2);
  EXPECT_EQ(InUse(set.figures), (std::vector<int>{1, 2, 3}));
}

TEST(Parse, RingWithHoleAndCentreIsAChainOfFour) {
  const FigureSet set = Parse(PictureFromArt(
      {".......", ".#####.", ".#...#.", ".#.#.#.", ".#...#.", ".#####.", "......."}));
  EXPECT_EQ(set.labels.at(1, 1), 1);
  EXPECT_EQ(set.labels.at(2, 2), 2);
  EXPECT_EQ(set.labels.at(3, 3), 3);
  EXPECT_EQ(set.labels.at(4, 4), 4);
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{1, 2}, {2, 3}, {3, 4}}));
  EXPECT_EQ(set.tree.nodes(), (std::vector<FigureTreeNode>{{1, 0}, {2, 1}, {3, 2}, {4, 3}}));
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(set.figures[n].level, n - 1);
}

TEST(Parse, DarkRegionOnTheLeftEdgeIsOuterOfItsFirstPair) {
  const FigureSet set = Parse(PictureFromArt({".....", "##...", ".....", "##...", "....."}));
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{2, 1}, {3, 1}}));
  // The first such region becomes the root; the second is the outer member
  // of its only pair and stays out of the tree at level 0.
  EXPECT_EQ(set.tree.nodes(), (std::vector<FigureTreeNode>{{2, 0}, {1, 2}}));
  EXPECT_EQ(set.figures[1].level, 1);
  EXPECT_FALSE(set.tree.Contains(3));
  EXPECT_EQ(set.figures[3].level, 0);
}

TEST(Parse, FrameFigureCanBeRenumberedAndItsNumberReused) {
  // At (2,3) the frame figure (left) meets the light figure 3 above it and
  // merges into it: the frame becomes 3 and number 1 goes to the next new
  // figure, the dark pixel (2,4).
  const FigureSet set = Parse(PictureFromArt({"###", "#.#", "..#", ".#."}));
  EXPECT_EQ(set.labels.frameFigure(), 3);
  EXPECT_EQ(Rows(set.labels),
            (std::vector<std::vector<int>>{{2, 2, 2}, {2, 3, 2}, {3, 3, 2}, {3, 1, 3}}));
  EXPECT_TRUE(set.figures[1].dark());
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{2, 3}, {3, 1}}));
  EXPECT_EQ(set.tree.nodes(), (std::vector<FigureTreeNode>{{2, 0}, {3, 2}, {1, 3}}));
}

TEST(Parse, PairsAreNotTakenAcrossTheFrameColumns) {
  // Dark column 1 and column W touch the frame only: no pairs with it.
  const FigureSet set = Parse(PictureFromArt({"#.#", "#.#"}));
  EXPECT_EQ(set.pairs.pairs(), (std::vector<NestingPair>{{2, 1}, {1, 3}}));
}

TEST(Parse, ResetTablesEmptiesSlotsButKeepsCountMapAndTree) {
  FigureSet set = Parse(PictureFromArt(
      {".......", ".#####.", ".#...#.", ".#.#.#.", ".#...#.", ".#####.", "......."}));
  const LabelMap labels = set.labels;
  set.ResetTables();
  EXPECT_EQ(set.figures, FigureTable());
  EXPECT_EQ(set.pairs.count(), 3);
  EXPECT_EQ(set.pairs[1], (NestingPair{0, 0}));
  EXPECT_EQ(set.labels, labels);
  EXPECT_EQ(set.tree.nodes().size(), 4u);
}

}  // namespace
}  // namespace vertolin
