// Shows one picture layer. A job marks pixels in it one by one; the widget
// repaints at most about sixty times a second and then only the part that
// changed, so marking costs O(1) per pixel whatever the picture's size.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vertolin {

class PixelImage;

class PictureWidget : public QWidget {
  Q_OBJECT

 public:
  explicit PictureWidget(QWidget* parent = nullptr);

  // Shows a whole layer (after loading, or after a job rewrote it).
  void SetPicture(const PixelImage& picture);
  void Clear();
  bool HasPicture() const { return !image_.isNull(); }

  // Paints one pixel (1-based) and schedules a repaint.
  void MarkPixel(int x, int y, QRgb colour);

  // Repaints now if anything is waiting (the end of a row, the end of a job).
  void Flush();

  // The colour shown at pixel (x, y), 1-based; for tests.
  QRgb PixelAt(int x, int y) const { return image_.pixel(x - 1, y - 1); }

  // Repaints requested so far; for tests and benchmarks.
  int repaintRequests() const { return repaintRequests_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RequestRepaint();
  // Where the picture is drawn in the widget: fitted, top-left.
  QRect TargetRect() const;

  QImage image_;
  QRect dirty_rect_;  // marked pixels not yet repainted, in picture coordinates
  QTimer throttle_;
  bool dirty_ = false;
  int repaintRequests_ = 0;
};

}  // namespace vertolin
