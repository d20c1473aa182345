// Form1 "Vertolin": the milling window. It shows the four layers of the
// picture, the nesting tree and the fields; the picture, the figures and the
// jobs live in MillingSession.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "app/mode_window.h"
#include "jobs/job_outcome.h"
#include "modes/picture_window_widget.h"

class QLabel;
class QTabBar;
class QTreeWidget;
class QGridLayout;

namespace vertolin {

struct FigureSet;
class MillingFields;
class MillingSession;
class MillingView;
class PictureWidget;

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

  bool JobRunning() const { return jobRunning_; }
  // The session of the current opening; nullptr while the window is closed.
  const MillingSession* session() const { return session_.get(); }
  // True while the four pictures are shown side by side instead of in tabs.
  bool GridShown() const { return gridShown_; }

  QSize sizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class SessionView;
  class WindowFields;

  void Command1_Click();  // "Разобрать"
  void Command2_Click();  // "Выделенная"
  void Command6_Click();  // "Все"
  void Command4_Click();  // "Градиент"
  void Command5_Click();  // "Отступить"
  void Command7_Click();  // "Резать 3D"
  void Command8_Click();  // "..."
  void Tv_Click();  // a node chosen in the tree
  void TabStrip1_Click(int index);
  void ManualMove(double dx, double dy, double dz);

  // Runs a job that moves the machine, refusing a second one while it runs.
  using Job = std::function<JobOutcome(MillingSession&, const MillingFields&, MillingView&)>;
  void RunJob(const Job& job);
  // Drops the session when the window closes or its picture goes; one that a
  // job still runs on is kept until the job has unwound.
  void RetireSession();

  void LoadPicture(const std::string& pathUtf8, PictureResult loaded);
  void ShowLayers(const MillingSession& session);
  void ShowTree(const FigureSet* figures);  // none: an empty tree
  void ClearShownPicture();
  void ShowPictureArea(bool shown);
  // Tabs with one picture, or all four in a 2 × 2 grid when the area is large.
  void ArrangePictures();
  void UpdateJobButtons();
  void CoupleFromWidth();   // Text6 -> Text7
  void CoupleFromHeight();  // Text7 -> Text6

  Link& link_;
  SettingsStore& settings_;
  OpeningLinks links_;  // the window's end of the protocol, one per opening
  std::unique_ptr<MillingSession> session_;
  // The session of a job still unwinding after its window was closed.
  std::unique_ptr<MillingSession> retiredSession_;
  MillingSession* jobSession_ = nullptr;  // the session the running job works on
  WindowLink* jobLink_ = nullptr;         // and its link
  std::function<QString()> chooser_;

  QLineEdit* text2_;
  QPushButton* command8_;
  QWidget* pictureArea_;
  QGridLayout* pictureGrid_;
  QTabBar* tabStrip1_;
  PictureWidget* boxes_[4];  // Pict, Pict1, Pict2, Pict3
  QGroupBox* frame4_;
  QLineEdit* text6_;
  QLineEdit* text7_;
  QLineEdit* text1_;
  QGroupBox* frame5_;
  QLineEdit* text3_;
  QLabel* label3_;
  QLineEdit* text4_;
  QGroupBox* frame2_;
  QPushButton* command1_;
  QPushButton* command2_;
  QPushButton* command6_;
  QPushButton* command4_;
  QPushButton* command5_;
  QPushButton* command7_;
  QPushButton* command9_;
  QTreeWidget* tv_;
  PositioningControls* controls_;

  bool pictureShown_ = false;   // a picture is loaded and its area shown
  bool pictureUsable_ = false;  // it has 24 bits per pixel
  bool gridShown_ = false;
  bool fillingTree_ = false;    // the tree is being rebuilt: no selection
  bool jobRunning_ = false;
};

}  // namespace vertolin
