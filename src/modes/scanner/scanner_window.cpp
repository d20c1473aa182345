#include "jobs/gcode_program.h"
#include "ui/gcode_file_dialog.h"
#include "modes/scanner/scanner_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <chrono>
#include <string>
#include <utility>

#include "link/link.h"
#include "link/texts.h"
#include "modes/scanner/height_picture.h"
#include "modes/scanner/image_export.h"
#include "modes/scanner/mesh_view_widget.h"
#include "modes/scanner/scan_job.h"
#include "settings/mode_settings.h"
#include "settings/settings_store.h"
#include "util/exe_folder.h"
#include "util/size_coupling.h"
#include "ui/number_field_widget.h"

namespace vertolin {

namespace {

constexpr std::string_view kBadPictureSize =
    "Размеры изображения в пикселях должны быть целыми числами не меньше 0";

// A mesh field holds at most five characters.
constexpr int kMeshFieldLimit = 4;

const QString kDataCaption = QStringLiteral("Данные:");

QLabel* GripSquare(const char* name, const char* colour, QWidget* parent) {
  auto* square = Named(new QLabel(parent), name);
  square->setFixedSize(kGripSide, kGripSide);
  square->setStyleSheet(QStringLiteral("background-color: %1;").arg(QLatin1String(colour)));
  return square;
}

QLabel* Caption(const char* text) { return new QLabel(QString::fromUtf8(text)); }

// "X:" field unit, as the mesh and area rows are laid out.
void AddRow(QGridLayout* grid, int row, const char* axis, QLineEdit* field, const char* unit) {
  grid->addWidget(Caption(axis), row, 0);
  grid->addWidget(field, row, 1);
  grid->addWidget(Caption(unit), row, 2);
}

// "Данные: v" and the node's marker as each value arrives.
class WindowProgress : public ScanProgress {
 public:
  WindowProgress(QLabel& data, MeshViewWidget& view, std::function<MeshLayout()> layout)
      : data_(data), view_(view), layout_(std::move(layout)) {}

  void Measured(int x, int y, std::int32_t value) override {
    data_.setText(kDataCaption + QLatin1Char(' ') + QString::number(value));
    // Raw values of a real scan are clipped for the marker only.
    view_.PaintNode(layout_(), x, y, MarkerGrey(value));
  }

