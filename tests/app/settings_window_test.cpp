#include "app/settings_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QVariant>
#include <filesystem>
#include <memory>
#include <utility>

#include "app/app_test_support.h"
#include "settings/machine_profile.h"
#include "app/main_window.h"
#include "settings/settings_store.h"
#include "link/link.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace vertolin {
namespace {

class SettingsWindowTest : public ::testing::Test {
 protected:
  SettingsWindowTest() {
    link_.wholeSeconds = [s = std::int64_t{0}]() mutable { return s++; };
  }

  template <typename T = QWidget>
  T* Get(const char* name) {
    T* widget = window_.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* Field(const char* name) { return Get<QLineEdit>(name); }
  void Click(const char* name) { QTest::mouseClick(Get<QPushButton>(name), Qt::LeftButton); }

  char BoardKind() {
    auto* port = dynamic_cast<SimPort*>(link_.port());
    return port ? port->board().kind() : '\0';
  }
  std::filesystem::path File() const { return folder_.path() / "cnc.ini"; }

  test::TempFolder folder_;
  test::RecordingFrontend frontend_;
  SettingsStore settings_{folder_.path() / "cnc.ini", frontend_};
  Link link_{frontend_};
  SettingsWindow window_{link_, settings_};
};

TEST_F(SettingsWindowTest, ShowsItsControlsByName) {
  EXPECT_EQ(window_.objectName(), QStringLiteral("Form4"));
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("Настройка и калибровка"));
  const std::pair<const char*, const char*> captions[] = {
      {"Frame1", "Виртуальный COM-порт"},
      {"Frame2", "Перемещение в мм, соответствующее одному шагу ШД"},
      {"Frame3", "Задержка между шагами при холостом ходе"},
      {"Frame4", "Скорость"},
      {"Label1", "микросекунд"},
      {"Label2", "X:"},
      {"Label3", "Y:"},
      {"Label4", "Z:"},
      {"Label5", "бод"},
      {"Label6",
       "\"Оптимизация\" означает режим, при котором следующая команда посылается не дожидаясь "
       "окончания текущей. Даёт выигрыш в скорости. На некоторых Arduino ведёт себя "
       "непредсказуемо."},
      {"Check1", "Оптимизация"},
      {"Command1", "ОК"},
      {"Command2", "Отмена"},
      {"Command3", "Проверить соединение"}};
  for (const auto& [name, caption] : captions) {
    const QWidget* widget = Get(name);
    const QVariant title = widget->property("title");
    EXPECT_EQ((title.isValid() ? title : widget->property("text")).toString(),
              QString::fromUtf8(caption))
        << name;
  }
  EXPECT_TRUE(Get<QComboBox>("Combo1")->isEditable());
  for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text5"}) Field(name);
}

TEST_F(SettingsWindowTest, LoadShowsTheProfileInUseNotTheFile) {
  settings_.WriteSetting("SM_X_ratio", "0.5");
  link_.profile().xRatio = 0.005;
  link_.profile().yRatio = -0.01;
  link_.profile().zRatio = 0.0025;
  link_.profile().idleDelay = 1500;
  link_.profile().optim = 1;
  link_.profile().port = "sim:B";
  link_.profile().baud = 57600;
  window_.Load();
  window_.Load();  // every opening loads again: the list must not grow

  EXPECT_EQ(Field("Text1")->text(), QStringLiteral("0,005"));
  EXPECT_EQ(Field("Text2")->text(), QStringLiteral("-0,01"));
  EXPECT_EQ(Field("Text3")->text(), QStringLiteral("0,0025"));
  EXPECT_EQ(Field("Text5")->text(), QStringLiteral("1500"));
  EXPECT_EQ(Field("Text4")->text(), QStringLiteral("sim:B"));
  EXPECT_TRUE(Get<QCheckBox>("Check1")->isChecked());
  auto* combo = Get<QComboBox>("Combo1");
  EXPECT_EQ(combo->currentText(), QStringLiteral("57600"));
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  EXPECT_EQ(items,
            QStringList({"4800", "9600", "14400", "19200", "28800", "38400", "57600", "115200"}));

  // Only 1 means optimised; a speed outside the list is shown as it is.
  link_.profile().optim = 2;
  link_.profile().baud = 250000;
  window_.Load();
  EXPECT_FALSE(Get<QCheckBox>("Check1")->isChecked());
  EXPECT_EQ(combo->currentText(), QStringLiteral("250000"));
}

TEST_F(SettingsWindowTest, OkReconnectsReplacesTheProfileAndWritesItAsTyped) {
  window_.Load();
  window_.show();
  Field("Text1")->setText(QStringLiteral("0.01"));  // pasted, so the period stays
  Field("Text2")->clear();
  QTest::keyClicks(Field("Text2"), "0.02a");  // typed: the field filter makes it "0,02"
  Field("Text3")->setText(QStringLiteral("-0,005"));
  Field("Text5")->setText(QStringLiteral("3000"));
  Field("Text4")->setText(QStringLiteral("sim:P"));
  Get<QComboBox>("Combo1")->setCurrentText(QStringLiteral("115200"));
  Get<QCheckBox>("Check1")->setChecked(true);
  Click("Command1");

  EXPECT_TRUE(frontend_.messages.empty());  // no report on "ОК"
  EXPECT_TRUE(window_.isHidden());
  EXPECT_EQ(BoardKind(), 'P');
  const MachineProfile& now = link_.profile();
  EXPECT_DOUBLE_EQ(now.xRatio, 0.01);
  EXPECT_DOUBLE_EQ(now.yRatio, 0.02);
  EXPECT_DOUBLE_EQ(now.zRatio, -0.005);
  EXPECT_EQ(now.idleDelay, 3000);
  EXPECT_EQ(now.optim, 1);
  EXPECT_EQ(now.port, "sim:P");
  EXPECT_EQ(now.baud, 115200);

  const std::string file = test::ReadBytes(File());
  const char* lines[] = {"SM_X_ratio=0.01\r\n", "SM_Y_ratio=0,02\r\n", "SM_Z_ratio=-0,005\r\n",
                         "SM_delay=3000\r\n",   "SM_optim=1\r\n",      "port=sim:P\r\n",
                         "speed=115200"};
  std::size_t at = 0;
  for (const char* line : lines) {
    const std::size_t found = file.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " in order in\n" << file;
    at = found;
  }

  // The next start reads the lines back under the keys Port and speed.
  const MachineProfile next = LoadMachineProfile(settings_, frontend_);
  EXPECT_EQ(next.port, "sim:P");
  EXPECT_EQ(next.baud, 115200);
  EXPECT_DOUBLE_EQ(next.xRatio, 0.01);
  EXPECT_EQ(next.optim, 1);
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(SettingsWindowTest, OkStoresTheValuesEvenWhenThePortFails) {
  window_.Load();
  const std::string missing = (folder_.path() / "ttyUSB9").string();
  Field("Text4")->setText(QString::fromStdString(missing));
  Click("Command1");
  EXPECT_FALSE(link_.PortOpen());
  ASSERT_EQ(frontend_.messages.size(), 1u);  // the port's own message, no report
  EXPECT_EQ(frontend_.messages[0].title, "Vertolin");
  EXPECT_EQ(link_.profile().port, missing);
  EXPECT_EQ(settings_.ReadSetting("Port", ""), missing);
}

// "Отмена" after checking another port goes back to the profile's: the
// windows must not go on talking to a board the settings do not name.
TEST_F(SettingsWindowTest, CancelStoresNothingAndGoesBackToTheProfilesPort) {
  link_.profile().port = "sim:M";
  link_.Attach(std::make_unique<SimPort>(SimulatedBoard('M')));
  window_.Load();
  window_.show();
  Field("Text4")->setText(QStringLiteral("sim:S"));
  Field("Text1")->setText(QStringLiteral("0,5"));
  // While the check waits for the board, the window says which port it
  // checks and takes no other click.
  QStringList during;
  frontend_.onEvents = [&] {
    during << Get<QLabel>("checkState")->text();
    for (const char* name : {"Command1", "Command2", "Command3"}) {
      EXPECT_FALSE(Get<QPushButton>(name)->isEnabled()) << name;
    }
  };
  Click("Command3");
  frontend_.onEvents = nullptr;
  ASSERT_FALSE(during.isEmpty());
  EXPECT_EQ(during.front(), QStringLiteral("Проверка связи: порт sim:S, ждём ответа платы…"));
  EXPECT_EQ(Get<QLabel>("checkState")->text(), QStringLiteral("Порт sim:S: плата ответила"));
  EXPECT_TRUE(Get<QPushButton>("Command3")->isEnabled());
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Проверка соединения");
  EXPECT_EQ(frontend_.messages[0].text, "Com-порт открыт");

  Click("Command2");
  EXPECT_TRUE(window_.isHidden());
  EXPECT_FALSE(std::filesystem::exists(File()));
  EXPECT_EQ(link_.profile().port, "sim:M");
  EXPECT_DOUBLE_EQ(link_.profile().xRatio, 0.005);
  EXPECT_EQ(BoardKind(), 'M');
}

TEST_F(SettingsWindowTest, FieldThatIsNoNumberIsRefusedByName) {
  link_.Attach(std::make_unique<SimPort>(SimulatedBoard('M')));
  SerialPort* before = link_.port();
  window_.Load();
  window_.show();
  Field("Text4")->setText(QStringLiteral("sim:S"));
  Field("Text2")->setText(QStringLiteral("abc"));
  Click("Command1");

  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_NE(frontend_.messages[0].text.find("«Y:»"), std::string::npos);
  EXPECT_FALSE(window_.isHidden());
  EXPECT_FALSE(std::filesystem::exists(File()));
  EXPECT_EQ(link_.port(), before);  // no reconnection either
  EXPECT_EQ(link_.profile().port, "com1");

  // A speed that is no number is refused the same way.
  Field("Text2")->setText(QStringLiteral("0,005"));
  Get<QComboBox>("Combo1")->setCurrentText(QStringLiteral("9600 бод"));
  Click("Command1");
  ASSERT_EQ(frontend_.messages.size(), 2u);
  EXPECT_NE(frontend_.messages[1].text.find("«бод»"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(SettingsWindowTest, PortMenuFillsThePortField) {
  window_.Load();
  auto* menu = Get<QMenu>("PortMenu");
  emit menu->aboutToShow();
  emit menu->aboutToShow();  // filled afresh each time, not appended
  QAction* sim = nullptr;
  int sims = 0;
  for (QAction* action : menu->actions()) {
    if (!action->text().startsWith(QStringLiteral("sim:"))) continue;
    ++sims;
    if (action->text().startsWith(QStringLiteral("sim:O"))) sim = action;
  }
  EXPECT_EQ(sims, 5);
  ASSERT_NE(sim, nullptr);
  sim->trigger();
  EXPECT_EQ(Field("Text4")->text(), QStringLiteral("sim:O"));
}

TEST_F(SettingsWindowTest, InsideTheMainWindowClosingHidesItsFrame) {
  MainWindow main(settings_, link_);
  main.findChild<QAction*>(QStringLiteral("settings_cl"))->trigger();
  auto* child = main.Child(QStringLiteral("settings_cl"));
  ASSERT_NE(child, nullptr);
  QMdiSubWindow* frame = main.area()->subWindowList().value(0);
  ASSERT_NE(frame, nullptr);
  child->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("7"));
  QTest::mouseClick(child->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
  EXPECT_TRUE(frame->isHidden());

  // Opened again, it shows the profile again, not what was left typed.
  main.findChild<QAction*>(QStringLiteral("settings_cl"))->trigger();
  EXPECT_FALSE(frame->isHidden());
  EXPECT_EQ(child->findChild<QLineEdit*>(QStringLiteral("Text1"))->text(), QStringLiteral("0,005"));
}

#ifndef _WIN32
TEST_F(SettingsWindowTest, LineLostDuringTheCheckStaysInsideTheWindow) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  bool hungUp = false;
  // Once the port is open: the window lets events run before it opens it.
  frontend_.onEvents = [&] {
    if (hungUp || !link_.PortOpen()) return;
    ::close(master);
    hungUp = true;
  };
  window_.Load();
  window_.show();
  Field("Text4")->setText(QString::fromStdString(slave));
  Click("Command3");  // the LinkError must not reach the event loop

  EXPECT_TRUE(hungUp);
  EXPECT_TRUE(link_.StopRequested());
  ASSERT_FALSE(frontend_.messages.empty());
  EXPECT_EQ(frontend_.messages.back().text, texts::kReadError);
  EXPECT_FALSE(window_.isHidden());
  frontend_.onEvents = nullptr;
  if (!hungUp) ::close(master);
}
#endif

}  // namespace
}  // namespace vertolin
