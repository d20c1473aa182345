// figures, mill, mill-all, relief: the milling window's parse and jobs.
#include <cstdint>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "figures/figure_set.h"
#include "link/ack_wait.h"
#include "link/move_text.h"
#include "figures/figures_json.h"
#include "modes/milling/milling_session.h"
#include "settings/mode_settings.h"

namespace vertolin {

int Figures(Context& context) {
  const auto picture = LoadJobPicture(context, kMillingImpossibleText);
  if (!picture) return kCliRefused;
  context.streams.out << FiguresJson(Parse(*picture), context.options.labels) << '\n';
  return kCliDone;
}

namespace {

// The milling window's fields as the settings file (and --set) give them.
class SettingsMillingFields : public MillingFields {
 public:
  SettingsMillingFields(const SettingsStore& settings, bool returnToOrigin)
      : width_(keys::kMillWidth.Read(settings)),
        depth_(keys::kMillDepth.Read(settings)),
        diameter_(keys::kMillDiameter.Read(settings)),
        delay_(keys::kMillDelay.Read(settings)),
        returnToOrigin_(returnToOrigin) {}

  std::string Width() const override { return width_; }
  std::string Depth() const override { return depth_; }
  std::string Diameter() const override { return diameter_; }
  std::string Delay() const override { return delay_; }
  bool ReturnToOrigin() const override { return returnToOrigin_; }

 private:
  std::string width_;
  std::string depth_;
  std::string diameter_;
  std::string delay_;
  bool returnToOrigin_;
};

class NoMillingView : public MillingView {
 public:
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

enum class MillingJob { Selected, All, Relief };

// A stopped job leaves the cutter where it stood, perhaps deep in the work,
// and nobody stands by the tool to lift it: it goes up by the steps the job
// went down, and the board is given time to do that (and what it still had)
// before the tool ends. A second Ctrl-C still ends the waits.
void LiftAfterStop(Context& context, WindowLink& window) {
  const std::int64_t down = -window.accounted()[2];
  if (down <= 0 || !context.link.PortOpen()) return;
  const std::int32_t idle = context.link.profile().idleDelay;
  const std::string line = CommandLine({0, 0, down, idle});
  context.streams.err << "vertolin-cli: lifting the tool out of the work (" << line << ")\n";
  context.link.ClearStop();
  window.WriteLine(line, StepTime(down, idle));
  while (window.acknowledged() < window.linesSent()) window.AwaitAck();
}

int RunMilling(Context& context, MillingJob job) {
  const auto picture = LoadJobPicture(context, kMillingImpossibleText);
  if (!picture) return kCliRefused;
  WindowLink window(context.link, formats::kRouter);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsMillingFields fields(context.settings, context.options.returnToStart);
  NoMillingView view;
  MillingSession session(window);
  session.Reset();
  session.LoadPicture(*picture);
  JobResult result;
  switch (job) {
    case MillingJob::Selected:
      session.Parse(view);
      result = session.MillSelected(context.options.figure, fields, view);
      break;
    case MillingJob::All:
      session.Parse(view);
      result = session.MillAll(fields, view);
      break;
    case MillingJob::Relief:
      result = session.Relief(fields, view);
      break;
  }
  const int status = ExitStatus(context, window, result);
  if (result.outcome == JobOutcome::Stopped) LiftAfterStop(context, window);
  return status;
}

}  // namespace

int Mill(Context& context) { return RunMilling(context, MillingJob::Selected); }
int MillAll(Context& context) { return RunMilling(context, MillingJob::All); }
int Relief(Context& context) { return RunMilling(context, MillingJob::Relief); }

}  // namespace vertolin
