#include "modes/scanner/scan_plan.h"

#include <limits>

#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {
namespace {

// A mesh field holds digits only; an empty one counts as 0 points.
int MeshCount(std::string_view text) {
  const auto value = ParseNumber(text);
  if (!value) return 0;
  const auto count = RoundToInt32(*value);
  return count ? *count : 0;
}

// Steps between neighbouring nodes; nothing when the ratio is 0 or the pitch
// does not fit (its negative must fit too, for the way back).
std::optional<std::int32_t> Pitch(double area, int mesh, double ratio) {
  const auto pitch = RoundToInt32(area / (mesh - 1) / ratio);
  if (!pitch || *pitch == std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  return pitch;
}

ScanPlanResult Refuse(std::string_view text, std::string_view title) {
  return {std::nullopt, text, title};
}

}  // namespace

ScanPlanResult PlanScan(const ScanFields& fields) {
  const int meshX = MeshCount(fields.meshX);
  const int meshY = MeshCount(fields.meshY);
  // The X test is evenness only, whatever the message says: 6 passes.
  if (meshX % 2 != 0) return Refuse(texts::kMeshXNotEven, texts::kTitleVertolin);
  if (meshY % 2 == 0) return Refuse(texts::kMeshYNotOdd, texts::kTitleVertolin);
  // Below 2 × 3 there is no pitch to divide by.
  if (meshX < 2 || meshY < 3) return Refuse(texts::kMeshTooSmall, texts::kTitleVertolin);
  if (std::int64_t{meshX} * meshY > kMaxMeshNodes) {
    return Refuse(texts::kMeshTooLarge, texts::kTitleVertolin);
  }

  const auto areaX = ParseNumber(fields.areaX);
  if (!areaX) return Refuse(texts::kEnterAreaX, texts::kTitleError);
  const auto areaY = ParseNumber(fields.areaY);
  if (!areaY) return Refuse(texts::kEnterAreaY, texts::kTitleError);

  const auto pitchX = Pitch(*areaX, meshX, fields.xRatio);
  const auto pitchY = Pitch(*areaY, meshY, fields.yRatio);
  if (!pitchX || !pitchY) return Refuse(texts::kMoveOutOfRange, texts::kTitleError);
  return {ScanPlan{meshX, meshY, *pitchX, *pitchY}, {}, {}};
}

std::vector<NodeVisit> WalkOrder(const ScanPlan& plan) {
  std::vector<NodeVisit> walk;
  // Other shapes would leave a strip half walked or a row twice.
  if (plan.meshX < 2 || plan.meshX % 2 != 0 || plan.meshY % 2 == 0 || plan.meshY < 1) return walk;
  walk.reserve(static_cast<std::size_t>(plan.meshX) * static_cast<std::size_t>(plan.meshY));

  int atX = 1;
  int atY = 1;
  const auto visit = [&](int x, int y) {
    // Each move is one pitch to a neighbour; the sign follows the direction.
    walk.push_back({x, y, (x - atX) * plan.pitchX, (y - atY) * plan.pitchY});
    atX = x;
    atY = y;
  };

  for (int c = 1; c + 1 <= plan.meshX; c += 2) {
    const bool upward = (c / 2) % 2 == 0;
    if (upward) {
      for (int y = 1; y < plan.meshY; y += 2) {
        visit(c, y);
        visit(c + 1, y);
        visit(c + 1, y + 1);
        visit(c, y + 1);
      }
      visit(c, plan.meshY);
      visit(c + 1, plan.meshY);
    } else {
      for (int y = plan.meshY; y > 1; y -= 2) {
        visit(c, y);
        visit(c + 1, y);
        visit(c + 1, y - 1);
        visit(c, y - 1);
      }
      visit(c, 1);
      visit(c + 1, 1);
    }
  }
  return walk;
}

}  // namespace vertolin
