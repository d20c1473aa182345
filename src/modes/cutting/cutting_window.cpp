#include "modes/cutting/cutting_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "jobs/gcode_program.h"
#include "link/link.h"
#include "ui/gcode_file_dialog.h"
#include "link/texts.h"
#include "modes/cutting/processing_run.h"
#include "modes/cutting/stroke_cut.h"
#include "modes/dry_run.h"
#include "modes/job_registry.h"
#include "modes/picture_file_dialog.h"
#include "picture/default_pictures.h"
#include "settings/mode_settings.h"
#include "settings/settings_store.h"
#include "util/exe_folder.h"
#include "ui/layer_tabs_widget.h"
#include "ui/picture_widget.h"

namespace vertolin {

namespace {

constexpr int kTraceLayer = 2;  // "Лазер", among "Основная", "Шаблон", "Лазер"

QRgb Colour(const PixelImage& layer, int x, int y) {
  const std::uint8_t* pixel = layer.bytes().data() + layer.Offset(x, y);
  return qRgb(pixel[2], pixel[1], pixel[0]);
}

}  // namespace

// Label7 and ProgressBar1 while a filter runs, and the layers after it.
class CuttingWindow::ProcessingDisplay : public ProcessingView {
 public:
  explicit ProcessingDisplay(CuttingWindow& window) : window_(window) {}

  void Stage(std::string_view label) override {
    const QString text = QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
    window_.progressBar_->setRange(0, 100);
    window_.progressBar_->setValue(0);
    window_.progressBar_->show();
    window_.stageLabel_->setText(text);
    window_.stageLabel_->show();
    emit window_.StageShown(text);
  }
  void Bar(double value) override { window_.progressBar_->setValue(static_cast<int>(value)); }
  void Idle() override {
    window_.stageLabel_->hide();
    window_.progressBar_->hide();
  }
  void LayersWritten(CuttingFilter filter) override {
    if (filter == CuttingFilter::GS) {
      window_.ShowLayers();
    } else if (!window_.filterFrame_->isHidden()) {
      window_.workBox_->SetPicture(window_.layers_->work);
    }
  }

 private:
  CuttingWindow& window_;
};

// Paints the cut into "Лазер" pixel by pixel: the widget limits its own
// repaints, so each step costs a few pixels whatever the picture's size.
class CuttingWindow::CutDisplay : public CutView {
 public:
  // `trace`: the layer the cut marks, the window's or a dry run's copy of it.
  CutDisplay(CuttingWindow& window, std::shared_ptr<const CuttingLayers> layers,
             const PixelImage& trace)
      : window_(window), layers_(std::move(layers)), trace_(trace) {}

  void Marked(int x, int y) override {
    if (!Shown()) return;
    const PixelImage& trace = trace_;
    PictureWidget& box = window_.layerTabs_->box(kTraceLayer);
    const int around[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& [dx, dy] : around) {
      const int px = x + dx;
      const int py = y + dy;
      if (px >= 1 && py >= 1 && px <= trace.width() && py <= trace.height()) {
        box.MarkPixel(px, py, Colour(trace, px, py));
      }
    }
  }
  void Redraw() override {
    if (Shown()) window_.layerTabs_->box(kTraceLayer).Flush();
  }

 private:
  // A picture loaded since would not show this cut's marks (the window
  // keeps that from happening while a cut runs).
  bool Shown() const { return window_.layers_ == layers_ && window_.pictureLoaded_; }

  CuttingWindow& window_;
  std::shared_ptr<const CuttingLayers> layers_;
  const PixelImage& trace_;
};

// The fields as the cut reads them: afresh at every use.
class CuttingWindow::WindowFields : public CutFields {
 public:
  explicit WindowFields(const CuttingWindow& window) : window_(window) {}
  std::string Width() const override { return Utf8(window_.widthField_); }
  std::string Delay() const override { return Utf8(window_.delayField_); }
  bool ReturnToStart() const override { return window_.controls_->ReturnToStart(); }

