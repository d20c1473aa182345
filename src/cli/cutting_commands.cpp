// prepare, cut: the cutting window's processing run and its cut.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "modes/cutting/cutting_layers.h"
#include "modes/cutting/processing_run.h"
#include "modes/cutting/stroke_cut.h"
#include "settings/mode_settings.h"
#include "util/exe_folder.h"

namespace vertolin {

namespace {

constexpr std::string_view kCuttingImpossibleText = "Гравировка невозможна.";

// Nobody watches the paint.
class NoCutView : public CutView {
 public:
  void Marked(int, int) override {}
  void Redraw() override {}
};

// The cutting window's fields as the settings file (and --set) give them.
class SettingsCutFields : public CutFields {
 public:
  SettingsCutFields(const SettingsStore& settings, bool returnToStart)
      : width_(keys::kCutWidth.Read(settings)),
        delay_(keys::kCutDelay.Read(settings)),
        returnToStart_(returnToStart) {}

  std::string Width() const override { return width_; }
  std::string Delay() const override { return delay_; }
  bool ReturnToStart() const override { return returnToStart_; }

 private:
  std::string width_;
  std::string delay_;
  bool returnToStart_;
};

constexpr std::pair<std::string_view, CuttingFilter> kFilterNames[] = {{"ST", CuttingFilter::ST},
                                                                       {"CN", CuttingFilter::CN},
                                                                       {"CR", CuttingFilter::CR},
                                                                       {"CL", CuttingFilter::CL},
                                                                       {"GS", CuttingFilter::GS}};

std::optional<CuttingFilter> FilterNamed(std::string_view name) {
  for (const auto& [filterName, filter] : kFilterNames) {
    if (filterName == name) return filter;
  }
  return std::nullopt;
}

// "Обработать" on the layers. A drawing that could not be saved as neuro.bmp
// beside the program (told already) is still the drawing.
bool Process(Context& context, CuttingLayers& layers) {
  CuttingPreparation preparation(layers, context.frontend, ExecutableFolder());
  UnseenProcessing view;
  const ProcessingOutcome outcome = preparation.Process(view).outcome;
  return outcome == ProcessingOutcome::Done || outcome == ProcessingOutcome::NotSaved;
}

bool Save(Context& context, const PixelImage& picture, const std::string& path) {
  std::string error;
  if (SaveBmpFile(picture, PathFromUtf8(path), error)) return true;
  context.frontend.ShowMessage(texts::kTitleError,
                               "Не удалось сохранить файл " + path + "." + "\r\n" + error);
  return false;
}

}  // namespace

bool IsFilterName(std::string_view name) { return FilterNamed(name).has_value(); }

int Prepare(Context& context) {
  // Both checked with the options.
  const std::string& out = context.options.values.at("--out");
  std::optional<CuttingFilter> only;
  if (const auto named = context.options.values.find("--only");
      named != context.options.values.end()) {
    only = FilterNamed(named->second);
  }
  auto picture = LoadJobPicture(context, kCuttingImpossibleText);
  if (!picture) return kCliRefused;
  CuttingLayers layers = CuttingLayers::From(*picture);
  if (only) {
    // A button of the hidden filter frame: one pass on the picture as loaded.
    CuttingPreparation preparation(layers, context.frontend, ExecutableFolder());
    UnseenProcessing view;
    preparation.RunOne(*only, view);
    return Save(context, layers.work, out) ? kCliDone : kCliRefused;
  }
  if (!Process(context, layers)) return kCliRefused;
  return Save(context, layers.pattern, out) ? kCliDone : kCliRefused;
}

int Cut(Context& context) {
  auto picture = LoadJobPicture(context, kCuttingImpossibleText);
  if (!picture) return kCliRefused;
  CuttingLayers layers = CuttingLayers::From(*picture);
  if (!context.options.flags.contains("--prepared") && !Process(context, layers))
    return kCliRefused;

  WindowLink window(context.link, formats::kCutting);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsCutFields fields(context.settings, context.options.returnToStart);
  NoCutView view;
  StrokeCut cut(window);
  const JobResult result = cut.Run(layers.trace, fields, view);
  if (const auto painted = context.options.values.find("--painted");
      painted != context.options.values.end() && result.outcome != JobOutcome::Refused &&
      !Save(context, layers.trace, painted->second)) {
    return result.outcome == JobOutcome::Done ? kCliRefused : ExitStatus(context, window, result);
  }
  return ExitStatus(context, window, result);
}

}  // namespace vertolin
