// The outline follower: walks round one figure pixel by pixel, with the figure
// on its right-hand side, clockwise round the outside and anticlockwise round
// a hole. The milling and outlining jobs move the tool along its steps.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "figures/label_map.h"

namespace vertolin {

// A unit move in picture coordinates (x to the right, y down), or (0, 0).
struct Step {
  int dx = 0;
  int dy = 0;
  bool diagonal() const { return dx != 0 && dy != 0; }
  friend bool operator==(const Step&, const Step&) = default;
};

inline constexpr Step kEast{1, 0};
inline constexpr Step kSouthEast{1, 1};
inline constexpr Step kSouth{0, 1};
inline constexpr Step kSouthWest{-1, 1};
inline constexpr Step kWest{-1, 0};
inline constexpr Step kNorthWest{-1, -1};
inline constexpr Step kNorth{0, -1};
inline constexpr Step kNorthEast{1, -1};

// 45° turns on the screen: E → SE → S → … clockwise. (0, 0), and anything
// that is not a unit move, gives (0, 0).
Step TurnClockwise(Step step);
Step TurnCounterClockwise(Step step);

struct Pixel {
  int x = 0;
  int y = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

enum class FollowResult {
  kFollowed,
  // No start pixel: the figure has no pixel, or, for a hole, no pixel of the
  // figure lies right above a pixel of the hole. The pass is to be skipped.
  kNothingToFollow,
  // The figure holds the frame cells (the background that reaches the top or
  // left edge, the tree's usual root): it has no outline inside the picture.
  kTouchesFrame,
  // The walk fell into a loop that misses its start. No figure shape has
  // been found to do this (every shape within 5 × 5 pixels was tried); it
  // is reported rather than walked for ever.
  kEndless,
};

struct Outline {
  FollowResult result = FollowResult::kNothingToFollow;
  Pixel start;
  Step direction;           // initial direction: E round the outside, W round a hole
  std::vector<Step> steps;  // the last step lands on `start`; a lone pixel gives one (0, 0)
};

// The outer boundary of `figure`, or with `hole` the boundary it shares with
// that hole. Start: the first pixel of the figure in raster order (for a hole,
// the first whose lower neighbour belongs to the hole). Each step searches
// from 45° anticlockwise of the last direction (90° after a diagonal step),
// turning clockwise until a pixel of the figure is found, and the walk stops
// on coming back to the start pixel. A caller that already knows the
// figure's first pixel in raster order passes it as `first`: the search for
// the start then begins there instead of at the top of the picture.
Outline FollowOutline(const LabelMap& labels, std::int32_t figure,
                      std::optional<std::int32_t> hole = std::nullopt,
                      std::optional<Pixel> first = std::nullopt);

// The pixels an outline visits after its start, one per step.
std::vector<Pixel> OutlinePixels(const Outline& outline);

}  // namespace vertolin
