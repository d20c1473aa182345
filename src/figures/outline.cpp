#include "figures/outline.h"

#include <array>

namespace vertolin {

namespace {

// Clockwise order on the screen.
constexpr std::array<Step, 8> kDirections{kEast, kSouthEast, kSouth, kSouthWest,
                                          kWest, kNorthWest, kNorth, kNorthEast};

int IndexOf(Step step) {
  for (int i = 0; i < 8; ++i) {
    if (kDirections[static_cast<std::size_t>(i)] == step) return i;
  }
  return -1;
}

Step Direction(int index) { return kDirections[static_cast<std::size_t>(index & 7)]; }

bool FrameHolds(const LabelMap& labels, std::int32_t figure) {
  const int right = labels.width() + 1;
  const int bottom = labels.height() + 1;
  for (int x = 0; x <= right; ++x) {
    if (labels.at(x, 0) == figure || labels.at(x, bottom) == figure) return true;
  }
  for (int y = 1; y < bottom; ++y) {
    if (labels.at(0, y) == figure || labels.at(right, y) == figure) return true;
  }
  return false;
}

}  // namespace

Step TurnClockwise(Step step) {
  const int i = IndexOf(step);
  return i < 0 ? Step{} : Direction(i + 1);
}

Step TurnCounterClockwise(Step step) {
  const int i = IndexOf(step);
  return i < 0 ? Step{} : Direction(i + 7);
}

Outline FollowOutline(const LabelMap& labels, std::int32_t figure, std::optional<std::int32_t> hole,
                      std::optional<Pixel> first) {
  Outline outline;
  if (labels.empty()) return outline;
  // Only a figure clear of the frame keeps every neighbour looked at inside
  // the map.
  if (FrameHolds(labels, figure)) {
    outline.result = FollowResult::kTouchesFrame;
    return outline;
  }

  // No pixel of the figure comes before its first one, so neither does a
  // start for its outline or for one of its holes.
  const Pixel from = first.value_or(Pixel{1, 1});
  bool found = false;
  for (int y = from.y; y <= labels.height() && !found; ++y) {
    for (int x = y == from.y ? from.x : 1; x <= labels.width(); ++x) {
      if (labels.at(x, y) == figure && (!hole || labels.at(x, y + 1) == *hole)) {
        outline.start = {x, y};
        found = true;
        break;
      }
    }
  }
  if (!found) return outline;

  int direction = hole ? IndexOf(kWest) : IndexOf(kEast);
  outline.direction = Direction(direction);
  Pixel at = outline.start;
  // The walk is a function of (pixel, direction); should it fall into a
  // cycle that misses the start, the state saved at each power of two
  // steps comes round again (Brent's cycle detection), within a few times
  // the outline's length.
  Pixel savedAt = at;
  int savedDirection = direction;
  std::size_t power = 1;
  std::size_t sinceSaved = 0;
  while (true) {
    direction += 7;  // one turn anticlockwise
    Step step{};
    for (int tried = 0; tried < 8; ++tried, ++direction) {
      const Step candidate = Direction(direction);
      if (labels.at(at.x + candidate.dx, at.y + candidate.dy) == figure) {
        step = candidate;
        break;
      }
    }
    outline.steps.push_back(step);
    at.x += step.dx;
    at.y += step.dy;
    if (step.diagonal()) direction += 7;
    direction &= 7;
    if (at == outline.start) break;
    if (at == savedAt && direction == savedDirection) {
      outline.steps.clear();
      outline.result = FollowResult::kEndless;
      return outline;
    }
    if (++sinceSaved == power) {
      savedAt = at;
      savedDirection = direction;
      power *= 2;
      sinceSaved = 0;
    }
  }
  outline.result = FollowResult::kFollowed;
  return outline;
}

std::vector<Pixel> OutlinePixels(const Outline& outline) {
  std::vector<Pixel> pixels;
  pixels.reserve(outline.steps.size());
  Pixel at = outline.start;
  for (const Step& step : outline.steps) {
    at.x += step.dx;
    at.y += step.dy;
    pixels.push_back(at);
  }
  return pixels;
}

}  // namespace vertolin
