#include "util/path_text.h"

namespace vertolin {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  const std::u8string text(utf8.begin(), utf8.end());
  return std::filesystem::path(text);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace vertolin
