#include "modes/milling/milling_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "settings/settings_store.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "modes/milling/milling_session.h"
#include "modes/picture_file_dialog.h"
#include "modes/positioning/positioning_widget.h"
#include "picture/default_pictures.h"
#include "ui/picture_widget.h"

namespace vertolin {

namespace {

constexpr const char* kWidthKey = "cncrez_width";
constexpr const char* kDepthKey = "cncrez_depth";
constexpr const char* kDiameterKey = "mill_diameter";
constexpr const char* kDelayKey = "SM_mill_delay";
constexpr const char* kImageKey = "Image";

// Above this many screen pixels in both directions the picture area shows
// all four layers at once (6000 twips).
constexpr int kGridFrom = 400;

constexpr int kSelectionTab = 2;

}  // namespace

// The fields as the jobs read them: afresh at every use.
class MillingWindow::WindowFields : public MillingFields {
 public:
  explicit WindowFields(const MillingWindow& window) : window_(window) {}

  std::string Width() const override { return Utf8(window_.text6_); }
  std::string Depth() const override { return Utf8(window_.text1_); }
  std::string Diameter() const override { return Utf8(window_.text3_); }
  std::string Delay() const override { return Utf8(window_.text4_); }
  bool ReturnToOrigin() const override { return window_.controls_->ReturnToStart(); }

 private:
  const MillingWindow& window_;
};

// Shows what one session does, as long as that session is the window's: a
// job still unwinding after the window was closed shows nothing.
class MillingWindow::SessionView : public MillingView {
 public:
  SessionView(MillingWindow& window, const MillingSession& session)
      : window_(window), session_(session) {}

  void ProgressPainted(const PixelBox& box) override {
    PictureWidget& pict3 = *window_.boxes_[3];
    const PixelImage& progress = session_.progress();
    if (Shown() && pict3.HasPicture()) {
      // Only the footprint's pixels: the cost does not grow with the picture.
      const int left = std::max(box.left, 1);
      const int top = std::max(box.top, 1);
      const int right = std::min(box.right, progress.width());
      const int bottom = std::min(box.bottom, progress.height());
      for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
          const std::uint8_t* pixel = progress.bytes().data() + progress.Offset(x, y);
          pict3.MarkPixel(x, y, qRgb(pixel[2], pixel[1], pixel[0]));
        }
      }
    }
    // A dry run waits for nothing: this is where "Стоп", the tree and the
    // tabs get their chance.
    window_.link_.pump().Tick();
  }

  void LayersChanged() override {
    if (Shown()) window_.ShowLayers(session_);
  }

  void TreeChanged() override {
    if (Shown()) window_.ShowTree(session_.figures());
  }

 private:
  bool Shown() const { return window_.session_.get() == &session_; }

  MillingWindow& window_;
  const MillingSession& session_;
};

