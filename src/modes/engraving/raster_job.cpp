#include "modes/engraving/raster_job.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "jobs/job_count.h"
#include "jobs/job_runner.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "modes/dry_run.h"
#include "modes/job_fields.h"
#include "picture/pixel_image.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kNotWhole =
    "Количество шагов на пиксель - не целое!\r\n\r\nУстановите целое количество шагов на "
    "пиксель, измените размер готового изображения или измените размер исходного.";
constexpr std::string_view kDoneTitle = "Лазерная гравировка";
constexpr std::string_view kDone = "Гравировка закончена!";

// A field read during the job keeps its last good value while the person is
// in the middle of typing a new one (an empty or half-typed field).
class LiveNumber {
 public:
  LiveNumber(double initial, double limit) : value_(initial), limit_(limit) {}
  double Read(const std::string& text) {
    if (const auto value = ParseNumber(text); value && std::abs(*value) <= limit_) value_ = *value;
    return value_;
  }

 private:
  double value_;
  double limit_;
};

constexpr double kInt32Limit = std::numeric_limits<std::int32_t>::max();

struct Checked {
  double width = 0;
  double lightDelay = 0;
  double darkDelay = 0;
};

bool FitsInt32(double value) { return std::abs(value) <= kInt32Limit; }

// The fields a job cannot start without; a message names the first bad one.
std::optional<Checked> CheckFields(Link& link, const PixelImage& picture,
                                   const RasterFields& fields, bool gradation) {
  Frontend& frontend = link.frontend();
  const auto width = ParseNumber(fields.Width());
  if (!width) {
    frontend.ShowMessage(texts::kTitleError, "Введите число в поле «Ширина»!");
    return std::nullopt;
  }
  const auto steps = ParseNumber(fields.StepsPerPixel());
  if (!steps) {
    frontend.ShowMessage(texts::kTitleError, "Введите число в поле «Шагов на пиксель»!");
    return std::nullopt;
  }
  if (RoundHalfEven(*steps) != *steps) {
    frontend.ShowMessage(texts::kTitleWarning, kNotWhole);
    return std::nullopt;
  }
  Checked checked;
  const auto dark = ParseNumber(fields.DarkDelay());
  const auto light = gradation ? ParseNumber(fields.LightDelay())
                               : std::optional<double>(link.profile().idleDelay);
  if (!dark || !FitsInt32(*dark) || !light || !FitsInt32(*light)) {
    frontend.ShowMessage(texts::kTitleError,
                         "Задержка между шагами должна быть целым числом микросекунд.");
    return std::nullopt;
  }
  checked.width = *width;
  checked.darkDelay = *dark;
  checked.lightDelay = *light;

  // Every pixel moves the head by whole steps on both axes (no burning into
  // one spot, no rows laid on one line), and every move of the job stays
  // within the 32-bit step range: the longest is a travel across the whole
  // row or the return over every row.
  auto problem = NegativeField(*dark, "Задержка");
  if (!problem && gradation) problem = NegativeField(*light, "Нижний порог лазера");
  if (!problem) {
    problem = WidthProblem(link.profile(), *width, picture.width(),
                           std::max(picture.width(), picture.height()), StepRule::EveryPixel);
  }
  if (problem) {
    frontend.ShowMessage(texts::kTitleError, *problem);
    return std::nullopt;
  }
  return checked;
}

}  // namespace

