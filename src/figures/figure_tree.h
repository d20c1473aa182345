// The nesting tree of the figures: one root, and under every figure the inner
// members of the pairs whose outer member it is, in the pairs' order. The tree
// view shows it with keys "P" + number and the number as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "figures/figure_table.h"
#include "figures/nesting_pairs.h"

namespace vertolin {

struct FigureTreeNode {
  std::int32_t figure = 0;
  std::int32_t parent = 0;  // 0: the root
  friend bool operator==(const FigureTreeNode&, const FigureTreeNode&) = default;
};

class FigureTree {
 public:
  // Nodes in the order they were added: depth first, siblings in pair order.
  const std::vector<FigureTreeNode>& nodes() const { return nodes_; }
  bool empty() const { return nodes_.empty(); }
  bool Contains(std::int32_t figure) const;
  // Nodes with children are shown expanded.
  bool HasChildren(std::int32_t figure) const;

 private:
  friend FigureTree FillTree(FigureTable& figures, const NestingPairList& pairs);

  void AddNode(std::int32_t figure, std::int32_t parent);

  std::vector<FigureTreeNode> nodes_;
  std::vector<std::int32_t> nodeOf_;  // figure number → index in nodes_, −1 when absent
  std::vector<bool> hasChildren_;     // by figure number
};

// Builds the tree from the pairs and writes each reached figure's level into
// the table (0 for the root, 1 for its children …). The root is the outer
// member of the first pair whose outer member is nobody's inner member; an
// empty pair list gives an empty tree.
FigureTree FillTree(FigureTable& figures, const NestingPairList& pairs);

// "P" followed by the figure number.
std::string NodeKey(std::int32_t figure);
// The figure a node key names: the key without its first character as a
// number; nothing when that is not a number.
std::optional<std::int32_t> FigureOfKey(std::string_view key);

}  // namespace vertolin
