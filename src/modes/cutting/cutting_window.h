// Form9 "Резка/гравировка по рисунку": a picture is reduced to black lines one
// pixel wide ("Обработать", the five filters of CuttingPreparation) and the
// laser cuts them stroke by stroke ("Резать", StrokeCut). The four layers
// live as long as the window; a cut keeps them alive until it has unwound.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "modes/cutting/cutting_layers.h"
#include "modes/cutting/picture_filters.h"
#include "modes/picture_window_widget.h"
#include "modes/positioning/positioning_widget.h"
#include "ui/job_host_widget.h"
#include "ui/mode_window.h"

class QLabel;
class QProgressBar;

namespace vertolin {

class CuttingPreparation;
class ProcessingView;
class LayerTabsWidget;
class PictureWidget;

class CuttingWindow : public ModeWindow {
  Q_OBJECT

 public:
  CuttingWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~CuttingWindow() override;

  // Handshake, then the settings keys into the fields and the picture.
  void Load() override;
  // StopFlag, the fields back to the settings file. Safe while a cut runs.
  void Unload() override;

  // What "..." asks for a file: the chosen path, empty when cancelled.
  // Replaceable so that tests need no modal dialog.
  void SetFileChooser(std::function<QString()> chooser);
  // Where neuro.net is looked for and neuro.bmp written: beside the program
  // unless a test says otherwise.
  void SetProgramFolder(const std::filesystem::path& folder);

  bool JobRunning() const { return jobs_.Running(); }
  bool Processing() const;
  const CuttingLayers& layers() const { return *layers_; }

  QSize sizeHint() const override;

 signals:
  // Label7 shows a filter's status ("Нейро. CR - 2").
  void StageShown(const QString& label);

 private:
  class ProcessingDisplay;
  class CutDisplay;
  class WindowFields;

  // Runs the preparation (or one filter of it) unless something runs already.
  void Prepare(const std::function<void(CuttingPreparation&, ProcessingView&)>& run);
  void Process();                        // "Обработать"
  void RunFilter(CuttingFilter filter);  // a button of the hidden frame
  void Cut();                            // "Резать"
  void SaveGcode();                      // "Сохранить G-code…"
  void ChoosePicture();                  // "..."

  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  void ShowLayers();
  void ShowPictureArea(bool shown);
  void UpdateJobButtons();
  void CoupleFromWidth();   // Text6 -> Text7
  void CoupleFromHeight();  // Text7 -> Text6

  Link& link_;
  SettingsStore& settings_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  std::shared_ptr<CuttingLayers> layers_ = std::make_shared<CuttingLayers>();
  std::unique_ptr<CuttingPreparation> preparation_;
  JobHost jobs_;
  std::function<QString()> chooser_;

  QLineEdit* pathField_;
  QPushButton* chooseButton_;
  LayerTabsWidget* layerTabs_;
  PictureWidget* workBox_;
  QGroupBox* sizeFrame_;
  QLineEdit* widthField_;
  QLineEdit* heightField_;
  QLabel* delayLabel_;
  QLineEdit* delayField_;
  QGroupBox* filterFrame_;
  QPushButton* prepareButton_;
  QPushButton* contrastButton_;
  QPushButton* trimButton_;
  QPushButton* clearButton_;
  QPushButton* blackWhiteButton_;
  QProgressBar* progressBar_;
  QLabel* stageLabel_;
  QGroupBox* jobFrame_;
  QPushButton* processButton_;
  QPushButton* cutButton_;
  QPushButton* gcodeButton_;
  QPushButton* stopButton_;
  PositioningControls* controls_ = nullptr;

  bool processing_ = false;  // "Обработать" or a filter runs
  bool pictureLoaded_ = false;
  bool pictureUsable_ = false;  // a 24-bit picture is loaded
};

}  // namespace vertolin
