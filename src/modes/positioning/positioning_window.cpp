#include "modes/positioning/positioning_window.h"

namespace vertolin {

PositioningWindow::PositioningWindow(Link&, SettingsStore&, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form6"));
}

void PositioningWindow::Load() {}
void PositioningWindow::Unload() {}

}  // namespace vertolin
