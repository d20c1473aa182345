// What the figure windows share: the milling window (Form1) and the
// outlining window (Form5) are one window in two wordings. It shows the four
// layers of the picture, the nesting tree and the fields; the picture, the
// figures and the jobs live in the window's FigureSession, and the jobs run
// through its JobHost. Each window gives its words, keys and tool as a
// FigureWindowTraits and its session by NewSession.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "modes/figure_session.h"
#include "modes/picture_window_widget.h"
#include "modes/positioning/positioning_widget.h"
#include "ui/job_host_widget.h"
#include "ui/mode_window.h"

class QLabel;

namespace vertolin {

class FigureTreeWidget;
class InterruptionPrompt;
class LayerTabsWidget;
struct SettingKey;

// One figure window's words, keys and firmware.
struct FigureWindowTraits {
  const char* objectName;      // "Form1"
  const char* caption;         // the window title
  const LinkFormat* format;    // its end of the protocol; its kind is required at load
  const char* pathFieldName;   // the picture path field ("Text2", "Text1")
  std::string_view imageKey;   // the picture path's key
  const char* progressTab;     // the fourth tab ("Фреза", "Лазер")
  const char* sizeTitle;       // Frame4
  const SettingKey* width;     // Text6; its default is the field's first text
  const SettingKey* depth;     // Text1 "Глубина:" in Frame4, or none
  const char* toolTitle;       // Frame5, around "Диаметр, мм"
  const SettingKey* diameter;  // Text3
  const char* delayCaption;    // Label3
  const SettingKey* delay;     // Text4
  const char* driveCaption;    // Check1
  const char* fillCaption;     // Command7
  // The hints of "Выделенная", "Все" and Command7 (empty: none).
  const char* selectedHint;
  const char* allHint;
  const char* fillHint;
  std::string_view impossibleText;  // the middle line for a picture below 24 bits
  // "Ручная уст-ка" during a job adds steps to the job's next move (milling)
  // instead of moving at once.
  bool pendingStepsDuringJob;
};

class FigureWindow : public ModeWindow {
  Q_OBJECT

 public:
  FigureWindow(Link& link, SettingsStore& settings, const FigureWindowTraits& traits,
               QWidget* parent = nullptr);
  ~FigureWindow() override;

  // Handshake, then the settings keys into the fields and the picture.
  void Load() override;
  // StopFlag, the fields back to the settings file. Safe while a job runs.
  void Unload() override;

  // What "..." asks for a file: the chosen path, empty when cancelled.
  // Replaceable so that tests need no modal dialog.
  void SetFileChooser(std::function<QString()> chooser);
  // Who answers the interruption dialog of a router window.
  void SetInterruptionPrompt(InterruptionPrompt* prompt);

  bool JobRunning() const { return jobs_.Running(); }
  // The session of the current opening; nullptr while the window is closed.
  const FigureSession* figureSession() const { return session_.get(); }
  // True while the four pictures are shown side by side instead of in tabs.
  bool GridShown() const;

  QSize sizeHint() const override;

 protected:
  // A fresh session for an opening, sending through `window`.
  virtual std::shared_ptr<FigureSession> NewSession(WindowLink& window) = 0;

  Link& link() { return link_; }
  SettingsStore& settings() { return settings_; }

 private:
  class SessionView;
  class WindowFields;

  void Parse();          // "Разобрать"
  void MillSelected();   // "Выделенная"
  void MillAll();        // "Все"
  void Gradient();       // "Градиент"
  void Offset();         // "Отступить"
  void Fill();           // "Резать 3D", "Грав-ть всё"
  void ChoosePicture();  // "..."
  // "Сохранить G-code…": one of the three jobs as a program.
  void SaveGcode(const FigureJobRun& job);
  void ShowFigure(int figure);  // a node chosen in the tree
  void ManualMove(double dx, double dy, double dz);

  // Runs a job that moves the machine on the current session.
  // Which of the three jobs, for its journal.
  void RunJob(FigureJob name, const FigureJobRun& job);
  // A picture operation on the current session (no job may be running).
  bool Idle() const;

  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  void ShowLayers(const FigureSession& session);
  void ShowPictureArea(bool shown);
  void UpdateJobButtons();
  void CoupleFromWidth();   // Text6 -> Text7
  void CoupleFromHeight();  // Text7 -> Text6

  Link& link_;
  SettingsStore& settings_;
  const FigureWindowTraits& traits_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  // Shared with a running job, which keeps it until it has unwound even when
  // the window is closed meanwhile.
  std::shared_ptr<FigureSession> session_;
  FigureSession* jobSession_ = nullptr;  // the session the running job works on
  WindowLink* jobLink_ = nullptr;        // and its link
  JobHost jobs_;
  std::function<QString()> chooser_;
  InterruptionPrompt* prompt_ = nullptr;

  QLineEdit* pathField_;
  QPushButton* chooseButton_;
  LayerTabsWidget* layers_;
  QGroupBox* sizeFrame_;
  QLineEdit* widthField_;
  QLineEdit* heightField_;
  QLineEdit* depthField_ = nullptr;
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
  QPushButton* fillButton_;
  QPushButton* gcodeButton_;
  QPushButton* stopButton_;
  FigureTreeWidget* tree_;
  PositioningControls* controls_ = nullptr;

  bool pictureUsable_ = false;  // a picture with 24 bits per pixel is loaded
};

}  // namespace vertolin
