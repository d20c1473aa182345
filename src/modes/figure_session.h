// The figure jobs without a window and without a tool: the four layers, the
// figures traced from the Work layer, and the jobs "Выделенная", "Все" and
// "Резать 3D" (the fill by rounds) with "Градиент", "Отступить" and
// "Разобрать". What the tool does at a pass's start, along it and at its end
// is the ToolHead's: the router plunges and lifts, the laser is switched on
// and off. The window (and vertolin-cli) reads its fields through
// FigureFields and shows progress through FigureView.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "figures/figure_set.h"
#include "figures/outline.h"
#include "modes/job_registry.h"
#include "jobs/job_estimate.h"
#include "jobs/job_outcome.h"
#include "jobs/job_program.h"
#include "picture/offset_gradient.h"
#include "picture/pixel_image.h"

namespace vertolin {

class WindowLink;
struct MachineProfile;

// The window's fields, read afresh wherever a job uses them.
class FigureFields {
 public:
  virtual ~FigureFields() = default;
  virtual std::string Width() const = 0;     // Text6: finished width, mm
  virtual std::string Depth() const = 0;     // Text1: depth that black stands for, mm (router)
  virtual std::string Diameter() const = 0;  // Text3: tool (spot) diameter, mm
  virtual std::string Delay() const = 0;     // Text4: step delay while cutting (burning), µs
  virtual bool ReturnToOrigin() const = 0;   // Check2
};

// What the tool does on a pass: the router plunges to the grey's depth,
// follows the depths along the path and lifts; the laser is switched on,
// follows the path and is switched off. Steps are computed before they are
// sent; the head takes a step's effect only once it has gone (Arrived).
class ToolHead {
 public:
  virtual ~ToolHead() = default;
  // True when the jobs need the depth field (the router).
  virtual bool UsesDepth() const = 0;
  // Third-axis steps per grey level at `depthMm` for black.
  virtual double ZStepsPerGreyLevel(double depthMm, const MachineProfile& profile) const = 0;
  // At the pass's start (blue of its start pixel), with the cutting delay.
  virtual JobMotion Start(std::uint8_t startBlue, std::int32_t cuttingDelay) const = 0;
  // One step of the path onto a pixel of blue `blue`.
  virtual JobMotion Along(int dx, int dy, std::uint8_t blue) const = 0;
  // At the pass's end, with the idle delay.
  virtual JobMotion End(std::int32_t idleDelay) const = 0;
  // The step to a pixel of blue `blue` has gone (the start counts as one).
  virtual void Arrived(std::uint8_t blue) = 0;
  // The depth in grey units the tool stands at (0 for a head without depth).
  virtual int depth() const = 0;
};

// A rectangle of picture pixels, 1-based and inclusive.
struct PixelBox {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// How the window shows what the jobs do.
class FigureView {
 public:
  virtual ~FigureView() = default;
  // Pixels of the Progress layer inside `box` were painted (a footprint);
  // the cost of showing them must not grow with the picture.
  virtual void ProgressPainted(const PixelBox& box) = 0;
  // A whole layer was rewritten (Градиент, Отступить, a parse, a selection):
  // show the layers again.
  virtual void LayersChanged() = 0;
  // The figures were traced again (or cleared): show the tree again.
  virtual void TreeChanged() = 0;
};

// Where the jobs of one tool differ beyond the head's moves, as data: the
// defaults are the milling window's ("Выделенная", "Все", "Резать 3D").
struct FigureRules {
  // "Градиент" from the Base layer into the Work layer, given the tool's
  // radius in pixels (the laser's takes its 3 × 3 neighbourhood instead).
  using GradientStage = void (*)(const PixelImage& base, double toolRadius, PixelImage& work);
  GradientStage gradient = GradientPass;
  // Whether the fill ("Резать 3D") clears StopFlag at its start; "Грав-ть
  // всё" leaves it, so that a "Стоп" pressed before makes its first move ask.
  bool fillClearsStop = true;
  // Whether a width or diameter of 0 or less is refused (else only a width
  // of 0, which leaves the scale undefined).
  bool positiveSizes = false;
  // The refusals of a figure that cannot be walked, and the end of a fill
  // whose round changed nothing.
  std::string_view background =
      "Фигура касается края изображения (это фон), её контур не фрезеруется.\r\n"
      "Выберите другую фигуру.";
  std::string_view notClosed =
      "Обход контура фигуры не возвращается в начальную точку, фигура не фрезеруется.\r\n"
      "Выберите другую фигуру.";
  std::string_view noLongerShrinking =
      "Фигуры больше не уменьшаются: «Отступить» не изменило рисунок.\r\n"
      "Резка рельефа остановлена.";
};

class FigureSession;

// A figure job as the windows run it on a session.
using FigureJobRun = std::function<JobResult(FigureSession&, const FigureFields&, FigureView&)>;
// A fresh session of the same tool and rules sending through another link.
using FigureSessionMaker = std::function<std::shared_ptr<FigureSession>(WindowLink&)>;

class FigureSession {
 public:
  // `window` is the window link that sends the steps; `head` the tool;
  // `rules` where its jobs differ from milling.
  FigureSession(WindowLink& window, std::unique_ptr<ToolHead> head, FigureRules rules = {});
  FigureSession(const FigureSession&) = delete;
  FigureSession& operator=(const FigureSession&) = delete;
  virtual ~FigureSession();

  // A new picture: all four layers become it; the figures are cleared.
  void LoadPicture(const PixelImage& picture);
  bool HasPicture() const { return !base_.empty(); }

