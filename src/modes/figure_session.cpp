#include "modes/figure_session.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>
#include <utility>

#include "figures/outline.h"
#include "figures/selection.h"
#include "jobs/job_count.h"
#include "jobs/job_runner.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "modes/job_fields.h"
#include "picture/offset_gradient.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kNotParsed =
    "Изображение не загружено или не разобрано.\r\n"
    "Если изображение загружено, нажмите кнопку 'Разобрать'.\r\n"
    "Необходимо, чтобы программа построила дерево вложения фигур.";
constexpr std::string_view kNoFigure = "Не выбрана фигура.\r\nВыберите фигуру в дереве.";
constexpr std::string_view kNoPicture = "Изображение не загружено.\r\nВыберите файл изображения.";
constexpr std::string_view kZeroWidth =
    "Ширина готового изображения не может быть равна нулю.\r\n"
    "Введите в поле «Ширина» другое число.";
constexpr std::string_view kWidthNotPositive =
    "Ширина готового изображения должна быть больше нуля.\r\n"
    "Введите в поле «Ширина» другое число.";
constexpr std::string_view kDiameterNotPositive =
    "Диаметр должен быть больше нуля.\r\nВведите в поле «Диаметр» другое число.";

std::string NotANumber(std::string_view field) {
  return "Введите число в поле «" + std::string(field) + "»!";
}

std::string NotInTree(int figure) {
  return "Фигуры " + IntText(figure) + " нет в дереве вложения.\r\nВыберите фигуру в дереве.";
}

// Blue byte of a pixel; white (the surface) outside the layer, which only a
// picture loaded during a job can bring about.
std::uint8_t BlueAt(const PixelImage& layer, int x, int y) {
  if (x < 1 || y < 1 || x > layer.width() || y > layer.height()) return 255;
  return layer.Grey(x, y);
}

}  // namespace

struct FigureSession::Tool {
  double r = 0;    // radius in pixels
  int bound = -1;  // the smallest integer not below r, at most the picture's size
};

// One closed walk of the tool, with its depths read before any of the
// figure's footprints were painted.
struct FigureSession::MillPlan {
  struct Pass {
    Pixel start;
    std::uint8_t startBlue = 255;
    std::vector<Pixel> path;  // one pixel per step; the last is the start again
    std::vector<std::uint8_t> blues;
  };
  // kFollowed, or why the figure cannot be milled (kTouchesFrame, kEndless).
  FollowResult refusal = FollowResult::kFollowed;
  std::vector<Pass> passes;  // the holes in pair order, then the outside
};

// The job kind is taken only by the outermost command and given back only
// by the one that took it; the fields and the picture width become the ones
// the scale reads.
class FigureSession::JobScope {
 public:
  JobScope(FigureSession& session, FigureJob kind, const FigureFields& fields)
      : session_(session),
        own_(!session.jobKind_),
        kind_(kind),
        fields_(session.fields_),
        pixelsAcross_(session.pixelsAcross_) {
    if (own_) session.jobKind_ = kind;
    session.fields_ = &fields;
    session.pixelsAcross_ = session.base_.width();
    ++session.running_;
  }
  ~JobScope() {
    if (own_ && session_.jobKind_ == kind_) session_.jobKind_.reset();
    session_.fields_ = fields_;
    session_.pixelsAcross_ = pixelsAcross_;
    --session_.running_;
  }
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;

 private:
  FigureSession& session_;
  bool own_;
  FigureJob kind_;
  const FigureFields* fields_;
  int pixelsAcross_;
};

FigureSession::FigureSession(WindowLink& window, std::unique_ptr<ToolHead> head, FigureRules rules)
    : window_(window), head_(std::move(head)), rules_(rules) {}

FigureSession::~FigureSession() = default;