 private:
  const CuttingWindow& window_;
};

CuttingWindow::CuttingWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      links_(link_, formats::kCutting),
      preparation_(
          std::make_unique<CuttingPreparation>(*layers_, link_.frontend(), ExecutableFolder())),
      jobs_([this] { UpdateJobButtons(); }) {
  setObjectName(QStringLiteral("Form9"));
  setWindowTitle(QStringLiteral("Резка/гравировка по рисунку"));

  // The picture file and its layers; Work (Pict1) is shown only with the
  // filter frame.
  pathField_ = Named(new QLineEdit, "Text1");
  chooseButton_ = Button("Command8", "...");
  layerTabs_ = new LayerTabsWidget({"Основная", "Шаблон", "Лазер"}, {"Pict", "Pict2", "Pict3"});
  workBox_ = Named(new PictureWidget, "Pict1");
  workBox_->hide();
  auto* left = new QVBoxLayout;
  left->addWidget(Named(FileFrame(pathField_, chooseButton_), "Frame3"));
  left->addWidget(layerTabs_, 1);
  left->addWidget(workBox_);

  // Finished size.
  widthField_ = Field("Text6", "200");
  heightField_ = Field("Text7", "100");
  sizeFrame_ = Named(new QGroupBox(QStringLiteral("Размер готового изобр-ния")), "Frame4");
  auto* size = new QGridLayout(sizeFrame_);
  size->addWidget(new QLabel(QStringLiteral("Ширина:")), 0, 0);
  size->addWidget(widthField_, 0, 1);
  size->addWidget(new QLabel(QStringLiteral("мм")), 0, 2);
  size->addWidget(new QLabel(QStringLiteral("Высота:")), 1, 0);
  size->addWidget(heightField_, 1, 1);
  size->addWidget(new QLabel(QStringLiteral("мм")), 1, 2);

  delayLabel_ = Named(new QLabel(QStringLiteral("Задержка между шагами при грав-вке, микросек.")),
                      "Label3");
  delayLabel_->setWordWrap(true);
  delayField_ = Field("Text4", "1000");

  // The single filters, in a frame the window keeps hidden.
  filterFrame_ = Named(new QGroupBox, "Frame6");
  prepareButton_ = Button("Command10", "Подготовить");
  contrastButton_ = Button("Command5", "Контраст");
  trimButton_ = Button("Command1", "Обрезка");
  clearButton_ = Button("Command2", "Очистить");
  blackWhiteButton_ = Button("Command6", "Ч/Б");
  auto* filters = new QVBoxLayout(filterFrame_);
  for (QPushButton* button :
       {prepareButton_, contrastButton_, trimButton_, clearButton_, blackWhiteButton_}) {
    filters->addWidget(button);
  }
  filterFrame_->hide();

  progressBar_ = Named(new QProgressBar, "ProgressBar1");
  progressBar_->setRange(0, 100);
  progressBar_->hide();
  stageLabel_ = Named(new QLabel(QStringLiteral("Действие")), "Label7");
  stageLabel_->hide();

  controls_ = new PositioningControls(links_.first(), QStringLiteral("Гравировать"), true);
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { links_.MoveNow(dx, dy, dz); });

  jobFrame_ = Named(new QGroupBox, "Frame2");
  processButton_ = Button("Command4", "Обработать");
  cutButton_ = Button("Command7", "Резать");
  cutButton_->setToolTip(QStringLiteral("Гравирует все фигуры с заполнением"));
  stopButton_ = controls_->stopButton();
  auto* jobs = new QGridLayout(jobFrame_);
  jobs->addWidget(processButton_, 0, 0, 1, 2);
  jobs->addWidget(cutButton_, 1, 0);
  jobs->addWidget(stopButton_, 1, 1);  // moves it out of the controls' own grid
  gcodeButton_ = NewSaveGcodeButton();
  jobs->addWidget(gcodeButton_, 2, 0, 1, 2);
  jobs->addWidget(jobs_.bar(), 3, 0, 1, 2);

