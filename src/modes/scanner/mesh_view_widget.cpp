#include "modes/scanner/mesh_view_widget.h"

#include <QPaintEvent>
#include <QPainter>
#include <utility>

namespace vertolin {

MeshViewWidget::MeshViewWidget(QWidget* parent) : QWidget(parent) {}

void MeshViewWidget::Show(PixelImage view) {
  view_ = std::move(view);
  image_ = QImage(view_.width(), view_.height(), QImage::Format_RGB32);
  for (int row = 0; row < view_.height(); ++row) {
    const std::uint8_t* pixel = view_.bytes().data() + view_.Offset(1, row + 1);
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
    for (int column = 0; column < view_.width(); ++column, pixel += PixelImage::kBytesPerPixel) {
      line[column] = qRgb(pixel[2], pixel[1], pixel[0]);
    }
  }
  setFixedSize(view_.width(), view_.height());
  update();
}

void MeshViewWidget::Mirror(int column, int row) {
  if (column < 0 || row < 0 || column >= view_.width() || row >= view_.height()) return;
  const std::uint8_t* pixel = view_.bytes().data() + view_.Offset(column + 1, row + 1);
  image_.setPixel(column, row, qRgb(pixel[2], pixel[1], pixel[0]));
}

void MeshViewWidget::PaintNode(const MeshLayout& layout, int x, int y, std::uint8_t grey) {
  vertolin::PaintNode(view_, layout, x, y, grey);
  const int column = layout.NodeColumn(x);
  const int row = layout.NodeRow(y);
  for (const auto& [dx, dy] : {std::pair{0, 0}, {-1, 0}, {0, -1}, {1, 0}, {0, 1}}) {
    Mirror(column + dx, row + dy);
  }
  update(QRect(column - 1, row - 1, 3, 3));
}

void MeshViewWidget::MarkUnmeasured(const MeshLayout& layout) {
  PixelImage view = view_;
  MarkNodesUnmeasured(view, layout);
  Show(std::move(view));
}

void MeshViewWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), image_, event->rect());
}

}  // namespace vertolin
