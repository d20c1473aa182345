// The program keeps paths as UTF-8 text (the settings, the messages, the
// command line); these turn them into paths and back on every system (on
// Windows the native form is UTF-16).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vertolin {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace vertolin
