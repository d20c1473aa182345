#include "ui/firmware_warning_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "link/texts.h"

namespace vertolin {
namespace {

QLabel* Label(QDialog& dialog, const char* name) {
  return dialog.findChild<QLabel*>(QString::fromLatin1(name));
}

TEST(FirmwareWarningDialog, ShowsTheGivenOrTheDefaultText) {
  FirmwareWarningDialog plain("");
  EXPECT_EQ(plain.windowTitle(), QStringLiteral("Внимание"));
  EXPECT_EQ(Label(plain, "Label3")->text(),
            QStringLiteral("Работа со станком невозможна. Возможные причины:\n"
                           "   - установленная прошивка не предназначена для выбранной операции"));
  EXPECT_EQ(Label(plain, "Label2")->text(), QStringLiteral("Обновить/изменить прошивку:"));
  EXPECT_NE(Label(plain, "Label1"), nullptr);
  EXPECT_NE(Label(plain, "label5"), nullptr);
  EXPECT_EQ(plain.findChild<QPushButton*>(QStringLiteral("Command5"))->text(),
            QStringLiteral("Продолжить"));

  FirmwareWarningDialog outdated(texts::kWarningOutdated);
  EXPECT_TRUE(Label(outdated, "Label3")
                  ->text()
                  .endsWith(QStringLiteral("\n   - установлена неверная скорость COM-порта")));
}

TEST(FirmwareWarningDialog, RefusedLinkTurnsTheMessageRed) {
  FirmwareWarningDialog dialog("");
  QLabel* link = Label(dialog, "Label1");
  link->setText(QStringLiteral("http://localhost/firmware"));
  QUrl opened;
  dialog.SetUrlOpener([&](const QUrl& url) {
    opened = url;
    return true;
  });
  dialog.OpenLink(link);
  EXPECT_EQ(opened, QUrl(QStringLiteral("http://localhost/firmware")));
  EXPECT_FALSE(Label(dialog, "Label3")->text().startsWith(QStringLiteral("Операционная")));

  dialog.SetUrlOpener([](const QUrl&) { return false; });
  dialog.OpenLink(link);
  EXPECT_EQ(Label(dialog, "Label3")->text(),
            QStringLiteral("Операционная система не позволяет открыть страницу. Откройте адрес "
                           "в браузере самостоятельно."));
  EXPECT_TRUE(Label(dialog, "Label3")->styleSheet().contains(QStringLiteral("red")));

  // An empty address opens nothing.
  FirmwareWarningDialog empty("");
  bool called = false;
  empty.SetUrlOpener([&](const QUrl&) { return called = true; });
  Label(empty, "label5")->setText(QString());
  empty.OpenLink(Label(empty, "label5"));
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace vertolin
