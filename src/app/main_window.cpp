#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>

#include "app/settings_window.h"
#include "link/link.h"
#include "link/link_format.h"
#include "modes/connectivity/connectivity_window.h"
#include "modes/cutting/cutting_window.h"
#include "modes/engraving/engraving_window.h"
#include "modes/milling/milling_window.h"
#include "modes/outlining/outlining_window.h"
#include "modes/positioning/positioning_window.h"
#include "modes/scanner/scanner_window.h"
#include "settings/machine_profile.h"
#include "settings/settings_store.h"
#include "ui/mode_window.h"

namespace vertolin {

MainWindow::MainWindow(SettingsStore& settings, Link& link, QWidget* parent)
    : QMainWindow(parent), settings_(settings), link_(link), area_(new QMdiArea(this)) {
  setObjectName(QStringLiteral("MDIForm1"));
  area_->setObjectName(QStringLiteral("MDIClient"));
  // On a small screen a window larger than the area is reached by scrolling.
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(area_);
  // There from the start, so that the window's size at its start holds it.
  statusBar();

  QMenuBar* bar = menuBar();
  connect(AddEntry(bar, "hand_cl", QStringLiteral("Ручное перемещение ")), &QAction::triggered,
          this, &MainWindow::OpenPositioning);
  connect(AddEntry(bar, "mill_cl", QStringLiteral("Фрезеровка")), &QAction::triggered, this,
          &MainWindow::OpenMilling);
  connect(AddEntry(bar, "scanner_cl", QStringLiteral("Сканер")), &QAction::triggered, this,
          &MainWindow::OpenScanner);
  auto* etching = new QMenu(QStringLiteral("Лазерная гравировка"), bar);
  etching->setObjectName(QStringLiteral("etching_m"));
  bar->addMenu(etching);
  connect(AddEntry(etching, "etching_cl", QStringLiteral("Градации / картины")),
          &QAction::triggered, this, &MainWindow::OpenGradation);
  connect(AddEntry(etching, "etching2_cl", QStringLiteral("Орнаменты / силуэты")),
          &QAction::triggered, this, &MainWindow::OpenOutlining);
  connect(AddEntry(etching, "pic_cl", QStringLiteral("Обработка рисунка")), &QAction::triggered,
          this, &MainWindow::OpenCutting);
  connect(AddEntry(bar, "link_cl", QStringLiteral("Связность")), &QAction::triggered, this,
          &MainWindow::OpenConnectivity);
  connect(AddEntry(bar, "wood_cl", QStringLiteral("Выжигание по дереву")), &QAction::triggered,
          this, &MainWindow::OpenWoodBurning);
  connect(AddEntry(bar, "settings_cl", QStringLiteral("Настройка")), &QAction::triggered, this,
          &MainWindow::OpenSettings);
  connect(AddEntry(bar, "about_cl", QStringLiteral("О программе")), &QAction::triggered, this,
          &MainWindow::ShowAbout);
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::AddEntry(QWidget* menu, const char* name, const QString& caption) {
  auto* action = new QAction(caption, menu);
  action->setObjectName(name);
  menu->addAction(action);
  return action;
}

void MainWindow::Load() {
  setWindowTitle(QStringLiteral("Vertolin   ver. ") + QStringLiteral(VERTOLIN_VERSION));
  link_.profile() = LoadMachineProfile(settings_, link_.frontend());
  link_.Open();  // a failure has told the person; the program goes on without a port
  // 1280 × 720 where the screen has room, else the screen's free area less
  // the window system's frame, so that the status bar stays in sight.
  QSize size(1280, 720);
  if (const QScreen* shown = screen()) {
    const QRect room = shown->availableGeometry();
    constexpr int kFrameWidth = 16;
    constexpr int kFrameHeight = 48;
    size = size.boundedTo(room.size() - QSize(kFrameWidth, kFrameHeight));
    move(room.topLeft());
  }
  resize(size);
}

QWidget* MainWindow::Child(const QString& menuName) const {
  if (menuName == QStringLiteral("hand_cl")) return positioning_;
  if (menuName == QStringLiteral("link_cl")) return connectivity_.data();
  const auto found = children_.find(menuName);
  if (found == children_.end() || found->second.isNull()) return nullptr;
  return found->second->widget();
}

void MainWindow::OpenChild(const QString& menuName, const Factory& create, bool focus) {
  QPointer<QMdiSubWindow>& sub = children_[menuName];
  auto* window = sub ? static_cast<ModeWindow*>(sub->widget()) : nullptr;
  if (window == nullptr) {
    window = create();
    sub = area_->addSubWindow(window);
    // As large as it asks, within the area where that has room; a window
    // that cannot be made that small is scrolled to.
    sub->resize(
        sub->sizeHint().boundedTo(area_->viewport()->size()).expandedTo(sub->minimumSizeHint()));
    // The window lives for the whole run: closing only hides it, so that a
    // job running inside it never loses the object it runs in.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    window->Load();
  } else if (sub->isHidden()) {
    window->Load();
  }
  // Inside the area nothing else keeps a window from being made smaller than
  // its controls need, which squeezes them: its layout does (ModeWindow keeps
  // the frame to it), and the area scrolls instead.
  if (QLayout* layout = window->layout()) {
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->activate();
  }
  window->show();
  sub->show();
  if (focus) {
    area_->setActiveSubWindow(sub);
    window->setFocus();
  }
}

void MainWindow::OpenMilling() {
  OpenChild(QStringLiteral("mill_cl"), [this] { return new MillingWindow(link_, settings_); });
}

void MainWindow::OpenScanner() {
  OpenChild(QStringLiteral("scanner_cl"), [this] { return new ScannerWindow(link_, settings_); });
}

void MainWindow::OpenOutlining() {
  OpenChild(QStringLiteral("etching2_cl"),
            [this] { return new OutliningWindow(link_, settings_); });
}

void MainWindow::OpenGradation() {
  OpenChild(QStringLiteral("etching_cl"),
            [this] { return new EngravingWindow(link_, settings_, formats::kGradation); });
}

void MainWindow::OpenCutting() {
  OpenChild(QStringLiteral("pic_cl"), [this] { return new CuttingWindow(link_, settings_); });
}

void MainWindow::OpenWoodBurning() {
  OpenChild(QStringLiteral("wood_cl"),
            [this] { return new EngravingWindow(link_, settings_, formats::kWoodBurning); });
}

void MainWindow::OpenSettings() {
  OpenChild(QStringLiteral("settings_cl"), [this] { return new SettingsWindow(link_, settings_); });
}

void MainWindow::OpenPositioning() {
  auto* dialog = qobject_cast<PositioningWindow*>(positioning_.data());
  if (dialog == nullptr) {
    dialog = new PositioningWindow(link_, settings_, this);
    positioning_ = dialog;
  }
  dialog->Load();
  dialog->exec();
}

void MainWindow::OpenConnectivity() {
  if (connectivity_.isNull()) {
    connectivity_ = new ConnectivityWindow(link_.frontend(), this);
    // A window of its own over the main one, first placed inside its area rather
    // than over its menu.
    connectivity_->setWindowFlags(Qt::Dialog);
    constexpr int kInset = 24;
    connectivity_->move(area_->mapToGlobal(QPoint(kInset, kInset)));
    connectivity_->Load();
  }
  connectivity_->show();
  connectivity_->raise();
  connectivity_->activateWindow();
}

void MainWindow::ShowAbout() {
  QMessageBox::about(
      this, QStringLiteral("О программе"),
      QStringLiteral("Vertolin, версия ") + QStringLiteral(VERTOLIN_VERSION) +
          QStringLiteral("\n\nУправление трёхкоординатным станком с платой Ардуино: "
                         "фрезеровка, лазерная гравировка, выжигание, резка по рисунку "
                         "и сканирование поверхности."));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!unloaded_) {
    unloaded_ = true;
    // Waits still on the stack end with the program instead of waiting for a
    // board; the children save their settings before the port goes.
    link_.SetClosing(true);
    for (auto& [name, sub] : children_) {
      if (sub && !sub->isHidden()) sub->close();
    }
    if (connectivity_) connectivity_->close();
    link_.Close();
  }
  event->accept();
}

}  // namespace vertolin
