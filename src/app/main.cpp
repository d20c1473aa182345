// vertolin: the program with its windows.
#include <QApplication>

#include "app/frontend_dialog.h"
#include "app/main_window.h"
#include "settings/settings_store.h"
#include "link/link.h"

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
