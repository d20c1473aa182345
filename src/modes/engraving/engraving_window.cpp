#include "modes/engraving/engraving_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "link/link.h"
#include "link/texts.h"
#include "jobs/gcode_program.h"
#include "modes/engraving/raster_job.h"
#include "ui/gcode_file_dialog.h"
#include "modes/engraving/raster_progress_widget.h"
#include "modes/job_registry.h"
#include "modes/picture_file_dialog.h"
#include "picture/default_pictures.h"
#include "settings/mode_settings.h"
#include "settings/settings_store.h"
#include "util/size_coupling.h"
#include "ui/picture_widget.h"

namespace vertolin {

namespace {

constexpr const char* kImageKey = keys::kEtchImage.data();

const QString kStartCaption = QStringLiteral("Гравировать");
const QString kRunningCaption = QStringLiteral("Идёт гравировка…");

// The window's fields as the job reads them: afresh at every use.
class WindowFields : public RasterFields {
 public:
  WindowFields(const QLineEdit* steps, const QLineEdit* light, const QLineEdit* dark,
               const QLineEdit* width, const PositioningControls& controls,
               const QCheckBox* drawEach)
      : steps_(steps),
        light_(light),
        dark_(dark),
        width_(width),
        controls_(controls),
        drawEach_(drawEach) {}

  std::string StepsPerPixel() const override { return Utf8(steps_); }
  std::string LightDelay() const override { return light_ ? Utf8(light_) : std::string(); }
  std::string DarkDelay() const override { return Utf8(dark_); }
  std::string Width() const override { return Utf8(width_); }
  bool ReturnToStart() const override { return controls_.ReturnToStart(); }
  bool DrawEachPixel() const override { return drawEach_ && drawEach_->isChecked(); }

