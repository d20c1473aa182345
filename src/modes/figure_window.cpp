#include "modes/figure_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <utility>

#include "jobs/gcode_program.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "modes/dry_run.h"
#include "modes/figure_session.h"
#include "modes/picture_file_dialog.h"
#include "picture/default_pictures.h"
#include "settings/mode_settings.h"
#include "settings/settings_store.h"
#include "ui/figure_tree_widget.h"
#include "ui/gcode_file_dialog.h"
#include "ui/layer_tabs_widget.h"
#include "ui/picture_widget.h"

namespace vertolin {

namespace {

constexpr int kSelectionTab = 2;
constexpr int kProgressLayer = 3;

QLineEdit* KeyField(const char* name, const SettingKey& key) {
  return Field(name, std::string(key.fallback).c_str());
}

void ReadField(QLineEdit* field, const SettingsStore& settings, const SettingKey& key) {
  if (field != nullptr) field->setText(QString::fromStdString(key.Read(settings)));
}

void WriteField(const QLineEdit* field, SettingsStore& settings, const SettingKey& key) {
  if (field != nullptr) settings.WriteSetting(key.key, Utf8(field));
}

void Hint(QPushButton* button, const char* hint) {
  if (hint != nullptr && *hint != '\0') button->setToolTip(QString::fromUtf8(hint));
}

}  // namespace

// The fields as the jobs read them: afresh at every use.
class FigureWindow::WindowFields : public FigureFields {
 public:
  explicit WindowFields(const FigureWindow& window) : window_(window) {}

  std::string Width() const override { return Utf8(window_.widthField_); }
  std::string Depth() const override {
    return window_.depthField_ != nullptr ? Utf8(window_.depthField_) : std::string();
  }
  std::string Diameter() const override { return Utf8(window_.diameterField_); }
  std::string Delay() const override { return Utf8(window_.delayField_); }
  bool ReturnToOrigin() const override { return window_.controls_->ReturnToStart(); }

 private:
  const FigureWindow& window_;
};

// Shows what one session does, as long as that session is the window's: a
// job still unwinding after the window was closed shows nothing. A dry run
// shows its copy of the window's session (`shownAs`) in its place.
class FigureWindow::SessionView : public FigureView {
 public:
  SessionView(FigureWindow& window, const FigureSession& session)
      : SessionView(window, session, session) {}
  SessionView(FigureWindow& window, const FigureSession& session, const FigureSession& shownAs)
      : window_(window), session_(session), shownAs_(shownAs) {}

  void ProgressPainted(const PixelBox& box) override {
    PictureWidget& shown = window_.layers_->box(kProgressLayer);
    if (!Shown() || !shown.HasPicture()) return;
    // Only the footprint's pixels: the cost does not grow with the picture.
    const PixelImage& progress = session_.progress();
    const int left = std::max(box.left, 1);
    const int top = std::max(box.top, 1);
    const int right = std::min(box.right, progress.width());
    const int bottom = std::min(box.bottom, progress.height());
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) {
        const std::uint8_t* pixel = progress.bytes().data() + progress.Offset(x, y);
        shown.MarkPixel(x, y, qRgb(pixel[2], pixel[1], pixel[0]));
      }
    }
  }

  void LayersChanged() override {
    if (Shown()) window_.ShowLayers(session_);
  }

  void TreeChanged() override {
    treeChanged_ = true;
    if (Shown()) window_.tree_->ShowFigures(session_.figures());
  }

  // The tree shown is no longer the one the view started with.
  bool treeChanged() const { return treeChanged_; }

 private:
  bool Shown() const { return window_.session_.get() == &shownAs_; }

  FigureWindow& window_;
  const FigureSession& session_;
  const FigureSession& shownAs_;
  bool treeChanged_ = false;
};