StepScale FigureSession::ScaleNow() {
  if (fields_ == nullptr || pixelsAcross_ <= 0) return StepScale{};
  const MachineProfile& profile = window_.link().profile();
  const double width = LiveWidth();
  const double third = head_->UsesDepth() ? head_->ZStepsPerGreyLevel(LiveDepth(), profile) : 0;
  return StepScale{width / profile.xRatio / pixelsAcross_, width / profile.yRatio / pixelsAcross_,
                   third};
}

void FigureSession::LoadPicture(const PixelImage& picture) {
  base_ = picture;
  work_ = picture;
  selection_ = picture;
  progress_ = picture;
  progressAllPainted_ = false;
  figures_.reset();
}

bool FigureSession::HasTree() const { return figures_ && !figures_->tree.empty(); }

void FigureSession::Reset() {
  jobKind_.reset();
  window_.ClearPendingSteps();
  chained_ = false;
  x_ = 1;
  y_ = 1;
}

// ---- fields ----

bool FigureSession::RefuseFields(const FigureFields& fields, bool wholeJob) {
  Frontend& frontend = window_.link().frontend();
  const auto refuse = [&](std::string_view text) {
    frontend.ShowMessage(texts::kTitleError, text);
    return true;
  };
  const auto width = ParseNumber(fields.Width());
  if (!width) return refuse(NotANumber("Ширина"));
  if (rules_.positiveSizes && *width < 0) return refuse(kWidthNotPositive);
  if (*width == 0) return refuse(kZeroWidth);
  std::optional<double> depth;
  if (wholeJob && head_->UsesDepth()) {
    depth = ParseNumber(fields.Depth());
    if (!depth) return refuse(NotANumber("Глубина"));
  }
  const auto diameter = ParseNumber(fields.Diameter());
  if (!diameter) return refuse(NotANumber("Диаметр"));
  if (!SizeUsable(*diameter)) return refuse(kDiameterNotPositive);
  std::optional<std::int32_t> delay;
  if (wholeJob) {
    const auto number = ParseNumber(fields.Delay());
    delay = number ? RoundToInt32(*number) : std::nullopt;
    if (!delay) return refuse(NotANumber("Задержка"));
  }
  // Values that would mill nothing, or everything on one spot.
  const MachineProfile& profile = window_.link().profile();
  std::optional<std::string> problem;
  if (wholeJob) {
    problem = WidthProblem(profile, *width, base_.width(), std::max(base_.width(), base_.height()),
                           StepRule::WholePicture);
  }
  if (!problem && depth) problem = DepthProblem(profile, *depth);
  if (!problem) problem = NegativeField(*diameter, "Диаметр");
  if (!problem && delay) problem = NegativeField(*delay, "Задержка");
  if (problem) return refuse(*problem);
  live_.width = *width;
  live_.diameter = *diameter;
  if (depth) live_.depth = *depth;
  if (delay) live_.delay = *delay;
  return false;
}

// A width or diameter the jobs may take (any but a width of 0 for milling).
bool FigureSession::SizeUsable(double size) const { return !rules_.positiveSizes || size > 0; }

double FigureSession::LiveWidth() {
  if (const auto value = ParseNumber(fields_->Width());
      value && *value != 0 && SizeUsable(*value)) {
    live_.width = *value;
  }
  return live_.width;
}

double FigureSession::LiveDepth() {
  if (const auto value = ParseNumber(fields_->Depth())) live_.depth = *value;
  return live_.depth;
}

double FigureSession::LiveDiameter() {
  if (const auto value = ParseNumber(fields_->Diameter()); value && SizeUsable(*value)) {
    live_.diameter = *value;
  }
  return live_.diameter;
}

std::int32_t FigureSession::LiveDelay() {
  if (const auto value = ParseNumber(fields_->Delay())) {
    if (const auto whole = RoundToInt32(*value)) live_.delay = *whole;
  }
  return live_.delay;
}

FigureSession::Tool FigureSession::ToolNow() {
  Tool tool;
  tool.r = ToolRadiusPixels(LiveDiameter(), pixelsAcross_, LiveWidth());
  // A disc wider than the picture paints no more than the picture.
  const int most = std::max(progress_.width(), progress_.height());
  const auto bound = WholeBound(tool.r);
  if (bound) {
    tool.bound = std::min(*bound, most);
  } else if (tool.r > 0) {
    tool.bound = most;
  }
  return tool;
}

