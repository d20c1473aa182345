// outline, outline-all, fill: the outlining window's jobs ("Выделенная",
// "Все", "Грав-ть всё") with the laser.
#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "cli/figure_job.h"
#include "modes/outlining/outlining_session.h"
#include "settings/mode_settings.h"

namespace vertolin {

namespace {

constexpr FigureKeys kOutliningKeys{&keys::kOutlineWidth, nullptr, &keys::kOutlineDiameter,
                                    &keys::kOutlineDelay};

std::unique_ptr<FigureSession> NewOutliningSession(WindowLink& window) {
  return std::make_unique<OutliningSession>(window);
}

int RunOutlining(Context& context, FigureJob job) {
  return RunFigureJob(context, job, formats::kOutlining, kOutliningKeys, kEngravingImpossibleText,
                      NewOutliningSession);
}

}  // namespace

int OutlineFigure(Context& context) { return RunOutlining(context, FigureJob::Selected); }
int OutlineAll(Context& context) { return RunOutlining(context, FigureJob::All); }
int FillOutlines(Context& context) { return RunOutlining(context, FigureJob::Fill); }

}  // namespace vertolin
