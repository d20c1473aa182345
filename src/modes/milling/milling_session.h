// The milling window's picture and jobs without the window: the four layers,
// the figures traced from the Work layer, and the jobs "Выделенная", "Все" and
// "Резать 3D" with "Градиент", "Отступить" and "Разобрать". The window (and
// vertolin-cli) reads its fields through MillingFields and shows progress
// through MillingView.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "figures/figure_set.h"
#include "figures/outline.h"
#include "jobs/job_outcome.h"
#include "picture/pixel_image.h"

namespace vertolin {

class WindowLink;
struct StepScale;

// The window's fields, read afresh wherever a job uses them.
class MillingFields {
 public:
  virtual ~MillingFields() = default;
  virtual std::string Width() const = 0;     // Text6: finished width, mm
  virtual std::string Depth() const = 0;     // Text1: depth that black stands for, mm
  virtual std::string Diameter() const = 0;  // Text3: tool diameter, mm
  virtual std::string Delay() const = 0;     // Text4: step delay while cutting, µs
  virtual bool ReturnToOrigin() const = 0;   // Check2
};

// A rectangle of picture pixels, 1-based and inclusive.
struct PixelBox {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// How the window shows what the jobs do.
class MillingView {
 public:
  virtual ~MillingView() = default;
  // Pixels of the Progress layer inside `box` were painted (a footprint);
  // the cost of showing them must not grow with the picture.
  virtual void ProgressPainted(const PixelBox& box) = 0;
  // A whole layer was rewritten (Градиент, Отступить, a parse, a selection):
  // show the layers again.
  virtual void LayersChanged() = 0;
  // The figures were traced again (or cleared): show the tree again.
  virtual void TreeChanged() = 0;
};

// The job kinds; "Ручная уст-ка" stores its distances as pending steps while
// one runs.
enum class JobKind { None = 0, Selected = 1, All = 2, Relief = 3 };

class MillingSession {
 public:
  // `window` is a milling window link (its SendStep carries the steps). The
  // session becomes the source of its scale (the fields of the running job),
  // and becomes it again at the start of each of its jobs.
  explicit MillingSession(WindowLink& window);
  MillingSession(const MillingSession&) = delete;
  MillingSession& operator=(const MillingSession&) = delete;

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
  JobKind jobKind() const { return jobKind_; }
  // True while a job runs (also while a second one runs inside it); the
  // window keeps the picture from being replaced meanwhile.
  bool Running() const { return running_ > 0; }

  // "Разобрать".
  void Parse(MillingView& view);
  // A click on the tree: the Selection layer shows figure n green.
  void ShowFigure(int figure, MillingView& view);
  // "Градиент" and "Отступить" (they clear the figures: a new parse is needed).
  JobOutcome Gradient(const MillingFields& fields, MillingView& view);
  JobOutcome Offset(const MillingFields& fields, MillingView& view);

  // "Выделенная", "Все" and "Резать 3D". Refused with a message (and nothing
  // sent) when the picture is not parsed, no figure is chosen, the figure is
  // not in the tree, holds frame cells (the background) or has an outline
  // that does not close, or a field is not a number (or the width is 0).
  // "Все" passes over figures whose outline cannot be walked. A stop or a
  // lost link ends a job quietly where it stood (Stopped). Footprints are
  // painted into the Progress layer as the tool moves.
  JobOutcome MillSelected(std::optional<int> figure, const MillingFields& fields, MillingView& view);
  JobOutcome MillAll(const MillingFields& fields, MillingView& view);
  // Ends when no figure is left, or after a round in which "Отступить"
  // changed nothing (the figures left can never shrink: the person is told).
  JobOutcome Relief(const MillingFields& fields, MillingView& view);

  // The tool's position in picture pixels (1-based) and depth in grey units.
  int x() const { return x_; }
  int y() const { return y_; }
  int depth() const { return depth_; }

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

  void InstallScale();
  StepScale ScaleNow();
  bool RefuseFields(const MillingFields& fields, bool wholeJob);
  double LiveWidth();
  double LiveDepth();
  double LiveDiameter();
  std::int32_t LiveDelay();
  Tool ToolNow();

  void ParseWork(MillingView& view);
  void GradientNow(MillingView& view);
  void OffsetNow(MillingView& view);

  // Mills every dark figure by level; throws LinkError.
  void MillAllFigures(const MillingFields& fields, MillingView& view);
  // `first`: the figure's first pixel in raster order, when already known.
  MillPlan PlanFigure(const FigureSet& set, std::int32_t figure,
                      const std::vector<std::int32_t>& holes,
                      std::optional<Pixel> first = std::nullopt) const;
  void MillPlanned(const MillPlan& plan, const Tool& tool, MillingView& view);
  void PaintFootprint(int x, int y, const Tool& tool, MillingView& view);
  void ReturnToOrigin();

  WindowLink& window_;
  PixelImage base_;
  PixelImage work_;
  PixelImage selection_;
  PixelImage progress_;
  // Shared with the running jobs, so that a parse clicked during a job
  // cannot pull the figures from under it.
  std::shared_ptr<FigureSet> figures_;
  JobKind jobKind_ = JobKind::None;
  bool chained_ = false;
  int x_ = 1;
  int y_ = 1;
  int depth_ = 0;
  int running_ = 0;
  const MillingFields* fields_ = nullptr;  // the running job's
  int pixelsAcross_ = 0;                   // W of the running job's picture
  LiveValues live_;
  // The scale source installed in the window link holds this weakly, so a
  // link that outlives the session never calls into a session that is gone.
  std::shared_ptr<MillingSession*> self_ = std::make_shared<MillingSession*>(this);
};

}  // namespace vertolin
