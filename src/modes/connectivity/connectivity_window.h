// Form10: steps through the patterns of a 3 × 3 neighbourhood and collects the
// numbers the person chooses into a comma-separated list.
#pragma once

#include <QWidget>
#include <array>

#include "modes/connectivity/connectivity_list.h"

class QKeyEvent;
class QLabel;
class QLineEdit;

namespace vertolin {

class Frontend;

class ConnectivityWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ConnectivityWindow(Frontend& frontend, QWidget* parent = nullptr);

  // Form_Load: pattern 0.
  void Load();

  // Whether cell k (1 … 9) is painted in the colour of a set cell.
  bool CellShownSet(int k) const;

 protected:
  // Escape closes it, as a tool window should.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void NextPattern();       // "Дальше" (Command1)
  void IncludePattern();    // "Включить" (Command2)
  void ShowTypedPattern();  // "Показать" (Command3)
  // Number into Text2, the cells painted from it.
  void ShowPattern();

  ConnectivityList list_;
  std::array<QLabel*, kPatternCells> cells_{};  // Label1(1 … 9)
  QLineEdit* numberField_ = nullptr;            // Text2
  QLineEdit* listField_ = nullptr;              // Text1
};

}  // namespace vertolin
