// The figures of a parse as one line of JSON, for `vertolin-cli figures`:
// {"width":W,"height":H,"figures":[{"n":1,"colour":"light","level":0},…],
//  "pairs":[[outer,inner],…],"tree":[{"key":"P1","parent":null},…]}
// and with the labels also "labels":[[row 1],…,[row H]] of columns 1 to W.
// Figures in use by number, pairs in list order, nodes in the order added.
#pragma once

#include <string>

#include "figures/figure_set.h"

namespace vertolin {

std::string FiguresJson(const FigureSet& set, bool withLabels);

}  // namespace vertolin
