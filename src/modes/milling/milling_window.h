// Form1 "Vertolin": the milling window. It shows the four layers of the
// picture, the nesting tree and the fields; the picture, the figures and the
// jobs live in MillingSession, and the jobs run through the window's JobHost.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/mode_window.h"
#include "modes/picture_window_widget.h"
#include "ui/job_host.h"

class QLabel;

namespace vertolin {

class FigureTreeWidget;
class InterruptionPrompt;
class LayerTabsWidget;
class MillingSession;

class MillingWindow : public ModeWindow {
  Q_OBJECT

 public:
  MillingWindow(Link& link, SettingsStore& settings, QWidget* parent = nullptr);
  ~MillingWindow() override;

  // Handshake, then the settings keys into the fields and the picture.
  void Load() override;
  // StopFlag, the fields back to the settings file. Safe while a job runs.
  void Unload() override;

  // What "..." asks for a file: the chosen path, empty when cancelled.
  // Replaceable so that tests need no modal dialog.
  void SetFileChooser(std::function<QString()> chooser);
  // Who answers the interruption dialog (Form7 by default).
  void SetInterruptionPrompt(InterruptionPrompt* prompt);

  bool JobRunning() const { return jobs_.Running(); }
  // The session of the current opening; nullptr while the window is closed.
  const MillingSession* session() const { return session_.get(); }
  // True while the four pictures are shown side by side instead of in tabs.
  bool GridShown() const;

  QSize sizeHint() const override;

 private:
  class SessionView;
  class WindowFields;
  class DialogPrompt;

  void Parse();          // "Разобрать"
  void MillSelected();   // "Выделенная"
  void MillAll();        // "Все"
  void Gradient();       // "Градиент"
  void Offset();         // "Отступить"
  void CutRelief();      // "Резать 3D"
  void ChoosePicture();  // "..."
  void ShowFigure(int figure);  // a node chosen in the tree
  void ManualMove(double dx, double dy, double dz);

  // Runs a job that moves the machine on the current session.
  void RunJob(const std::function<void(MillingSession&, WindowFields&, SessionView&)>& job);
  // A picture operation on the current session (no job may be running).
  bool Idle() const;

  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  void ShowLayers(const MillingSession& session);
  void ShowPictureArea(bool shown);
  void UpdateJobButtons();
  void CoupleFromWidth();   // Text6 -> Text7
  void CoupleFromHeight();  // Text7 -> Text6

  Link& link_;
  SettingsStore& settings_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  // Shared with a running job, which keeps it until it has unwound even when
  // the window is closed meanwhile.
  std::shared_ptr<MillingSession> session_;
  MillingSession* jobSession_ = nullptr;  // the session the running job works on
  WindowLink* jobLink_ = nullptr;         // and its link
  JobHost jobs_;
  std::function<QString()> chooser_;
  std::unique_ptr<DialogPrompt> dialogPrompt_;
  InterruptionPrompt* prompt_ = nullptr;

  QLineEdit* pathField_;
  QPushButton* chooseButton_;
  LayerTabsWidget* layers_;
  QGroupBox* sizeFrame_;
  QLineEdit* widthField_;
  QLineEdit* heightField_;
  QLineEdit* depthField_;
  QGroupBox* toolFrame_;
  QLineEdit* diameterField_;
  QLabel* delayLabel_;
  QLineEdit* delayField_;
  QGroupBox* jobFrame_;
  QPushButton* parseButton_;
  QPushButton* selectedButton_;
  QPushButton* allButton_;
  QPushButton* gradientButton_;
  QPushButton* offsetButton_;
  QPushButton* reliefButton_;
  QPushButton* stopButton_;
  FigureTreeWidget* tree_;
  PositioningControls* controls_;

  bool pictureUsable_ = false;  // a picture with 24 bits per pixel is loaded
};

}  // namespace vertolin
