#include "app/settings_window.h"

namespace vertolin {

SettingsWindow::SettingsWindow(Link&, SettingsStore&, QWidget* parent) : ModeWindow(parent) {
  setObjectName(QStringLiteral("Form4"));
}

void SettingsWindow::Load() {}
void SettingsWindow::Unload() {}

}  // namespace vertolin
