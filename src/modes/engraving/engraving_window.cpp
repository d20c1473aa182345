#include "modes/engraving/engraving_window.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "settings/settings_store.h"
#include "link/link.h"
#include "link/texts.h"
#include "modes/engraving/raster_job.h"
#include "modes/picture_file_dialog.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/default_pictures.h"
#include "ui/picture_widget.h"
#include "util/size_coupling.h"

namespace vertolin {

namespace {

constexpr const char* kDelayKey = "Etching_delay";
constexpr const char* kMinKey = "Etching_min";
constexpr const char* kImageKey = "Etching_image";
constexpr const char* kWidthKey = "Etching_width";

const QString kStartCaption = QStringLiteral("Гравировать");
const QString kRunningCaption = QStringLiteral("Идёт гравировка…");

// The window's fields as the job reads them: afresh at every use.
class WindowFields : public RasterFields {
 public:
  WindowFields(const QLineEdit* steps, const QLineEdit* light, const QLineEdit* dark,
               const QLineEdit* width, const PositioningControls& controls,
               const QCheckBox* drawEach)
      : steps_(steps), light_(light), dark_(dark), width_(width), controls_(controls),
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

// Shows the burned pixels in the picture widget one by one: each mark costs
// one pixel, and the widget limits its repaints, so the person sees the same
// progress as a full redraw per pixel without its cost. Marks the job does
// not want shown yet wait for the next ShowAll.
class PictureProgress : public RasterProgress {
 public:
  PictureProgress(PictureWidget& widget, const PixelImage& work, Link& link,
                  std::function<bool()> stillShown)
      : widget_(widget), work_(work), link_(link), stillShown_(std::move(stillShown)) {}

  void Burned(int x, int y, bool show) override {
    if (!stillShown_()) return;  // another picture was loaded meanwhile
    if (!show) {
      waiting_.emplace_back(x, y);
      return;
    }
    Mark(x, y);
    // As a redraw did: a dry run waits for nothing, so this is where "Стоп"
    // gets its chance.
    link_.pump().Tick();
  }

  void ShowAll() override {
    if (stillShown_()) {
      for (const auto& [x, y] : waiting_) Mark(x, y);
      widget_.Flush();
    }
    waiting_.clear();
    link_.pump().Tick();
  }

 private:
  // The pixel as the job left it (its red byte is 255 now).
  void Mark(int x, int y) {
    const std::uint8_t* pixel = work_.bytes().data() + work_.Offset(x, y);
    widget_.MarkPixel(x, y, qRgb(pixel[2], pixel[1], pixel[0]));
  }

