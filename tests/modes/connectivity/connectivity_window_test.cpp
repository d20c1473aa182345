#include "modes/connectivity/connectivity_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "app/main_window.h"
#include "settings/settings_store.h"
#include "link/link.h"
#include "support/recording_frontend.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

class ConnectivityWindowTest : public ::testing::Test {
 protected:
  test::RecordingFrontend frontend_;
  ConnectivityWindow window_{frontend_};

  void Click(const char* name) {
    auto* button = window_.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QLineEdit* Field(const char* name) {
    return window_.findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  QString Number() { return Field("Text2")->text(); }
  QString List() { return Field("Text1")->text(); }
  void ShowNumber(const QString& text) {
    Field("Text2")->setText(text);
    Click("Command3");
  }
  std::vector<int> LitCells() {
    std::vector<int> lit;
    for (int k = 1; k <= 9; ++k) {
      if (window_.CellShownSet(k)) lit.push_back(k);
    }
    return lit;
  }
};

TEST_F(ConnectivityWindowTest, HasItsControlsAndA3By3GridOfCells) {
  EXPECT_EQ(window_.objectName(), QStringLiteral("Form10"));
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("Список связных"));
  EXPECT_EQ(Number(), QStringLiteral("Text2"));  // design text until the load
  EXPECT_EQ(List(), QString());
  const std::pair<const char*, const char*> buttons[] = {
      {"Command1", "Дальше"}, {"Command2", "Включить"}, {"Command3", "Показать"}};
  for (const auto& [name, caption] : buttons) {
    auto* button = window_.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), QString::fromUtf8(caption));
  }

  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  std::vector<QLabel*> cells;
  for (int k = 1; k <= 9; ++k) {
    auto* cell = window_.findChild<QLabel*>(QStringLiteral("Label1_%1").arg(k));
    ASSERT_NE(cell, nullptr) << k;
    EXPECT_EQ(cell->size(), QSize(25, 25));
    cells.push_back(cell);
  }
  // 1 2 3 / 4 5 6 / 7 8 9: rows share a top edge, columns a left edge.
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(cells[k]->y(), cells[k / 3 * 3]->y()) << k + 1;
    EXPECT_EQ(cells[k]->x(), cells[k % 3]->x()) << k + 1;
  }
  EXPECT_LT(cells[0]->x(), cells[1]->x());
  EXPECT_LT(cells[1]->x(), cells[2]->x());
  EXPECT_LT(cells[0]->y(), cells[3]->y());
  EXPECT_LT(cells[3]->y(), cells[6]->y());
}

TEST_F(ConnectivityWindowTest, NextAndIncludeFromAFreshWindow) {
  window_.Load();
  EXPECT_EQ(Number(), QStringLiteral("0"));
  EXPECT_EQ(LitCells(), std::vector<int>{});

  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("19"));
  EXPECT_EQ(LitCells(), (std::vector<int>{1, 2, 5}));

  Click("Command2");
  EXPECT_EQ(List(), QStringLiteral("19"));
  EXPECT_EQ(Number(), QStringLiteral("21"));
  EXPECT_EQ(LitCells(), (std::vector<int>{1, 3, 5}));

  Click("Command2");
  EXPECT_EQ(List(), QStringLiteral("19,21"));
  EXPECT_EQ(Number(), QStringLiteral("22"));

  // A list edited by hand is continued, not replaced.
  Field("Text1")->setText(QStringLiteral("7"));
  Click("Command2");
  EXPECT_EQ(List(), QStringLiteral("7,22"));
  EXPECT_EQ(Number(), QStringLiteral("23"));
}

TEST_F(ConnectivityWindowTest, ShowPaintsTheTypedNumber) {
  window_.Load();
  ShowNumber(QStringLiteral("600"));
  EXPECT_EQ(Number(), QStringLiteral("600"));
  EXPECT_EQ(LitCells(), (std::vector<int>{4, 5, 7}));
  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("600"));

  ShowNumber(QStringLiteral("16"));
  EXPECT_EQ(LitCells(), std::vector<int>{5});
  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("19"));

  ShowNumber(QStringLiteral("-1"));
  EXPECT_EQ(LitCells(), std::vector<int>{});

  ShowNumber(QStringLiteral("510,5"));  // half to even: 510
  EXPECT_EQ(Number(), QStringLiteral("510"));
  EXPECT_EQ(LitCells(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(ConnectivityWindowTest, NextFromTheLastCandidateStopsAtTheLimit) {
  window_.Load();
  ShowNumber(QStringLiteral("511"));
  EXPECT_EQ(LitCells().size(), 9u);
  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("513"));
  EXPECT_EQ(LitCells(), std::vector<int>{1});
  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("513"));
}

TEST_F(ConnectivityWindowTest, ShowWithoutANumberTellsThePersonAndChangesNothing) {
  window_.Load();
  Click("Command1");
  Click("Command2");  // list 19, number 21
  ShowNumber(QStringLiteral("пять"));
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
  EXPECT_EQ(frontend_.messages[0].text, "Введите число в поле номера!");
  EXPECT_EQ(LitCells(), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(List(), QStringLiteral("19"));
  // The number behind the cells is still 21: the next candidate is 22.
  Click("Command1");
  EXPECT_EQ(Number(), QStringLiteral("22"));
  EXPECT_EQ(frontend_.messages.size(), 1u);
}

TEST(ConnectivityMenuTest, MainMenuOpensOneLoadedListWindow) {
  test::TempFolder folder;
  test::RecordingFrontend frontend;
  SettingsStore settings{folder.path() / "cnc.ini", frontend};
  Link link{frontend};
  MainWindow main(settings, link);
  auto* entry = main.findChild<QAction*>(QStringLiteral("link_cl"));
  ASSERT_NE(entry, nullptr);
  entry->trigger();
  auto* window = qobject_cast<ConnectivityWindow*>(main.Child(QStringLiteral("link_cl")));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isWindow());
  EXPECT_TRUE(window->isVisible());
  auto* number = window->findChild<QLineEdit*>(QStringLiteral("Text2"));
  EXPECT_EQ(number->text(), QStringLiteral("0"));

  // The message of a wrong number reaches the program's frontend.
  number->setText(QStringLiteral("x"));
  QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
  EXPECT_EQ(frontend.messages.size(), 1u);

  entry->trigger();
  EXPECT_EQ(main.Child(QStringLiteral("link_cl")), window);
  EXPECT_EQ(main.findChildren<ConnectivityWindow*>().size(), 1);
}

}  // namespace
}  // namespace vertolin
