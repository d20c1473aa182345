#include "figures/outline.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "figures/figure_set.h"
#include "figures/picture_art.h"
#include "picture/default_pictures.h"

namespace vertolin {
namespace {

const std::vector<std::string> kRing{".......", ".#####.", ".#...#.", ".#.#.#.",
                                     ".#...#.", ".#####.", "......."};

TEST(Turns, FollowTheCompassRoseBothWays) {
  const std::vector<Step> clockwise{kEast, kSouthEast, kSouth, kSouthWest,
                                    kWest, kNorthWest, kNorth, kNorthEast};
  EXPECT_EQ(kSouthEast, (Step{1, 1}));
  EXPECT_EQ(kNorthEast, (Step{1, -1}));
  for (std::size_t i = 0; i < clockwise.size(); ++i) {
    const Step next = clockwise[(i + 1) % 8];
    EXPECT_EQ(TurnClockwise(clockwise[i]), next) << i;
    EXPECT_EQ(TurnCounterClockwise(next), clockwise[i]) << i;
  }
  EXPECT_EQ(TurnClockwise(Step{}), Step{});
  EXPECT_EQ(TurnCounterClockwise(Step{}), Step{});
  EXPECT_EQ(TurnClockwise(Step{2, 0}), Step{});
}

TEST(FollowOutline, UShapeFromItsFirstPixel) {
  const FigureSet set = Parse(PictureFromArt({".....", ".#.#.", ".###.", "....."}));
  const Outline outline = FollowOutline(set.labels, 3);
  ASSERT_EQ(outline.result, FollowResult::kFollowed);
  EXPECT_EQ(outline.start, (Pixel{2, 2}));
  EXPECT_EQ(outline.direction, kEast);
  EXPECT_EQ(OutlinePixels(outline),
            (std::vector<Pixel>{{3, 3}, {4, 2}, {4, 3}, {3, 3}, {2, 3}, {2, 2}}));
}

TEST(FollowOutline, RingOutsideClockwise) {
  const FigureSet set = Parse(PictureFromArt(kRing));
  const Outline outline = FollowOutline(set.labels, 2);
  ASSERT_EQ(outline.result, FollowResult::kFollowed);
  EXPECT_EQ(outline.start, (Pixel{2, 2}));
  std::vector<Pixel> expected;
  for (int x = 3; x <= 6; ++x) expected.push_back({x, 2});
  for (int y = 3; y <= 6; ++y) expected.push_back({6, y});
  for (int x = 5; x >= 2; --x) expected.push_back({x, 6});
  for (int y = 5; y >= 2; --y) expected.push_back({2, y});
  EXPECT_EQ(OutlinePixels(outline), expected);
}

TEST(FollowOutline, RingHoleAnticlockwiseCuttingTheCorners) {
  const FigureSet set = Parse(PictureFromArt(kRing));
  const Outline outline = FollowOutline(set.labels, 2, 3);
  ASSERT_EQ(outline.result, FollowResult::kFollowed);
  EXPECT_EQ(outline.start, (Pixel{3, 2}));
  EXPECT_EQ(outline.direction, kWest);
  EXPECT_EQ(OutlinePixels(outline), (std::vector<Pixel>{{2, 3},
                                                        {2, 4},
                                                        {2, 5},
                                                        {3, 6},
                                                        {4, 6},
                                                        {5, 6},
                                                        {6, 5},
                                                        {6, 4},
                                                        {6, 3},
                                                        {5, 2},
                                                        {4, 2},
                                                        {3, 2}}));
}

TEST(FollowOutline, LonePixelMakesOneZeroStep) {
  const FigureSet set = Parse(PictureFromArt(kRing));
  const Outline outline = FollowOutline(set.labels, 4);
  ASSERT_EQ(outline.result, FollowResult::kFollowed);
  EXPECT_EQ(outline.start, (Pixel{4, 4}));
  EXPECT_EQ(outline.steps, std::vector<Step>{Step{}});
}

TEST(FollowOutline, RefusesTheFigureThatHoldsTheFrame) {
  const FigureSet ring = Parse(PictureFromArt(kRing));
  const Outline outline = FollowOutline(ring.labels, 1);
  EXPECT_EQ(outline.result, FollowResult::kTouchesFrame);
  EXPECT_TRUE(outline.steps.empty());
  EXPECT_EQ(FollowOutline(ring.labels, 2, 1).result,
            FollowResult::kFollowed);  // the frame as hole is harmless

  // Renumbered frame: figure 3 holds it, figure 1 is an ordinary dark pixel.
  const FigureSet renumbered = Parse(PictureFromArt({"###", "#.#", "..#", ".#."}));
  EXPECT_EQ(FollowOutline(renumbered.labels, 3).result, FollowResult::kTouchesFrame);
  EXPECT_EQ(FollowOutline(renumbered.labels, 1).result, FollowResult::kFollowed);
}

TEST(FollowOutline, NothingToFollowWithoutAStartPixel) {
  const FigureSet set = Parse(PictureFromArt(kRing));
  EXPECT_EQ(FollowOutline(set.labels, 77).result, FollowResult::kNothingToFollow);
  // The centre lies below no pixel of the ring.
  const Outline outline = FollowOutline(set.labels, 2, 4);
  EXPECT_EQ(outline.result, FollowResult::kNothingToFollow);
  EXPECT_TRUE(outline.steps.empty());
}

TEST(FollowOutline, HoleStartMayLookIntoTheBottomFrameRow) {
  // The figure ends on the bottom row; below it is the frame.
  LabelMap labels(3, 2);
  for (int x = 0; x <= 4; ++x) {
    for (int y = 0; y <= 3; ++y) labels.at(x, y) = 1;
  }
  labels.at(2, 2) = 5;
  const Outline outline = FollowOutline(labels, 5, 1);
  EXPECT_EQ(outline.result, FollowResult::kFollowed);
  EXPECT_EQ(outline.start, (Pixel{2, 2}));
}

// Every outline of every figure and hole pass on a parsed picture: stays on
// the figure, moves by unit steps, closes on its start; a hole pass without
// start really has no pixel of the figure above the hole.
void CheckAllOutlines(const PixelImage& picture, const std::string& what) {
  const FigureSet set = Parse(picture);
  const LabelMap& labels = set.labels;
  for (int figure = 1; figure <= set.figures.size(); ++figure) {
    if (!set.figures[figure].inUse()) continue;
    std::vector<std::optional<std::int32_t>> passes{std::nullopt};
    for (const NestingPair& pair : set.pairs.pairs()) {
      if (pair.outer == figure) passes.push_back(pair.inner);
    }
    std::optional<Pixel> first;
    for (int y = 1; y <= labels.height() && !first; ++y) {
      for (int x = 1; x <= labels.width() && !first; ++x) {
        if (labels.at(x, y) == figure) first = Pixel{x, y};
      }
    }
    for (const auto& hole : passes) {
      const Outline outline = FollowOutline(labels, figure, hole);
      const std::string pass = what + ", figure " + std::to_string(figure) + " hole " +
                               std::to_string(hole.value_or(0));
      // Told where the figure begins, the follower finds the same walk.
      const Outline fromFirst = FollowOutline(labels, figure, hole, first);
      ASSERT_EQ(fromFirst.result, outline.result) << pass;
      ASSERT_EQ(fromFirst.start, outline.start) << pass;
      ASSERT_EQ(fromFirst.steps, outline.steps) << pass;
      if (figure == labels.frameFigure()) {
        ASSERT_EQ(outline.result, FollowResult::kTouchesFrame) << pass;
        continue;
      }
      if (outline.result == FollowResult::kNothingToFollow) {
        ASSERT_TRUE(hole.has_value()) << pass;
        for (int y = 1; y <= labels.height(); ++y) {
          for (int x = 1; x <= labels.width(); ++x) {
            ASSERT_FALSE(labels.at(x, y) == figure && labels.at(x, y + 1) == *hole) << pass;
          }
        }
        continue;
      }
      ASSERT_EQ(outline.result, FollowResult::kFollowed) << pass;
      ASSERT_EQ(labels.at(outline.start.x, outline.start.y), figure) << pass;
      const std::vector<Pixel> visited = OutlinePixels(outline);
      ASSERT_FALSE(visited.empty()) << pass;
      EXPECT_EQ(visited.back(), outline.start) << pass;
      for (std::size_t i = 0; i < visited.size(); ++i) {
        const Step step = outline.steps[i];
        ASSERT_TRUE(std::abs(step.dx) <= 1 && std::abs(step.dy) <= 1) << pass;
        ASSERT_TRUE(step != Step{} || visited.size() == 1) << pass;
        ASSERT_EQ(labels.at(visited[i].x, visited[i].y), figure) << pass << " step " << i;
      }
    }
  }
}

TEST(FollowOutline, AlwaysClosesOnRandomPictures) {
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    const int w = 1 + static_cast<int>(random() % 40);
    const int h = 1 + static_cast<int>(random() % 40);
    std::bernoulli_distribution dark(0.1 + 0.8 * (round % 9) / 8.0);
    PixelImage image(w, h);
    for (int y = 1; y <= h; ++y) {
      for (int x = 1; x <= w; ++x) {
        if (dark(random)) image.SetGrey(x, y, 0);
      }
    }
    CheckAllOutlines(image, "noise #" + std::to_string(round));
    if (HasFailure()) return;
  }
}

TEST(FollowOutline, AlwaysClosesOnTheOrnament) { CheckAllOutlines(DrawOrnament(), "ornament"); }

}  // namespace
}  // namespace vertolin