  PictureWidget& widget_;
  const PixelImage& work_;
  Link& link_;
  std::function<bool()> stillShown_;
  std::vector<std::pair<int, int>> waiting_;
};

}  // namespace

EngravingWindow::EngravingWindow(Link& link, SettingsStore& settings, WindowFlavour flavour,
                                 QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      flavour_(flavour == WindowFlavour::WoodBurning ? WindowFlavour::WoodBurning
                                                     : WindowFlavour::Gradation),
      links_(link_, flavour_) {
  setObjectName(Gradation() ? QStringLiteral("Form3") : QStringLiteral("Form8"));
  setWindowTitle(Gradation() ? QStringLiteral("Гравирование лазером")
                             : QStringLiteral("Гравировка нитью по дереву"));

  // The picture and its file.
  text1_ = Named(new QLineEdit, "Text1");
  command2_ = Button("Command2", "...");
  pict_ = Named(new PictureWidget, "Pict");

  auto* left = new QVBoxLayout;
  left->addWidget(FileFrame(text1_, command2_));
  left->addWidget(pict_, 1);

  // Finished size.
  text6_ = Field("Text6", "200");
  text7_ = Field("Text7", "100");
  text2_ = Field("Text2", "10");
  frame4_ = SizeFrame(QStringLiteral("Размер готового изображения"), text6_, text7_,
                      QStringLiteral("Шагов на пиксель:"), text2_);

  // Burn delays.
  label3_ = Named(new QLabel(QStringLiteral("Задержка между шагами при грав-ке, микросек.")),
                  "Label3");
  label3_->setWordWrap(true);
  text4_ = Field("Text4", "4000");
  auto* delays = new QHBoxLayout;
  delays->addWidget(text4_);
  if (Gradation()) {
    text3_ = Field("Text3", "0");
    text3_->setToolTip(QStringLiteral("Нижний порог лазера"));
    delays->addWidget(text3_);
  }

  // The positioning controls; the window shows their stop button with its
  // own job button and their switches in a frame of their own.
  controls_ = new PositioningControls(links_.first(), QStringLiteral("Гравировать"), true);
  controls_->findChild<QLabel*>(QStringLiteral("Label1"))->setObjectName(QStringLiteral("Label8"));
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { links_.MoveNow(dx, dy, dz); });

  frame2_ = Named(new QGroupBox(QStringLiteral("Гравирование")), "Frame2");
  command1_ = Named(new QPushButton(kStartCaption), "Command1");
  command9_ = StopButton(*controls_);
  auto* jobBox = new QVBoxLayout(frame2_);
  auto* jobRow = new QHBoxLayout;
  jobRow->addWidget(command1_, 1);
  jobRow->addWidget(command9_);  // moves it out of the controls' own grid
  jobBox->addLayout(jobRow);
  if (Gradation()) {
    check3_ = Named(new QCheckBox(QStringLiteral("Отрисовка")), "Check3");
    check3_->setToolTip(QStringLiteral("Без галки - построчная отрисовка"));
    jobBox->addWidget(check3_);
  }

  auto* right = new QVBoxLayout;
  right->addWidget(frame4_);
  right->addWidget(label3_);
  right->addLayout(delays);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(ControlsColumn(right, frame2_, *controls_, 300));

  chooser_ = [this] { return ChoosePictureFile(this); };

  connect(command1_, &QPushButton::clicked, this, &EngravingWindow::Command1_Click);
  connect(command2_, &QPushButton::clicked, this, &EngravingWindow::Command2_Click);
  connect(text6_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromWidth);
  connect(text7_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromHeight);
  connect(text2_, &QLineEdit::editingFinished, this, &EngravingWindow::CoupleFromSteps);
}

EngravingWindow::~EngravingWindow() = default;

QSize EngravingWindow::sizeHint() const { return {1000, 620}; }

void EngravingWindow::SetFileChooser(std::function<QString()> chooser) {
  chooser_ = std::move(chooser);
}

void EngravingWindow::Load() {
  links_.Open(controls_->driveSwitch());
  HandshakeAtLoad(link_, *controls_, Gradation() ? "PT" : "BT");
  if (check3_ != nullptr) check3_->setChecked(false);

  text4_->setText(QString::fromStdString(settings_.ReadSetting(kDelayKey, "4000")));
  if (text3_ != nullptr) text3_->setText(QString::fromStdString(settings_.ReadSetting(kMinKey, "0")));
  LoadRememberedPicture(settings_, kImageKey, kGepardFileName, text1_,
                        [this](const std::string& path, PictureResult loaded) {
                          LoadPicture(path, std::move(loaded));
                        });
  text6_->setText(QString::fromStdString(settings_.ReadSetting(kWidthKey, "200")));
  CoupleFromWidth();
}

void EngravingWindow::Unload() {
  if (!links_.Close(jobRunning_)) return;
  settings_.WriteSetting(kWidthKey, Utf8(text6_));
  settings_.WriteSetting(kDelayKey, Utf8(text4_));
  if (text3_ != nullptr) settings_.WriteSetting(kMinKey, Utf8(text3_));
}

void EngravingWindow::LoadPicture(const std::string& pathUtf8, PictureResult loaded) {
  ++pictureGeneration_;
  if (loaded.error != PictureError::None || !loaded.picture) {
    // Missing, or there but not a picture this program reads.
    ShowPictureArea(false);
    picture_ = PixelImage();
    pictureUsable_ = false;
    pict_->Clear();
    link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, pathUtf8));
  } else {
    ShowPictureArea(true);
    picture_ = std::move(loaded.picture->image);
    pict_->SetPicture(picture_);
    pictureUsable_ = loaded.picture->fileBitsPerPixel == 24;
    if (!pictureUsable_) {
      link_.frontend().ShowMessage(texts::kTitleWarning,
                                   LowDepthWarningText(kEngravingImpossibleText));
    }
  }
  UpdateJobButtons();
  CoupleFromWidth();
}