MillingWindow::MillingWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : ModeWindow(parent), link_(link), settings_(settings), links_(link_, WindowFlavour::Milling) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vertolin"));

  // The picture file and the four layers.
  text2_ = Named(new QLineEdit, "Text2");
  command8_ = Button("Command8", "...");

  pictureArea_ = new QWidget;
  pictureGrid_ = new QGridLayout(pictureArea_);
  pictureGrid_->setContentsMargins(0, 0, 0, 0);
  tabStrip1_ = Named(new QTabBar, "TabStrip1");
  for (const char* caption : {"Основная", "Градиент", "Выделение", "Фреза"}) {
    tabStrip1_->addTab(QString::fromUtf8(caption));
  }
  pictureGrid_->addWidget(tabStrip1_, 0, 0, 1, 2);
  const char* boxNames[4] = {"Pict", "Pict1", "Pict2", "Pict3"};
  for (int i = 0; i < 4; ++i) {
    boxes_[i] = Named(new PictureWidget, boxNames[i]);
    pictureGrid_->addWidget(boxes_[i], 1, 0, 1, 2);  // the tab view: one cell for all
  }
  pictureGrid_->setRowStretch(1, 1);
  pictureGrid_->setRowStretch(2, 1);
  pictureArea_->installEventFilter(this);

  auto* left = new QVBoxLayout;
  left->addWidget(FileFrame(text2_, command8_));
  left->addWidget(pictureArea_, 1);

  // The tree of nesting.
  tv_ = Named(new QTreeWidget, "tv");
  tv_->setHeaderHidden(true);
  tv_->setColumnCount(1);
  tv_->setIndentation(14);
  // Deep nesting scrolls sideways instead of clipping the numbers.
  tv_->header()->setStretchLastSection(false);
  tv_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tv_->setFixedWidth(150);

  // Finished size and depth.
  text6_ = Field("Text6", "200");
  text7_ = Field("Text7", "100");
  text1_ = Field("Text1", "10");
  frame4_ = SizeFrame(QStringLiteral("Размер готового изображ."), text6_, text7_,
                      QStringLiteral("Глубина:"), text1_);

  // The tool.
  frame5_ = Named(new QGroupBox(QStringLiteral("Фреза")), "Frame5");
  text3_ = Field("Text3", "3");
  auto* tool = new QHBoxLayout(frame5_);
  tool->addWidget(new QLabel(QStringLiteral("Диаметр, мм")));
  tool->addWidget(text3_);
  label3_ = Named(new QLabel(QStringLiteral("Задержка между шагами при фрез-вке, микросек.")),
                  "Label3");
  label3_->setWordWrap(true);
  text4_ = Field("Text4", "4000");
  text4_->setToolTip(QStringLiteral("Задержка между шагами при фрезеровке в микросекундах"));

  // The positioning controls; their "Стоп" joins the job buttons and their
  // switches get a frame of their own.
  controls_ = new PositioningControls(links_.first(), QStringLiteral("Фрезеровать"), true);
  controls_->SetManualMoveHandler(
      [this](double dx, double dy, double dz) { ManualMove(dx, dy, dz); });

  frame2_ = Named(new QGroupBox, "Frame2");
  command1_ = Button("Command1", "Разобрать");
  command2_ = Button("Command2", "Выделенная");
  command6_ = Button("Command6", "Все");
  command4_ = Button("Command4", "Градиент");
  command5_ = Button("Command5", "Отступить");
  command7_ = Button("Command7", "Резать 3D");
  command9_ = StopButton(*controls_);
  auto* jobs = new QGridLayout(frame2_);
  jobs->addWidget(command1_, 0, 0);
  jobs->addWidget(command4_, 0, 1);
  jobs->addWidget(command2_, 1, 0);
  jobs->addWidget(command5_, 1, 1);
  jobs->addWidget(command6_, 2, 0);
  jobs->addWidget(command7_, 2, 1);
  jobs->addWidget(command9_, 3, 0, 1, 2);  // moves it out of the controls' own grid

  auto* right = new QVBoxLayout;
  right->addWidget(frame4_);
  right->addWidget(frame5_);
  right->addWidget(label3_);
  right->addWidget(text4_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(tv_);
  layout->addWidget(ControlsColumn(right, frame2_, *controls_, 280));

  chooser_ = [this] { return ChoosePictureFile(this); };

  connect(command1_, &QPushButton::clicked, this, &MillingWindow::Command1_Click);
  connect(command2_, &QPushButton::clicked, this, &MillingWindow::Command2_Click);
  connect(command6_, &QPushButton::clicked, this, &MillingWindow::Command6_Click);
  connect(command4_, &QPushButton::clicked, this, &MillingWindow::Command4_Click);
  connect(command5_, &QPushButton::clicked, this, &MillingWindow::Command5_Click);
  connect(command7_, &QPushButton::clicked, this, &MillingWindow::Command7_Click);
  connect(command8_, &QPushButton::clicked, this, &MillingWindow::Command8_Click);
  connect(tv_, &QTreeWidget::itemSelectionChanged, this, &MillingWindow::Tv_Click);
  connect(tabStrip1_, &QTabBar::currentChanged, this, &MillingWindow::TabStrip1_Click);
  connect(text6_, &QLineEdit::editingFinished, this, &MillingWindow::CoupleFromWidth);
  connect(text7_, &QLineEdit::editingFinished, this, &MillingWindow::CoupleFromHeight);

  ShowPictureArea(false);
  UpdateJobButtons();
}

MillingWindow::~MillingWindow() = default;

QSize MillingWindow::sizeHint() const { return {1100, 640}; }

void MillingWindow::SetFileChooser(std::function<QString()> chooser) {
  chooser_ = std::move(chooser);
}

void MillingWindow::Load() {
  links_.Open(controls_->driveSwitch());
  RetireSession();
  session_ = std::make_unique<MillingSession>(links_.current());
  session_->Reset();
  links_.current().ClearPendingSteps();
  HandshakeAtLoad(link_, *controls_, "MT");

  text6_->setText(QString::fromStdString(settings_.ReadSetting(kWidthKey, "200")));
  text1_->setText(QString::fromStdString(settings_.ReadSetting(kDepthKey, "10")));
  text3_->setText(QString::fromStdString(settings_.ReadSetting(kDiameterKey, "3")));
  text4_->setText(QString::fromStdString(settings_.ReadSetting(kDelayKey, "4000")));
  LoadRememberedPicture(settings_, kImageKey, kOrnamentFileName, text2_,
                        [this](const std::string& path, PictureResult loaded) {
                          LoadPicture(path, std::move(loaded));
                        });
}