FigureWindow::FigureWindow(Link& link, SettingsStore& settings, const FigureWindowTraits& traits,
                           QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      traits_(traits),
      links_(link_, *traits.format),
      jobs_([this] { UpdateJobButtons(); }) {
  setObjectName(QString::fromLatin1(traits_.objectName));
  setWindowTitle(QString::fromUtf8(traits_.caption));

  // The picture file and the four layers.
  pathField_ = Named(new QLineEdit, traits_.pathFieldName);
  chooseButton_ = Button("Command8", "...");
  layers_ = new LayerTabsWidget({"Основная", "Градиент", "Выделение", traits_.progressTab},
                                {"Pict", "Pict1", "Pict2", "Pict3"});
  auto* left = new QVBoxLayout;
  left->addWidget(FileFrame(pathField_, chooseButton_));
  left->addWidget(layers_, 1);

  tree_ = new FigureTreeWidget;

  // Finished size (and depth).
  widthField_ = KeyField("Text6", *traits_.width);
  heightField_ = Field("Text7", "100");
  if (traits_.depth != nullptr) depthField_ = KeyField("Text1", *traits_.depth);
  sizeFrame_ = SizeFrame(QString::fromUtf8(traits_.sizeTitle), widthField_, heightField_,
                         QStringLiteral("Глубина:"), depthField_);

  // The tool.
  toolFrame_ = Named(new QGroupBox(QString::fromUtf8(traits_.toolTitle)), "Frame5");
  diameterField_ = KeyField("Text3", *traits_.diameter);
  auto* tool = new QHBoxLayout(toolFrame_);
  tool->addWidget(new QLabel(QStringLiteral("Диаметр, мм")));
  tool->addWidget(diameterField_);
  delayLabel_ = Named(new QLabel(QString::fromUtf8(traits_.delayCaption)), "Label3");
  delayLabel_->setWordWrap(true);
  delayField_ = KeyField("Text4", *traits_.delay);
  delayField_->setToolTip(QStringLiteral("Задержка между шагами при фрезеровке в микросекундах"));

  // The positioning controls; their "Стоп" joins the job buttons and their
  // switches get a frame of their own.
  controls_ = new PositioningControls(links_.first(), QString::fromUtf8(traits_.driveCaption),
                                      true);
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { ManualMove(dx, dy, dz); });

  jobFrame_ = Named(new QGroupBox, "Frame2");
  parseButton_ = Button("Command1", "Разобрать");
  selectedButton_ = Button("Command2", "Выделенная");
  allButton_ = Button("Command6", "Все");
  gradientButton_ = Button("Command4", "Градиент");
  offsetButton_ = Button("Command5", "Отступить");
  fillButton_ = Button("Command7", traits_.fillCaption);
  Hint(selectedButton_, traits_.selectedHint);
  Hint(allButton_, traits_.allHint);
  Hint(fillButton_, traits_.fillHint);
  stopButton_ = controls_->stopButton();
  auto* jobs = new QGridLayout(jobFrame_);
  jobs->addWidget(parseButton_, 0, 0);
  jobs->addWidget(gradientButton_, 0, 1);
  jobs->addWidget(selectedButton_, 1, 0);
  jobs->addWidget(offsetButton_, 1, 1);
  jobs->addWidget(allButton_, 2, 0);
  jobs->addWidget(fillButton_, 2, 1);
  jobs->addWidget(stopButton_, 3, 0, 1, 2);  // moves it out of the controls' own grid
  // The program of which job: a menu of the three.
  gcodeButton_ = NewSaveGcodeButton();
  auto* gcodeMenu = new QMenu(gcodeButton_);
  gcodeMenu->addAction(QStringLiteral("Выделенная"), this, [this] {
    const std::optional<int> figure = tree_->ChosenFigure();
    SaveGcode([figure](FigureSession& session, const FigureFields& fields, FigureView& view) {
      return session.MillSelected(figure, fields, view);
    });
  });
  gcodeMenu->addAction(QStringLiteral("Все"), this, [this] {
    SaveGcode([](FigureSession& session, const FigureFields& fields, FigureView& view) {
      return session.MillAll(fields, view);
    });
  });
  gcodeMenu->addAction(QString::fromUtf8(traits_.fillCaption), this, [this] {
    SaveGcode([](FigureSession& session, const FigureFields& fields, FigureView& view) {
      return session.Fill(fields, view);
    });
  });
  gcodeButton_->setMenu(gcodeMenu);
  jobs->addWidget(gcodeButton_, 4, 0, 1, 2);
  jobs->addWidget(jobs_.bar(), 5, 0, 1, 2);

  auto* right = new QVBoxLayout;
  right->addWidget(sizeFrame_);
  right->addWidget(toolFrame_);
  right->addWidget(delayLabel_);
  right->addWidget(delayField_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(tree_);
  layout->addWidget(ControlsColumn(right, jobFrame_, *controls_, 280));

  chooser_ = [this] { return ChoosePictureFile(this); };

  connect(parseButton_, &QPushButton::clicked, this, &FigureWindow::Parse);
  connect(selectedButton_, &QPushButton::clicked, this, &FigureWindow::MillSelected);
  connect(allButton_, &QPushButton::clicked, this, &FigureWindow::MillAll);
  connect(gradientButton_, &QPushButton::clicked, this, &FigureWindow::Gradient);
  connect(offsetButton_, &QPushButton::clicked, this, &FigureWindow::Offset);
  connect(fillButton_, &QPushButton::clicked, this, &FigureWindow::Fill);
  connect(chooseButton_, &QPushButton::clicked, this, &FigureWindow::ChoosePicture);
  connect(tree_, &FigureTreeWidget::FigureChosen, this, &FigureWindow::ShowFigure);
  connect(widthField_, &QLineEdit::editingFinished, this, &FigureWindow::CoupleFromWidth);
  connect(heightField_, &QLineEdit::editingFinished, this, &FigureWindow::CoupleFromHeight);

  ShowPictureArea(false);
  UpdateJobButtons();
}

FigureWindow::~FigureWindow() = default;

QSize FigureWindow::sizeHint() const { return {1100, 640}; }

bool FigureWindow::GridShown() const { return layers_->GridShown(); }

void FigureWindow::SetFileChooser(std::function<QString()> chooser) {
  chooser_ = std::move(chooser);
}

void FigureWindow::SetInterruptionPrompt(InterruptionPrompt* prompt) { prompt_ = prompt; }

void FigureWindow::Load() {
  links_.Open(controls_->driveSwitch());
  session_ = NewSession(links_.current());
  session_->Reset();
  links_.current().ClearPendingSteps();
  HandshakeAtLoad(links_.current(), *controls_, std::string(traits_.format->kind).c_str());

  ReadField(widthField_, settings_, *traits_.width);
  if (traits_.depth != nullptr) ReadField(depthField_, settings_, *traits_.depth);
  ReadField(diameterField_, settings_, *traits_.diameter);
  ReadField(delayField_, settings_, *traits_.delay);
  LoadRememberedPicture(settings_, std::string(traits_.imageKey).c_str(), kOrnamentFileName,
                        pathField_, [this](const std::string& path, PictureResult loaded) {
                          LoadPicture(path, std::move(loaded));
                        });
}

void FigureWindow::Unload() {
  if (!links_.Close(jobs_.Running())) return;
  WriteField(widthField_, settings_, *traits_.width);
  if (traits_.depth != nullptr) WriteField(depthField_, settings_, *traits_.depth);
  WriteField(diameterField_, settings_, *traits_.diameter);
  WriteField(delayField_, settings_, *traits_.delay);
  // The layers go with the window's opening; a job still running keeps its
  // session until it has unwound.
  session_.reset();
  layers_->Clear();
  tree_->ShowFigures(nullptr);
}

void FigureWindow::LoadPicture(const std::string& pathUtf8, PictureResult loaded) {
  if (loaded.error != PictureError::None || !loaded.picture) {
    // Missing, or there but not a picture this program reads.
    session_->LoadPicture(PixelImage());
    pictureUsable_ = false;
    ShowPictureArea(false);
    layers_->Clear();
    tree_->ShowFigures(session_->figures());
    link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, pathUtf8));
  } else {
    session_->LoadPicture(loaded.picture->image);
    pictureUsable_ = loaded.picture->fileBitsPerPixel == 24;
    ShowPictureArea(true);
    ShowLayers(*session_);
    tree_->ShowFigures(session_->figures());
    if (!pictureUsable_) {
      link_.frontend().ShowMessage(texts::kTitleWarning,
                                   LowDepthWarningText(traits_.impossibleText));
    }
  }
  UpdateJobButtons();
  CoupleFromWidth();
}