 private:
  const QLineEdit* steps_;
  const QLineEdit* light_;  // none for wood burning
  const QLineEdit* dark_;
  const QLineEdit* width_;
  const PositioningControls& controls_;
  const QCheckBox* drawEach_;  // none for wood burning
};

}  // namespace

EngravingWindow::EngravingWindow(Link& link, SettingsStore& settings, const LinkFormat& format,
                                 QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      format_(&format == &formats::kWoodBurning ? formats::kWoodBurning : formats::kGradation),
      links_(link_, format_),
      jobs_([this] { UpdateJobButtons(); }) {
  setObjectName(Gradation() ? QStringLiteral("Form3") : QStringLiteral("Form8"));
  setWindowTitle(Gradation() ? QStringLiteral("Гравирование лазером")
                             : QStringLiteral("Гравировка нитью по дереву"));

  // The picture and its file.
  pathField_ = Named(new QLineEdit, "Text1");
  chooseButton_ = Button("Command2", "...");
  pictureBox_ = Named(new PictureWidget, "Pict");

  auto* left = new QVBoxLayout;
  left->addWidget(FileFrame(pathField_, chooseButton_));
  left->addWidget(pictureBox_, 1);

  // Finished size.
  widthField_ = Field("Text6", "200");
  heightField_ = Field("Text7", "100");
  stepsField_ = Field("Text2", "10");
  sizeFrame_ = SizeFrame(QStringLiteral("Размер готового изображения"), widthField_, heightField_,
                         QStringLiteral("Шагов на пиксель:"), stepsField_);

  // Burn delays.
  delayLabel_ = Named(new QLabel(QStringLiteral("Задержка между шагами при грав-ке, микросек.")),
                      "Label3");
  delayLabel_->setWordWrap(true);
  darkDelayField_ = Field("Text4", "4000");
  auto* delays = new QHBoxLayout;
  delays->addWidget(darkDelayField_);
  if (Gradation()) {
    lightDelayField_ = Field("Text3", "0");
    lightDelayField_->setToolTip(QStringLiteral("Нижний порог лазера"));
    delays->addWidget(lightDelayField_);
  }

  // The positioning controls; the window shows their stop button with its
  // own job button and their switches in a frame of their own.
  controls_ = new PositioningControls(links_.first(), QStringLiteral("Гравировать"), true);
  controls_->findChild<QLabel*>(QStringLiteral("Label1"))->setObjectName(QStringLiteral("Label8"));
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { links_.MoveNow(dx, dy, dz); });

  jobFrame_ = Named(new QGroupBox(QStringLiteral("Гравирование")), "Frame2");
  engraveButton_ = Named(new QPushButton(kStartCaption), "Command1");
  stopButton_ = controls_->stopButton();
  auto* jobBox = new QVBoxLayout(jobFrame_);
  auto* jobRow = new QHBoxLayout;
  jobRow->addWidget(engraveButton_, 1);
  jobRow->addWidget(stopButton_);  // moves it out of the controls' own grid
  jobBox->addLayout(jobRow);
  gcodeButton_ = NewSaveGcodeButton();
  jobBox->addWidget(gcodeButton_);
  if (Gradation()) {
    drawEachSwitch_ = Named(new QCheckBox(QStringLiteral("Отрисовка")), "Check3");
    drawEachSwitch_->setToolTip(QStringLiteral("Без галки - построчная отрисовка"));
    jobBox->addWidget(drawEachSwitch_);
  }
  jobBox->addWidget(jobs_.bar());

  auto* right = new QVBoxLayout;
  right->addWidget(sizeFrame_);
  right->addWidget(delayLabel_);
  right->addLayout(delays);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(ControlsColumn(right, jobFrame_, *controls_, 300));

  chooser_ = [this] { return ChoosePictureFile(this); };

  connect(engraveButton_, &QPushButton::clicked, this, &EngravingWindow::Engrave);
  connect(gcodeButton_, &QPushButton::clicked, this, &EngravingWindow::SaveGcode);
  connect(chooseButton_, &QPushButton::clicked, this, &EngravingWindow::ChoosePicture);
  connect(widthField_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromWidth);
  connect(heightField_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromHeight);
  connect(stepsField_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromSteps);
}

EngravingWindow::~EngravingWindow() = default;

QSize EngravingWindow::sizeHint() const { return {1000, 620}; }

void EngravingWindow::SetFileChooser(std::function<QString()> chooser) {
  chooser_ = std::move(chooser);
}

void EngravingWindow::Load() {
  links_.Open(controls_->driveSwitch());
  HandshakeAtLoad(links_.current(), *controls_, Gradation() ? "PT" : "BT");
  if (drawEachSwitch_ != nullptr) drawEachSwitch_->setChecked(false);

  darkDelayField_->setText(QString::fromStdString(keys::kEtchDelay.Read(settings_)));
  if (lightDelayField_ != nullptr) {
    lightDelayField_->setText(QString::fromStdString(keys::kEtchMin.Read(settings_)));
  }
  LoadRememberedPicture(settings_, kImageKey, kGepardFileName, pathField_, Shower());
  widthField_->setText(QString::fromStdString(keys::kEtchWidth.Read(settings_)));
  CoupleFromWidth();
}

void EngravingWindow::Unload() {
  if (!links_.Close(jobs_.Running())) return;
  settings_.WriteSetting(keys::kEtchWidth.key, Utf8(widthField_));
  settings_.WriteSetting(keys::kEtchDelay.key, Utf8(darkDelayField_));
  if (lightDelayField_ != nullptr)
    settings_.WriteSetting(keys::kEtchMin.key, Utf8(lightDelayField_));
}

void EngravingWindow::LoadPicture(const std::string& pathUtf8, PictureResult loaded) {
  picture_ = std::make_shared<PixelImage>();
  if (loaded.error != PictureError::None || !loaded.picture) {
    // Missing, or there but not a picture this program reads.
    ShowPictureArea(false);
    pictureUsable_ = false;
    pictureBox_->Clear();
    link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, pathUtf8));
  } else {
    ShowPictureArea(true);
    *picture_ = std::move(loaded.picture->image);
    pictureBox_->SetPicture(*picture_);
    pictureUsable_ = loaded.picture->fileBitsPerPixel == 24;
    if (!pictureUsable_) {
      link_.frontend().ShowMessage(texts::kTitleWarning,
                                   LowDepthWarningText(kEngravingImpossibleText));
    }
  }
  UpdateJobButtons();
  CoupleFromWidth();
}

