#include "cli/figure_job.h"

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
  return ExitStatus(context, window, result);
}

}  // namespace vertolin
