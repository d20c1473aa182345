#include "modes/cutting/stroke_cut.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "jobs/job_program.h"
#include "jobs/job_count.h"
#include "jobs/job_runner.h"
#include "link/link.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "modes/dry_run.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kDone = "Готово";
constexpr std::string_view kWidthNotNumber = "Введите число в поле «Ширина»!";
constexpr std::string_view kWidthNotPositive =
    "Ширина готового изображения должна быть больше нуля.";
constexpr std::string_view kDelayNotInteger =
    "Задержка между шагами должна быть целым числом микросекунд.";

constexpr std::uint8_t kStartRed = 0;       // a stroke may start here
constexpr std::uint8_t kOnStrokeRed = 100;  // a stroke goes on through here

// The eight directions clockwise on the screen (y grows downwards), from right.
constexpr std::array<int, 8> kDx = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr std::array<int, 8> kDy = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kRight = 0;
int Clockwise(int d) { return (d + 1) % 8; }
int CounterClockwise(int d) { return (d + 7) % 8; }

struct Pixel {
  int x = 0;
  int y = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

std::optional<double> Width(const CutFields& fields) { return ParseNumber(fields.Width()); }

std::optional<std::int32_t> Delay(const CutFields& fields) {
  const auto delay = ParseNumber(fields.Delay());
  return delay ? RoundToInt32(*delay) : std::nullopt;
}

void Paint(std::uint8_t* pixel) {
  pixel[0] = 0;
  pixel[1] = 0;
  pixel[2] = 255;
}

// The fields' last good values: the cut goes on with them while the person
// is in the middle of typing a new one.
struct Live {
  const CutFields& fields;
  const Link& link;
  int pixelsAcross;
  double width;
  std::int32_t delay;

  StepScale Scale() {
    if (const auto now = Width(fields); now && *now > 0) width = *now;
    const MachineProfile& profile = link.profile();
    return {width / profile.xRatio / pixelsAcross, width / profile.yRatio / pixelsAcross, 0};
  }
  std::int32_t Delay() {
    if (const auto now = vertolin::Delay(fields)) delay = *now;
    return delay;
  }
};

// The stroke walk over the working copy; the Trace layer is the display copy.
class Walk {
 public:
  Walk(PixelImage& trace, CutView& view, EventPump& pump)
      : trace_(trace),
        work_(trace),
        view_(view),
        pump_(pump),
        seen_(static_cast<std::size_t>(trace.width()) * static_cast<std::size_t>(trace.height())) {}

  // The first start in raster order, rows 1 to H − 1. Marks only ever take
  // a start away, so the search goes on from where the last one was found.
  std::optional<Pixel> NextStart() {
    const int W = work_.width();
    for (; next_.y <= work_.height() - 1; ++next_.y, next_.x = 1) {
      for (; next_.x <= W; ++next_.x) {
        if (Red(next_.x, next_.y) == kStartRed) return next_;
      }
    }
    return std::nullopt;
  }

  // Follows the stroke from `start` without moving, to one of its ends: the
  // pixel past which none of the six directions from 90° left to 135° right
  // of the way holds a stroke pixel; `start` itself when the stroke closes.
  // A walk that comes back to a pixel and direction it has been in goes
  // round for ever: it ends there, taking that pixel as the end.
  Pixel FindEnd(Pixel start) {
    Pixel p = start;
    int d = kRight;
    Pixel end = start;
    for (;;) {
      std::uint8_t& seen = seen_[Index(p)];
      if ((seen & (1u << d)) != 0) {
        end = p;
        break;
      }
      if (seen == 0) touched_.push_back(Index(p));
      seen = static_cast<std::uint8_t>(seen | (1u << d));

      d = CounterClockwise(d);
      int n = 0;
      while (!OnStroke(p.x + kDx[d], p.y + kDy[d]) && n < 8) {
        d = Clockwise(d);
        ++n;
      }
      if (n >= 6) {
        end = p;
        break;
      }
      const Pixel ahead{p.x + kDx[d], p.y + kDy[d]};
      if (ahead == start) break;
      p = ahead;
      pump_.Tick();
      d = CounterClockwise(d);
    }
    for (const std::size_t i : touched_) seen_[i] = 0;
    touched_.clear();
    return end;
  }

  // The direction of the next step of the follow from `at`, the sweep
  // beginning 90° left of `d`; none when no neighbour is on a stroke.
  std::optional<int> NextStep(Pixel at, int d) const {
    d = CounterClockwise(d);
    for (int n = 0; n < 8; ++n, d = Clockwise(d)) {
      if (OnStroke(at.x + kDx[d], at.y + kDy[d])) return d;
    }
    return std::nullopt;
  }

  // The pixel is cut: in the working copy it alone, in the Trace layer it
  // and its four neighbours inside the picture.
  void Mark(Pixel p) {
    Paint(work_.bytes().data() + work_.Offset(p.x, p.y));
    for (int i = 0; i < 5; ++i) {
      const int x = p.x + (i == 1 ? -1 : i == 2 ? 1 : 0);
      const int y = p.y + (i == 3 ? -1 : i == 4 ? 1 : 0);
      if (Inside(x, y)) Paint(trace_.bytes().data() + trace_.Offset(x, y));
    }
    view_.Marked(p.x, p.y);
  }

