#include "util/exe_folder.h"

#include <unistd.h>

#include <string>

namespace vertolin {

std::filesystem::path ExecutableFolder() {
  // readlink does not say whether it truncated: grow until the name fits.
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return std::filesystem::path(buffer).parent_path();
    }
    if (buffer.size() >= 65536) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace vertolin