void FigureWindow::ShowLayers(const FigureSession& session) {
  layers_->ShowLayers(
      {&session.base(), &session.work(), &session.selection(), &session.progress()});
}

void FigureWindow::ShowPictureArea(bool shown) {
  for (QWidget* widget : {static_cast<QWidget*>(sizeFrame_), static_cast<QWidget*>(toolFrame_),
                          static_cast<QWidget*>(jobFrame_), static_cast<QWidget*>(delayLabel_),
                          static_cast<QWidget*>(delayField_)}) {
    widget->setVisible(shown);
  }
  layers_->SetShown(shown);
}

void FigureWindow::UpdateJobButtons() {
  const bool startable = pictureUsable_ && !jobs_.Running();
  for (QPushButton* button : {parseButton_, selectedButton_, allButton_, gradientButton_,
                              offsetButton_, fillButton_, gcodeButton_}) {
    button->setEnabled(startable);
  }
  stopButton_->setEnabled(pictureUsable_);
  // A new picture in the middle of a job would leave the job working on one
  // picture while the window shows another.
  chooseButton_->setEnabled(!jobs_.Running());
  // A job that has ended may have lost the board on the way.
  if (!jobs_.Running() && controls_ != nullptr) controls_->ShowLinkState();
}

bool FigureWindow::Idle() const { return !jobs_.Running() && session_ && pictureUsable_; }

