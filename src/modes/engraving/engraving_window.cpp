#include "modes/engraving/engraving_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <utility>

#include "app/exe_folder.h"
#include "app/settings_store.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "modes/engraving/raster_job.h"
#include "modes/picture_file_dialog.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/default_pictures.h"
#include "picture/picture_widget.h"
#include "util/size_coupling.h"

namespace vertolin {

namespace {

constexpr const char* kDelayKey = "Etching_delay";
constexpr const char* kMinKey = "Etching_min";
constexpr const char* kImageKey = "Etching_image";
constexpr const char* kWidthKey = "Etching_width";

const QString kStartCaption = QStringLiteral("Гравировать");
const QString kRunningCaption = QStringLiteral("Идёт гравировка…");

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLineEdit* Field(const char* name, const char* text) {
  return Named(new QLineEdit(QString::fromUtf8(text)), name);
}

std::string Utf8(const QLineEdit* field) { return field->text().toStdString(); }

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
                                                     : WindowFlavour::Gradation) {
  links_.push_back(std::make_unique<WindowLink>(link_, flavour_));
  setObjectName(Gradation() ? QStringLiteral("Form3") : QStringLiteral("Form8"));
  setWindowTitle(Gradation() ? QStringLiteral("Гравирование лазером")
                             : QStringLiteral("Гравировка нитью по дереву"));

  // The picture and its file.
  auto* fileFrame = new QGroupBox(QStringLiteral("Выбор файла"));
  text1_ = Named(new QLineEdit, "Text1");
  command2_ = Named(new QPushButton(QStringLiteral("...")), "Command2");
  command2_->setFixedWidth(40);
  auto* fileRow = new QHBoxLayout(fileFrame);
  fileRow->addWidget(text1_, 1);
  fileRow->addWidget(command2_);
  pict_ = Named(new PictureWidget, "Pict");

  auto* left = new QVBoxLayout;
  left->addWidget(fileFrame);
  left->addWidget(pict_, 1);

  // Finished size.
  frame4_ = Named(new QGroupBox(QStringLiteral("Размер готового изображения")), "Frame4");
  text6_ = Field("Text6", "200");
  text7_ = Field("Text7", "100");
  text2_ = Field("Text2", "10");
  auto* size = new QGridLayout(frame4_);
  size->addWidget(new QLabel(QStringLiteral("Ширина:")), 0, 0);
  size->addWidget(text6_, 0, 1);
  size->addWidget(new QLabel(QStringLiteral("Высота:")), 1, 0);
  size->addWidget(text7_, 1, 1);
  size->addWidget(new QLabel(QStringLiteral("Шагов на пиксель:")), 2, 0);
  size->addWidget(text2_, 2, 1);

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
  controls_ = new PositioningControls(*links_.front(), QStringLiteral("Гравировать"), true);
  controls_->findChild<QLabel*>(QStringLiteral("Label1"))->setObjectName(QStringLiteral("Label8"));
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { ManualMove(dx, dy, dz); });

  frame2_ = Named(new QGroupBox(QStringLiteral("Гравирование")), "Frame2");
  command1_ = Named(new QPushButton(kStartCaption), "Command1");
  command9_ = controls_->findChild<QPushButton*>(QStringLiteral("Command9"));
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

  auto* setupFrame = new QGroupBox(QStringLiteral("Настройка"));
  auto* setup = new QVBoxLayout(setupFrame);
  setup->addWidget(controls_->driveSwitch());
  setup->addWidget(controls_->returnSwitch());

  auto* right = new QVBoxLayout;
  right->addWidget(frame4_);
  right->addWidget(label3_);
  right->addLayout(delays);
  right->addWidget(frame2_);
  right->addWidget(setupFrame);
  right->addWidget(controls_);
  right->addStretch(1);
  auto* rightColumn = new QWidget;
  rightColumn->setLayout(right);
  rightColumn->setFixedWidth(300);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(rightColumn);

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
  loaded_ = true;
  if (linkAbandoned_) {
    // The old link's late acknowledgement, if any, is swallowed by the
    // handshake's settling below.
    links_.push_back(std::make_unique<WindowLink>(link_, flavour_));
    CurrentLink().SetDriveSwitch(
        [box = QPointer<QCheckBox>(controls_->driveSwitch())] { return box && box->isChecked(); });
    linkAbandoned_ = false;
  }