  auto* right = new QVBoxLayout;
  right->addWidget(sizeFrame_);
  right->addWidget(delayLabel_);
  right->addWidget(delayField_);
  right->addWidget(filterFrame_);
  right->addWidget(stageLabel_);
  right->addWidget(progressBar_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(ControlsColumn(right, jobFrame_, *controls_, 280));

  chooser_ = [this] { return ChoosePictureFile(this); };

  connect(processButton_, &QPushButton::clicked, this, &CuttingWindow::Process);
  connect(cutButton_, &QPushButton::clicked, this, &CuttingWindow::Cut);
  connect(gcodeButton_, &QPushButton::clicked, this, &CuttingWindow::SaveGcode);
  connect(chooseButton_, &QPushButton::clicked, this, &CuttingWindow::ChoosePicture);
  const std::pair<QPushButton*, CuttingFilter> filterButtons[] = {
      {prepareButton_, CuttingFilter::ST},
      {contrastButton_, CuttingFilter::CN},
      {trimButton_, CuttingFilter::CR},
      {clearButton_, CuttingFilter::CL},
      {blackWhiteButton_, CuttingFilter::GS}};
  for (const auto& [button, filter] : filterButtons) {
    connect(button, &QPushButton::clicked, this, [this, f = filter] { RunFilter(f); });
  }
  connect(widthField_, &QLineEdit::editingFinished, this, &CuttingWindow::CoupleFromWidth);
  connect(heightField_, &QLineEdit::editingFinished, this, &CuttingWindow::CoupleFromHeight);

  ShowPictureArea(false);
  UpdateJobButtons();
}

CuttingWindow::~CuttingWindow() = default;

QSize CuttingWindow::sizeHint() const { return {1000, 640}; }

void CuttingWindow::SetFileChooser(std::function<QString()> chooser) {
  chooser_ = std::move(chooser);
}

void CuttingWindow::SetProgramFolder(const std::filesystem::path& folder) {
  if (Processing()) return;
  preparation_ = std::make_unique<CuttingPreparation>(*layers_, link_.frontend(), folder);
}

bool CuttingWindow::Processing() const { return processing_; }

void CuttingWindow::Load() {
  links_.Open(controls_->driveSwitch());
  HandshakeAtLoad(links_.current(), *controls_, "OT");
  widthField_->setText(QString::fromStdString(keys::kCutWidth.Read(settings_)));
  delayField_->setText(QString::fromStdString(keys::kCutDelay.Read(settings_)));
  // A cut or a run still unwinding from the last opening keeps the picture
  // it works on.
  if (jobs_.Running() || Processing()) return;
  LoadRememberedPicture(settings_, keys::kCutImage.data(), kOrnamentFileName, pathField_,
                        [this](const std::string& path, PictureResult loaded) {
                          LoadPicture(path, std::move(loaded));
                        });
}

void CuttingWindow::Unload() {
  if (!links_.Close(jobs_.Running())) return;
  settings_.WriteSetting(keys::kCutWidth.key, Utf8(widthField_));
  settings_.WriteSetting(keys::kCutDelay.key, Utf8(delayField_));
}

void CuttingWindow::LoadPicture(const std::string& pathUtf8, PictureResult loaded) {
  if (loaded.error != PictureError::None || !loaded.picture) {
    // Missing, or there but not a picture this program reads.
    *layers_ = CuttingLayers();
    pictureLoaded_ = false;
    pictureUsable_ = false;
    ShowPictureArea(false);
    layerTabs_->Clear();
    workBox_->Clear();
    link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, pathUtf8));
  } else {
    *layers_ = CuttingLayers::From(loaded.picture->image);
    pictureLoaded_ = true;
    pictureUsable_ = loaded.picture->fileBitsPerPixel == 24;
    ShowPictureArea(true);
    ShowLayers();
    if (!pictureUsable_) {
      link_.frontend().ShowMessage(texts::kTitleWarning,
                                   LowDepthWarningText(kEngravingImpossibleText));
    }
  }
  UpdateJobButtons();
  CoupleFromWidth();
}

void CuttingWindow::ShowLayers() {
  layerTabs_->ShowLayers({&layers_->base, &layers_->pattern, &layers_->trace});
  workBox_->SetPicture(layers_->work);
}

void CuttingWindow::ShowPictureArea(bool shown) {
  for (QWidget* widget : {static_cast<QWidget*>(sizeFrame_), static_cast<QWidget*>(jobFrame_),
                          static_cast<QWidget*>(delayLabel_), static_cast<QWidget*>(delayField_)}) {
    widget->setVisible(shown);
  }
  layerTabs_->SetShown(shown);
  workBox_->setVisible(shown && !filterFrame_->isHidden());
}

