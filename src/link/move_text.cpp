#include "link/move_text.h"

#include "util/numbers.h"

namespace vertolin {

std::string CommandLine(std::initializer_list<std::optional<std::int64_t>> fields) {
  std::string line;
  line.reserve(fields.size() * 8);
  bool first = true;
  for (const auto& field : fields) {
    if (!first) line.push_back(',');
    first = false;
    if (field) line += IntText(*field);
  }
  line.push_back(';');
  return line;
}

std::string WithoutTrailingZeros(std::string line) {
  constexpr std::string_view kZeroTail = ",0;";
  for (int i = 0; i < 4 && line.ends_with(kZeroTail); ++i) {
    line.replace(line.size() - kZeroTail.size(), kZeroTail.size(), ";");
  }
  return line;
}

std::optional<std::string> PositioningMoveText(char kindLetter, std::int32_t x, std::int32_t y,
                                               std::int32_t z, std::int32_t delay) {
  switch (kindLetter) {
    case 'M':
      return CommandLine({x, y, z, delay});
    case 'P':
      return CommandLine({x, y, std::nullopt, std::nullopt, delay});
    case 'S':
    case 'O':
    case 'B':
      return CommandLine({x, y, std::nullopt, delay});
    default:
      return std::nullopt;
  }
}

}  // namespace vertolin
