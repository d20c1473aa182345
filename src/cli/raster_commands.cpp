// engrave, burn: the raster jobs of the gradation and wood-burning windows.
#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "modes/engraving/raster_job.h"
#include "settings/mode_settings.h"
#include "util/size_coupling.h"

namespace vertolin {

namespace {

// The engraving windows' fields as the settings file (and --set) give them.
class SettingsRasterFields : public RasterFields {
 public:
  SettingsRasterFields(const SettingsStore& settings, bool returnToStart, double xRatio, int width)
      : width_(keys::kEtchWidth.Read(settings)),
        dark_(keys::kEtchDelay.Read(settings)),
        light_(keys::kEtchMin.Read(settings)),
        steps_(StepsPerPixelForWidth(width_, xRatio, width).value_or("")),
        returnToStart_(returnToStart) {}

  std::string StepsPerPixel() const override { return steps_; }
  std::string LightDelay() const override { return light_; }
  std::string DarkDelay() const override { return dark_; }
  std::string Width() const override { return width_; }
  bool ReturnToStart() const override { return returnToStart_; }
  bool DrawEachPixel() const override { return false; }

 private:
  std::string width_;
  std::string dark_;
  std::string light_;
  std::string steps_;
  bool returnToStart_;
};

class NoProgress : public RasterProgress {
 public:
  void Burned(int, int, bool) override {}
  void ShowAll() override {}
};

int RunRaster(Context& context, const LinkFormat& format) {
  auto picture = LoadJobPicture(context, kEngravingImpossibleText);
  if (!picture) return kCliRefused;
  WindowLink window(context.link, format);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsRasterFields fields(context.settings, context.options.returnToStart,
                                    context.link.profile().xRatio, picture->width());
  NoProgress progress;
  return ExitStatus(context, window, RunRasterJob(window, *picture, fields, progress));
}

}  // namespace

int Engrave(Context& context) { return RunRaster(context, formats::kGradation); }
int Burn(Context& context) { return RunRaster(context, formats::kWoodBurning); }

}  // namespace vertolin
