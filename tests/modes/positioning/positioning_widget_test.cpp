#include "modes/positioning/positioning_widget.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "link/handshake.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "link/window_link.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

class PositioningControlsTest : public ::testing::Test {
 protected:
  template <class T>
  static T* Find(QWidget& controls, const char* name) {
    return controls.findChild<T*>(QString::fromLatin1(name));
  }
  static bool Enabled(QWidget& controls, const char* name) {
    return Find<QWidget>(controls, name)->isEnabled();
  }
  static void MoveBy(QWidget& controls, const char* x, const char* y, const char* z) {
    Find<QLineEdit>(controls, "tx")->setText(QString::fromUtf8(x));
    Find<QLineEdit>(controls, "ty")->setText(QString::fromUtf8(y));
    Find<QLineEdit>(controls, "tz")->setText(QString::fromUtf8(z));
    QTest::mouseClick(Find<QPushButton>(controls, "Command3"), Qt::LeftButton);
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
};

TEST_F(PositioningControlsTest, FailedHandshakeDisablesTheWindowsDriveControls) {
  const HandshakeResult silent = JudgeFirmwareReply("", "MT");
  const HandshakeResult open = JudgeFirmwareReply("MT", "MT");
  struct Row {
    const LinkFormat* format;
    bool withReturn;
    bool returnStaysEnabled;
  };
  for (const Row row :
       {Row{&formats::kRouter, true, false}, Row{&formats::kOutlining, true, false},
        Row{&formats::kCutting, true, false}, Row{&formats::kGradation, true, true},
        Row{&formats::kWoodBurning, true, true}, Row{&formats::kScanner, false, false}}) {
    SCOPED_TRACE(row.format->kind);
    WindowLink windowLink(link_, *row.format);
    PositioningControls controls(windowLink, QStringLiteral("Гравировать"), row.withReturn);
    EXPECT_EQ(controls.returnSwitch() != nullptr, row.withReturn);

    controls.ApplyHandshake(silent);
    EXPECT_EQ(Find<QLabel>(controls, "Label4")->text(), QStringLiteral("Обновите прошивку"));
    EXPECT_FALSE(Enabled(controls, "Check1"));
    EXPECT_FALSE(Enabled(controls, "Command3"));
    EXPECT_TRUE(Enabled(controls, "Command9"));
    EXPECT_TRUE(Enabled(controls, "tx"));
    if (row.withReturn) {
      EXPECT_EQ(Enabled(controls, "Check2"), row.returnStaysEnabled);
    }

    // Opened again with the right board: everything usable, Check1 clear.
    controls.driveSwitch()->setChecked(true);
    controls.ApplyHandshake(open);
    EXPECT_EQ(Find<QLabel>(controls, "Label4")->text(), QStringLiteral("Com-порт открыт"));
    EXPECT_TRUE(Enabled(controls, "Check1"));
    EXPECT_TRUE(Enabled(controls, "Command3"));
    if (row.withReturn) {
      EXPECT_TRUE(Enabled(controls, "Check2"));
    }
    EXPECT_FALSE(controls.DriveOn());
  }
}

TEST_F(PositioningControlsTest, AnExplicitRowOverridesTheFlavours) {
  WindowLink windowLink(link_, formats::kRouter);
  PositioningControls controls(windowLink, QStringLiteral("Фрезеровать"), true);
  controls.ApplyHandshake(JudgeFirmwareReply("PT", "MT"), DriveControls{true, false, false});
  EXPECT_EQ(Find<QLabel>(controls, "Label4")->text(), QStringLiteral("Некорректная прошивка"));
  EXPECT_FALSE(Enabled(controls, "Check1"));
  EXPECT_TRUE(Enabled(controls, "Check2"));
  EXPECT_TRUE(Enabled(controls, "Command3"));
}

TEST_F(PositioningControlsTest, SwitchesFeedTheWindowLink) {
  WindowLink windowLink(link_, formats::kOutlining);
  PositioningControls controls(windowLink, QStringLiteral("Гравировать"), true);
  EXPECT_FALSE(windowLink.DriveOn());
  EXPECT_FALSE(controls.ReturnToStart());
  QTest::mouseClick(controls.driveSwitch(), Qt::LeftButton);
  EXPECT_TRUE(windowLink.DriveOn());
  EXPECT_TRUE(controls.DriveOn());
  controls.returnSwitch()->setChecked(true);
  EXPECT_TRUE(controls.ReturnToStart());
  controls.driveSwitch()->setChecked(false);
  EXPECT_FALSE(windowLink.DriveOn());
}

TEST_F(PositioningControlsTest, ManualMoveChecksTheFieldsThenCallsTheHandler) {
  WindowLink windowLink(link_, formats::kRouter);
  PositioningControls controls(windowLink, QStringLiteral("Фрезеровать"), true);
  std::vector<std::array<double, 3>> calls;
  controls.SetManualMoveHandler([&](double x, double y, double z) { calls.push_back({x, y, z}); });
  MoveBy(controls, "1,5", "-2", "0");
  MoveBy(controls, "", "1", "1");
  MoveBy(controls, "1", "x", "1");
  MoveBy(controls, "1", "1", ",");
  EXPECT_EQ(calls, (std::vector<std::array<double, 3>>{{1.5, -2, 0}}));
  ASSERT_EQ(frontend_.messages.size(), 3u);
  EXPECT_EQ(frontend_.messages[0].text, "Введите число в поле для перемещения по 1-ой оси!");
  EXPECT_EQ(frontend_.messages[1].text, "Введите число в поле для перемещения по 2-ой оси!");
  EXPECT_EQ(frontend_.messages[2].text, "Введите число в поле для перемещения по 3-ей оси!");
  EXPECT_EQ(frontend_.messages[2].title, "Ошибка");
}

TEST_F(PositioningControlsTest, DefaultMoveGoesNowAndSurvivesAStop) {
  auto port = std::make_unique<SimPort>(SimulatedBoard('P'));
  SimulatedBoard& board = port->board();
  link_.Attach(std::move(port));
  WindowLink windowLink(link_, formats::kGradation);
  PositioningControls controls(windowLink, QStringLiteral("Гравировать"), true);
  controls.driveSwitch()->setChecked(true);
  // The laser has no Z: its field is not asked for, and a third field would
  // burn along the move.
  EXPECT_FALSE(Enabled(controls, "tz"));
  MoveBy(controls, "1", "2", "");
  MoveBy(controls, "1", "2", "3");
  ASSERT_EQ(board.Record().size(), 2u);
  EXPECT_EQ(board.Record()[0].text, "200,400,0;");
  EXPECT_EQ(board.Record()[1].text, "200,400,0;");
  EXPECT_FALSE(board.Record()[1].laserOn);
  EXPECT_EQ(link_.machine().position()[2], 0);

  // "Стоп" while idle: the next move is sent, its wait ends with LinkError,
  // which the controls swallow.
  QTest::mouseClick(Find<QPushButton>(controls, "Command9"), Qt::LeftButton);
  EXPECT_TRUE(link_.StopRequested());
  MoveBy(controls, "0", "1", "");
  ASSERT_EQ(board.Record().size(), 3u);
  EXPECT_EQ(board.Record()[2].text, "0,200,0;");
  EXPECT_TRUE(frontend_.messages.empty());
}

}  // namespace
}  // namespace vertolin
