#include "modes/picture_window_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <utility>

#include "util/exe_folder.h"
#include "settings/settings_store.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/pixel_image.h"
#include "util/size_coupling.h"

namespace vertolin {

QLineEdit* Field(const char* name, const char* text) {
  return Named(new QLineEdit(QString::fromUtf8(text)), name);
}

QPushButton* Button(const char* name, const char* caption) {
  return Named(new QPushButton(QString::fromUtf8(caption)), name);
}

std::string Utf8(const QLineEdit* field) { return field->text().toStdString(); }

QGroupBox* FileFrame(QLineEdit* path, QPushButton* choose) {
  auto* frame = new QGroupBox(QStringLiteral("Выбор файла"));
  choose->setFixedWidth(40);
  auto* row = new QHBoxLayout(frame);
  row->addWidget(path, 1);
  row->addWidget(choose);
  return frame;
}

QGroupBox* SizeFrame(const QString& title, QLineEdit* width, QLineEdit* height,
                     const QString& thirdCaption, QLineEdit* third) {
  auto* frame = Named(new QGroupBox(title), "Frame4");
  auto* size = new QGridLayout(frame);
  size->addWidget(new QLabel(QStringLiteral("Ширина:")), 0, 0);
  size->addWidget(width, 0, 1);
  size->addWidget(new QLabel(QStringLiteral("Высота:")), 1, 0);
  size->addWidget(height, 1, 1);
  if (third != nullptr) {
    size->addWidget(new QLabel(thirdCaption), 2, 0);
    size->addWidget(third, 2, 1);
  }
  return frame;
}

QPushButton* StopButton(PositioningControls& controls) {
  return controls.findChild<QPushButton*>(QStringLiteral("Command9"));
}

QWidget* ControlsColumn(QVBoxLayout* column, QGroupBox* jobFrame, PositioningControls& controls,
                        int width) {
  auto* setupFrame = new QGroupBox(QStringLiteral("Настройка"));
  auto* setup = new QVBoxLayout(setupFrame);
  setup->addWidget(controls.driveSwitch());
  setup->addWidget(controls.returnSwitch());

  column->addWidget(jobFrame);
  column->addWidget(setupFrame);
  column->addWidget(&controls);
  column->addStretch(1);
  auto* wrapped = new QWidget;
  wrapped->setLayout(column);
  wrapped->setFixedWidth(width);
  return wrapped;
}

void HandshakeAtLoad(Link& link, PositioningControls& controls, const char* required) {
  try {
    const HandshakeResult result = RunHandshake(link, required);
    WarnAboutFirmware(link.frontend(), result);
    controls.ApplyHandshake(result);
  } catch (const LinkError&) {
    // The read failure has been shown; the window opens unable to drive.
    HandshakeResult failed;
    failed.status = std::string(texts::kStatusNoPort);
    controls.ApplyHandshake(failed);
  }
  // Every opening starts with the switches clear, as the window was designed.
  // The scanner has no return switch.
  if (controls.returnSwitch() != nullptr) controls.returnSwitch()->setChecked(false);
}

void LoadRememberedPicture(SettingsStore& settings, const char* key,
                           std::string_view defaultFileName, QLineEdit* pathField,
                           const ShowPicture& show) {
  const std::string defaultImage = PathToUtf8(ExecutableFolder() / defaultFileName);
  const std::string image = settings.ReadSetting(key, defaultImage);
  pathField->setText(QString::fromStdString(image));
  show(image, LoadPictureFile(PathFromUtf8(image)));
}

bool OpenChosenPicture(const QString& chosen, Link& link, SettingsStore& settings, const char* key,
                       QLineEdit* pathField, const ShowPicture& show) {
  if (chosen.isEmpty()) return true;
  const std::string path = chosen.toStdString();
  PictureResult loaded = LoadPictureFile(PathFromUtf8(path));
  if (loaded.error != PictureError::None) {
    // Says why when the file is a picture too large to hold; otherwise
    // "Ошибка открытия файла!". The previous picture stays.
    link.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, path));
    return false;
  }
  pathField->setText(chosen);
  settings.WriteSetting(key, path);
  show(path, std::move(loaded));
  return true;
}

bool HeightFromWidth(const QLineEdit* width, QLineEdit* height, const PixelImage& picture) {
  if (picture.width() < 1) return false;
  if (const auto text = HeightForWidth(Utf8(width), picture.width(), picture.height())) {
    height->setText(QString::fromStdString(*text));
  }
  return true;
}

std::optional<std::string> WidthFromHeight(const QLineEdit* height, QLineEdit* width,
                                           const PixelImage& picture) {
  if (picture.height() < 1) return std::nullopt;
  auto text = WidthForHeight(Utf8(height), picture.width(), picture.height());
  if (text) width->setText(QString::fromStdString(*text));
  return text;
}

OpeningLinks::OpeningLinks(Link& link, const LinkFormat& format) : link_(link), format_(format) {
  links_.push_back(std::make_unique<WindowLink>(link_, format_));
}

void OpeningLinks::Open(QCheckBox* driveSwitch) {
  open_ = true;
  if (!abandoned_) return;
  links_.push_back(std::make_unique<WindowLink>(link_, format_));
  if (driveSwitch != nullptr) {
    current().SetDriveSwitch(
        [box = QPointer<QCheckBox>(driveSwitch)] { return box && box->isChecked(); });
  }
  abandoned_ = false;
}

bool OpeningLinks::Close(bool jobRunning, bool requestStop) {
  if (!open_) return false;
  open_ = false;
  if (requestStop) link_.RequestStop();
  if (jobRunning || movesWaiting_ > 0) {
    // A board that never answers must not keep a closed window's job waiting.
    current().Abandon();
    abandoned_ = true;
    // Nor may the laser burn on while the job unwinds (or the program ends
    // and closes the port first).
    current().SwitchLaserOff();
  }
  return true;
}

void OpeningLinks::MoveNow(double dx, double dy, double dz) {
  QScopedValueRollback<int> waiting(movesWaiting_, movesWaiting_ + 1);
  try {
    current().ArduinoMoveMM(dx, dy, dz);
  } catch (const LinkError&) {
    // Shown already (read failure, refused move); the window stays usable.
  }
}

}  // namespace vertolin