void FigureWindow::RunJob(FigureJob name, const FigureJobRun& job) {
  // Nor may a job start while a manual move waits for its acknowledgement.
  if (!Idle() || links_.MovesWaiting()) return;
  const std::shared_ptr<FigureSession> session = session_;
  WindowLink& window = links_.current();
  window.SetInterruptionPrompt(prompt_);
  const WindowFields fields(*this);
  const auto count = [&] {
    return session->Count([this](WindowLink& counting) { return NewSession(counting); }, fields,
                          job);
  };
  const JobInfo& info = FigureJobInfo(*traits_.format, name);
  const JobHost::Journal journal{std::string(info.name), std::string(info.caption), &window,
                                 settings_.path()};
  jobs_.Run(session, count, journal, [&] {
    const QScopedValueRollback<WindowLink*> jobLink(jobLink_, &window);
    const DryRunScope dry(window);
    if (!dry.dry()) {
      const QScopedValueRollback<FigureSession*> jobSession(jobSession_, session.get());
      SessionView view(*this, *session);
      job(*session, fields, view);
      return;
    }
    // A dry run shows its footprints, but the figures it marks milled, the
    // layers it rewrites and where it leaves the head are a copy's.
    const std::shared_ptr<FigureSession> copy = NewSession(window);
    session->CopyInto(*copy);
    const QScopedValueRollback<FigureSession*> jobSession(jobSession_, copy.get());
    SessionView view(*this, *copy, *session);
    job(*copy, fields, view);
    if (!dry.StayedDry()) {
      session->TakeFrom(*copy);
    } else if (view.treeChanged() && session_ == session) {
      // The copy's figures are not the ones a click on the tree chooses from.
      tree_->ShowFigures(session->figures());
    }
  });
  if (session_ == session) layers_->Flush();
}

void FigureWindow::Parse() {
  if (!Idle()) return;
  SessionView view(*this, *session_);
  session_->Parse(view);
}

void FigureWindow::MillSelected() {
  const std::optional<int> figure = tree_->ChosenFigure();
  RunJob(FigureJob::Selected,
         [figure](FigureSession& session, const FigureFields& fields, FigureView& view) {
           return session.MillSelected(figure, fields, view);
         });
}

void FigureWindow::MillAll() {
  RunJob(FigureJob::All, [](FigureSession& session, const FigureFields& fields, FigureView& view) {
    return session.MillAll(fields, view);
  });
}

void FigureWindow::Gradient() {
  if (!Idle()) return;
  const WindowFields fields(*this);
  SessionView view(*this, *session_);
  session_->Gradient(fields, view);
}

void FigureWindow::Offset() {
  if (!Idle()) return;
  const WindowFields fields(*this);
  SessionView view(*this, *session_);
  session_->Offset(fields, view);
}

void FigureWindow::Fill() {
  RunJob(FigureJob::Fill, [](FigureSession& session, const FigureFields& fields, FigureView& view) {
    return session.Fill(fields, view);
  });
}

void FigureWindow::SaveGcode(const FigureJobRun& job) {
  if (!Idle()) return;
  const std::shared_ptr<FigureSession> session = session_;
  WindowLink& window = links_.current();
  const WindowFields fields(*this);
  vertolin::SaveGcode(this, link_.frontend(), [&] {
    return ExportGcode(window, [&](MotionObserver& program) {
      return session
          ->Count([this](WindowLink& counting) { return NewSession(counting); }, fields, job,
                  &program)
          .has_value();
    });
  });
}

void FigureWindow::ChoosePicture() {
  const QString chosen = chooser_ ? chooser_() : QString();
  // The dialog lets events run: a job may have started, or the window closed.
  if (!jobs_.Running() && session_ &&
      !OpenChosenPicture(chosen, link_, settings_, std::string(traits_.imageKey).c_str(),
                         pathField_, [this](const std::string& path, PictureResult loaded) {
                           LoadPicture(path, std::move(loaded));
                         })) {
    return;
  }
  CoupleFromWidth();
}

void FigureWindow::ShowFigure(int figure) {
  if (!session_) return;
  SessionView view(*this, *session_);
  session_->ShowFigure(figure, view);
  layers_->SetCurrent(kSelectionTab);
}

void FigureWindow::ManualMove(double dx, double dy, double dz) {
  if (traits_.pendingStepsDuringJob && jobSession_ != nullptr && jobSession_->jobKind()) {
    // During a job the distances become steps that the job's next move
    // carries, so the person can correct the position without a move of
    // its own between two of the job's.
    const auto steps = MillimetresToSteps(link_, dx, dy, dz);
    if (!steps) {
      link_.frontend().ShowMessage(texts::kTitleError, texts::kMoveOutOfRange);
      return;
    }
    try {
      jobLink_->AddPendingSteps(*steps);
    } catch (const LinkError&) {
      // Refused with a message: the sum would leave the step range.
    }
    return;
  }
  links_.MoveNow(dx, dy, dz);
}

// The other field keeps its text when the field left does not hold a number:
// the job says what is wrong when it is started.
void FigureWindow::CoupleFromWidth() {
  if (session_) HeightFromWidth(widthField_, heightField_, session_->base());
}

void FigureWindow::CoupleFromHeight() {
  if (session_) WidthFromHeight(heightField_, widthField_, session_->base());
}

}  // namespace vertolin