void MillingWindow::Unload() {
  if (!links_.Close(jobRunning_)) return;
  settings_.WriteSetting(kWidthKey, Utf8(text6_));
  settings_.WriteSetting(kDepthKey, Utf8(text1_));
  settings_.WriteSetting(kDiameterKey, Utf8(text3_));
  settings_.WriteSetting(kDelayKey, Utf8(text4_));
  // The layers go with the window's opening.
  RetireSession();
  ClearShownPicture();
  ShowTree(nullptr);
}

void MillingWindow::RetireSession() {
  if (session_ && session_.get() == jobSession_) {
    retiredSession_ = std::move(session_);
  } else {
    session_.reset();
  }
}

void MillingWindow::LoadPicture(const std::string& pathUtf8, PictureResult loaded) {
  if (loaded.error != PictureError::None || !loaded.picture) {
    // Missing, or there but not a picture this program reads.
    session_->LoadPicture(PixelImage());
    pictureUsable_ = false;
    ShowPictureArea(false);
    ClearShownPicture();
    ShowTree(session_->figures());
    link_.frontend().ShowMessage(texts::kTitleError, PictureErrorText(loaded, pathUtf8));
  } else {
    session_->LoadPicture(loaded.picture->image);
    pictureUsable_ = loaded.picture->fileBitsPerPixel == 24;
    ShowPictureArea(true);
    ShowLayers(*session_);
    ShowTree(session_->figures());
    if (!pictureUsable_) {
      link_.frontend().ShowMessage(texts::kTitleWarning,
                                   LowDepthWarningText(kMillingImpossibleText));
    }
  }
  UpdateJobButtons();
  CoupleFromWidth();
}

void MillingWindow::ShowLayers(const MillingSession& session) {
  boxes_[0]->SetPicture(session.base());
  boxes_[1]->SetPicture(session.work());
  boxes_[2]->SetPicture(session.selection());
  boxes_[3]->SetPicture(session.progress());
}

void MillingWindow::ClearShownPicture() {
  for (PictureWidget* box : boxes_) box->Clear();
}

void MillingWindow::ShowTree(const FigureSet* set) {
  QScopedValueRollback<bool> filling(fillingTree_, true);
  tv_->clear();
  if (set == nullptr) return;
  // Parents come before their children: the tree is listed depth first.
  std::unordered_map<std::int32_t, QTreeWidgetItem*> items;
  for (const FigureTreeNode& node : set->tree.nodes()) {
    const auto parent = items.find(node.parent);
    auto* item = parent == items.end() ? new QTreeWidgetItem(tv_)
                                       : new QTreeWidgetItem(parent->second);
    item->setText(0, QString::number(node.figure));
    item->setData(0, Qt::UserRole, QString::fromStdString(NodeKey(node.figure)));
    items.emplace(node.figure, item);
  }
  for (const auto& [figure, item] : items) {
    if (set->tree.HasChildren(figure)) item->setExpanded(true);
  }
}

void MillingWindow::ShowPictureArea(bool shown) {
  pictureShown_ = shown;
  for (QWidget* widget : {static_cast<QWidget*>(frame4_), static_cast<QWidget*>(frame5_),
                          static_cast<QWidget*>(frame2_), static_cast<QWidget*>(label3_),
                          static_cast<QWidget*>(text4_)}) {
    widget->setVisible(shown);
  }
  ArrangePictures();
}

bool MillingWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pictureArea_ && event->type() == QEvent::Resize) ArrangePictures();
  return ModeWindow::eventFilter(watched, event);
}

void MillingWindow::ArrangePictures() {
  if (!pictureShown_) {
    tabStrip1_->hide();
    for (PictureWidget* box : boxes_) box->hide();
    return;
  }
  const bool grid = pictureArea_->width() > kGridFrom && pictureArea_->height() > kGridFrom;
  if (grid != gridShown_) {
    gridShown_ = grid;
    for (int i = 0; i < 4; ++i) {
      pictureGrid_->removeWidget(boxes_[i]);
      if (grid) {
        pictureGrid_->addWidget(boxes_[i], 1 + i / 2, i % 2);
      } else {
        pictureGrid_->addWidget(boxes_[i], 1, 0, 1, 2);
      }
    }
  }
  tabStrip1_->setVisible(!grid);
  for (int i = 0; i < 4; ++i) boxes_[i]->setVisible(grid || i == tabStrip1_->currentIndex());
}

