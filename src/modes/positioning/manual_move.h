// What the positioning controls decide without a toolkit: the three typed
// distances, the jog key table, which drive controls a failed handshake
// disables, and the texts they show.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "link/window_link.h"

namespace vertolin {

class Frontend;
struct HandshakeResult;

namespace texts {

inline constexpr std::string_view kEnterNumberAxis1 =
    "Введите число в поле для перемещения по 1-ой оси!";
inline constexpr std::string_view kEnterNumberAxis2 =
    "Введите число в поле для перемещения по 2-ой оси!";
inline constexpr std::string_view kEnterNumberAxis3 =
    "Введите число в поле для перемещения по 3-ей оси!";
inline constexpr std::string_view kNoPortForKeys =
    "Нет связи с Com-портом\r\nПроверьте соединение с Ардуино";

}  // namespace texts

// The three move fields read as millimetres, or the message for the first
// field that does not hold a number.
struct TypedMove {
  std::optional<std::array<double, 3>> distances;
  std::string_view problem;  // empty when the distances are there
};
TypedMove ReadTypedMove(std::string_view x, std::string_view y, std::string_view z);

// Reads the fields; on a bad one tells the person (title "Ошибка") and gives
// nothing.
std::optional<std::array<double, 3>> ReadTypedMoveOrTell(Frontend& frontend, std::string_view x,
                                                         std::string_view y, std::string_view z);

// The keys of keyboard mode, whatever the keyboard layout.
enum class JogKey { None, Left, Right, Up, Down, ZUp, ZDown };

// The letter keys: Q, q, Й, й raise Z; A, a, Ф, ф lower it; others nothing.
JogKey JogKeyForLetter(char32_t letter);

// The move of one press (X, Y, Z in mm) for a step of `stepText` mm ("." or
// ","); nothing for JogKey::None or a step that is not a number.
std::optional<std::array<double, 3>> JogMove(JogKey key, std::string_view stepText);

// The drive controls a mode window disables when its handshake fails.
inline DriveControls DisabledOnFailure(const LinkFormat& format) {
  return format.disabledOnFailure;
}

// The firmware warning of a failed handshake (wrong reply or none); nothing
// for a success or a missing port.
void WarnAboutFirmware(Frontend& frontend, const HandshakeResult& result);

}  // namespace vertolin
