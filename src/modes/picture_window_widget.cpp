#include "modes/picture_window_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/pixel_image.h"
#include "settings/settings_store.h"
#include "util/exe_folder.h"
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

void HandshakeAtLoad(WindowLink& window, PositioningControls& controls, const char* required) {
  Link& link = window.link();
  try {
    const HandshakeResult result = window.Handshake(required);
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

}  // namespace vertolin
