// vertolin: the program with its windows.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/main_window.h"
#include "link/link.h"
#include "settings/settings_store.h"
#include "ui/frontend_dialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt's own dialogs (files, colours) in Russian, where its translations
  // are installed; the program's own texts are Russian already.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  vertolin::DialogFrontend frontend;
  vertolin::SettingsStore settings(vertolin::SettingsStore::DefaultPath(), frontend);
  vertolin::Link link(frontend);
  vertolin::MainWindow window(settings, link);
  frontend.Attach(&window);
  window.Load();
  window.show();
  return application.exec();
}
