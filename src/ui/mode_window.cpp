#include "ui/mode_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMdiSubWindow>

namespace vertolin {

bool ModeWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // The layout has set the minimum before the window sees the event.
  if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
      // The title bar and the border: above and left of the window, and a
      // border as wide again right and below.
      const QSize around(2 * x(), y() + x());
      frame->setMinimumSize(minimumSize() + around);
      if (frame->width() < frame->minimumWidth() || frame->height() < frame->minimumHeight()) {
        frame->resize(frame->size().expandedTo(frame->minimumSize()));
      }
    }
  }
  return handled;
}

void ModeWindow::closeEvent(QCloseEvent* event) {
  Unload();
  event->accept();
}

}  // namespace vertolin
