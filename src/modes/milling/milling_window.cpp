#include "modes/milling/milling_window.h"

#include "modes/milling/interruption_dialog.h"
#include "modes/milling/milling_session.h"
#include "picture/picture_file.h"
#include "settings/mode_settings.h"

namespace vertolin {

namespace {

const FigureWindowTraits kMillingTraits{
    "Form1",
    "Vertolin",
    &formats::kRouter,
    "Text2",
    keys::kMillImage,
    "Фреза",
    "Размер готового изображ.",
    &keys::kMillWidth,
    &keys::kMillDepth,
    "Фреза",
    &keys::kMillDiameter,
    "Задержка между шагами при фрез-вке, микросек.",
    &keys::kMillDelay,
    "Фрезеровать",
    "Резать 3D",
    "",
    "",
    "",
    kMillingImpossibleText,
    true,
};

}  // namespace

// Form7, modal, over this window.
class MillingWindow::DialogPrompt : public InterruptionPrompt {
 public:
  explicit DialogPrompt(MillingWindow& window) : window_(window) {}
  bool GoOn() override {
    return InterruptionDialog::Ask(window_.link(), window_.settings(), &window_) == 1;
  }

 private:
  MillingWindow& window_;
};

MillingWindow::MillingWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : FigureWindow(link, settings, kMillingTraits, parent),
      dialogPrompt_(std::make_unique<DialogPrompt>(*this)) {
  SetInterruptionPrompt(dialogPrompt_.get());
}

MillingWindow::~MillingWindow() = default;

const MillingSession* MillingWindow::session() const {
  return static_cast<const MillingSession*>(figureSession());
}

std::shared_ptr<FigureSession> MillingWindow::NewSession(WindowLink& window) {
  return std::make_shared<MillingSession>(window);
}

}  // namespace vertolin
