// The plan of one scan, decided before anything moves: the mesh read from
// the fields and checked, the node pitches in motor steps, and the order in
// which the probe visits the nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vertolin {

namespace texts {

inline constexpr std::string_view kMeshXNotEven = "Размер сетки по X должен быть кратным 4";
inline constexpr std::string_view kMeshYNotOdd = "Размер сетки по Y должен быть нечетным";
inline constexpr std::string_view kMeshTooSmall =
    "Сетка должна быть не меньше 2 точек по X и 3 точек по Y";
inline constexpr std::string_view kMeshTooLarge = "Сетка должна быть не больше 1000000 точек";
inline constexpr std::string_view kEnterAreaX =
    "Введите число в поле размера области сканирования по X!";
inline constexpr std::string_view kEnterAreaY =
    "Введите число в поле размера области сканирования по Y!";
inline constexpr std::string_view kScanFinished = "Сканирвание завершено";
inline constexpr std::string_view kSurfaceFlat = "Все точки на одной высоте: поверхность ровная";

}  // namespace texts

// The probe argument of the scanner's SendStep at every node (the board
// receives −2 times it).
inline constexpr std::int32_t kProbeArgument = -100;

// More nodes than this are refused: the map and the walk are held whole.
inline constexpr std::int64_t kMaxMeshNodes = 1'000'000;

// The window's fields as the scan reads them.
struct ScanFields {
  std::string_view meshX;  // Text3, points
  std::string_view meshY;  // Text4, points
  std::string_view areaX;  // Text8, mm
  std::string_view areaY;  // Text9, mm
  double xRatio = 0;       // mm per motor step
  double yRatio = 0;
};

struct ScanPlan {
  int meshX = 0;
  int meshY = 0;
  std::int32_t pitchX = 0;  // steps from one node to the next along X
  std::int32_t pitchY = 0;
};

// The plan, or the message and title the window shows instead; nothing has
// moved yet. A mesh field that holds no number reads as 0 points.
struct ScanPlanResult {
  std::optional<ScanPlan> plan;
  std::string_view refusal;  // empty when there is a plan
  std::string_view refusalTitle;
};
ScanPlanResult PlanScan(const ScanFields& fields);

// One node of the walk and the move that brought the probe there from the
// node before (0, 0 for the first node): one pitch along one axis.
struct NodeVisit {
  int x = 0;  // 1-based column
  int y = 0;  // 1-based row
  std::int32_t stepX = 0;
  std::int32_t stepY = 0;

  friend bool operator==(const NodeVisit&, const NodeVisit&) = default;
};

// Every node once, in strips two columns wide: odd strips up the rows, even
// strips down, zigzagging between the strip's two columns a pair of rows at
// a time. Empty unless meshX is even and meshY odd, as PlanScan ensures.
std::vector<NodeVisit> WalkOrder(const ScanPlan& plan);

}  // namespace vertolin