void MillingWindow::TabStrip1_Click(int) { ArrangePictures(); }

void MillingWindow::UpdateJobButtons() {
  const bool startable = pictureUsable_ && !jobRunning_;
  for (QPushButton* button : {command1_, command2_, command6_, command4_, command5_, command7_}) {
    button->setEnabled(startable);
  }
  command9_->setEnabled(pictureUsable_);
  // A new picture in the middle of a job would leave the job milling one
  // picture while the window shows another.
  command8_->setEnabled(!jobRunning_);
}

void MillingWindow::RunJob(const Job& job) {
  // Events run inside the job's waits: a second start must not nest a job,
  // nor may one start while a manual move waits for its acknowledgement.
  if (jobRunning_ || links_.MovesWaiting() || !session_ || !pictureUsable_) return;
  MillingSession& session = *session_;
  // A session retired while the job ran goes once the job has unwound.
  const auto dropRetired = qScopeGuard([this] { retiredSession_.reset(); });
  const QScopedValueRollback<MillingSession*> jobSession(jobSession_, &session);
  const QScopedValueRollback<WindowLink*> jobLink(jobLink_, &links_.current());
  const RunningJob running(jobRunning_, [this] { UpdateJobButtons(); });

  const WindowFields fields(*this);
  SessionView view(*this, session);
  try {
    job(session, fields, view);
  } catch (const LinkError&) {
    // The jobs end quietly on a stop or a lost link; nothing is left to say.
  }
  if (session_.get() == &session) {
    for (PictureWidget* box : boxes_) box->Flush();
  }
}

void MillingWindow::Command1_Click() {
  if (jobRunning_ || !session_ || !pictureUsable_) return;
  SessionView view(*this, *session_);
  session_->Parse(view);
}

void MillingWindow::Command2_Click() {
  std::optional<int> figure;
  const QList<QTreeWidgetItem*> selected = tv_->selectedItems();
  if (!selected.isEmpty()) {
    figure = FigureOfKey(selected.front()->data(0, Qt::UserRole).toString().toStdString());
  }
  RunJob([figure](MillingSession& session, const MillingFields& fields, MillingView& view) {
    return session.MillSelected(figure, fields, view);
  });
}

void MillingWindow::Command6_Click() {
  RunJob([](MillingSession& session, const MillingFields& fields, MillingView& view) {
    return session.MillAll(fields, view);
  });
}

void MillingWindow::Command4_Click() {
  if (jobRunning_ || !session_ || !pictureUsable_) return;
  const WindowFields fields(*this);
  SessionView view(*this, *session_);
  session_->Gradient(fields, view);
}

void MillingWindow::Command5_Click() {
  if (jobRunning_ || !session_ || !pictureUsable_) return;
  const WindowFields fields(*this);
  SessionView view(*this, *session_);
  session_->Offset(fields, view);
}

void MillingWindow::Command7_Click() {
  RunJob([](MillingSession& session, const MillingFields& fields, MillingView& view) {
    return session.Relief(fields, view);
  });
}

void MillingWindow::Command8_Click() {
  const QString chosen = chooser_ ? chooser_() : QString();
  // The dialog lets events run: a job may have started, or the window closed.
  if (!jobRunning_ && session_ &&
      !OpenChosenPicture(chosen, link_, settings_, kImageKey, text2_,
                         [this](const std::string& path, PictureResult loaded) {
                           LoadPicture(path, std::move(loaded));
                         })) {
    return;
  }
  CoupleFromWidth();
}

void MillingWindow::Tv_Click() {
  if (fillingTree_ || !session_) return;
  const QList<QTreeWidgetItem*> selected = tv_->selectedItems();
  if (selected.isEmpty()) return;
  const auto figure = FigureOfKey(selected.front()->data(0, Qt::UserRole).toString().toStdString());
  if (!figure) return;
  SessionView view(*this, *session_);
  session_->ShowFigure(*figure, view);
  tabStrip1_->setCurrentIndex(kSelectionTab);
}

void MillingWindow::ManualMove(double dx, double dy, double dz) {
  if (jobSession_ != nullptr && jobSession_->jobKind() != JobKind::None) {
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
void MillingWindow::CoupleFromWidth() {
  if (session_) HeightFromWidth(text6_, text7_, session_->base());
}

void MillingWindow::CoupleFromHeight() {
  if (session_) WidthFromHeight(text7_, text6_, session_->base());
}

}  // namespace vertolin
