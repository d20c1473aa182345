#include "figures/figure_tree.h"

#include <algorithm>
#include <charconv>

namespace vertolin {

bool FigureTree::Contains(std::int32_t figure) const {
  return figure >= 0 && static_cast<std::size_t>(figure) < nodeOf_.size() &&
         nodeOf_[static_cast<std::size_t>(figure)] >= 0;
}

bool FigureTree::HasChildren(std::int32_t figure) const {
  return figure >= 0 && static_cast<std::size_t>(figure) < hasChildren_.size() &&
         hasChildren_[static_cast<std::size_t>(figure)];
}

void FigureTree::AddNode(std::int32_t figure, std::int32_t parent) {
  nodeOf_[static_cast<std::size_t>(figure)] = static_cast<std::int32_t>(nodes_.size());
  nodes_.push_back({figure, parent});
  if (parent != 0) hasChildren_[static_cast<std::size_t>(parent)] = true;
}

FigureTree FillTree(FigureTable& figures, const NestingPairList& pairs) {
  FigureTree tree;
  const std::vector<NestingPair>& list = pairs.pairs();
  std::int32_t largest = 0;
  for (const NestingPair& p : list) largest = std::max({largest, p.outer, p.inner});
  // Figure numbers below 1 are no figures (emptied slots read (0, 0)).
  const auto valid = [](const NestingPair& p) { return p.outer >= 1 && p.inner >= 1; };

  const std::size_t slots = static_cast<std::size_t>(largest) + 1;
  std::vector<bool> isInner(slots, false);
  for (const NestingPair& p : list) {
    if (valid(p)) isInner[static_cast<std::size_t>(p.inner)] = true;
  }
  const auto root = std::find_if(list.begin(), list.end(), [&](const NestingPair& p) {
    return valid(p) && !isInner[static_cast<std::size_t>(p.outer)];
  });
  if (root == list.end()) return tree;

  // Children of each figure in pair order, as one array sliced by figure.
  std::vector<std::int32_t> first(slots + 1, 0);
  for (const NestingPair& p : list) {
    if (valid(p)) ++first[static_cast<std::size_t>(p.outer) + 1];
  }
  for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
  std::vector<std::int32_t> children(static_cast<std::size_t>(first.back()));
  {
    std::vector<std::int32_t> fill(first.begin(), first.end() - 1);
    for (const NestingPair& p : list) {
      if (valid(p))
        children[static_cast<std::size_t>(fill[static_cast<std::size_t>(p.outer)]++)] = p.inner;
    }
  }

  tree.nodeOf_.assign(slots, -1);
  tree.hasChildren_.assign(slots, false);
  figures.SetLevel(root->outer, 0);
  tree.AddNode(root->outer, 0);

  // Depth first with an explicit stack: rings nested a thousand deep in a
  // large picture must not exhaust the call stack.
  struct Visit {
    std::int32_t figure;
    std::int32_t next;   // index into children
    std::int32_t level;  // level of this figure's children
  };
  std::vector<Visit> stack{{root->outer, first[static_cast<std::size_t>(root->outer)], 1}};
  while (!stack.empty()) {
    Visit& visit = stack.back();
    if (visit.next == first[static_cast<std::size_t>(visit.figure) + 1]) {
      stack.pop_back();
      continue;
    }
    const std::int32_t child = children[static_cast<std::size_t>(visit.next++)];
    // Touching regions of two colours form a tree, so no figure is reached
    // twice; the check only keeps a malformed list from looping.
    if (tree.Contains(child)) continue;
    const std::int32_t level = visit.level;
    figures.SetLevel(child, level);
    tree.AddNode(child, visit.figure);
    stack.push_back({child, first[static_cast<std::size_t>(child)], level + 1});
  }
  return tree;
}

// Built by appending: g++ 12 at -O3 sees a false overlap (-Wrestrict) in the
// temporary of "P" + std::to_string(...).
std::string NodeKey(std::int32_t figure) {
  const std::string number = std::to_string(figure);
  std::string key;
  key.reserve(1 + number.size());
  key += 'P';
  key += number;
  return key;
}

std::optional<std::int32_t> FigureOfKey(std::string_view key) {
  if (key.size() < 2) return std::nullopt;
  std::int32_t figure = 0;
  const char* begin = key.data() + 1;
  const char* end = key.data() + key.size();
  const auto [at, error] = std::from_chars(begin, end, figure);
  if (error != std::errc() || at != end) return std::nullopt;
  return figure;
}

}  // namespace vertolin
