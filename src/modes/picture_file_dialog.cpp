#include "modes/picture_file_dialog.h"

#include <QFileDialog>

#include "util/exe_folder.h"
#include "picture/picture_file.h"

namespace vertolin {

QString ChoosePictureFile(QWidget* owner) {
  return QFileDialog::getOpenFileName(owner, QStringLiteral("Открыть картинку"),
                                      QString::fromStdString(PathToUtf8(ExecutableFolder())),
                                      QStringLiteral("Pictures (*.bmp *.jpg);;All Files (*.*)"));
}

}  // namespace vertolin
