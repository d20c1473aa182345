#include "ui/mode_window.h"

#include <QCloseEvent>

namespace vertolin {

void ModeWindow::closeEvent(QCloseEvent* event) {
  Unload();
  event->accept();
}

}  // namespace vertolin
