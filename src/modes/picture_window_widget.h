// What the picture windows (milling, outlining, laser gradation, wood
// burning) share around their own fields: the widget makers, the file frame
// and "...", the right column around the positioning controls, the handshake
// at load, the window link of each opening and the field coupling of width
// and height.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/window_link.h"
#include "picture/picture_file.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace vertolin {

class Link;
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

// The positioning controls' "Стоп" (Command9); the window moves it among its
// own job buttons.
QPushButton* StopButton(PositioningControls& controls);

// Finishes the right column: the job frame, "Настройка" with the controls'
// switches (Check1, Check2), the controls themselves; then wraps the column in
// a widget of `width` pixels.
QWidget* ControlsColumn(QVBoxLayout* column, QGroupBox* jobFrame, PositioningControls& controls,
                        int width);

// The handshake of a window's opening: the firmware warning, the status into
// the controls, and the return switch clear as every opening starts. A read
// failure has been shown already; the window opens unable to drive.
void HandshakeAtLoad(Link& link, PositioningControls& controls, const char* required);

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

// The window's end of the protocol, one per opening. A closed window abandons
// the link a job or move is still waiting on; the next opening starts a fresh
// one. Links are never destroyed: the positioning controls and a job that has
// not yet unwound still refer to theirs.
class OpeningLinks {
 public:
  OpeningLinks(Link& link, const LinkFormat& format);

  WindowLink& first() { return *links_.front(); }   // the controls' own
  WindowLink& current() { return *links_.back(); }  // this opening's
  bool MovesWaiting() const { return movesWaiting_ > 0; }

  // At Load: a fresh link, driven by `driveSwitch` (none: the format's own
  // rule), when the last closing abandoned one. The old link's late acknowledgement, if any, is
  // swallowed by the handshake's settling.
  void Open(QCheckBox* driveSwitch);
  // At Unload: StopFlag (unless `requestStop` is false), and the link
  // abandoned while `jobRunning` or a manual move waits, a laser left on
  // switched off. False when the window was not open.
  bool Close(bool jobRunning, bool requestStop = true);

  // "Ручная уст-ка" now; the window stays usable when the move fails (shown
  // already: read failure, refused move).
  void MoveNow(double dx, double dy, double dz);

 private:
  Link& link_;
  const LinkFormat& format_;
  std::vector<std::unique_ptr<WindowLink>> links_;
  bool open_ = false;  // between Load and Unload
  bool abandoned_ = false;
  int movesWaiting_ = 0;  // manual moves on the stack
};

}  // namespace vertolin
