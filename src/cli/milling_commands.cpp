// figures, mill, mill-all, relief: the milling window's parse and jobs.
#include <cstdint>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "cli/figure_job.h"
#include "figures/figure_set.h"
#include "link/ack_wait.h"
#include "motion/native_protocol.h"
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

constexpr FigureKeys kMillingKeys{&keys::kMillWidth, &keys::kMillDepth, &keys::kMillDiameter,
                                  &keys::kMillDelay};

std::unique_ptr<FigureSession> NewMillingSession(WindowLink& window) {
  return std::make_unique<MillingSession>(window);
}

int RunMilling(Context& context, FigureJob job) {
  return RunFigureJob(context, job, formats::kRouter, kMillingKeys, kMillingImpossibleText,
                      NewMillingSession);
}

}  // namespace

int Mill(Context& context) { return RunMilling(context, FigureJob::Selected); }
int MillAll(Context& context) { return RunMilling(context, FigureJob::All); }
int Relief(Context& context) { return RunMilling(context, FigureJob::Fill); }

}  // namespace vertolin