 private:
  QLabel& data_;
  MeshViewWidget& view_;
  std::function<MeshLayout()> layout_;
};

}  // namespace

ScannerWindow::ScannerWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : ModeWindow(parent),
      link_(link),
      settings_(settings),
      links_(link_, formats::kScanner),
      imageFolder_(ExecutableFolder()),
      jobs_([this] { UpdateJobButtons(); }) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("3D Сканер"));

  // "Настройки сканирования": the mesh and the area.
  meshXField_ = Field("Text3", "6");
  meshYField_ = Field("Text4", "5");
  areaXField_ = Field("Text8", "120");
  areaYField_ = Field("Text9", "50");
  auto* meshFrame = new QGroupBox(QStringLiteral("Размеры сетки"));
  auto* meshGrid = new QGridLayout(meshFrame);
  AddRow(meshGrid, 0, "X:", meshXField_, "точек");
  AddRow(meshGrid, 1, "Y:", meshYField_, "точек");
  auto* areaFrame = new QGroupBox(QStringLiteral("Область сканирования"));
  auto* areaGrid = new QGridLayout(areaFrame);
  AddRow(areaGrid, 0, "X:", areaXField_, "мм");
  AddRow(areaGrid, 1, "Y:", areaYField_, "мм");
  auto* settingsFrame = new QGroupBox(QStringLiteral("Настройки сканирования"));
  auto* settingsBox = new QVBoxLayout(settingsFrame);
  settingsBox->addWidget(meshFrame);
  settingsBox->addWidget(areaFrame);

  // "Размеры изображения в пикселях".
  widthField_ = Field("Text6", "200");
  heightField_ = Field("Text7", "100");
  setSizeButton_ = Button("Command7", "Установить");
  auto* sizeFrame = new QGroupBox(QStringLiteral("Размеры изображения в пикселях"));
  auto* sizeGrid = new QGridLayout(sizeFrame);
  sizeGrid->addWidget(Caption("Ширина:"), 0, 0);
  sizeGrid->addWidget(widthField_, 0, 1);
  sizeGrid->addWidget(Caption("Высота:"), 1, 0);
  sizeGrid->addWidget(heightField_, 1, 1);
  sizeGrid->addWidget(setSizeButton_, 2, 0, 1, 2);
  for (QLineEdit* field : {areaXField_, areaYField_, widthField_, heightField_}) {
    NumberKeyFilter::Install(field);
  }
  for (QLineEdit* field : {meshXField_, meshYField_}) field->installEventFilter(this);

  // The view with its grip on the lower-right corner; the canvas leaves room
  // for the half of the grip outside the box.
  canvas_ = new QWidget;
  view_ = Named(new MeshViewWidget(canvas_), "Pict");
  view_->setToolTip(
      QStringLiteral("Узлы сетки: оттенок серого — измеренная высота (чёрный — самая низкая "
                     "точка); синий — узел не измерен (сканирование остановлено)"));
  view_->move(0, 0);
  dragGrip_ = GripSquare("Label13", "blue", canvas_);
  dragGrip_->hide();
  grip_ = GripSquare("Label12", "black", canvas_);
  grip_->setCursor(Qt::SizeFDiagCursor);
  grip_->setToolTip(QStringLiteral("Потяните, чтобы изменить размер поля сетки"));
  grip_->installEventFilter(this);
  auto* scroll = new QScrollArea;
  scroll->setWidget(canvas_);
  scroll->setWidgetResizable(false);

  // The jobs.
  controls_ = new PositioningControls(links_.first(), QStringLiteral("Сканировать"), false);
  controls_->findChild<QLabel*>(QStringLiteral("Label1"))->setObjectName(QStringLiteral("Label8"));
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { links_.MoveNow(dx, dy, dz); });
  scanButton_ = Button("Command6", "Сканировать");
  stopButton_ = controls_->stopButton();
  interpolateButton_ = Button("Command2", "Интерполировать");
  saveButton_ = Button("Command1", "Сохранить в BMP");
  dataLabel_ = Named(new QLabel(kDataCaption), "Label9");
  auto* jobs = new QGridLayout;
  jobs->addWidget(scanButton_, 0, 0);
  jobs->addWidget(stopButton_, 0, 1);  // moves it out of the controls' own grid
  jobs->addWidget(interpolateButton_, 1, 0);
  jobs->addWidget(saveButton_, 1, 1);
  gcodeButton_ = NewSaveGcodeButton();
  jobs->addWidget(gcodeButton_, 2, 0, 1, 2);
  jobs->addWidget(jobs_.bar(), 3, 0, 1, 2);

  auto* startFrame = new QGroupBox(QStringLiteral("Установка начального положения"));
  auto* startBox = new QVBoxLayout(startFrame);
  startBox->addWidget(controls_->driveSwitch());
  startBox->addWidget(controls_);

  auto* right = new QVBoxLayout;
  right->addWidget(settingsFrame);
  right->addWidget(sizeFrame);
  right->addLayout(jobs);
  right->addWidget(dataLabel_);
  right->addWidget(startFrame);
  right->addStretch(1);
  auto* column = new QWidget;
  column->setLayout(right);
  column->setFixedWidth(300);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(scroll, 1);
  layout->addWidget(column);

  connect(scanButton_, &QPushButton::clicked, this, &ScannerWindow::Scan);
  connect(gcodeButton_, &QPushButton::clicked, this, &ScannerWindow::SaveGcode);
  connect(interpolateButton_, &QPushButton::clicked, this, &ScannerWindow::Interpolate);
  connect(saveButton_, &QPushButton::clicked, this, &ScannerWindow::SaveImage);
  connect(setSizeButton_, &QPushButton::clicked, this, &ScannerWindow::ApplySize);
  connect(areaXField_, &QLineEdit::editingFinished, this, &ScannerWindow::CoupleFromAreaX);
  connect(areaYField_, &QLineEdit::editingFinished, this, &ScannerWindow::CoupleFromAreaY);
  connect(widthField_, &QLineEdit::editingFinished, this, &ScannerWindow::CoupleFromAreaX);
  connect(heightField_, &QLineEdit::editingFinished, this, &ScannerWindow::CoupleFromAreaX);
  connect(meshXField_, &QLineEdit::editingFinished, this, &ScannerWindow::RefreshMesh);
  connect(meshYField_, &QLineEdit::editingFinished, this, &ScannerWindow::RefreshMesh);

  SetBox(box_);
  DrawEmptyMesh();
}

