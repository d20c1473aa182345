// Texts of the link that more than one place shows.
#pragma once

#include <string_view>

namespace vertolin::texts {

inline constexpr std::string_view kTitleVertolin = "Vertolin";
inline constexpr std::string_view kTitleError = "Ошибка";
inline constexpr std::string_view kTitleWarning = "Внимание";

inline constexpr std::string_view kReadError =
    "Ошибка чтения данных с Ардуино. \r\n\r\nРабота программы остановлена.";

inline constexpr std::string_view kStopQuestion =
    "Гравировка остановлена. Остановить?\r\nДа - остановить. Нет - продолжить.";

// Until grbl boards are driven live, G-code is only written to a file.
inline constexpr std::string_view kGcodeNotLive =
    "G-code (Protocol=grbl) пока только записывается: «Сохранить G-code…» или "
    "vertolin-cli --print; по порту задания идут с Protocol=native.";

inline constexpr std::string_view kStatusOpen = "Com-порт открыт";
inline constexpr std::string_view kStatusWrongFirmware = "Некорректная прошивка";
inline constexpr std::string_view kStatusNoAnswer = "Обновите прошивку";
inline constexpr std::string_view kStatusNoPort = "Ошибка открытия Com-порта";

inline constexpr std::string_view kWarningOutdated =
    "Работа со станком невозможна. Возможные причины:\r\n"
    "   - прошивка устарела\r\n"
    "   - установлена неверная скорость COM-порта";

inline constexpr std::string_view kWarningWrongFirmware =
    "Работа со станком невозможна. Возможные причины:\r\n"
    "   - установленная прошивка не предназначена для выбранной операции";

inline constexpr std::string_view kMoveOutOfRange =
    "Перемещение не выполнено: число шагов не помещается в допустимый диапазон "
    "или коэффициент оси равен нулю.\r\nПроверьте значения перемещения и калибровку в "
    "Настройках.";

}  // namespace vertolin::texts