// ---- picture operations ----

void FigureSession::Parse(FigureView& view) { ParseWork(view); }

void FigureSession::ParseWork(FigureView& view) {
  if (work_.empty()) {
    figures_.reset();
  } else {
    figures_ = std::make_shared<FigureSet>(vertolin::Parse(work_));
  }
  view.TreeChanged();
  view.LayersChanged();
}

void FigureSession::ShowFigure(int figure, FigureView& view) {
  if (!figures_ || work_.empty()) return;
  selection_ = SelectionOf(work_, figures_->labels, figure);
  view.LayersChanged();
}

void FigureSession::GradientNow(FigureView& view) {
  rules_.gradient(base_, ToolRadiusPixels(LiveDiameter(), base_.width(), LiveWidth()), work_);
  // The old figures no longer describe the Work layer: no job may run on them.
  figures_.reset();
  view.TreeChanged();
  view.LayersChanged();
}

void FigureSession::OffsetNow(FigureView& view) {
  OffsetPass(work_, ToolDiameterPixels(LiveDiameter(), work_.width(), LiveWidth()));
  figures_.reset();
  view.TreeChanged();
  view.LayersChanged();
}

JobOutcome FigureSession::Gradient(const FigureFields& fields, FigureView& view) {
  if (!HasPicture()) {
    window_.link().frontend().ShowMessage(texts::kTitleError, kNoPicture);
    return JobOutcome::Refused;
  }
  if (RefuseFields(fields, false)) return JobOutcome::Refused;
  const FigureFields* outer = std::exchange(fields_, &fields);
  GradientNow(view);
  fields_ = outer;
  return JobOutcome::Done;
}

JobOutcome FigureSession::Offset(const FigureFields& fields, FigureView& view) {
  if (!HasPicture()) {
    window_.link().frontend().ShowMessage(texts::kTitleError, kNoPicture);
    return JobOutcome::Refused;
  }
  if (RefuseFields(fields, false)) return JobOutcome::Refused;
  const FigureFields* outer = std::exchange(fields_, &fields);
  OffsetNow(view);
  fields_ = outer;
  return JobOutcome::Done;
}

// ---- milling ----

FigureSession::MillPlan FigureSession::PlanFigure(const FigureSet& set, std::int32_t figure,
                                                  const std::vector<std::int32_t>& holes,
                                                  std::optional<Pixel> first) const {
  MillPlan plan;
  const auto addPass = [&](const Outline& outline) {
    MillPlan::Pass pass;
    pass.start = outline.start;
    pass.startBlue = BlueAt(progress_, outline.start.x, outline.start.y);
    pass.path = OutlinePixels(outline);
    pass.blues.reserve(pass.path.size());
    for (const Pixel& p : pass.path) pass.blues.push_back(BlueAt(progress_, p.x, p.y));
    plan.passes.push_back(std::move(pass));
  };
  const Outline outside = FollowOutline(set.labels, figure, std::nullopt, first);
  if (outside.result == FollowResult::kTouchesFrame || outside.result == FollowResult::kEndless) {
    plan.refusal = outside.result;
    return plan;
  }
  for (const std::int32_t hole : holes) {
    const Outline inside = FollowOutline(set.labels, figure, hole, first);
    if (inside.result == FollowResult::kEndless) {
      plan.refusal = inside.result;
      plan.passes.clear();
      return plan;
    }
    // A hole that no pixel of the figure lies above has no start: skipped.
    if (inside.result == FollowResult::kFollowed) addPass(inside);
  }
  if (outside.result == FollowResult::kFollowed) addPass(outside);
  return plan;
}

