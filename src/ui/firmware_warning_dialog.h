// Form11: the warning a mode window shows when the board's firmware does not
// fit its work, with links to where a fitting firmware is found.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>
#include <string_view>

class QLabel;

namespace vertolin {

class FirmwareWarningDialog : public QDialog {
  Q_OBJECT

 public:
  // An empty text shows the default warning.
  explicit FirmwareWarningDialog(std::string_view text, QWidget* parent = nullptr);

  // How a link is opened; the desktop's browser unless a test says otherwise.
  // False means the system refused.
  void SetUrlOpener(std::function<bool(const QUrl&)> opener) { opener_ = std::move(opener); }

  // Opens one of the two link fields (Label1 or label5).
  void OpenLink(QLabel* link);

 private:
  QLabel* message_;
  std::function<bool(const QUrl&)> opener_;
};

}  // namespace vertolin
