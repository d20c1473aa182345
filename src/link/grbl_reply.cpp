#include "link/grbl_reply.h"

#include <charconv>
#include <cstdlib>
#include <utility>

namespace vertolin::grbl {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::optional<int> WholeNumber(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 40) return std::nullopt;
  // strtod needs a terminated string; grbl's numbers are short.
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

std::optional<std::array<double, 3>> ThreeAxes(std::string_view text) {
  std::array<double, 3> axes{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::size_t comma = text.find(',');
    const auto value = Decimal(text.substr(0, comma));
    if (!value) return std::nullopt;
    axes[axis] = *value;
    // A fourth axis, if the board has one, is not ours.
    if (comma == std::string_view::npos) {
      if (axis != 2) return std::nullopt;
      text = {};
    } else {
      text.remove_prefix(comma + 1);
    }
  }
  return axes;
}

Reply ParseStatus(std::string_view body, std::string_view line) {
  Status status;
  std::size_t field = 0;
  while (!body.empty()) {
    const std::size_t bar = body.find('|');
    const std::string_view part = body.substr(0, bar);
    body = bar == std::string_view::npos ? std::string_view{} : body.substr(bar + 1);
    if (field++ == 0) {
      status.state = std::string(part);
      continue;
    }
    const std::size_t colon = part.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = part.substr(0, colon);
    const std::string_view value = part.substr(colon + 1);
    if (key == "MPos") {
      status.machine = ThreeAxes(value);
      if (!status.machine) return Other{std::string(line)};
    } else if (key == "WPos") {
      status.work = ThreeAxes(value);
      if (!status.work) return Other{std::string(line)};
    } else if (key == "WCO") {
      status.offset = ThreeAxes(value);
    } else if (key == "Bf") {
      const std::size_t comma = value.find(',');
      status.blocksFree = WholeNumber(value.substr(0, comma));
      if (comma != std::string_view::npos) status.bytesFree = WholeNumber(value.substr(comma + 1));
    }
  }
  if (status.state.empty()) return Other{std::string(line)};
  return status;
}

}  // namespace

Reply ParseReply(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.remove_suffix(1);
  if (line == "ok") return Ok{};
  if (StartsWith(line, "error:")) {
    if (const auto code = WholeNumber(line.substr(6))) return Error{*code};
  }
  if (StartsWith(line, "ALARM:")) {
    if (const auto code = WholeNumber(line.substr(6))) return Alarm{*code};
  }
  if (line.size() >= 2 && line.front() == '<' && line.back() == '>') {
    return ParseStatus(line.substr(1, line.size() - 2), line);
  }
  if (StartsWith(line, "Grbl ")) {
    const std::string_view rest = line.substr(5);
    return Banner{std::string(rest.substr(0, rest.find(' ')))};
  }
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    const std::string_view body = line.substr(1, line.size() - 2);
    const std::size_t colon = body.find(':');
    const std::string_view kind = body.substr(0, colon);
    const std::string_view text = colon == std::string_view::npos ? std::string_view{}
                                                                  : body.substr(colon + 1);
    if (kind == "PRB") {
      const std::size_t last = text.rfind(':');
      const auto position = ThreeAxes(text.substr(0, last));
      if (position && last != std::string_view::npos) {
        return ProbeResult{*position, text.substr(last + 1) == "1"};
      }
      return Other{std::string(line)};
    }
    return Feedback{std::string(kind), std::string(text)};
  }
  if (line.size() > 1 && line.front() == '$') {
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      const auto number = WholeNumber(line.substr(1, equals - 1));
      const auto value = Decimal(line.substr(equals + 1));
      if (number && value) return Setting{*number, *value};
    }
  }
  return Other{std::string(line)};
}

std::string_view StateName(std::string_view state) { return state.substr(0, state.find(':')); }

std::string_view ErrorMeaning(int code) {
  switch (code) {
    case 1:
      return "ожидалась буква команды G-кода";
    case 2:
      return "неверное или отсутствующее число";
    case 3:
      return "команда «$» не распознана";
    case 4:
      return "отрицательное значение там, где нужно положительное";
    case 5:
      return "поиск нуля (homing) не включён в настройках";
    case 6:
      return "импульс шага короче 3 мкс";
    case 7:
      return "ошибка чтения EEPROM, взяты значения по умолчанию";
    case 8:
      return "команда «$» принимается только в покое (Idle)";
    case 9:
      return "G-код не принимается в тревоге (Alarm) или при толчковом перемещении";
    case 10:
      return "мягкие пределы требуют поиска нуля";
    case 11:
      return "строка длиннее 80 символов";
    case 12:
      return "значение «$» превышает наибольшую частоту шагов";
    case 13:
      return "открыта дверца безопасности";
    case 14:
      return "строка длиннее места в EEPROM";
    case 15:
      return "перемещение выходит за пределы хода станка";
    case 16:
      return "неверная команда толчкового перемещения ($J=)";
    case 17:
      return "лазерный режим требует выхода ШИМ";
    case 20:
      return "команда G-кода не поддерживается";
    case 21:
      return "в строке больше одной команды одной модальной группы";
    case 22:
      return "не задана подача (F)";
    case 23:
      return "команде нужно целое число";
    case 24:
      return "в строке больше одной команды, занимающей оси";
    case 25:
      return "слово G-кода повторено в строке";
    case 26:
      return "команде нужны координаты осей, а их нет";
    case 27:
      return "неверный номер строки";
    case 28:
      return "команде не хватает значения";
    case 29:
      return "система координат G59.x не поддерживается";
    case 30:
      return "G53 допускается только с G0 и G1";
    case 31:
      return "лишние координаты осей в строке";
    case 32:
      return "дуге G2/G3 нужна хотя бы одна ось плоскости";
    case 33:
      return "недопустимая цель перемещения";
    case 34:
      return "неверный радиус дуги";
    case 35:
      return "дуге G2/G3 нужно хотя бы одно смещение центра";
    case 36:
      return "неиспользуемое значение в строке";
    case 37:
      return "смещение G43.1 не на оси длины инструмента";
    case 38:
      return "номер инструмента больше допустимого";
    default:
      return "";
  }
}

std::string_view AlarmMeaning(int code) {
  switch (code) {
    case 1:
      return "сработал концевой выключатель; положение потеряно, нужен поиск нуля ($H)";
    case 2:
      return "цель перемещения за мягкими пределами; положение сохранено, можно снять ($X)";
    case 3:
      return "сброс во время движения; положение потеряно, нужен поиск нуля ($H) или $X";
    case 4:
      return "щуп уже замкнут до начала измерения";
    case 5:
      return "щуп не коснулся поверхности в пределах хода";
    case 6:
      return "поиск нуля прерван сбросом";
    case 7:
      return "поиск нуля: открыта дверца безопасности";
    case 8:
      return "поиск нуля: не удалось отойти от концевого выключателя";
    case 9:
      return "поиск нуля: концевой выключатель не найден";
    default:
      return "";
  }
}

}  // namespace vertolin::grbl
