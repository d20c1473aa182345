#include "picture/picture_widget.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "picture/pixel_image.h"

namespace vertolin {

namespace {

constexpr int kRepaintIntervalMs = 16;  // about sixty repaints a second at most

}  // namespace

PictureWidget::PictureWidget(QWidget* parent) : QWidget(parent) {
  throttle_.setSingleShot(true);
  throttle_.setInterval(kRepaintIntervalMs);
  connect(&throttle_, &QTimer::timeout, this, [this] {
    if (dirty_) RequestRepaint();
  });
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PictureWidget::SetPicture(const PixelImage& picture) {
  if (picture.empty()) {
    Clear();
    return;
  }
  image_ = QImage(picture.width(), picture.height(), QImage::Format_BGR888);
  const auto rowBytes = static_cast<std::size_t>(picture.width()) * PixelImage::kBytesPerPixel;
  for (int row = 0; row < picture.height(); ++row) {
    std::memcpy(image_.scanLine(row), picture.bytes().data() + row * picture.stride(), rowBytes);
  }
  updateGeometry();
  RequestRepaint();
}

void PictureWidget::Clear() {
  image_ = QImage();
  RequestRepaint();
}

void PictureWidget::MarkPixel(int x, int y, QRgb colour) {
  uchar* pixel = image_.scanLine(y - 1) + (x - 1) * 3;
  pixel[0] = static_cast<uchar>(qBlue(colour));
  pixel[1] = static_cast<uchar>(qGreen(colour));
  pixel[2] = static_cast<uchar>(qRed(colour));
  dirty_ = true;
  if (!throttle_.isActive()) throttle_.start();
}

void PictureWidget::Flush() {
  if (dirty_) RequestRepaint();
}

void PictureWidget::RequestRepaint() {
  dirty_ = false;
  ++repaintRequests_;
  update();
}

QSize PictureWidget::sizeHint() const {
  return image_.isNull() ? QSize(200, 150) : image_.size();
}

void PictureWidget::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  // Fit the box keeping the picture's proportions, never larger than the
  // picture itself, at the top-left corner; pixels are copied, not smoothed.
  QSize target = image_.size().scaled(size(), Qt::KeepAspectRatio);
  target = target.boundedTo(image_.size());
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRect(QPoint(0, 0), target), image_);
}

}  // namespace vertolin