ScannerWindow::~ScannerWindow() = default;

QSize ScannerWindow::sizeHint() const { return {900, 620}; }

void ScannerWindow::Load() {
  links_.Open(controls_->driveSwitch());
  HandshakeAtLoad(links_.current(), *controls_, "ST");
  widthField_->setText(QString::fromStdString(keys::kScanPictureWidth.Read(settings_)));
  heightField_->setText(QString::fromStdString(keys::kScanPictureHeight.Read(settings_)));
  const auto width = PictureSide(Utf8(widthField_));
  const auto height = PictureSide(Utf8(heightField_));
  if (const auto box = width && height ? BoxForPicture(*width, *height) : std::nullopt)
    SetBox(*box);
  areaXField_->setText(QString::fromStdString(keys::kScanAreaWidth.Read(settings_)));
  CoupleFromAreaX();
  meshXField_->setText(QString::fromStdString(keys::kScanMeshWidth.Read(settings_)));
  meshYField_->setText(QString::fromStdString(keys::kScanMeshHeight.Read(settings_)));
  RefreshMesh();
  PlaceGrip(grip_);
}

void ScannerWindow::Unload() {
  // A scan must not go on driving the machine behind a closed window, so the
  // closing stops it as every job window's does.
  if (!links_.Close(jobs_.Running())) return;
  settings_.WriteSetting(keys::kScanMeshWidth.key, Utf8(meshXField_));
  settings_.WriteSetting(keys::kScanMeshHeight.key, Utf8(meshYField_));
  settings_.WriteSetting(keys::kScanPictureWidth.key, Utf8(widthField_));
  settings_.WriteSetting(keys::kScanPictureHeight.key, Utf8(heightField_));
  settings_.WriteSetting(keys::kScanAreaWidth.key, Utf8(areaXField_));
}

int ScannerWindow::MeshX() const { return PictureSide(Utf8(meshXField_)).value_or(0); }
int ScannerWindow::MeshY() const { return PictureSide(Utf8(meshYField_)).value_or(0); }

MeshLayout ScannerWindow::Layout() const { return LayOutMesh(box_, MeshX(), MeshY()); }

void ScannerWindow::SetBox(BoxSize box) {
  box_ = box;
  canvas_->setFixedSize(box.width + kGripSide, box.height + kGripSide);
}

void ScannerWindow::PlaceGrip(QLabel* square) {
  const GripPlace place = vertolin::PlaceGrip(view_->x(), view_->y(), box_);
  square->move(place.left, place.top);
  square->raise();
}

void ScannerWindow::DrawEmptyMesh() { view_->Show(vertolin::DrawEmptyMesh(Layout())); }

void ScannerWindow::UpdateJobButtons() {
  const bool running = jobs_.Running();
  scanButton_->setEnabled(!running);
  gcodeButton_->setEnabled(!running);
  // The view stays as the scan paints it while the scan runs.
  setSizeButton_->setEnabled(!running);
  interpolateButton_->setEnabled(!running);
  // A job that has ended may have lost the board on the way.
  if (!jobs_.Running() && controls_ != nullptr) controls_->ShowLinkState();
}

