// The windows on the smallest screen they are used on, 1024 × 600: the main
// window with its status bar fits, and every control of every window can be
// brought into sight, where it does not fit, by a scroll bar.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

#include "app/main_window.h"
#include "jobs/job_estimate.h"
#include "link/link.h"
#include "modes/milling/interruption_dialog.h"
#include "modes/positioning/positioning_window.h"
#include "settings/settings_store.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"
#include "ui/firmware_warning_dialog.h"
#include "ui/frontend_dialog.h"

namespace vertolin {
namespace {

constexpr QSize kScreen(1024, 600);
// What a window system's frame takes of it.
constexpr QSize kFrame(16, 48);

// Whether `control` can be brought into sight inside `top`: every scroll area
// on the way can scroll to it, and nothing else clips it.
bool Reachable(const QWidget* control, const QWidget* top, QString* why) {
  QRect rect = control->rect();
  const QWidget* widget = control;
  while (widget != top) {
    const QWidget* parent = widget->parentWidget();
    if (parent == nullptr) return false;
    rect.translate(widget->pos());
    const auto* area = qobject_cast<const QAbstractScrollArea*>(parent->parentWidget());
    if (area != nullptr && area->viewport() == parent) {
      const QScrollBar* across = area->horizontalScrollBar();
      const QScrollBar* down = area->verticalScrollBar();
      const QRect scrollable(-across->value(), -down->value(), parent->width() + across->maximum(),
                             parent->height() + down->maximum());
      if (!scrollable.contains(rect)) {
        *why = QStringLiteral("beyond the scroll range of ") + area->objectName();
        return false;
      }
      // Scrolled to, it lies inside the viewport, as much of it as fits.
      rect = QRect(QPoint(0, 0), rect.size().boundedTo(parent->size()));
    } else if (!parent->rect().contains(rect)) {
      *why = QStringLiteral("cut off by ") + parent->metaObject()->className() + QLatin1Char(' ') +
             parent->objectName();
      return false;
    }
    widget = parent;
  }
  return true;
}

// Every control of `window` that is shown, each reachable inside `top`.
void ExpectReachable(const QWidget& window, const QWidget& top) {
  int controls = 0;
  for (const QWidget* child : window.findChildren<QWidget*>()) {
    const bool control = qobject_cast<const QAbstractButton*>(child) ||
                         qobject_cast<const QLineEdit*>(child) ||
                         qobject_cast<const QComboBox*>(child) ||
                         qobject_cast<const QTreeWidget*>(child);
    if (!control || !child->isVisibleTo(&top)) continue;
    // A combo box's own line edit is the combo box's.
    if (qobject_cast<const QComboBox*>(child->parentWidget())) continue;
    ++controls;
    // Nor squeezed below what it needs to show its text (a word-wrapped
    // label's height for its width lets a column give up a few pixels).
    constexpr int kGiven = 5;
    EXPECT_GE(child->height() + kGiven,
              std::min(child->sizeHint().height(), child->minimumSizeHint().height()))
        << window.objectName().toStdString() << "." << child->objectName().toStdString();
    QString why;
    EXPECT_TRUE(Reachable(child, &top, &why))
        << window.objectName().toStdString() << "." << child->objectName().toStdString() << " ("
        << child->metaObject()->className() << "): " << why.toStdString();
  }
  EXPECT_GT(controls, 0) << window.objectName().toStdString();
}

class SmallScreenTest : public ::testing::Test {
 protected:
  SmallScreenTest() {
    link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
    settings_.WriteSetting("Port", "sim:P");
  }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};
};

// At its start the main window takes 1280 × 720 where the screen has room,
// else what the screen has less the frame, status bar included.
TEST_F(SmallScreenTest, TheMainWindowFitsTheScreen) {
  MainWindow window(settings_, link_);
  window.Load();
  const QRect room = window.screen()->availableGeometry();
  EXPECT_EQ(window.size(), QSize(1280, 720).boundedTo(room.size() - kFrame));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_TRUE(room.contains(window.geometry()))
      << room.x() << "," << room.y() << " " << room.width() << "x" << room.height() << " / "
      << window.geometry().x() << "," << window.geometry().y() << " " << window.width() << "x"
      << window.height();
  EXPECT_TRUE(window.statusBar()->isVisible());
  EXPECT_TRUE(window.rect().contains(window.statusBar()->geometry()));
}

// Every mode window opened from the menu inside a main window of 1024 × 600:
// its controls are in sight or within the area's scroll bars, and a job's
// progress text fits its bar on one line.
TEST_F(SmallScreenTest, EveryControlOfEveryWindowIsReachable) {
  MainWindow window(settings_, link_);
  window.Load();
  window.resize(kScreen - kFrame);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  JobProgress progress;
  progress.linesSent = 123456;
  progress.acknowledged = 123455;
  progress.elapsedSeconds = 3725;
  JobEstimate estimate;
  estimate.lines = 999999;
  estimate.stepSeconds = 36000;
  const std::vector<std::string> texts = ProgressTexts(progress, estimate);

  for (const char* entry :
       {"mill_cl", "scanner_cl", "etching_cl", "etching2_cl", "pic_cl", "wood_cl", "settings_cl"}) {
    SCOPED_TRACE(entry);
    for (QMdiSubWindow* sub : window.area()->subWindowList()) sub->close();
    window.findChild<QAction*>(QString::fromLatin1(entry))->trigger();
    QWidget* child = window.Child(QString::fromLatin1(entry));
    ASSERT_NE(child, nullptr);
    if (auto* bar = child->findChild<QProgressBar*>(QStringLiteral("jobProgress"))) {
      ShowJobProgress(*bar, texts, progress.linesSent, estimate.lines);
    }
    QApplication::processEvents();
    ExpectReachable(*child, window);
    if (auto* bar = child->findChild<QProgressBar*>(QStringLiteral("jobProgress"))) {
      EXPECT_LE(bar->fontMetrics().horizontalAdvance(bar->format()), bar->contentsRect().width());
      EXPECT_GE(bar->width(), 150);  // room for more than the time left
      HideJobProgress(*bar);
    }
  }

  // "Связность" opens over the area, not over the menu, and Escape closes it.
  window.findChild<QAction*>(QStringLiteral("link_cl"))->trigger();
  QWidget* connectivity = window.Child(QStringLiteral("link_cl"));
  ASSERT_NE(connectivity, nullptr);
  ASSERT_TRUE(connectivity->isVisible());
  const QPoint menuBottom = window.menuBar()->mapToGlobal(window.menuBar()->rect().bottomLeft());
  EXPECT_GT(connectivity->geometry().top(), menuBottom.y());
  EXPECT_TRUE(QRect(window.mapToGlobal(QPoint(0, 0)), window.size())
                  .contains(connectivity->frameGeometry()));
  ExpectReachable(*connectivity, *connectivity);
  QTest::keyClick(connectivity, Qt::Key_Escape);
  EXPECT_FALSE(connectivity->isVisible());
}

// The dialogs: no larger than the screen, every control inside.
TEST_F(SmallScreenTest, TheDialogsFitTheScreen) {
  PositioningWindow positioning(link_, settings_);
  InterruptionDialog interruption(link_, settings_);
  FirmwareWarningDialog firmware("");
  for (QWidget* dialog : std::initializer_list<QWidget*>{&positioning, &interruption, &firmware}) {
    SCOPED_TRACE(dialog->metaObject()->className());
    dialog->adjustSize();
    dialog->show();
    QApplication::processEvents();
    EXPECT_LE(dialog->width(), kScreen.width() - kFrame.width());
    EXPECT_LE(dialog->height(), kScreen.height() - kFrame.height());
    ExpectReachable(*dialog, *dialog);
    dialog->hide();
  }
}

}  // namespace
}  // namespace vertolin