void FigureSession::PaintFootprint(int x, int y, const Tool& tool, FigureView& view) {
  const int R = tool.bound;
  if (R < 0 || progress_.empty()) return;
  const int W = progress_.width();
  const int H = progress_.height();
  PixelBox box{std::max(1, x - R), std::max(1, y - R), std::min(W, x + R), std::min(H, y + R)};
  if (box.left > box.right || box.top > box.bottom) return;
  const double r2 = tool.r * tool.r;
  // A disc over the whole layer paints all of it; once it has, every later
  // one changes nothing, so neither the layer nor the view is touched again
  // (a huge tool would otherwise cost a whole picture per step).
  const auto within = [&](int px, int py) {
    const double i = px - x;
    const double j = py - y;
    return i * i + j * j <= r2;
  };
  const bool coversAll = within(1, 1) && within(W, 1) && within(1, H) && within(W, H);
  if (coversAll && progressAllPainted_) return;
  if (coversAll) progressAllPainted_ = true;
  std::uint8_t* bytes = progress_.bytes().data();
  for (int py = box.top; py <= box.bottom; ++py) {
    const double j = py - y;
    for (int px = box.left; px <= box.right; ++px) {
      const double i = px - x;
      if (i * i + j * j > r2) continue;
      std::uint8_t* pixel = bytes + progress_.Offset(px, py);
      pixel[0] = 0;
      pixel[1] = 0;
      pixel[2] = 255;
    }
  }
  view.ProgressPainted(box);
}

JobProgram FigureSession::Passes(const MillPlan& plan, const Tool& tool, FigureView& view) {
  Link& link = window_.link();
  for (const MillPlan::Pass& pass : plan.passes) {
    const std::int32_t idle = link.profile().idleDelay;
    const bool optimised = link.profile().Optimised();
    // In optimisation mode the board takes the plunge (the laser's switch)
    // while it still travels.
    co_yield ProgramStep::Move({MotionKind::Travel, pass.start.x - x_, pass.start.y - y_, 0, idle},
                               ScaleNow(), !optimised);
    x_ = pass.start.x;
    y_ = pass.start.y;
    const JobMotion start = head_->Start(pass.startBlue, LiveDelay());
    co_yield ProgramStep::Move(start, ScaleNow());
    head_->Arrived(pass.startBlue);
    for (std::size_t i = 0; i < pass.path.size(); ++i) {
      const Pixel& to = pass.path[i];
      const JobMotion along = head_->Along(to.x - x_, to.y - y_, pass.blues[i]);
      co_yield ProgramStep::Move(along, ScaleNow());
      x_ = to.x;
      y_ = to.y;
      head_->Arrived(pass.blues[i]);
      PaintFootprint(to.x, to.y, tool, view);
    }
    co_yield ProgramStep::Move(head_->End(idle), ScaleNow());
    if (optimised) co_yield ProgramStep::Ack();  // the last line's own acknowledgement
  }
}

ProgramStep FigureSession::ReturnToOrigin() {
  return ProgramStep::Move({MotionKind::Travel, 1 - x_, 1 - y_}, ScaleNow());
}

JobResult FigureSession::MillSelected(std::optional<int> figure, const FigureFields& fields,
                                      FigureView& view) {
  Frontend& frontend = window_.link().frontend();
  if (!HasTree()) {
    frontend.ShowMessage(texts::kTitleError, kNotParsed);
    return {JobOutcome::Refused};
  }
  if (!figure) {
    frontend.ShowMessage(texts::kTitleError, kNoFigure);
    return {JobOutcome::Refused};
  }
  const std::shared_ptr<FigureSet> set = figures_;
  if (!set->tree.Contains(*figure)) {
    frontend.ShowMessage(texts::kTitleError, NotInTree(*figure));
    return {JobOutcome::Refused};
  }
  if (RefuseFields(fields, true)) return {JobOutcome::Refused};

  JobScope scope(*this, FigureJob::Selected, fields);
  std::vector<std::int32_t> holes;
  for (const NestingPair& pair : set->pairs.pairs()) {
    if (pair.outer == *figure) holes.push_back(pair.inner);
  }
  MillPlan plan = PlanFigure(*set, *figure, holes);
  if (plan.refusal != FollowResult::kFollowed) {
    frontend.ShowMessage(texts::kTitleError, plan.refusal == FollowResult::kTouchesFrame
                                                 ? rules_.background
                                                 : rules_.notClosed);
    return {JobOutcome::Refused};
  }
  const Tool tool = ToolNow();
  x_ = 1;
  y_ = 1;
  window_.link().ClearStop();
  return JobRunner(window_).Run(SelectedFigure(std::move(plan), tool, fields, view));
}

