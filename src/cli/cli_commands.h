// The commands of vertolin-cli, one function each; the table in cli.cpp names
// them. Each mode's commands live in a file of their own.
#pragma once

namespace vertolin {

struct Context;

int Query(Context& context);
int Move(Context& context);
int Engrave(Context& context);
int Burn(Context& context);
int Figures(Context& context);
int Mill(Context& context);
int MillAll(Context& context);
int Relief(Context& context);
int OutlineFigure(Context& context);
int OutlineAll(Context& context);
int FillOutlines(Context& context);

}  // namespace vertolin
