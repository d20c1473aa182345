// Every job the windows and vertolin-cli start, named once: the tool's
// command and the journal's file name, the caption of the button that starts
// it in its window (also the offer to resume it), the window's way of
// speaking with the firmware it needs, and whether it keeps a journal to
// resume from. The windows and the tool look jobs up here rather than each
// keeping its own names.
#pragma once

#include <span>
#include <string_view>

#include "link/link_format.h"

namespace vertolin {

// The three figure jobs of the milling and outlining windows: "Выделенная",
// "Все", and the fill by rounds ("Резать 3D", "Грав-ть всё").
enum class FigureJob { Selected, All, Fill };

struct JobInfo {
  std::string_view name;     // "mill-all": the command, and "<name>.journal"
  std::string_view caption;  // "Все"
  const LinkFormat* format;  // the window's link, and with it the firmware kind
  bool resumable = true;     // keeps a journal; the scan's lines follow the board's answers
};

std::span<const JobInfo> Jobs();

// The job called `name`; nothing for a name that is no job.
const JobInfo* FindJob(std::string_view name);

// The figure job `job` of the window that speaks `format` (the router's or
// the laser outline's).
const JobInfo& FigureJobInfo(const LinkFormat& format, FigureJob job);

}  // namespace vertolin
