#include "ui/layer_tabs_widget.h"

#include <QGridLayout>
#include <QResizeEvent>
#include <QTabBar>

#include "ui/picture_widget.h"

namespace vertolin {

namespace {

// Above this many screen pixels in both directions the area shows every
// layer at once (6000 twips).
constexpr int kGridFrom = 400;

}  // namespace

LayerTabsWidget::LayerTabsWidget(const std::vector<const char*>& captions,
                                 const std::vector<const char*>& boxNames, QWidget* parent)
    : QWidget(parent) {
  grid_ = new QGridLayout(this);
  grid_->setContentsMargins(0, 0, 0, 0);
  tabs_ = new QTabBar;
  tabs_->setObjectName(QStringLiteral("TabStrip1"));
  for (const char* caption : captions) tabs_->addTab(QString::fromUtf8(caption));
  grid_->addWidget(tabs_, 0, 0, 1, 2);
  for (const char* name : boxNames) {
    auto* box = new PictureWidget;
    box->setObjectName(QString::fromLatin1(name));
    boxes_.push_back(box);
    grid_->addWidget(box, 1, 0, 1, 2);  // the tab view: one cell for all
  }
  grid_->setRowStretch(1, 1);
  grid_->setRowStretch(2, 1);
  connect(tabs_, &QTabBar::currentChanged, this, [this] { Arrange(); });
  Arrange();
}

void LayerTabsWidget::SetCurrent(int layer) { tabs_->setCurrentIndex(layer); }

void LayerTabsWidget::ShowLayers(const std::vector<const PixelImage*>& layers) {
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    if (i < layers.size() && layers[i] != nullptr) {
      boxes_[i]->SetPicture(*layers[i]);
    } else {
      boxes_[i]->Clear();
    }
  }
}

void LayerTabsWidget::Clear() {
  for (PictureWidget* box : boxes_) box->Clear();
}

void LayerTabsWidget::Flush() {
  for (PictureWidget* box : boxes_) box->Flush();
}

void LayerTabsWidget::SetShown(bool shown) {
  shown_ = shown;
  Arrange();
}

void LayerTabsWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void LayerTabsWidget::Arrange() {
  if (!shown_) {
    tabs_->hide();
    for (PictureWidget* box : boxes_) box->hide();
    return;
  }
  const bool grid = width() > kGridFrom && height() > kGridFrom;
  if (grid != gridShown_) {
    gridShown_ = grid;
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
      grid_->removeWidget(boxes_[i]);
      const int n = static_cast<int>(i);
      if (grid) {
        grid_->addWidget(boxes_[i], 1 + n / 2, n % 2);
      } else {
        grid_->addWidget(boxes_[i], 1, 0, 1, 2);
      }
    }
  }
  tabs_->setVisible(!grid);
  for (std::size_t i = 0; i < boxes_.size(); ++i) {
    boxes_[i]->setVisible(grid || static_cast<int>(i) == tabs_->currentIndex());
  }
}

}  // namespace vertolin
