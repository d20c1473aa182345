#include "modes/connectivity/connectivity_window.h"

namespace vertolin {

ConnectivityWindow::ConnectivityWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form10"));
}

void ConnectivityWindow::Load() {}

}  // namespace vertolin
