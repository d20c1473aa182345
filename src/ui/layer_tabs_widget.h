// The picture layers of a figure window (milling, outlining, cutting): a tab
// strip "TabStrip1" over one picture at a time, or every layer side by side
// when the area is large enough.
#pragma once

#include <QWidget>
#include <vector>

class QGridLayout;
class QTabBar;

namespace vertolin {

class PictureWidget;
class PixelImage;

class LayerTabsWidget : public QWidget {
  Q_OBJECT

 public:
  // One tab and one picture box (named `boxNames`) per caption.
  LayerTabsWidget(const std::vector<const char*>& captions,
                  const std::vector<const char*>& boxNames, QWidget* parent = nullptr);

  PictureWidget& box(int layer) { return *boxes_[static_cast<std::size_t>(layer)]; }
  QTabBar& tabs() { return *tabs_; }
  void SetCurrent(int layer);

  // The layers as pictures, in the order of the boxes; fewer clear the rest.
  void ShowLayers(const std::vector<const PixelImage*>& layers);
  void Clear();
  // Shows every pending mark now.
  void Flush();
  // Hidden while the window has no picture.
  void SetShown(bool shown);
  bool GridShown() const { return gridShown_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Arrange();

  QGridLayout* grid_;
  QTabBar* tabs_;
  std::vector<PictureWidget*> boxes_;
  bool shown_ = false;
  bool gridShown_ = false;
};

}  // namespace vertolin
