#include "ui/gcode_file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

#include <utility>

#include "util/exe_folder.h"
#include "util/file_replace.h"
#include "util/frontend.h"
#include "util/path_text.h"

namespace vertolin {

namespace {

std::function<QString(QWidget*)>& Chooser() {
  static std::function<QString(QWidget*)> chooser = [](QWidget* owner) {
    return QFileDialog::getSaveFileName(owner, QStringLiteral("Сохранить G-code"),
                                        QString::fromStdString(PathToUtf8(ExecutableFolder())),
                                        QStringLiteral("G-code (*.nc);;All Files (*.*)"));
  };
  return chooser;
}

}  // namespace

QPushButton* NewSaveGcodeButton() {
  auto* button = new QPushButton(QStringLiteral("Сохранить G-code…"));
  button->setObjectName(QStringLiteral("gcodeSave"));
  button->setToolTip(QStringLiteral("Задание программой G-code (grbl 1.1) для другой программы"));
  return button;
}

void SetGcodeFileChooser(std::function<QString(QWidget*)> chooser) {
  Chooser() = std::move(chooser);
}

void SaveGcode(QWidget* owner, Frontend& frontend,
               const std::function<std::optional<std::string>()>& program) {
  QString chosen = Chooser()(owner);
  if (chosen.isEmpty()) return;
  if (!chosen.contains(QLatin1Char('.'))) chosen += QStringLiteral(".nc");
  const std::optional<std::string> text = program();
  if (!text) {
    frontend.ShowMessage("Ошибка",
                         "Задание с такими значениями полей не выполняется: G-code не записан.");
    return;
  }
  std::string error;
  const std::string path = chosen.toStdString();
  if (!ReplaceFileContents(PathFromUtf8(path), *text, error)) {
    frontend.ShowMessage("Ошибка", "Не удалось записать файл " + path + "\r\n" + error);
  }
}

}  // namespace vertolin
