// Form3 "Гравирование лазером" and Form8 "Гравировка нитью по дереву": a grey
// picture burned pixel by pixel in serpentine rows. The two windows are one
// class; the wood-burning one has no lower delay field (Text3) and no drawing
// switch (Check3), and works with its own firmware kind.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/mode_window.h"
#include "modes/picture_window_widget.h"
#include "picture/pixel_image.h"

class QLabel;

namespace vertolin {

class PictureWidget;

class EngravingWindow : public ModeWindow {
  Q_OBJECT

 public:
  // `flavour`: WindowFlavour::Gradation (Form3) or WindowFlavour::WoodBurning
  // (Form8); any other flavour is taken as Gradation.
  EngravingWindow(Link& link, SettingsStore& settings, WindowFlavour flavour,
                  QWidget* parent = nullptr);
  ~EngravingWindow() override;

  // Handshake, then the settings keys into the fields and the picture.
  void Load() override;
  // StopFlag, the fields back to the settings file. Safe while a job runs.
  void Unload() override;

  // What "..." asks for a file: the chosen path, empty when cancelled.
  // Replaceable so that tests need no modal dialog.
  void SetFileChooser(std::function<QString()> chooser);

  bool JobRunning() const { return jobRunning_; }
  // The picture as shown: as loaded, with the marks of the jobs run on it since.
  const PixelImage& picture() const { return picture_; }

  QSize sizeHint() const override;

 private:
  bool Gradation() const { return flavour_ == WindowFlavour::Gradation; }

  void Command1_Click();  // "Гравировать"
  void Command2_Click();  // "..."

  // Loads the picture at `pathUtf8` (already decoded when `loaded` is given)
  // and shows it, or hides the picture area when there is none.
  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  void ShowPictureArea(bool shown);
  void UpdateJobButtons();

  // Field coupling on leaving a field.
  void CoupleFromWidth();   // Text6 -> Text7, Text2
  void CoupleFromHeight();  // Text7 -> Text6, Text2
  void CoupleFromSteps();   // Text2 -> Text6 (and on)

  Link& link_;
  SettingsStore& settings_;
  WindowFlavour flavour_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  std::function<QString()> chooser_;

  QLineEdit* text1_;
  QPushButton* command2_;
  PictureWidget* pict_;
  QGroupBox* frame4_;
  QLineEdit* text6_;
  QLineEdit* text7_;
  QLineEdit* text2_;
  QLabel* label3_;
  QLineEdit* text4_;
  QLineEdit* text3_ = nullptr;  // gradation only
  QGroupBox* frame2_;
  QPushButton* command1_;
  QPushButton* command9_;
  QCheckBox* check3_ = nullptr;  // gradation only
  PositioningControls* controls_;

  PixelImage picture_;
  bool pictureUsable_ = false;  // a 24-bit picture is loaded
  int pictureGeneration_ = 0;   // counts loads, so a job knows its picture is still shown
  bool jobRunning_ = false;
};

}  // namespace vertolin
