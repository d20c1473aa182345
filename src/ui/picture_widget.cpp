#include "ui/picture_widget.h"

#include <QPaintEvent>
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
  dirty_rect_ = QRect();
  RequestRepaint();
}

void PictureWidget::Clear() {
  image_ = QImage();
  dirty_rect_ = QRect();
  RequestRepaint();
}

void PictureWidget::MarkPixel(int x, int y, QRgb colour) {
  uchar* pixel = image_.scanLine(y - 1) + (x - 1) * 3;
  pixel[0] = static_cast<uchar>(qBlue(colour));
  pixel[1] = static_cast<uchar>(qGreen(colour));
  pixel[2] = static_cast<uchar>(qRed(colour));
  dirty_rect_ |= QRect(x - 1, y - 1, 1, 1);
  dirty_ = true;
  if (!throttle_.isActive()) throttle_.start();
}

void PictureWidget::Flush() {
  if (dirty_) RequestRepaint();
}

void PictureWidget::RequestRepaint() {
  ++repaintRequests_;
  const QRect target = TargetRect();
  if (dirty_ && dirty_rect_.isValid() && !target.isEmpty() && !image_.isNull()) {
    // The marked pixels' rectangle in widget coordinates, one pixel wider on
    // every side for the rounding of the scale.
    const double sx = double(target.width()) / image_.width();
    const double sy = double(target.height()) / image_.height();
    update(QRect(int(dirty_rect_.x() * sx) - 1, int(dirty_rect_.y() * sy) - 1,
                 int(dirty_rect_.width() * sx) + 3, int(dirty_rect_.height() * sy) + 3));
  } else {
    update();
  }
  dirty_ = false;
  dirty_rect_ = QRect();
}

QRect PictureWidget::TargetRect() const {
  if (image_.isNull()) return {};
  // Fit the box keeping the picture's proportions, at the top-left corner: a
  // small picture grows with the window, pixel for pixel.
  const QSize target = image_.size().scaled(size(), Qt::KeepAspectRatio);
  return QRect(QPoint(0, 0), target);
}

QSize PictureWidget::sizeHint() const { return image_.isNull() ? QSize(200, 150) : image_.size(); }

void PictureWidget::paintEvent(QPaintEvent* event) {
  const QRect target = TargetRect();
  const QRect exposed = event->rect() & target;
  if (exposed.isEmpty()) return;
  // Only the exposed part is drawn: its pixels are copied, not smoothed.
  const double sx = double(image_.width()) / target.width();
  const double sy = double(image_.height()) / target.height();
  const QRectF source(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                      exposed.height() * sy);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRectF(exposed), image_, source);
}

}  // namespace vertolin