bool ScannerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grip_) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        GripPressed();
        return true;
      case QEvent::MouseMove: {
        // Only a mouse event is one: the cast comes after the type check.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() & Qt::LeftButton) GripMoved(mouse->position().toPoint());
        return true;
      }
      case QEvent::MouseButtonRelease:
        GripReleased();
        return true;
      default:
        return false;
    }
  }
  if ((watched == meshXField_ || watched == meshYField_) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key();
    // Enter refreshes the mesh (the field's editingFinished); Tab moves on.
    if (code == Qt::Key_Return || code == Qt::Key_Enter || code == Qt::Key_Tab ||
        code == Qt::Key_Backtab) {
      return false;
    }
    const bool digit = key->text().size() == 1 && key->text()[0].isDigit() &&
                       key->text()[0].unicode() < 0x80;
    if (!digit && code != Qt::Key_Backspace) return true;
    return static_cast<QLineEdit*>(watched)->text().size() > kMeshFieldLimit;
  }
  return false;
}

void ScannerWindow::GripPressed() {
  gripPressedAt_ = grip_->pos();
  dragGrip_->show();
  PlaceGrip(dragGrip_);
}

void ScannerWindow::GripMoved(QPoint pointer) {
  const GripResize resize = ResizeByGrip(pointer.x() + gripPressedAt_.x() - view_->x(),
                                         pointer.y() + gripPressedAt_.y() - view_->y(), MeshX(),
                                         MeshY());
  BoxSize box = box_;
  if (resize.boxWidth) box.width = *resize.boxWidth;
  if (resize.boxHeight) box.height = *resize.boxHeight;
  if (resize.pictureWidth) widthField_->setText(QString::number(*resize.pictureWidth));
  if (resize.pictureHeight) heightField_->setText(QString::number(*resize.pictureHeight));
  SetBox(box);
  PlaceGrip(dragGrip_);
  DrawEmptyMesh();
}

void ScannerWindow::GripReleased() {
  dragGrip_->hide();
  PlaceGrip(grip_);
  grip_->show();
}

void ScannerWindow::ApplySize() {
  const auto width = PictureSide(Utf8(widthField_));
  const auto height = PictureSide(Utf8(heightField_));
  const auto box = width && height ? BoxForPicture(*width, *height) : std::nullopt;
  if (!box) {
    link_.frontend().ShowMessage(texts::kTitleError, kBadPictureSize);
    return;
  }
  SetBox(*box);
  PlaceGrip(dragGrip_);
  PlaceGrip(grip_);
  DrawEmptyMesh();
}

// The derived field is emptied when the picture has no size to keep the
// shape of; a field left that holds no number leaves it as it is.
void ScannerWindow::CoupleFromAreaX() {
  const auto width = PictureSide(Utf8(widthField_));
  const auto height = PictureSide(Utf8(heightField_)).value_or(0);
  if (!width || *width <= 0) {
    areaYField_->clear();
    return;
  }
  if (const auto text = HeightForWidth(Utf8(areaXField_), *width, height)) {
    areaYField_->setText(QString::fromStdString(*text));
  }
}

void ScannerWindow::CoupleFromAreaY() {
  const auto width = PictureSide(Utf8(widthField_)).value_or(0);
  const auto height = PictureSide(Utf8(heightField_));
  if (!height || *height <= 0) {
    areaXField_->clear();
    return;
  }
  if (const auto text = WidthForHeight(Utf8(areaYField_), width, *height)) {
    areaXField_->setText(QString::fromStdString(*text));
  }
}

void ScannerWindow::SaveGcode() {
  if (jobs_.Running()) return;
  const std::string meshX = Utf8(meshXField_);
  const std::string meshY = Utf8(meshYField_);
  const std::string areaX = Utf8(areaXField_);
  const std::string areaY = Utf8(areaYField_);
  const MachineProfile& profile = link_.profile();
  const ScanFields fields{meshX, meshY, areaX, areaY, profile.xRatio, profile.yRatio};
  WindowLink& window = links_.current();
  vertolin::SaveGcode(this, link_.frontend(), [&] {
    return ExportGcode(window, [&](MotionObserver& program) {
      return CountScan(window, fields, &program).has_value();
    });
  });
}

