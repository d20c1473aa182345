// Form3 "Гравирование лазером" and Form8 "Гравировка нитью по дереву": a grey
// picture burned pixel by pixel in serpentine rows. The two windows are one
// class; the wood-burning one has no lower delay field (Text3) and no drawing
// switch (Check3), and works with its own firmware kind.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/mode_window.h"
#include "link/window_link.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vertolin {

class Link;
class PictureWidget;
class PositioningControls;
class SettingsStore;

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
  WindowLink& CurrentLink() { return *links_.back(); }

  void Command1_Click();  // "Гравировать"
  void Command2_Click();  // "..."
  void ManualMove(double dx, double dy, double dz);

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
  // The window's end of the protocol. A closed window abandons the link a job
  // or move is still waiting on; the next opening starts a fresh one. Links
  // are never destroyed: the positioning controls and a job that has not yet
  // unwound still refer to theirs.
  std::vector<std::unique_ptr<WindowLink>> links_;
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
  bool loaded_ = false;         // between Load and Unload
  bool jobRunning_ = false;
  int movesWaiting_ = 0;        // "Ручная уст-ка" moves on the stack
  bool linkAbandoned_ = false;
};

}  // namespace vertolin
