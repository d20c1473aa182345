#include "modes/outlining/outlining_window.h"

#include "modes/outlining/outlining_session.h"
#include "picture/picture_file.h"
#include "settings/mode_settings.h"

namespace vertolin {

namespace {

const FigureWindowTraits kOutliningTraits{
    "Form5",
    "Обведение силуэтов и орнаментов",
    &formats::kOutlining,
    "Text1",
    keys::kOutlineImage,
    "Лазер",
    "Размер готового изобр-ния",
    &keys::kOutlineWidth,
    nullptr,
    "Лазер",
    &keys::kOutlineDiameter,
    "Задержка между шагами при грав-вке, микросек.",
    &keys::kOutlineDelay,
    "Гравировать",
    "Грав-ть всё",
    "Гравирует выделенную фигуру",
    "Гравирует границы всех фигур",
    "Гравирует все фигуры с заполнением",
    kEngravingImpossibleText,
    false,
};

}  // namespace

OutliningWindow::OutliningWindow(Link& link, SettingsStore& settings, QWidget* parent)
    : FigureWindow(link, settings, kOutliningTraits, parent) {}

OutliningWindow::~OutliningWindow() = default;

const OutliningSession* OutliningWindow::session() const {
  return static_cast<const OutliningSession*>(figureSession());
}

std::shared_ptr<FigureSession> OutliningWindow::NewSession(WindowLink& window) {
  return std::make_shared<OutliningSession>(window);
}

}  // namespace vertolin