  try {
    const HandshakeResult result = RunHandshake(link_, Gradation() ? "PT" : "BT");
    WarnAboutFirmware(link_.frontend(), result);
    controls_->ApplyHandshake(result);
  } catch (const LinkError&) {
    // The read failure has been shown; the window opens unable to drive.
    HandshakeResult failed;
    failed.status = std::string(texts::kStatusNoPort);
    controls_->ApplyHandshake(failed);
  }
  // Every opening starts with the switches clear, as the window was designed.
  controls_->returnSwitch()->setChecked(false);
  if (check3_ != nullptr) check3_->setChecked(false);

  text4_->setText(QString::fromStdString(settings_.ReadSetting(kDelayKey, "4000")));
  if (text3_ != nullptr) text3_->setText(QString::fromStdString(settings_.ReadSetting(kMinKey, "0")));
  const std::string defaultImage = PathToUtf8(ExecutableFolder() / kGepardFileName);
  const std::string image = settings_.ReadSetting(kImageKey, defaultImage);
  text1_->setText(QString::fromStdString(image));
  LoadPicture(image, LoadPictureFile(PathFromUtf8(image)));
  text6_->setText(QString::fromStdString(settings_.ReadSetting(kWidthKey, "200")));
  CoupleFromWidth();
}

void EngravingWindow::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  link_.RequestStop();
  if (jobRunning_ || movesWaiting_ > 0) {
    // A board that never answers must not keep a closed window's job waiting.
    CurrentLink().Abandon();
    linkAbandoned_ = true;
  }
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
  struct Running {
    EngravingWindow& window;
    explicit Running(EngravingWindow& w) : window(w) {
      window.jobRunning_ = true;
      window.UpdateJobButtons();
    }
    ~Running() {
      window.jobRunning_ = false;
      window.UpdateJobButtons();
    }
  } running(*this);

  // The job works on a fresh copy of the picture as shown; its marks become
  // the shown picture unless another picture was loaded meanwhile.
  const int generation = pictureGeneration_;
  PixelImage work = picture_;
  const WindowFields fields(text2_, text3_, text4_, text6_, *controls_, check3_);
  PictureProgress progress(*pict_, work, link_,
                           [this, generation] { return pictureGeneration_ == generation; });
  RunRasterJob(CurrentLink(), work, fields, progress);
  if (pictureGeneration_ == generation) picture_ = std::move(work);
}

void EngravingWindow::Command2_Click() {
  const QString chosen = chooser_ ? chooser_() : QString();
  if (!chosen.isEmpty()) {
    const std::string path = chosen.toStdString();
    PictureResult loaded = LoadPictureFile(PathFromUtf8(path));
    if (loaded.error != PictureError::None) {
      // Says why when the file is a picture too large to hold; otherwise
      // "Ошибка открытия файла!". The previous picture stays.
      link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, path));
      return;
    }
    text1_->setText(chosen);
    settings_.WriteSetting(kImageKey, path);
    LoadPicture(path, std::move(loaded));
  }
  CoupleFromWidth();
}

void EngravingWindow::ManualMove(double dx, double dy, double dz) {
  QScopedValueRollback<int> waiting(movesWaiting_, movesWaiting_ + 1);
  try {
    CurrentLink().ArduinoMoveMM(dx, dy, dz);
  } catch (const LinkError&) {
    // Shown already (read failure, refused move); the window stays usable.
  }
}

// The derived fields keep their text when the field left does not hold a
// number: the job says what is wrong when it is started.
void EngravingWindow::CoupleFromWidth() {
  const int W = picture_.width();
  if (W < 1) return;
  const std::string width = Utf8(text6_);
  if (const auto height = HeightForWidth(width, W, picture_.height())) {
    text7_->setText(QString::fromStdString(*height));
  }
  if (const auto steps = StepsPerPixelForWidth(width, link_.profile().xRatio, W)) {
    text2_->setText(QString::fromStdString(*steps));
  }
}

void EngravingWindow::CoupleFromHeight() {
  const int H = picture_.height();
  if (H < 1) return;
  const auto width = WidthForHeight(Utf8(text7_), picture_.width(), H);
  if (!width) return;
  text6_->setText(QString::fromStdString(*width));
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
