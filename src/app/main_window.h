// MDIForm1: the main window. Its menu opens the mode windows inside it; its
// load starts the system (profile, port) and its closing ends it.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

class QAction;
class QMdiArea;
class QMdiSubWindow;

namespace vertolin {

class Link;
class ModeWindow;
class SettingsStore;
class ConnectivityWindow;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(SettingsStore& settings, Link& link, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Caption, machine profile, port, size — in that order.
  void Load();

  // The child window opened by a menu entry (hand_cl, mill_cl …), if it was
  // ever opened; for tests and for the entries that share a window.
  QWidget* Child(const QString& menuName) const;
  QMdiArea* area() const { return area_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  using Factory = std::function<ModeWindow*()>;
  QAction* AddEntry(QWidget* menu, const char* name, const QString& caption);
  void OpenChild(const QString& menuName, const Factory& create, bool focus = true);
  // The menu entries.
  void OpenPositioning();   // "Ручное перемещение " (hand_cl)
  void OpenMilling();       // "Фрезеровка" (mill_cl)
  void OpenScanner();       // "Сканер" (scanner_cl)
  void OpenGradation();     // "Градации / картины" (etching_cl)
  void OpenCutting();       // "Обработка рисунка" (pic_cl)
  void OpenOutlining();     // "Орнаменты / силуэты" (etching2_cl)
  void OpenConnectivity();  // "Связность" (link_cl)
  void OpenWoodBurning();   // "Выжигание по дереву" (wood_cl)
  void OpenSettings();      // "Настройка" (settings_cl)
  void ShowAbout();         // "О программе" (about_cl)

  SettingsStore& settings_;
  Link& link_;
  QMdiArea* area_;
  std::map<QString, QPointer<QMdiSubWindow>> children_;
  QPointer<QWidget> positioning_;
  QPointer<ConnectivityWindow> connectivity_;
  bool unloaded_ = false;
};

}  // namespace vertolin