void EngravingWindow::ShowPictureArea(bool shown) {
  for (QWidget* widget : {static_cast<QWidget*>(frame4_), static_cast<QWidget*>(frame2_),
                          static_cast<QWidget*>(pict_), static_cast<QWidget*>(label3_),
                          static_cast<QWidget*>(text4_), static_cast<QWidget*>(text3_)}) {
    if (widget != nullptr) widget->setVisible(shown);
  }
}

void EngravingWindow::UpdateJobButtons() {
  command1_->setEnabled(pictureUsable_ && !jobRunning_);
  command1_->setText(jobRunning_ ? kRunningCaption : kStartCaption);
  command9_->setEnabled(pictureUsable_);
  // A new picture in the middle of a job would leave the job burning one
  // picture while the window shows another.
  command2_->setEnabled(!jobRunning_);
}

void EngravingWindow::Command1_Click() {
  // Events run inside the job's waits: a second start must not nest a job.
  if (jobRunning_ || !pictureUsable_) return;
  const RunningJob running(jobRunning_, [this] { UpdateJobButtons(); });

  // The job works on a fresh copy of the picture as shown; its marks become
  // the shown picture unless another picture was loaded meanwhile.
  const int generation = pictureGeneration_;
  PixelImage work = picture_;
  const WindowFields fields(text2_, text3_, text4_, text6_, *controls_, check3_);
  PictureProgress progress(*pict_, work, link_,
                           [this, generation] { return pictureGeneration_ == generation; });
  RunRasterJob(links_.current(), work, fields, progress);
  if (pictureGeneration_ == generation) picture_ = std::move(work);
}

void EngravingWindow::Command2_Click() {
  const bool opened = OpenChosenPicture(chooser_ ? chooser_() : QString(), link_, settings_,
                                        kImageKey, text1_,
                                        [this](const std::string& path, PictureResult loaded) {
                                          LoadPicture(path, std::move(loaded));
                                        });
  if (opened) CoupleFromWidth();
}

// The derived fields keep their text when the field left does not hold a
// number: the job says what is wrong when it is started.
void EngravingWindow::CoupleFromWidth() {
  if (!HeightFromWidth(text6_, text7_, picture_)) return;
  if (const auto steps =
          StepsPerPixelForWidth(Utf8(text6_), link_.profile().xRatio, picture_.width())) {
    text2_->setText(QString::fromStdString(*steps));
  }
}

void EngravingWindow::CoupleFromHeight() {
  const auto width = WidthFromHeight(text7_, text6_, picture_);
  if (!width) return;
  if (const auto steps = StepsPerPixelForWidth(*width, link_.profile().xRatio, picture_.width())) {
    text2_->setText(QString::fromStdString(*steps));
  }
}

void EngravingWindow::CoupleFromSteps() {
  QString steps = text2_->text();
  steps.replace(QLatin1Char('.'), QLatin1Char(','));
  if (steps != text2_->text()) text2_->setText(steps);
  const auto width =
      WidthForStepsPerPixel(steps.toStdString(), link_.profile().xRatio, picture_.width());
  if (!width) return;
  text6_->setText(QString::fromStdString(*width));
  CoupleFromWidth();
}

}  // namespace vertolin
