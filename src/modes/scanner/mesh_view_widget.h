// Pict of the scanner window: shows the mesh view's pixels (the core's
// PixelImage) one to one, at the box's size. The view is the model: painting
// a node changes it and the five pixels shown, so saving the view saves what
// the person sees.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "modes/scanner/mesh_view.h"
#include "picture/pixel_image.h"

namespace vertolin {

class MeshViewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit MeshViewWidget(QWidget* parent = nullptr);

  // A whole new view (the empty mesh, the interpolated picture): the widget
  // takes its size.
  void Show(PixelImage view);
  // Node (x, y)'s marker in grey `grey`, shown at once.
  void PaintNode(const MeshLayout& layout, int x, int y, std::uint8_t grey);
  // Every node's marker as not measured (a scan begins).
  void MarkUnmeasured(const MeshLayout& layout);

  const PixelImage& view() const { return view_; }
  BoxSize box() const { return {view_.width(), view_.height()}; }

  // The colour shown at pixel (column, row), 0-based; for tests.
  QRgb PixelAt(int column, int row) const { return image_.pixel(column, row); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Mirror(int column, int row);

  PixelImage view_;
  QImage image_;
};

}  // namespace vertolin