ShowPicture EngravingWindow::Shower() {
  return [this](const std::string& path, PictureResult loaded) {
    LoadPicture(path, std::move(loaded));
  };
}

void EngravingWindow::ShowPictureArea(bool shown) {
  const std::initializer_list<QWidget*> area = {sizeFrame_,  jobFrame_,       pictureBox_,
                                                delayLabel_, darkDelayField_, lightDelayField_};
  for (QWidget* widget : area) {
    if (widget != nullptr) widget->setVisible(shown);
  }
}

void EngravingWindow::UpdateJobButtons() {
  engraveButton_->setEnabled(pictureUsable_ && !jobs_.Running());
  gcodeButton_->setEnabled(pictureUsable_ && !jobs_.Running());
  engraveButton_->setText(jobs_.Running() ? kRunningCaption : kStartCaption);
  stopButton_->setEnabled(pictureUsable_);
  // A new picture in the middle of a job would leave the job burning one
  // picture while the window shows another.
  chooseButton_->setEnabled(!jobs_.Running());
  // A job that has ended may have lost the board on the way.
  if (!jobs_.Running() && controls_ != nullptr) controls_->ShowLinkState();
}

void EngravingWindow::Engrave() {
  if (!pictureUsable_) return;
  // The job works on a fresh copy of the picture as shown; its marks become
  // the shown picture unless another picture was loaded meanwhile.
  const std::shared_ptr<PixelImage> shown = picture_;
  const WindowFields fields(stepsField_, lightDelayField_, darkDelayField_, widthField_, *controls_,
                            drawEachSwitch_);
  const auto count = [&] { return CountRasterJob(links_.current(), *shown, fields); };
  const JobInfo& info = *FindJob(Gradation() ? "engrave" : "burn");
  const JobHost::Journal journal{std::string(info.name), std::string(info.caption),
                                 &links_.current(), settings_.path()};
  jobs_.Run(shown, count, journal, [&] {
    PixelImage work = *shown;
    RasterProgressWidget progress(*pictureBox_, work, [this, &shown] { return picture_ == shown; });
    RunRasterJob(links_.current(), work, fields, progress);
    *shown = std::move(work);
  });
}

void EngravingWindow::SaveGcode() {
  if (!pictureUsable_ || jobs_.Running()) return;
  const std::shared_ptr<PixelImage> shown = picture_;
  const WindowFields fields(stepsField_, lightDelayField_, darkDelayField_, widthField_, *controls_,
                            drawEachSwitch_);
  WindowLink& window = links_.current();
  vertolin::SaveGcode(this, link_.frontend(), [&] {
    return ExportGcode(window, [&](MotionObserver& program) {
      return CountRasterJob(window, *shown, fields, &program).has_value();
    });
  });
}

void EngravingWindow::ChoosePicture() {
  if (OpenChosenPicture(chooser_ ? chooser_() : QString(), link_, settings_, kImageKey, pathField_,
                        Shower())) {
    CoupleFromWidth();
  }
}

// The derived fields keep their text when the field left does not hold a
// number: the job says what is wrong when it is started.
void EngravingWindow::CoupleFromWidth() {
  if (HeightFromWidth(widthField_, heightField_, *picture_)) ShowStepsFor(Utf8(widthField_));
}

void EngravingWindow::CoupleFromHeight() {
  if (const auto width = WidthFromHeight(heightField_, widthField_, *picture_))
    ShowStepsFor(*width);
}

void EngravingWindow::ShowStepsFor(const std::string& width) {
  if (const auto steps = StepsPerPixelForWidth(width, link_.profile().xRatio, picture_->width())) {
    stepsField_->setText(QString::fromStdString(*steps));
  }
}

void EngravingWindow::CoupleFromSteps() {
  QString steps = stepsField_->text();
  steps.replace(QLatin1Char('.'), QLatin1Char(','));
  if (steps != stepsField_->text()) stepsField_->setText(steps);
  const auto width = WidthForStepsPerPixel(steps.toStdString(), link_.profile().xRatio,
                                           picture_->width());
  if (!width) return;
  widthField_->setText(QString::fromStdString(*width));
  CoupleFromWidth();
}

}  // namespace vertolin
