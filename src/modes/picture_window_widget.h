// What the picture windows (milling, outlining, laser gradation, wood
// burning) share around their own fields: the widget makers, the file frame
// and "...", the right column around the positioning controls, the handshake
// at load and the field coupling of width and height.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "picture/picture_file.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace vertolin {

class Link;
class WindowLink;
class PixelImage;
class PositioningControls;
class SettingsStore;

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A "Text" field with its object name and first text.
QLineEdit* Field(const char* name, const char* text);
// A "Command" button with its object name and caption.
QPushButton* Button(const char* name, const char* caption);
// The field's text as the core reads it.
std::string Utf8(const QLineEdit* field);

// "Выбор файла": the path field and its "..." button.
QGroupBox* FileFrame(QLineEdit* path, QPushButton* choose);

// The finished size: "Ширина:", "Высота:" and a third row of the window's
// own (steps per pixel, depth; none when `third` is null), as Frame4 with
// `title`.
QGroupBox* SizeFrame(const QString& title, QLineEdit* width, QLineEdit* height,
                     const QString& thirdCaption, QLineEdit* third);

// Finishes the right column: the job frame, "Настройка" with the controls'
// switches (Check1, Check2), the controls themselves; then wraps the column in
// a widget of `width` pixels.
QWidget* ControlsColumn(QVBoxLayout* column, QGroupBox* jobFrame, PositioningControls& controls,
                        int width);

// The handshake of a window's opening: the firmware warning, the status into
// the controls, and the return switch clear as every opening starts. A read
// failure has been shown already; the window opens unable to drive.
void HandshakeAtLoad(WindowLink& window, PositioningControls& controls, const char* required);

// The remembered picture (`key`, else `defaultFileName` beside the
// executable): its path into `pathField`, then the file as read to `show`.
using ShowPicture = std::function<void(const std::string& pathUtf8, PictureResult loaded)>;
void LoadRememberedPicture(SettingsStore& settings, const char* key,
                           std::string_view defaultFileName, QLineEdit* pathField,
                           const ShowPicture& show);

// "..." after the person chose `chosen` (empty: cancelled, nothing to do).
// A readable file goes into `pathField`, the settings key and `show`; one that
// cannot be read leaves the previous picture and says why. False then.
bool OpenChosenPicture(const QString& chosen, Link& link, SettingsStore& settings, const char* key,
                       QLineEdit* pathField, const ShowPicture& show);

// Width -> height after the picture's proportions. False when there is no
// picture; a width that is not a number leaves the height as it is.
bool HeightFromWidth(const QLineEdit* width, QLineEdit* height, const PixelImage& picture);
// Height -> width; the new width, none when there is no picture or the height
// is not a number.
std::optional<std::string> WidthFromHeight(const QLineEdit* height, QLineEdit* width,
                                           const PixelImage& picture);

}  // namespace vertolin
