#include "ui/figure_tree_widget.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <unordered_map>

#include "figures/figure_set.h"
#include "figures/figure_tree.h"

namespace vertolin {

FigureTreeWidget::FigureTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("tv"));
  setHeaderHidden(true);
  setColumnCount(1);
  setIndentation(14);
  // Deep nesting scrolls sideways instead of clipping the numbers.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  setFixedWidth(150);
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (filling_) return;
    if (const auto figure = ChosenFigure()) emit FigureChosen(*figure);
  });
}

void FigureTreeWidget::ShowFigures(const FigureSet* set) {
  QScopedValueRollback<bool> filling(filling_, true);
  clear();
  if (set == nullptr) return;
  // Parents come before their children: the tree is listed depth first.
  std::unordered_map<std::int32_t, QTreeWidgetItem*> items;
  for (const FigureTreeNode& node : set->tree.nodes()) {
    const auto parent = items.find(node.parent);
    auto* item = parent == items.end() ? new QTreeWidgetItem(this)
                                       : new QTreeWidgetItem(parent->second);
    item->setText(0, QString::number(node.figure));
    item->setData(0, Qt::UserRole, QString::fromStdString(NodeKey(node.figure)));
    items.emplace(node.figure, item);
  }
  for (const auto& [figure, item] : items) {
    if (set->tree.HasChildren(figure)) item->setExpanded(true);
  }
}

std::optional<int> FigureTreeWidget::ChosenFigure() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return FigureOfKey(selected.front()->data(0, Qt::UserRole).toString().toStdString());
}

}  // namespace vertolin
