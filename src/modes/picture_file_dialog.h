// The open dialog every picture window shows behind its "..." button.
#pragma once

#include <QString>

class QWidget;

namespace vertolin {

// Asks for a BMP or JPG file, starting in the executable's folder; the chosen
// path, or an empty text when the person cancels.
QString ChoosePictureFile(QWidget* owner);

}  // namespace vertolin