JobProgram FigureSession::SelectedFigure(MillPlan plan, Tool tool, const FigureFields& fields,
                                         FigureView& view) {
  JobProgram passes = Passes(plan, tool, view);
  while (passes.Next()) co_yield passes.value();
  if (fields.ReturnToOrigin()) {
    co_yield ReturnToOrigin();
    x_ = 1;
    y_ = 1;
  }
}

JobProgram FigureSession::AllFigures(const FigureFields& fields, FigureView& view) {
  const std::shared_ptr<FigureSet> set = figures_;
  if (!set) co_return;
  JobScope scope(*this, FigureJob::All, fields);
  const Tool tool = ToolNow();
  FigureTable& table = set->figures;
  const LabelMap& labels = set->labels;
  const int slots = table.size();

  // Scanning the picture level by level for the next figure amounts to
  // taking the figures of each level in the order their first pixels come
  // in the raster; one scan gives that order for all levels.
  std::vector<char> seen(static_cast<std::size_t>(slots) + 1, 0);
  std::vector<Pixel> firstPixel(static_cast<std::size_t>(slots) + 1);
  std::map<std::int32_t, std::vector<std::int32_t>, std::greater<>> byLevel;
  for (int y = 1; y <= labels.height(); ++y) {
    const std::int32_t* row = labels.row(y);
    for (int x = 1; x <= labels.width(); ++x) {
      const std::int32_t f = row[x];
      if (!table.Contains(f) || seen[static_cast<std::size_t>(f)]) continue;
      seen[static_cast<std::size_t>(f)] = 1;
      firstPixel[static_cast<std::size_t>(f)] = {x, y};
      if (table[f].inUse() && table[f].dark()) byLevel[table[f].level].push_back(f);
    }
  }

  // The holes of every figure, in pair order.
  std::vector<std::vector<std::int32_t>> holes(static_cast<std::size_t>(slots) + 1);
  for (const NestingPair& pair : set->pairs.pairs()) {
    if (table.Contains(pair.outer))
      holes[static_cast<std::size_t>(pair.outer)].push_back(pair.inner);
  }

  if (!chained_) window_.link().ClearStop();
  for (const auto& [level, ofLevel] : byLevel) {
    if (level < 0) continue;
    for (const std::int32_t f : ofLevel) {
      // Looked at afresh: a job run in between may have milled it.
      const Figure& figure = table[f];
      if (figure.state < 1 || figure.state > 3 || !figure.dark()) continue;
      const MillPlan plan = PlanFigure(*set, f, holes[static_cast<std::size_t>(f)],
                                       firstPixel[static_cast<std::size_t>(f)]);
      // A figure whose outline cannot be walked is passed over.
      if (plan.refusal == FollowResult::kFollowed) {
        JobProgram passes = Passes(plan, tool, view);
        while (passes.Next()) co_yield passes.value();
      }
      table.MarkMilled(f);
    }
  }
  if (fields.ReturnToOrigin() && !chained_) {
    co_yield ReturnToOrigin();
    x_ = 1;
    y_ = 1;
  }
}

JobResult FigureSession::MillAll(const FigureFields& fields, FigureView& view) {
  if (!HasTree()) {
    window_.link().frontend().ShowMessage(texts::kTitleError, kNotParsed);
    return {JobOutcome::Refused};
  }
  if (RefuseFields(fields, true)) return {JobOutcome::Refused};
  // Run from the window, even inside a relief job, a stop ends this command
  // here: there is no caller above the window to pass it to.
  return JobRunner(window_).Run(AllFigures(fields, view));
}