namespace {

JobProgram RasterProgram(WindowLink& window, PixelImage& picture, const RasterFields& fields,
                         RasterProgress& progress, Checked checked) {
  Link& link = window.link();
  const bool gradation = window.format().kind == formats::kGradation.kind;
  const int W = picture.width();
  const int H = picture.height();
  const std::int32_t idle = link.profile().idleDelay;

  LiveNumber width(checked.width, std::numeric_limits<double>::max());
  LiveNumber lightDelay(checked.lightDelay, kInt32Limit);
  LiveNumber darkDelay(checked.darkDelay, kInt32Limit);
  const auto scale = [&] {
    const double mm = width.Read(fields.Width());
    const MachineProfile& profile = link.profile();
    return StepScale{mm / profile.xRatio / W, mm / profile.yRatio / W, 0};
  };

  // Travel moves and row steps: delay 0 for the laser, the idle delay for
  // the hot wire.
  const std::int32_t travelDelay = gradation ? 0 : idle;
  if (link.PortOpen()) {
    // The opening line goes out whether or not the drive switch is ticked;
    // its acknowledgement is collected by the first wait.
    // The laser is told its whole steps per pixel; the hot wire needs none.
    const auto sx = static_cast<std::int32_t>(
        std::abs(RoundHalfEven(checked.width / link.profile().xRatio / W)));
    // Its delay is the darkest pixel's, which G-code burns at full power.
    co_yield ProgramStep::Setup({MotionKind::RasterOpen,
                                 {},
                                 static_cast<std::int32_t>(checked.darkDelay),
                                 gradation ? sx : 0});
  }

  int X = 0;  // head position in pixel pitches from the start point
  int lastColumn = 0;
  bool lastForward = false;
  int rowSteps = 0;
  for (int row = 1; row <= H; ++row) {
    const bool forward = row % 2 == 1;
    for (int i = 1; i <= W; ++i) {
      const int column = forward ? i : W + 1 - i;
      const std::uint8_t grey = picture.Grey(column, row);
      if (grey == 255) continue;
      const int start = forward ? column : column + 1;
      if (X != start) {
        co_yield ProgramStep::Move({MotionKind::Travel, start - X, 0, 0, travelDelay}, scale());
        X = start;
      }
      const double light = gradation ? lightDelay.Read(fields.LightDelay()) : idle;
      const double dark = darkDelay.Read(fields.DarkDelay());
      const double delay = RoundHalfEven(light + (dark - light) * (255 - grey) / 255.0);
      co_yield ProgramStep::Move(
          {MotionKind::Burn, forward ? 1 : -1, 0, 0, static_cast<std::int32_t>(delay)}, scale());
      X += forward ? 1 : -1;
      lastColumn = column;
      lastForward = forward;
      picture.bytes()[picture.Offset(column, row) + 2] = 255;
      progress.Burned(column, row, !gradation || fields.DrawEachPixel());
    }
    if (!forward && gradation) progress.ShowAll();
    co_yield ProgramStep::Move({MotionKind::Travel, 0, 1, 0, travelDelay}, scale());
    ++rowSteps;
  }

  if (fields.ReturnToStart()) {
    const int dx = (lastForward ? 0 : 1) - lastColumn;
    co_yield ProgramStep::Move({MotionKind::Travel, dx, -rowSteps, 0, travelDelay}, scale());
  }
  co_yield ProgramStep::Ack();
}

}  // namespace

JobResult RunRasterJob(WindowLink& window, PixelImage& picture, const RasterFields& fields,
                       RasterProgress& progress) {
  Link& link = window.link();
  const bool gradation = window.format().kind == formats::kGradation.kind;
  if (picture.empty()) return {JobOutcome::Refused};
  const auto checked = CheckFields(link, picture, fields, gradation);
  if (!checked) return {JobOutcome::Refused};

  link.ClearStop();
  const DryWatch dry(window);
  JobRunner runner(window);
  const JobResult result = runner.Run(RasterProgram(window, picture, fields, progress, *checked));
  progress.ShowAll();
  if (result.outcome == JobOutcome::Done) {
    link.frontend().ShowMessage(kDoneTitle, DoneMessage(kDone, dry.StayedDry()));
  }
  return result;
}

std::optional<JobEstimate> CountRasterJob(WindowLink& window, const PixelImage& picture,
                                          const RasterFields& fields, MotionObserver* also) {
  class Unseen : public RasterProgress {
   public:
    void Burned(int, int, bool) override {}
    void ShowAll() override {}
  };
  return CountJob(
      window,
      [&](WindowLink& counting) {
        PixelImage marked = picture;
        Unseen unseen;
        return RunRasterJob(counting, marked, fields, unseen);
      },
      also);
}

}  // namespace vertolin