void ScannerWindow::Scan() {
  // The map being measured is the window's from the first node on, so that
  // "Интерполировать" after a stop uses what was measured; a refused mesh
  // leaves this copy as it was.
  const std::shared_ptr<HeightMap> map = std::make_shared<HeightMap>(*map_);
  const std::string meshX = Utf8(meshXField_);
  const std::string meshY = Utf8(meshYField_);
  const std::string areaX = Utf8(areaXField_);
  const std::string areaY = Utf8(areaYField_);
  const MachineProfile& profile = link_.profile();
  const ScanFields fields{meshX, meshY, areaX, areaY, profile.xRatio, profile.yRatio};
  std::optional<JobEstimate> counted;
  const auto count = [&] {
    counted = CountScan(links_.current(), fields);
    return counted;
  };
  jobs_.Run(map, count, [&] {
    const ScanPlanResult planned = PlanScan(fields);
    if (planned.plan && !LengthAccepted(*planned.plan, counted)) return;
    map_ = map;
    // What the scan does not reach (a stop) must not look like a low point.
    if (planned.plan) view_->MarkUnmeasured(Layout());
    WindowProgress progress(*dataLabel_, *view_, [this] { return Layout(); });
    // Check1 decides what the whole scan is: a real scan must not turn into
    // a dry one half way (nor back).
    QCheckBox* drive = controls_->driveSwitch();
    const bool driveEnabled = drive->isEnabled();
    drive->setEnabled(false);
    RunScan(links_.current(), fields, *map, progress);
    drive->setEnabled(driveEnabled);
  });
}

bool ScannerWindow::LengthAccepted(const ScanPlan& plan,
                                   const std::optional<JobEstimate>& counted) {
  // A mesh this large, or a scan this long, is asked about first: a typing
  // slip (1000 for 10) would keep the machine busy for days.
  constexpr std::int64_t kAskFromNodes = 10000;
  constexpr double kAskFromSeconds = 3600;
  const std::int64_t nodes = std::int64_t{plan.meshX} * plan.meshY;
  // A dry run is not counted: it pauses a while at every node.
  const double seconds = counted ? counted->seconds()
                                 : static_cast<double>(nodes) *
                                       std::chrono::duration<double>(kDryRunPause).count();
  if (nodes < kAskFromNodes && seconds < kAskFromSeconds) return true;
  const auto minutes = static_cast<std::int64_t>(seconds / 60 + 0.5);
  const std::string question =
      "Сетка " + std::to_string(plan.meshX) + " × " + std::to_string(plan.meshY) + ": " +
      std::to_string(nodes) + " точек. Сканирование займёт около " +
      (minutes >= 60 ? std::to_string(minutes / 60) + " ч " : std::string()) +
      std::to_string(minutes % 60) + " мин.\r\nНачать?\r\nДа - сканировать. Нет - не сканировать.";
  return link_.frontend().AskYesNo(texts::kTitleWarning, question);
}

void ScannerWindow::Interpolate() {
  const auto width = PictureSide(Utf8(widthField_));
  const auto height = PictureSide(Utf8(heightField_));
  if (!width || !height || *width < 0 || *height < 0) {
    link_.frontend().ShowMessage(texts::kTitleError, kBadPictureSize);
    return;
  }
  // The map's own mesh size, whatever Text3 and Text4 say since the scan.
  PixelImage view = view_->view();
  const std::string_view refusal = InterpolateInto(view, *map_, *width, *height);
  if (!refusal.empty()) {
    link_.frontend().ShowMessage(texts::kTitleError, refusal);
    return;
  }
  view_->Show(std::move(view));
}

void ScannerWindow::SaveImage() {
  const ImageSaveResult saved = SaveImageBmp(view_->view(), imageFolder_);
  if (saved.saved) {
    link_.frontend().ShowMessage(texts::kTitleSaving, texts::kImageSaved);
  } else {
    link_.frontend().ShowMessage(texts::kTitleError, saved.error);
  }
}

}  // namespace vertolin
