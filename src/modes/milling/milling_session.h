// The milling window's picture and jobs without the window: the four layers,
// the figures traced from the Work layer, and the jobs "Выделенная", "Все" and
// "Резать 3D" with "Градиент", "Отступить" and "Разобрать". The window (and
// vertolin-cli) reads its fields through MillingFields and shows progress
// through MillingView.
#pragma once

#include <optional>
#include <string>

#include "figures/figure_set.h"
#include "modes/job_outcome.h"
#include "picture/pixel_image.h"

namespace vertolin {

class WindowLink;

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
  // `window` is a milling window link (its SendStep carries the steps).
  explicit MillingSession(WindowLink& window);

  // A new picture: all four layers become it; the figures are cleared.
  void LoadPicture(const PixelImage& picture);
  bool HasPicture() const { return !base_.empty(); }

  const PixelImage& base() const { return base_; }
  const PixelImage& work() const { return work_; }
  const PixelImage& selection() const { return selection_; }
  const PixelImage& progress() const { return progress_; }

  // The traced figures; nothing before the first "Разобрать" and after
  // "Градиент" or "Отступить" (a job must not run on stale figures).
  const FigureSet* figures() const { return figures_ ? &*figures_ : nullptr; }
  bool HasTree() const;

  // Window load: job kind none, no pending steps, not chained, position (1, 1).
  void Reset();
  JobKind jobKind() const { return jobKind_; }

  // "Разобрать".
  void Parse(MillingView& view);
  // A click on the tree: the Selection layer shows figure n green.
  void ShowFigure(int figure, MillingView& view);
  // "Градиент" and "Отступить" (they clear the figures: a new parse is needed).
  JobOutcome Gradient(const MillingFields& fields, MillingView& view);
  JobOutcome Offset(const MillingFields& fields, MillingView& view);

  // "Выделенная", "Все" and "Резать 3D". Refused with a message (and nothing
  // sent) when the picture is not parsed, no figure is chosen, the figure
  // holds frame cells, or a field is not a number (or the width is 0).
  JobOutcome MillSelected(std::optional<int> figure, const MillingFields& fields, MillingView& view);
  JobOutcome MillAll(const MillingFields& fields, MillingView& view);
  JobOutcome Relief(const MillingFields& fields, MillingView& view);

  // The tool's position in picture pixels (1-based) and depth in grey units.
  int x() const { return x_; }
  int y() const { return y_; }
  int depth() const { return depth_; }

 private:
  WindowLink& window_;
  PixelImage base_;
  PixelImage work_;
  PixelImage selection_;
  PixelImage progress_;
  std::optional<FigureSet> figures_;
  JobKind jobKind_ = JobKind::None;
  bool chained_ = false;
  int x_ = 1;
  int y_ = 1;
  int depth_ = 0;
};

}  // namespace vertolin
