// "Сохранить G-code…" of the job windows: the core makes the program
// (jobs/gcode_program.h), the window only asks where to write it.
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>

class QPushButton;
class QWidget;

namespace vertolin {

class Frontend;

// The button, objectName "gcodeSave".
QPushButton* NewSaveGcodeButton();

// Asks for a .nc file, then makes the program and writes it there; a job
// that gives no program (its fields refused) or a file that cannot be
// written is said through `frontend`. Nothing is made when no file is chosen.
void SaveGcode(QWidget* owner, Frontend& frontend,
               const std::function<std::optional<std::string>()>& program);

// Who asks for the file name (a save dialog); tests put their own.
void SetGcodeFileChooser(std::function<QString(QWidget* owner)> chooser);

}  // namespace vertolin
