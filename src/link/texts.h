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

// G-code goes only to a board that answered as grbl 1.1.
// A job broken by a lost link, on a board that restarted since: its
// coordinates began again where the head stood, somewhere among the lines
// it may have done.
inline constexpr std::string_view kGrblPlaceLost =
    "Связь с платой grbl обрывалась посреди задания, и плата с тех пор перезапустилась: "
    "где стоит головка, она не знает (самонаведение $22 выключено).\r\n"
    "Продолжить задание точно нельзя, начните его сначала.";

inline constexpr std::string_view kGrblNotConnected =
    "Плата на порту не ответила как grbl 1.1 (Protocol=grbl): ничего не отправлено.\r\n"
    "Проверьте порт и скорость в Настройках и откройте окно снова, или выберите "
    "Protocol=native.";

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
