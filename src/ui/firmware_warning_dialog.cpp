#include "ui/firmware_warning_dialog.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/texts.h"
#include "ui/frontend_dialog.h"

namespace vertolin {

namespace {

// The maker's pages are set when the program is built (they may be empty).
constexpr const char* kFirmwarePage = VERTOLIN_FIRMWARE_PAGE;
constexpr const char* kMakerSite = VERTOLIN_MAKER_SITE;

QLabel* LinkField(const char* name, const char* address, QWidget* parent) {
  auto* link = new QLabel(QString::fromUtf8(address), parent);
  link->setObjectName(name);
  link->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
  link->setCursor(Qt::PointingHandCursor);
  return link;
}

// Turns a click on a label into a call, as a link field needs.
class ClickFilter : public QObject {
 public:
  ClickFilter(QLabel* label, std::function<void()> onClick)
      : QObject(label), onClick_(std::move(onClick)) {
    label->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease) {
      onClick_();
      return true;
    }
    return false;
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace

FirmwareWarningDialog::FirmwareWarningDialog(std::string_view text, QWidget* parent)
    : QDialog(parent), opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
  setObjectName(QStringLiteral("Form11"));
  setWindowTitle(DisplayText(texts::kTitleWarning));
  setModal(true);

  message_ = new QLabel(DisplayText(text.empty() ? texts::kWarningWrongFirmware : text), this);
  message_->setObjectName(QStringLiteral("Label3"));
  message_->setWordWrap(true);
  auto* heading = new QLabel(QStringLiteral("Обновить/изменить прошивку:"), this);
  heading->setObjectName(QStringLiteral("Label2"));
  auto* firmwarePage = LinkField("Label1", kFirmwarePage, this);
  auto* makerSite = LinkField("label5", kMakerSite, this);
  new ClickFilter(firmwarePage, [this, firmwarePage] { OpenLink(firmwarePage); });
  new ClickFilter(makerSite, [this, makerSite] { OpenLink(makerSite); });
  auto* proceed = new QPushButton(QStringLiteral("Продолжить"), this);
  proceed->setObjectName(QStringLiteral("Command5"));
  connect(proceed, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_);
  layout->addSpacing(12);
  layout->addWidget(heading);
  layout->addWidget(firmwarePage);
  layout->addWidget(makerSite);
  layout->addSpacing(12);
  layout->addWidget(proceed, 0, Qt::AlignRight);
  setMinimumWidth(460);
}

void FirmwareWarningDialog::OpenLink(QLabel* link) {
  const QString address = link->text().trimmed();
  if (address.isEmpty()) return;  // no address configured
  if (!opener_(QUrl::fromUserInput(address))) {
    message_->setText(QStringLiteral(
        "Операционная система не позволяет открыть страницу. Откройте адрес в браузере "
        "самостоятельно."));
    message_->setStyleSheet(QStringLiteral("color: red;"));
  }
}

}  // namespace vertolin
