#include "ui/frontend_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

namespace vertolin {
namespace {

TEST(DialogFrontendTest, JobProgressAndTheSilentBoardShareTheStatusBar) {
  QMainWindow window;
  DialogFrontend frontend;
  frontend.Attach(&window);
  JobProgress progress;
  progress.linesSent = 120;
  progress.elapsedSeconds = 75;
  frontend.ShowProgress(progress);
  EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("строка 120, прошло 1:15"));
  progress.finished = true;
  progress.linesSent = 130;
  frontend.ShowProgress(progress);  // the end stays shown
  EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("строка 130, прошло 1:15"));
  frontend.ShowStatus("");
  EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());
}

// The machine's position stays on the right of the status bar beside the
// messages, one label however often it changes.
TEST(DialogFrontendTest, ThePositionHasALabelOfItsOwn) {
  QMainWindow window;
  DialogFrontend frontend;
  frontend.Attach(&window);
  MachinePosition position;
  position.millimetres = {12.5, -0.001, -1};
  frontend.ShowPosition(position);
  position.laserOn = true;
  position.lastRunDry = true;
  frontend.ShowPosition(position);
  frontend.ShowStatus("Плата не отвечает");
  const auto labels = window.statusBar()->findChildren<QLabel*>(QStringLiteral("machinePosition"));
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0]->text(),
            QStringLiteral("X 12,50  Y 0,00  Z -1,00 мм · лазер вкл. · прогон без станка"));
  EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("Плата не отвечает"));
}

// The questions end "Да - …, Нет - …": their buttons read so, in any locale.
TEST(DialogFrontendTest, AQuestionsButtonsReadDaAndNet) {
  QMainWindow window;
  DialogFrontend frontend;
  frontend.Attach(&window);
  for (const bool yes : {true, false}) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      for (QAbstractButton* button : box->buttons()) texts << button->text();
      box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    EXPECT_EQ(frontend.AskYesNo("Внимание", "Остановить?"), yes);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
  }
}

}  // namespace
}  // namespace vertolin
