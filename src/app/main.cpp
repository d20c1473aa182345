// vertolin: the program with its windows.
#include <QApplication>

#include "app/main_window.h"
#include "link/link.h"
#include "settings/settings_store.h"
#include "ui/frontend_dialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  vertolin::DialogFrontend frontend;
  vertolin::SettingsStore settings(vertolin::SettingsStore::DefaultPath(), frontend);
  vertolin::Link link(frontend);
  vertolin::MainWindow window(settings, link);
  frontend.Attach(&window);
  window.Load();
  window.show();
  return application.exec();
}
