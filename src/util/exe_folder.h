// Where the running program's executable lives: cnc.ini sits beside it.
#pragma once

#include <filesystem>

namespace vertolin {

// The folder of the running executable; an empty path (the working folder)
// when the system cannot tell.
std::filesystem::path ExecutableFolder();

}  // namespace vertolin
