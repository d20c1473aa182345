#include "ui/job_host_widget.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "jobs/job_estimate.h"
#include "ui/frontend_dialog.h"

namespace vertolin {
namespace {

// 100 lines of one second each.
JobEstimate Estimate() {
  JobEstimator estimator(1000, 0);
  for (int i = 0; i < 100; ++i) estimator.Written({MotionKind::Travel, {1000, 0, 0}, 0}, "1000;");
  return estimator.estimate();
}

// The bar's times are the window's own: they run on while the board works on
// one long line (no report comes), and the time in a dialog is not the job's.
TEST(JobHostTest, TheTimesRunBetweenReportsAndLeaveOutDialogs) {
  QWidget window;
  JobHost host(nullptr);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(host.bar());
  window.resize(600, 60);
  window.show();
  const auto shown = [&host] { return host.bar()->toolTip(); };
  host.Run(
      nullptr, [] { return std::optional<JobEstimate>(Estimate()); },
      [&] {
        EXPECT_EQ(shown(), QStringLiteral("строка 0 из 100, прошло 0:00, осталось 1:40"));
        QTest::qWait(1150);  // no report: the line is long
        EXPECT_TRUE(shown().contains(QStringLiteral("прошло 0:01"))) << shown().toStdString();
        {
          const JobHost::DialogTime question;
          QTest::qWait(1500);
        }
        JobProgress progress;
        progress.linesSent = 2;
        progress.acknowledged = 1;
        progress.elapsedSeconds = 2.7;  // the runner's clock, the question included
        JobHost::ShowProgress(progress);
        EXPECT_TRUE(shown().contains(QStringLiteral("прошло 0:01"))) << shown().toStdString();
        EXPECT_TRUE(shown().startsWith(QStringLiteral("строка 2 из 100")));
      });
  EXPECT_TRUE(host.bar()->isHidden());
}

// Whatever the bar's width, its text is one line that fits it; the whole
// text stays in the tool tip.
TEST(JobHostTest, TheProgressTextFitsTheBar) {
  JobProgress progress;
  progress.linesSent = 123456;
  progress.acknowledged = 123455;
  progress.elapsedSeconds = 4000;
  JobEstimate estimate = Estimate();
  estimate.lines = 999999;
  const std::vector<std::string> texts = ProgressTexts(progress, estimate);
  for (const int width : {800, 300, 200, 120, 60}) {
    SCOPED_TRACE(width);
    QProgressBar* bar = NewJobProgressBar();
    bar->resize(width, 24);
    ShowJobProgress(*bar, texts, 1, 2);
    const QString text = bar->format();
    EXPECT_LE(bar->fontMetrics().horizontalAdvance(text), bar->contentsRect().width());
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    if (width == 800) {
      EXPECT_EQ(text, QString::fromStdString(texts.front()));
    }
    EXPECT_EQ(bar->toolTip(), QString::fromStdString(texts.front()));
    HideJobProgress(*bar);
    DropJobProgressBar(bar);
  }
}

}  // namespace
}  // namespace vertolin
