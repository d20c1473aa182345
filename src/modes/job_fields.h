// Checks of the fields that set a job's scale, made before anything is sent,
// so that nonsense (a width that comes to no motion, a negative depth, a
// calibration that lays every row on one line) is refused with a message
// naming the field instead of being burnt or milled into one spot. The
// windows and the command-line tool share them through the jobs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

struct MachineProfile;

// A refusal when a value the job needs is below zero.
std::optional<std::string> NegativeField(double value, std::string_view field);

// A refusal when the finished width over `pixelsAcross` pixels does not move
// the machine: for the figure jobs (fractions carried) the whole width must
// come to a step at least on X and on Y, for the raster jobs (whole steps
// per pixel) every pixel must. A width so large that a move across the
// picture (`pixelsAlong` pixels at most) leaves the step range is refused too.
enum class StepRule { WholePicture, EveryPixel };
std::optional<std::string> WidthProblem(const MachineProfile& profile, double widthMm,
                                        int pixelsAcross, int pixelsAlong, StepRule rule);

// A refusal when a depth above 0 comes to no step on Z, or leaves the range.
std::optional<std::string> DepthProblem(const MachineProfile& profile, double depthMm);

}  // namespace vertolin
