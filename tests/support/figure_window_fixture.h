// What the figure window tests (milling, outlining) share beyond the picture
// windows': the 7 × 7 ring picture, the layer boxes, the tree and a click on
// one of its nodes.
#pragma once

#include <QTest>
#include <QTreeWidget>

#include "picture/pixel_image.h"
#include "support/picture_window_fixture.h"
#include "ui/picture_widget.h"

namespace vertolin::test {

// 7 × 7, white but for a black square ring (x or y equal to 2 or 6, within
// 2..6) and a black centre pixel: figures 1 (outside), 2 (ring), 3 (hole),
// 4 (centre) in one chain.
inline PixelImage RingPicture() {
  PixelImage picture(7, 7);
  for (int i = 2; i <= 6; ++i) {
    picture.SetGrey(i, 2, 0);
    picture.SetGrey(i, 6, 0);
    picture.SetGrey(2, i, 0);
    picture.SetGrey(6, i, 0);
  }
  picture.SetGrey(4, 4, 0);
  return picture;
}

class FigureWindowFixture : public PictureWindowFixture {
 protected:
  static PictureWidget& Box(QWidget& window, const char* name) {
    return *Find<PictureWidget>(window, name);
  }
  static QTreeWidget& Tree(QWidget& window) { return *Find<QTreeWidget>(window, "tv"); }
  // Clicks the tree node of a figure.
  static void ClickNode(QWidget& window, const char* figure) {
    QTreeWidget& tv = Tree(window);
    const auto found = tv.findItems(QString::fromLatin1(figure),
                                    Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << figure;
    tv.scrollToItem(found.front());
    QTest::mouseClick(tv.viewport(), Qt::LeftButton, {}, tv.visualItemRect(found.front()).center());
  }
  static void Show(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

}  // namespace vertolin::test
