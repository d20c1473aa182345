#include "modes/milling/interruption_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "settings/settings_store.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

class InterruptionDialogTest : public ::testing::Test {
 protected:
  InterruptionDialogTest() {
    auto port = std::make_unique<SimPort>(SimulatedBoard('M'));
    board_ = &port->board();
    link_.Attach(std::move(port));
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& command : board_->Record()) lines.push_back(command.text);
    return lines;
  }

  static void Click(QDialog& dialog, const char* name) {
    dialog.findChild<QPushButton*>(QString::fromLatin1(name))->click();
  }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};
  SimulatedBoard* board_ = nullptr;
};

TEST_F(InterruptionDialogTest, RaiseAndLowerByTheDistanceThenGoOnHigher) {
  InterruptionDialog dialog(link_, settings_);
  dialog.Load();
  EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), QStringLiteral("10"));
  Click(dialog, "Command2");  // Поднять
  Click(dialog, "Command2");
  Click(dialog, "Command1");  // Опустить
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"0,0,2000,2000;", "0,0,2000,2000;", "0,0,-2000,2000;"}));
  EXPECT_EQ(board_->Position()[2], 2000);
  Click(dialog, "Command3");  // Продолжить
  EXPECT_EQ(dialog.result(), 1);
}

TEST_F(InterruptionDialogTest, DistanceComesFromAndGoesToTheSettings) {
  settings_.WriteSetting("mill_change_depth", "0");
  InterruptionDialog dialog(link_, settings_);
  dialog.Load();
  Click(dialog, "Command2");
  EXPECT_TRUE(Lines().empty());  // 0 mm sends nothing
  auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("Text1"));
  field->setText(QStringLiteral("abc"));
  Click(dialog, "Command1");
  EXPECT_TRUE(Lines().empty());
  ASSERT_EQ(frontend_.messages.size(), 1u);  // told, and the dialog stays usable
  field->setText(QStringLiteral("2,5"));
  Click(dialog, "Command1");
  EXPECT_EQ(Lines(), std::vector<std::string>{"0,0,-500,2000;"});
  Click(dialog, "Command4");  // Остановить
  EXPECT_EQ(dialog.result(), 0);
  dialog.Unload();
  EXPECT_EQ(settings_.ReadSetting("mill_change_depth", "10"), "2,5");
}

TEST_F(InterruptionDialogTest, ClosingByTheFrameMeansGoOn) {
  QTimer::singleShot(0, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QStringLiteral("Form7") && widget->isVisible()) widget->close();
    }
  });
  EXPECT_EQ(InterruptionDialog::Ask(link_, settings_, nullptr), 1);
  QTimer::singleShot(0, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QStringLiteral("Form7") && widget->isVisible()) {
        widget->findChild<QPushButton*>(QStringLiteral("Command4"))->click();
      }
    }
  });
  EXPECT_EQ(InterruptionDialog::Ask(link_, settings_, nullptr), 0);
}

}  // namespace
}  // namespace vertolin
