// Form10: steps through the patterns of a 3 × 3 neighbourhood and collects the
// numbers the person chooses into a comma-separated list.
#pragma once

#include <QWidget>

namespace vertolin {

class ConnectivityWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ConnectivityWindow(QWidget* parent = nullptr);

  // Form_Load: pattern 0.
  void Load();
};

}  // namespace vertolin
