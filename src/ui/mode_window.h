// A child window of the main window. It lives for the whole run and is opened
// and closed any number of times: Load runs at every opening (handshake,
// settings into fields), Unload at every closing (fields back to settings).
#pragma once

#include <QWidget>

class QCloseEvent;

namespace vertolin {

class ModeWindow : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  virtual void Load() = 0;
  virtual void Unload() = 0;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Inside the main window's area: the frame never smaller than the window's
  // own minimum, which grows as the window shows more.
  bool event(QEvent* event) override;
};

}  // namespace vertolin