JobProgram FigureSession::Rounds(const FigureFields& fields, FigureView& view, bool& stuck) {
  GradientNow(view);
  ParseWork(view);
  while (HasTree()) {
    JobProgram round = AllFigures(fields, view);
    while (round.Next()) co_yield round.value();
    // A round that changes nothing would be followed by the same round for
    // ever: the figures left cannot shrink (they lie in the edge margin, or
    // meet light grey rather than white).
    const PixelImage before = work_;
    const FigureTree treeBefore = figures_ ? figures_->tree : FigureTree{};
    OffsetNow(view);
    const bool changed = work_ != before;
    ParseWork(view);
    if (!changed && figures_ && figures_->tree.nodes() == treeBefore.nodes()) {
      stuck = true;
      break;
    }
  }
  if (fields.ReturnToOrigin()) {
    co_yield ReturnToOrigin();
    x_ = 1;
    y_ = 1;
  }
}

JobResult FigureSession::Relief(const FigureFields& fields, FigureView& view) {
  if (!HasPicture()) {
    window_.link().frontend().ShowMessage(texts::kTitleError, kNoPicture);
    return {JobOutcome::Refused};
  }
  if (RefuseFields(fields, true)) return {JobOutcome::Refused};

  bool stuck = false;
  JobResult result;
  {
    // The rounds run chained: a stop in any of them ends the whole job.
    struct Chain {
      bool& chained;
      bool was;
      ~Chain() { chained = was; }
    } chain{chained_, std::exchange(chained_, true)};
    JobScope scope(*this, FigureJob::Fill, fields);
    if (rules_.fillClearsStop) window_.link().ClearStop();
    result = JobRunner(window_).Run(Rounds(fields, view, stuck));
  }
  // Told once the job has ended: while the message is open the window is no
  // longer in a job, so "Ручная уст-ка" moves the machine again.
  if (stuck && result.outcome == JobOutcome::Done) {
    window_.link().frontend().ShowMessage(texts::kTitleWarning, rules_.noLongerShrinking);
  }
  return result;
}

std::optional<JobEstimate> FigureSession::Count(const FigureSessionMaker& make,
                                                const FigureFields& fields, const FigureJobRun& job,
                                                MotionObserver* also) const {
  class Unseen : public FigureView {
   public:
    void ProgressPainted(const PixelBox&) override {}
    void LayersChanged() override {}
    void TreeChanged() override {}
  };
  return CountJob(
      window_,
      [&](WindowLink& counting) {
        const std::shared_ptr<FigureSession> copy = make(counting);
        CopyInto(*copy);
        Unseen unseen;
        return job(*copy, fields, unseen);
      },
      also);
}

void FigureSession::CopyInto(FigureSession& copy) const {
  copy.base_ = base_;
  copy.work_ = work_;
  copy.selection_ = selection_;
  copy.progress_ = progress_;
  copy.progressAllPainted_ = progressAllPainted_;
  // A set of its own: the jobs mark the figures they mill in it.
  copy.figures_ = figures_ ? std::make_shared<FigureSet>(*figures_) : nullptr;
  copy.jobKind_ = jobKind_;
  copy.chained_ = chained_;
  copy.x_ = x_;
  copy.y_ = y_;
  copy.live_ = live_;
}

void FigureSession::TakeFrom(FigureSession& copy) {
  base_ = std::move(copy.base_);
  work_ = std::move(copy.work_);
  selection_ = std::move(copy.selection_);
  progress_ = std::move(copy.progress_);
  progressAllPainted_ = copy.progressAllPainted_;
  figures_ = std::move(copy.figures_);
  chained_ = copy.chained_;
  x_ = copy.x_;
  y_ = copy.y_;
  live_ = copy.live_;
}

}  // namespace vertolin
