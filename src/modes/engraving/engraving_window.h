// Form3 "Гравирование лазером" and Form8 "Гравировка нитью по дереву": a grey
// picture burned pixel by pixel in serpentine rows. The two windows are one
// class; the wood-burning one has no lower delay field (Text3) and no drawing
// switch (Check3), and works with its own firmware kind.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "modes/picture_window_widget.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/pixel_image.h"
#include "ui/job_host_widget.h"
#include "ui/mode_window.h"

class QLabel;

namespace vertolin {

class PictureWidget;

class EngravingWindow : public ModeWindow {
  Q_OBJECT

 public:
  // `format`: formats::kGradation (Form3) or formats::kWoodBurning (Form8);
  // any other is taken as gradation.
  EngravingWindow(Link& link, SettingsStore& settings, const LinkFormat& format,
                  QWidget* parent = nullptr);
  ~EngravingWindow() override;

  // Handshake, then the settings keys into the fields and the picture.
  void Load() override;
  // StopFlag, the fields back to the settings file. Safe while a job runs.
  void Unload() override;

  // What "..." asks for a file: the chosen path, empty when cancelled.
  // Replaceable so that tests need no modal dialog.
  void SetFileChooser(std::function<QString()> chooser);

  bool JobRunning() const { return jobs_.Running(); }
  // The picture as shown: as loaded, with the marks of the jobs run on it since.
  const PixelImage& picture() const { return *picture_; }

  QSize sizeHint() const override;

 private:
  bool Gradation() const { return &format_ == &formats::kGradation; }

  void Engrave();        // "Гравировать"
  void SaveGcode();      // "Сохранить G-code…"
  void ChoosePicture();  // "..."

  // Loads the picture at `pathUtf8` (already decoded when `loaded` is given)
  // and shows it, or hides the picture area when there is none.
  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  ShowPicture Shower();  // LoadPicture for the picture helpers
  void ShowPictureArea(bool shown);
  void UpdateJobButtons();

  // Field coupling on leaving a field.
  void CoupleFromWidth();   // Text6 -> Text7, Text2
  void CoupleFromHeight();  // Text7 -> Text6, Text2
  void CoupleFromSteps();   // Text2 -> Text6 (and on)
  void ShowStepsFor(const std::string& width);

  Link& link_;
  SettingsStore& settings_;
  const LinkFormat& format_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  std::function<QString()> chooser_;

  QLineEdit* pathField_;
  QPushButton* chooseButton_;
  PictureWidget* pictureBox_;
  QGroupBox* sizeFrame_;
  QLineEdit* widthField_;
  QLineEdit* heightField_;
  QLineEdit* stepsField_;
  QLabel* delayLabel_;
  QLineEdit* darkDelayField_;
  QLineEdit* lightDelayField_ = nullptr;  // gradation only
  QGroupBox* jobFrame_;
  QPushButton* engraveButton_;
  QPushButton* gcodeButton_;
  QPushButton* stopButton_;
  QCheckBox* drawEachSwitch_ = nullptr;  // gradation only
  PositioningControls* controls_ = nullptr;

  // Replaced by every load: a job that finds it replaced keeps its marks to
  // itself.
  std::shared_ptr<PixelImage> picture_ = std::make_shared<PixelImage>();
  bool pictureUsable_ = false;  // a 24-bit picture is loaded
  JobHost jobs_;
};

}  // namespace vertolin
