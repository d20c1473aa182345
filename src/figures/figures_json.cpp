#include "figures/figures_json.h"

#include <charconv>

namespace vertolin {

namespace {

void AppendNumber(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

void AppendKey(std::string& out, std::int32_t figure) {
  out += "\"P";
  AppendNumber(out, figure);
  out += '"';
}

}  // namespace

std::string FiguresJson(const FigureSet& set, bool withLabels) {
  const LabelMap& labels = set.labels;
  std::string out;
  if (withLabels) out.reserve(static_cast<std::size_t>(labels.width() + 1) * labels.height() * 4);
  out += "{\"width\":";
  AppendNumber(out, labels.width());
  out += ",\"height\":";
  AppendNumber(out, labels.height());

  out += ",\"figures\":[";
  bool first = true;
  for (int n = 1; n <= set.figures.size(); ++n) {
    const Figure& figure = set.figures[n];
    if (!figure.inUse()) continue;
    if (!first) out += ',';
    first = false;
    out += "{\"n\":";
    AppendNumber(out, n);
    out += figure.dark() ? ",\"colour\":\"dark\",\"level\":" : ",\"colour\":\"light\",\"level\":";
    AppendNumber(out, figure.level);
    out += '}';
  }

  out += "],\"pairs\":[";
  first = true;
  for (const NestingPair& pair : set.pairs.pairs()) {
    if (!first) out += ',';
    first = false;
    out += '[';
    AppendNumber(out, pair.outer);
    out += ',';
    AppendNumber(out, pair.inner);
    out += ']';
  }

  out += "],\"tree\":[";
  first = true;
  for (const FigureTreeNode& node : set.tree.nodes()) {
    if (!first) out += ',';
    first = false;
    out += "{\"key\":";
    AppendKey(out, node.figure);
    out += ",\"parent\":";
    if (node.parent == 0) {
      out += "null";
    } else {
      AppendKey(out, node.parent);
    }
    out += '}';
  }
  out += ']';

  if (withLabels) {
    out += ",\"labels\":[";
    for (int y = 1; y <= labels.height(); ++y) {
      if (y > 1) out += ',';
      out += '[';
      const std::int32_t* cell = labels.row(y);
      for (int x = 1; x <= labels.width(); ++x) {
        if (x > 1) out += ',';
        AppendNumber(out, cell[x]);
      }
      out += ']';
    }
    out += ']';
  }
  out += '}';
  return out;
}

}  // namespace vertolin