void CuttingWindow::UpdateJobButtons() {
  const bool idle = !jobs_.Running() && !Processing();
  // Only the trim filter, the cut and "Стоп" need 24 bits per pixel.
  for (QPushButton* button : {trimButton_, cutButton_, gcodeButton_})
    button->setEnabled(pictureUsable_ && idle);
  for (QPushButton* button :
       {prepareButton_, contrastButton_, clearButton_, blackWhiteButton_, processButton_}) {
    button->setEnabled(pictureLoaded_ && idle);
  }
  stopButton_->setEnabled(pictureUsable_);
  // A new picture in the middle of a run or a cut would pull the layers
  // from under it.
  chooseButton_->setEnabled(idle);
  // A job that has ended may have lost the board on the way.
  if (!jobs_.Running() && controls_ != nullptr) controls_->ShowLinkState();
}

void CuttingWindow::Prepare(const std::function<void(CuttingPreparation&, ProcessingView&)>& run) {
  if (!pictureLoaded_ || jobs_.Running() || Processing()) return;
  ProcessingDisplay display(*this);
  struct Running {
    CuttingWindow& window;
    explicit Running(CuttingWindow& w) : window(w) {
      window.processing_ = true;
      window.UpdateJobButtons();
    }
    ~Running() {
      window.processing_ = false;
      window.UpdateJobButtons();
    }
  } running(*this);
  run(*preparation_, display);
}

void CuttingWindow::Process() {
  Prepare([](CuttingPreparation& preparation, ProcessingView& view) { preparation.Process(view); });
}

void CuttingWindow::RunFilter(CuttingFilter filter) {
  Prepare([filter](CuttingPreparation& preparation, ProcessingView& view) {
    preparation.RunOne(filter, view);
  });
}

void CuttingWindow::SaveGcode() {
  if (!pictureUsable_ || jobs_.Running() || Processing()) return;
  const std::shared_ptr<CuttingLayers> layers = layers_;
  const WindowFields fields(*this);
  WindowLink& window = links_.current();
  const StrokeCut cut(window);
  vertolin::SaveGcode(this, link_.frontend(), [&] {
    return ExportGcode(window, [&](MotionObserver& program) {
      return cut.Count(layers->trace, fields, &program).has_value();
    });
  });
}

void CuttingWindow::Cut() {
  if (!pictureUsable_ || jobs_.Running() || Processing() || links_.MovesWaiting()) return;
  const std::shared_ptr<CuttingLayers> layers = layers_;
  const WindowFields fields(*this);
  StrokeCut cut(links_.current());
  const auto count = [&] { return cut.Count(layers->trace, fields); };
  const JobInfo& info = *FindJob("cut");
  const JobHost::Journal journal{std::string(info.name), std::string(info.caption),
                                 &links_.current(), settings_.path()};
  jobs_.Run(layers, count, journal, [&] {
    // A dry cut paints its marks on a copy: the drawing is still to cut.
    const DryRunScope dry(links_.current());
    if (!dry.dry()) {
      CutDisplay display(*this, layers, layers->trace);
      cut.Run(layers->trace, fields, display);
      return;
    }
    PixelImage trace = layers->trace;
    CutDisplay display(*this, layers, trace);
    cut.Run(trace, fields, display);
    if (!dry.StayedDry()) layers->trace = std::move(trace);
  });
}

void CuttingWindow::ChoosePicture() {
  const QString chosen = chooser_ ? chooser_() : QString();
  // The dialog lets events run: a cut or a run may have started meanwhile.
  if (jobs_.Running() || Processing()) return;
  OpenChosenPicture(chosen, link_, settings_, keys::kCutImage.data(), pathField_,
                    [this](const std::string& path, PictureResult loaded) {
                      LoadPicture(path, std::move(loaded));
                    });
}

// The other field keeps its text when the field left does not hold a number.
void CuttingWindow::CoupleFromWidth() { HeightFromWidth(widthField_, heightField_, layers_->base); }

void CuttingWindow::CoupleFromHeight() {
  WidthFromHeight(heightField_, widthField_, layers_->base);
}

}  // namespace vertolin
