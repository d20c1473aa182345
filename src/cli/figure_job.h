// What the figure commands share (mill, mill-all, relief; outline,
// outline-all, fill): the window's fields as the settings file and --set give
// them, and one job run on a fresh session of the window's tool.
#pragma once

#include <memory>
#include <string_view>

#include "link/link_format.h"
#include "modes/job_registry.h"

namespace vertolin {

struct Context;
class FigureSession;
class WindowLink;
struct SettingKey;

// The window's keys: finished width, depth (none for the laser), tool
// diameter, cutting delay.
struct FigureKeys {
  const SettingKey* width;
  const SettingKey* depth;
  const SettingKey* diameter;
  const SettingKey* delay;
};

using NewFigureSession = std::unique_ptr<FigureSession> (*)(WindowLink& window);

// Loads the picture (a 24-bit one, else `impossibleLine` says why), shakes
// hands for `format`'s firmware, parses the picture for the first two jobs and
// runs `job`; the exit status of how it ended.
int RunFigureJob(Context& context, FigureJob job, const LinkFormat& format, const FigureKeys& keys,
                 std::string_view impossibleLine, NewFigureSession newSession);

}  // namespace vertolin
