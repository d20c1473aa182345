#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>

#include "settings/settings_store.h"
#include "link/link.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};

  QAction* Entry(MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
  }
};

TEST_F(MainWindowTest, StartsWithCaptionSizeDefaultsAndNoFile) {
  MainWindow window(settings_, link_);
  window.Load();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Vertolin   ver. ") + VERTOLIN_VERSION);
  // 1280 × 720 where the screen has room (SmallScreenTest has the rest).
  if (window.screen()->availableGeometry().width() >= 1400) {
    EXPECT_EQ(window.size(), QSize(1280, 720));
  }
  EXPECT_EQ(link_.profile().port, "com1");
  EXPECT_EQ(link_.profile().baud, 9600);
  EXPECT_DOUBLE_EQ(link_.profile().xRatio, 0.005);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "cnc.ini"));
  // com1 does not exist here: the person was told, and the program goes on.
  EXPECT_FALSE(link_.PortOpen());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find("Порт com1 не найден."), std::string::npos);
}

TEST_F(MainWindowTest, MenuHasItsEntriesInOrder) {
  MainWindow window(settings_, link_);
  const char* names[] = {"hand_cl", "mill_cl", "scanner_cl", "etching_cl",  "etching2_cl",
                         "pic_cl",  "link_cl", "wood_cl",    "settings_cl", "about_cl"};
  for (const char* name : names) EXPECT_NE(Entry(window, name), nullptr) << name;
  EXPECT_EQ(Entry(window, "hand_cl")->text(), QStringLiteral("Ручное перемещение "));
  EXPECT_EQ(Entry(window, "etching2_cl")->text(), QStringLiteral("Орнаменты / силуэты"));
  EXPECT_TRUE(Entry(window, "settings_cl")->isEnabled());
  EXPECT_TRUE(Entry(window, "mill_cl")->isEnabled());
  EXPECT_TRUE(Entry(window, "etching2_cl")->isEnabled());
  EXPECT_TRUE(Entry(window, "scanner_cl")->isEnabled());
}

TEST_F(MainWindowTest, SecondChoiceBringsTheSameWindowForward) {
  settings_.WriteSetting("Port", "sim:M");
  MainWindow window(settings_, link_);
  window.Load();
  Entry(window, "settings_cl")->trigger();
  QWidget* first = window.Child(QStringLiteral("settings_cl"));
  ASSERT_NE(first, nullptr);
  Entry(window, "settings_cl")->trigger();
  EXPECT_EQ(window.Child(QStringLiteral("settings_cl")), first);
  EXPECT_EQ(window.area()->subWindowList().size(), 1);
  EXPECT_EQ(window.area()->activeSubWindow()->widget(), first);

  // Closed and chosen again, it is the same window, shown again.
  window.area()->activeSubWindow()->close();
  Entry(window, "settings_cl")->trigger();
  EXPECT_EQ(window.Child(QStringLiteral("settings_cl")), first);
  EXPECT_FALSE(first->isHidden());
}

TEST_F(MainWindowTest, ClosingEndsWaitsAndClosesThePort) {
  settings_.WriteSetting("Port", "sim:M");
  MainWindow window(settings_, link_);
  window.Load();
  ASSERT_TRUE(link_.PortOpen());
  window.close();
  EXPECT_FALSE(link_.PortOpen());
  EXPECT_TRUE(link_.Closing());
}

}  // namespace
}  // namespace vertolin
