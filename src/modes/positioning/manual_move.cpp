#include "modes/positioning/manual_move.h"

#include "util/frontend.h"
#include "link/handshake.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

TypedMove ReadTypedMove(std::string_view x, std::string_view y, std::string_view z) {
  const std::string_view fields[3] = {x, y, z};
  const std::string_view problems[3] = {texts::kEnterNumberAxis1, texts::kEnterNumberAxis2,
                                        texts::kEnterNumberAxis3};
  std::array<double, 3> distances{};
  for (int axis = 0; axis < 3; ++axis) {
    const auto value = ParseNumber(fields[axis]);
    if (!value) return {std::nullopt, problems[axis]};
    distances[axis] = *value;
  }
  return {distances, {}};
}

std::optional<std::array<double, 3>> ReadTypedMoveOrTell(Frontend& frontend, std::string_view x,
                                                         std::string_view y, std::string_view z) {
  const TypedMove move = ReadTypedMove(x, y, z);
  if (!move.distances) frontend.ShowMessage(texts::kTitleError, move.problem);
  return move.distances;
}

JogKey JogKeyForLetter(char32_t letter) {
  switch (letter) {
    case U'Q':
    case U'q':
    case U'Й':
    case U'й':
      return JogKey::ZUp;
    case U'A':
    case U'a':
    case U'Ф':
    case U'ф':
      return JogKey::ZDown;
    default:
      return JogKey::None;
  }
}

std::optional<std::array<double, 3>> JogMove(JogKey key, std::string_view stepText) {
  if (key == JogKey::None) return std::nullopt;
  const auto parsed = ParseNumber(stepText);
  if (!parsed) return std::nullopt;
  const double step = *parsed;
  switch (key) {
    case JogKey::Left:
      return std::array<double, 3>{step, 0, 0};
    case JogKey::Right:
      return std::array<double, 3>{-step, 0, 0};
    case JogKey::Up:
      return std::array<double, 3>{0, -step, 0};
    case JogKey::Down:
      return std::array<double, 3>{0, step, 0};
    case JogKey::ZUp:
      return std::array<double, 3>{0, 0, step};
    case JogKey::ZDown:
      return std::array<double, 3>{0, 0, -step};
    case JogKey::None:
      break;
  }
  return std::nullopt;
}

void WarnAboutFirmware(Frontend& frontend, const HandshakeResult& result) {
  if (result.warning == HandshakeResult::Warning::None) return;
  frontend.ShowFirmwareWarning(result.WarningText());
}

}  // namespace vertolin
