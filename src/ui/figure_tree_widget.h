// The nesting tree "tv" of a figure window: one node per figure under the
// figure it lies in, expanded; choosing a node names its figure.
#pragma once

#include <QTreeWidget>
#include <optional>

namespace vertolin {

struct FigureSet;

class FigureTreeWidget : public QTreeWidget {
  Q_OBJECT

 public:
  explicit FigureTreeWidget(QWidget* parent = nullptr);

  // The tree of `set`; none: an empty tree. Choosing is quiet meanwhile.
  void ShowFigures(const FigureSet* set);
  // The figure of the chosen node.
  std::optional<int> ChosenFigure() const;

 signals:
  void FigureChosen(int figure);

 private:
  bool filling_ = false;
};

}  // namespace vertolin
