#include "ui/picture_widget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "picture/pixel_image.h"

namespace vertolin {
namespace {

TEST(PictureWidget, MarksPixelsAndRepaintsAtMostSixtyTimesASecond) {
  PixelImage picture(300, 200);
  picture.SetGrey(2, 3, 10);
  PictureWidget widget;
  widget.resize(150, 100);
  widget.show();
  widget.SetPicture(picture);
  EXPECT_EQ(widget.PixelAt(2, 3), qRgb(10, 10, 10));
  EXPECT_EQ(widget.PixelAt(300, 200), qRgb(255, 255, 255));

  const int before = widget.repaintRequests();
  QElapsedTimer clock;
  clock.start();
  for (int y = 1; y <= 200; ++y) {
    for (int x = 1; x <= 300; ++x) widget.MarkPixel(x, y, qRgb(255, 0, 0));
    QCoreApplication::processEvents();  // as a job's waits let events run
  }
  widget.Flush();
  const double seconds = clock.elapsed() / 1000.0;
  EXPECT_EQ(widget.PixelAt(300, 200), qRgb(255, 0, 0));
  // 60 000 marks, yet only one repaint per interval (plus the last one).
  EXPECT_LE(widget.repaintRequests() - before, 2 + static_cast<int>(seconds * 1000 / 16) + 1);
}

}  // namespace
}  // namespace vertolin
