#include "cli/figure_job.h"

#include <cstdint>
#include <limits>
#include <string>

#include "cli/cli_context.h"
#include "modes/figure_session.h"
#include "settings/mode_settings.h"

namespace vertolin {

namespace {

// The window's fields as the settings file (and --set) give them.
class SettingsFigureFields : public FigureFields {
 public:
  SettingsFigureFields(const SettingsStore& settings, const FigureKeys& keys, bool returnToOrigin)
      : width_(keys.width->Read(settings)),
        depth_(keys.depth != nullptr ? keys.depth->Read(settings) : std::string()),
        diameter_(keys.diameter->Read(settings)),
        delay_(keys.delay->Read(settings)),
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

class NoFigureView : public FigureView {
 public:
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

// A stopped job leaves a router's cutter where it stood, perhaps deep in the
// work, and nobody stands by the tool to lift it: it goes up by the steps the
// job went down, and the board is given time to do that (and what it still
// had) before the tool ends. A second Ctrl-C still ends the waits. A laser
// has been switched off by the job itself.
void LiftAfterStop(Context& context, WindowLink& window) {
  const std::int64_t down = -window.accounted()[2];
  if (down <= 0 || down > std::numeric_limits<std::int32_t>::max() || !context.link.PortOpen())
    return;
  const std::int32_t idle = context.link.profile().idleDelay;
  const Motion lift{MotionKind::Lift, {0, 0, static_cast<std::int32_t>(down)}, idle};
  context.link.ClearStop();
  window.SendExtra(lift);
  context.streams.err << "vertolin-cli: lifting the tool out of the work (" << window.lastLine()
                      << ")\n";
  if (window.StreamsGrbl()) {
    // Streamed: awaited until the board is at rest again, the tool off.
    window.GrblJobCloses();
  } else {
    while (window.acknowledged() < window.linesSent()) window.AwaitAck();
  }
  // The journal now says the tool is up: a resume lowers it again first.
  if (context.journal != nullptr) {
    context.journal->Placed(context.link.machine().Place());
    const auto& origin = window.grblJobOrigin();
    const auto head = window.grblMachineHead();
    if (origin && head) context.journal->MachinePlace(*origin, *head);
    context.journal->Record(window.resumePoint(), true);
  }
}

}  // namespace

int RunFigureJob(Context& context, FigureJob job, const LinkFormat& format, const FigureKeys& keys,
                 std::string_view impossibleLine, NewFigureSession newSession) {
  const auto picture = LoadJobPicture(context, impossibleLine);
  if (!picture) return kCliRefused;
  WindowLink window(context.link, format);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsFigureFields fields(context.settings, keys, context.options.returnToStart);
  NoFigureView view;
  const std::unique_ptr<FigureSession> session = newSession(window);
  session->Reset();
  session->LoadPicture(*picture);
  JobResult result;
  switch (job) {
    case FigureJob::Selected:
      session->Parse(view);
      result = session->MillSelected(context.options.figure, fields, view);
      break;
    case FigureJob::All:
      session->Parse(view);
      result = session->MillAll(fields, view);
      break;
    case FigureJob::Fill:
      result = session->Fill(fields, view);
      break;
  }
  const int status = ExitStatus(context, window, result);
  if (result.outcome == JobOutcome::Stopped) LiftAfterStop(context, window);
  return status;
}

}  // namespace vertolin