  // After each step of the follow: a redraw every eleventh.
  void Stepped() {
    if (redraws_ > 10) {
      view_.Redraw();
      redraws_ = 0;
    }
    ++redraws_;
  }

 private:
  bool Inside(int x, int y) const {
    return x >= 1 && y >= 1 && x <= work_.width() && y <= work_.height();
  }
  std::uint8_t Red(int x, int y) const { return work_.bytes()[work_.Offset(x, y) + 2]; }
  bool OnStroke(int x, int y) const { return Inside(x, y) && Red(x, y) <= kOnStrokeRed; }
  std::size_t Index(Pixel p) const {
    return static_cast<std::size_t>(p.y - 1) * static_cast<std::size_t>(work_.width()) +
           static_cast<std::size_t>(p.x - 1);
  }

  PixelImage& trace_;
  PixelImage work_;
  CutView& view_;
  EventPump& pump_;
  Pixel next_{1, 1};
  int redraws_ = 0;
  // Per pixel the directions the end search has been in, and which pixels
  // it touched: cleared after each search at the cost of its length.
  std::vector<std::uint8_t> seen_;
  std::vector<std::size_t> touched_;
};

// The cut's program; `x`, `y` is the machine position.
JobProgram CutProgram(WindowLink& window, PixelImage& trace, const CutFields& fields, CutView& view,
                      Live& live, int& x, int& y) {
  Link& link = window.link();
  Walk walk(trace, view, link.pump());
  while (const auto found = walk.NextStart()) {
    const Pixel start = walk.FindEnd(*found);
    const bool optimised = link.profile().Optimised();
    const std::int32_t idle = link.profile().idleDelay;
    // In optimisation mode the board takes the laser's switch while it
    // still travels; the travel's acknowledgement is collected at the end,
    // if the travel was sent at all.
    const std::int64_t before = window.linesSent();
    co_yield ProgramStep::Move({MotionKind::Travel, start.x - x, start.y - y, 0, idle},
                               live.Scale(), !optimised);
    const bool travelPending = optimised && window.linesSent() > before;
    x = start.x;
    y = start.y;
    co_yield ProgramStep::Move({MotionKind::ToolOn, 0, 0, 0, live.Delay()}, live.Scale());
    walk.Mark(start);
    int d = kRight;
    while (const auto step = walk.NextStep({x, y}, d)) {
      x += kDx[*step];
      y += kDy[*step];
      co_yield ProgramStep::Move({MotionKind::Cut, kDx[*step], kDy[*step]}, live.Scale());
      walk.Mark({x, y});
      walk.Stepped();
      // With the turn of the next sweep, it begins 90° left of this step.
      d = CounterClockwise(*step);
    }
    co_yield ProgramStep::Move({MotionKind::ToolOff, 0, 0, 0, link.profile().idleDelay},
                               live.Scale());
    if (travelPending) co_yield ProgramStep::Ack();
  }
  view.Redraw();
  if (fields.ReturnToStart())
    co_yield ProgramStep::Move({MotionKind::Travel, 1 - x, 1 - y}, live.Scale());
}

}  // namespace

JobResult StrokeCut::Run(PixelImage& trace, const CutFields& fields, CutView& view) {
  Link& link = window_.link();
  Frontend& frontend = link.frontend();
  if (trace.empty()) return {JobOutcome::Refused};
  const auto width = Width(fields);
  if (!width) {
    frontend.ShowMessage(texts::kTitleError, kWidthNotNumber);
    return {JobOutcome::Refused};
  }
  if (!(*width > 0)) {
    frontend.ShowMessage(texts::kTitleError, kWidthNotPositive);
    return {JobOutcome::Refused};
  }
  const auto delay = vertolin::Delay(fields);
  if (!delay) {
    frontend.ShowMessage(texts::kTitleError, kDelayNotInteger);
    return {JobOutcome::Refused};
  }

  x_ = 1;
  y_ = 1;
  link.ClearStop();
  Live live{fields, link, trace.width(), *width, *delay};
  const DryWatch dry(window_);
  JobRunner runner(window_);
  const JobResult result = runner.Run(CutProgram(window_, trace, fields, view, live, x_, y_));
  // An early end has left the laser off already (JobRunner).
  if (result.outcome == JobOutcome::Done) {
    frontend.ShowMessage(texts::kTitleVertolin, DoneMessage(kDone, dry.StayedDry()));
  }
  view.Redraw();
  return result;
}

std::optional<JobEstimate> StrokeCut::Count(const PixelImage& trace, const CutFields& fields,
                                            MotionObserver* also) const {
  class Unseen : public CutView {
   public:
    void Marked(int, int) override {}
    void Redraw() override {}
  };
  // Each cut starts at (1, 1), so a fresh one over the counting link is this one.
  return CountJob(
      window_,
      [&](WindowLink& counting) {
        PixelImage marked = trace;
        Unseen unseen;
        return StrokeCut(counting).Run(marked, fields, unseen);
      },
      also);
}

}  // namespace vertolin