  const PixelImage& base() const { return base_; }
  const PixelImage& work() const { return work_; }
  const PixelImage& selection() const { return selection_; }
  const PixelImage& progress() const { return progress_; }

  // The traced figures; nothing before the first "Разобрать" and after
  // "Градиент" or "Отступить" (a job must not run on stale figures).
  const FigureSet* figures() const { return figures_.get(); }
  bool HasTree() const;

  // Window load: job kind none, no pending steps, not chained, position (1, 1).
  void Reset();
  // The figure job running, if any: "Ручная уст-ка" stores its distances as
  // pending steps while one runs.
  std::optional<FigureJob> jobKind() const { return jobKind_; }
  // True while a job runs (also while a second one runs inside it); the
  // window keeps the picture from being replaced meanwhile.
  bool Running() const { return running_ > 0; }

  // "Разобрать".
  void Parse(FigureView& view);
  // A click on the tree: the Selection layer shows figure n green.
  void ShowFigure(int figure, FigureView& view);
  // "Градиент" and "Отступить" (they clear the figures: a new parse is needed).
  JobOutcome Gradient(const FigureFields& fields, FigureView& view);
  JobOutcome Offset(const FigureFields& fields, FigureView& view);

  // "Выделенная", "Все" and "Резать 3D". Refused with a message (and nothing
  // sent) when the picture is not parsed, no figure is chosen, the figure is
  // not in the tree, holds frame cells (the background) or has an outline
  // that does not close, or a field is not a number (or the width is 0).
  // "Все" passes over figures whose outline cannot be walked. A stop or a
  // lost link ends a job quietly where it stood (Stopped). Footprints are
  // painted into the Progress layer as the tool moves.
  JobResult MillSelected(std::optional<int> figure, const FigureFields& fields, FigureView& view);
  JobResult MillAll(const FigureFields& fields, FigureView& view);
  // Ends when no figure is left, or after a round in which "Отступить"
  // changed nothing (the figures left can never shrink: the person is told).
  // The outlining window's "Грав-ть всё" is the same fill.
  JobResult Relief(const FigureFields& fields, FigureView& view);
  JobResult Fill(const FigureFields& fields, FigureView& view) { return Relief(fields, view); }

  // What `job` would send run on this session, counted ahead
  // (jobs/job_count.h) on a session from `make` that holds copies of the
  // layers, the figures and the position, so that no footprint is painted
  // and no figure is marked milled here. Nothing when the job refuses.
  // `also` sees the count's motions too (jobs/job_count.h).
  std::optional<JobEstimate> Count(const FigureSessionMaker& make, const FigureFields& fields,
                                   const FigureJobRun& job, MotionObserver* also = nullptr) const;

  // Makes `copy` (a fresh session of the same tool) hold copies of this
  // session's layers, figures, position and field values: a dry run and the
  // count ahead work on it, so that nothing here changes.
  void CopyInto(FigureSession& copy) const;
  // Takes the state of `copy` back: a dry run whose drive switch was ticked
  // midway has sent lines from it.
  void TakeFrom(FigureSession& copy);

  // The tool's position in picture pixels (1-based) and depth in grey units.
  int x() const { return x_; }
  int y() const { return y_; }
  int depth() const { return head_->depth(); }

 private:
  struct Tool;
  struct MillPlan;
  class JobScope;

  // The fields' last good values: a job keeps going on them while the person
  // is in the middle of typing a new value.
  struct LiveValues {
    double width = 0;
    double depth = 0;
    double diameter = 0;
    std::int32_t delay = 0;
  };

  StepScale ScaleNow();
  bool RefuseFields(const FigureFields& fields, bool wholeJob);
  bool SizeUsable(double size) const;
  double LiveWidth();
  double LiveDepth();
  double LiveDiameter();
  std::int32_t LiveDelay();
  Tool ToolNow();

  void ParseWork(FigureView& view);
  void GradientNow(FigureView& view);
  void OffsetNow(FigureView& view);

  // Every dark figure by level.
  JobProgram AllFigures(const FigureFields& fields, FigureView& view);
  JobProgram SelectedFigure(MillPlan plan, Tool tool, const FigureFields& fields, FigureView& view);
  JobProgram Rounds(const FigureFields& fields, FigureView& view, bool& stuck);
  // `first`: the figure's first pixel in raster order, when already known.
  MillPlan PlanFigure(const FigureSet& set, std::int32_t figure,
                      const std::vector<std::int32_t>& holes,
                      std::optional<Pixel> first = std::nullopt) const;
  JobProgram Passes(const MillPlan& plan, const Tool& tool, FigureView& view);
  void PaintFootprint(int x, int y, const Tool& tool, FigureView& view);
  ProgramStep ReturnToOrigin();

  WindowLink& window_;
  std::unique_ptr<ToolHead> head_;
  FigureRules rules_;
  PixelImage base_;
  PixelImage work_;
  PixelImage selection_;
  PixelImage progress_;
  bool progressAllPainted_ = false;  // a footprint has covered the whole Progress layer
  // Shared with the running jobs, so that a parse clicked during a job
  // cannot pull the figures from under it.
  std::shared_ptr<FigureSet> figures_;
  std::optional<FigureJob> jobKind_;
  bool chained_ = false;
  int x_ = 1;
  int y_ = 1;
  int running_ = 0;
  const FigureFields* fields_ = nullptr;  // the running job's
  int pixelsAcross_ = 0;                  // W of the running job's picture
  LiveValues live_;
};

}  // namespace vertolin
