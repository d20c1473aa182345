#include "modes/job_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "link/texts.h"
#include "settings/machine_profile.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr double kInt32Limit = std::numeric_limits<std::int32_t>::max();

std::string NoMotion(char axis, std::string_view key, StepRule rule) {
  const std::string what = rule == StepRule::EveryPixel ? "на пиксель приходится 0 шагов"
                                                        : "всё изображение меньше одного шага";
  return "Станок не сдвинется: при такой ширине и калибровке " + what + " по оси " + axis +
         ".\r\nУвеличьте значение в поле «Ширина» или проверьте коэффициент " + std::string(key) +
         " в Настройках.";
}

}  // namespace

std::optional<std::string> NegativeField(double value, std::string_view field) {
  if (!(value < 0)) return std::nullopt;
  return "Значение в поле «" + std::string(field) + "» не может быть отрицательным.";
}

std::optional<std::string> WidthProblem(const MachineProfile& profile, double widthMm,
                                        int pixelsAcross, int pixelsAlong, StepRule rule) {
  if (auto negative = NegativeField(widthMm, "Ширина")) return negative;
  if (pixelsAcross <= 0) return std::nullopt;
  const double ratios[2] = {profile.xRatio, profile.yRatio};
  const char axes[2] = {'X', 'Y'};
  const std::string_view keys[2] = {"SM_X_ratio", "SM_Y_ratio"};
  for (int axis = 0; axis < 2; ++axis) {
    const double perPixel = std::abs(widthMm / ratios[axis] / pixelsAcross);
    const double moving = rule == StepRule::EveryPixel ? RoundHalfEven(perPixel)
                                                       : RoundHalfEven(perPixel * pixelsAcross);
    if (!(moving >= 1)) return NoMotion(axes[axis], keys[axis], rule);
    const double stepsPerPixel = rule == StepRule::EveryPixel ? moving : perPixel;
    if (!(stepsPerPixel * (std::max(pixelsAcross, pixelsAlong) + 1.0) <= kInt32Limit)) {
      return std::string(texts::kMoveOutOfRange);
    }
  }
  return std::nullopt;
}

std::optional<std::string> DepthProblem(const MachineProfile& profile, double depthMm) {
  if (auto negative = NegativeField(depthMm, "Глубина")) return negative;
  const double steps = std::abs(depthMm / profile.zRatio);
  if (!(steps <= kInt32Limit)) return std::string(texts::kMoveOutOfRange);
  if (depthMm > 0 && RoundHalfEven(steps) < 1) {
    return std::string(
        "Фреза не опустится: при такой глубине и калибровке глубина меньше "
        "одного шага по оси Z.\r\nУвеличьте значение в поле «Глубина» или "
        "проверьте коэффициент SM_Z_ratio в Настройках.");
  }
  return std::nullopt;
}

}  // namespace vertolin
