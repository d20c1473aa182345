// The commands of vertolin-cli, one function each; the table in cli.cpp names
// them. Each mode's commands live in a file of their own.
#pragma once

#include <string_view>

namespace vertolin {

struct Context;

// The names prepare --only takes: ST, CN, CR, CL, GS.
bool IsFilterName(std::string_view name);

int Query(Context& context);
int Move(Context& context);
int Engrave(Context& context);
int Burn(Context& context);
int Figures(Context& context);
int Mill(Context& context);
int MillAll(Context& context);
int Relief(Context& context);
int Scan(Context& context);
int Interpolate(Context& context);
int Prepare(Context& context);
int Cut(Context& context);
int OutlineFigure(Context& context);
int OutlineAll(Context& context);
int FillOutlines(Context& context);

}  // namespace vertolin
