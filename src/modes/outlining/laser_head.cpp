#include "modes/outlining/laser_head.h"

#include "picture/offset_gradient.h"

namespace vertolin {

JobMotion LaserHead::Start(std::uint8_t, std::int32_t cuttingDelay) const {
  return {MotionKind::ToolOn, 0, 0, 0, cuttingDelay};
}

JobMotion LaserHead::Along(int dx, int dy, std::uint8_t) const { return {MotionKind::Cut, dx, dy}; }

JobMotion LaserHead::End(std::int32_t idleDelay) const {
  return {MotionKind::ToolOff, 0, 0, 0, idleDelay};
}

FigureRules LaserRules() {
  FigureRules rules;
  // The spot's size plays no part: a white line one pixel wide on each side
  // of every grey step.
  rules.gradient = [](const PixelImage& base, double, PixelImage& work) {
    NeighbourGradientPass(base, work);
  };
  rules.fillClearsStop = false;
  rules.positiveSizes = true;
  rules.background =
      "Фигура касается края изображения (это фон), её контур не гравируется.\r\n"
      "Выберите другую фигуру.";
  rules.notClosed =
      "Обход контура фигуры не возвращается в начальную точку, фигура не гравируется.\r\n"
      "Выберите другую фигуру.";
  rules.noLongerShrinking =
      "Фигуры больше не уменьшаются: «Отступить» не изменило рисунок.\r\n"
      "Гравировка с заполнением остановлена.";
  return rules;
}

}  // namespace vertolin
