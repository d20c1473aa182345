#include "modes/scanner/scan_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "link/texts.h"

namespace vertolin {
namespace {

TEST(ScanPlanTest, FieldsGiveThePitchesOrTheRefusal) {
  struct Case {
    ScanFields fields;
    std::string_view refusal;
    std::int32_t pitchX = 0;
    std::int32_t pitchY = 0;
  };
  const Case cases[] = {
      {{"6", "5", "120", "50", 0.005, 0.005}, {}, 4800, 2500},
      {{"4", "5", "120", "50", 0.005, 0.005}, {}, 8000, 2500},  // even is enough
      {{"2", "3", "1", "1", 0.25, -0.25}, {}, 4, -2},           // the smallest; Y reversed
      {{"5", "5", "120", "50", 0.005, 0.005}, texts::kMeshXNotEven},
      {{"6", "4", "120", "50", 0.005, 0.005}, texts::kMeshYNotOdd},
      {{"6", "", "120", "50", 0.005, 0.005}, texts::kMeshYNotOdd},  // empty reads as 0
      {{"", "5", "120", "50", 0.005, 0.005}, texts::kMeshTooSmall},
      {{"2", "1", "120", "50", 0.005, 0.005}, texts::kMeshTooSmall},
      {{"1000", "1001", "120", "50", 0.005, 0.005}, texts::kMeshTooLarge},
      {{"1000", "999", "120", "50", 0.005, 0.005}, {}, 24, 10},
      {{"6", "5", "120", "", 0.005, 0.005}, texts::kEnterAreaY},
      {{"6", "5", "x", "50", 0.005, 0.005}, texts::kEnterAreaX},
      {{"6", "5", "120", "50", 0, 0.005}, texts::kMoveOutOfRange},
      {{"6", "5", "120", "5e10", 0.005, 1}, texts::kMoveOutOfRange},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fields.meshX) + " x " + std::string(c.fields.meshY));
    const ScanPlanResult result = PlanScan(c.fields);
    EXPECT_EQ(result.refusal, c.refusal);
    ASSERT_EQ(result.plan.has_value(), c.refusal.empty());
    if (!result.plan) continue;
    EXPECT_EQ(result.plan->pitchX, c.pitchX);
    EXPECT_EQ(result.plan->pitchY, c.pitchY);
  }
}

TEST(ScanPlanTest, WalkOfSixByFive) {
  const std::vector<std::pair<int, int>> expected = {
      {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 3}, {2, 3}, {2, 4}, {1, 4}, {1, 5}, {2, 5},
      {3, 5}, {4, 5}, {4, 4}, {3, 4}, {3, 3}, {4, 3}, {4, 2}, {3, 2}, {3, 1}, {4, 1},
      {5, 1}, {6, 1}, {6, 2}, {5, 2}, {5, 3}, {6, 3}, {6, 4}, {5, 4}, {5, 5}, {6, 5}};
  std::vector<std::pair<int, int>> walked;
  for (const NodeVisit& visit : WalkOrder({6, 5, 4800, 2500}))
    walked.emplace_back(visit.x, visit.y);
  EXPECT_EQ(walked, expected);
}

// Every mesh the plan accepts: each node once, starting at (1, 1), every move
// one pitch to a neighbour, and the moves adding up to where the probe is.
TEST(ScanPlanTest, WalkCoversEveryNodeByNeighbourMoves) {
  for (int meshX = 2; meshX <= 12; meshX += 2) {
    for (int meshY = 1; meshY <= 11; meshY += 2) {
      SCOPED_TRACE(std::to_string(meshX) + " x " + std::to_string(meshY));
      const ScanPlan plan{meshX, meshY, 7, -3};
      const std::vector<NodeVisit> walk = WalkOrder(plan);
      ASSERT_EQ(walk.size(), static_cast<std::size_t>(meshX * meshY));
      EXPECT_EQ(walk.front(), (NodeVisit{1, 1, 0, 0}));
      std::set<std::pair<int, int>> seen;
      std::int64_t atX = 0;
      std::int64_t atY = 0;
      for (std::size_t k = 0; k < walk.size(); ++k) {
        const NodeVisit& v = walk[k];
        EXPECT_TRUE(seen.emplace(v.x, v.y).second) << v.x << "," << v.y;
        if (k > 0) {
          EXPECT_EQ(std::abs(v.x - walk[k - 1].x) + std::abs(v.y - walk[k - 1].y), 1);
        }
        atX += v.stepX;
        atY += v.stepY;
        EXPECT_EQ(atX, std::int64_t{v.x - 1} * plan.pitchX);
        EXPECT_EQ(atY, std::int64_t{v.y - 1} * plan.pitchY);
      }
      EXPECT_EQ(walk.back().x, meshX);
      EXPECT_EQ(walk.back().y, (meshX / 2) % 2 == 1 ? meshY : 1);
    }
  }
  // Shapes the plan refuses have no walk, rather than a half-walked strip.
  EXPECT_TRUE(WalkOrder({5, 5, 1, 1}).empty());
  EXPECT_TRUE(WalkOrder({6, 4, 1, 1}).empty());
  EXPECT_TRUE(WalkOrder({0, 5, 1, 1}).empty());
}

}  // namespace
}  // namespace vertolin
