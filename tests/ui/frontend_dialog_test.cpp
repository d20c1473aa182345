#include "ui/frontend_dialog.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QStatusBar>

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

}  // namespace
}  // namespace vertolin
