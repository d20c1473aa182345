#include "util/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace vertolin {

namespace {

std::string ErrorText(int code) { return std::system_category().message(code); }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes the rename itself survive a power cut. The new content is already on
// disk by then, so a failure here is not worth troubling the person with.
void SyncFolder(const std::filesystem::path& folder) {
  const std::filesystem::path target = folder.empty() ? std::filesystem::path(".") : folder;
  const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

FileBytes ReadFileBytes(const std::filesystem::path& file) {
  FileBytes result;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    if (code == ENOENT || code == ENOTDIR) return result;  // kMissing
    result.status = FileBytes::Status::kFailed;
    result.error = ErrorText(code);
    return result;
  }
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      // A folder opens fine and fails here with EISDIR.
      result.status = FileBytes::Status::kFailed;
      result.error = ErrorText(errno);
      result.bytes.clear();
      ::close(fd);
      return result;
    }
    if (got == 0) break;
    result.bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  result.status = FileBytes::Status::kOk;
  return result;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         std::string& error) {
  // The replacement keeps the permission bits of the file it replaces.
  struct stat original {};
  const bool keepMode = ::stat(file.c_str(), &original) == 0 && S_ISREG(original.st_mode);

  // A name of our own, so that two running copies never share a temporary.
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = file;
    temp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) break;
  }
  if (fd < 0) {
    error = ErrorText(errno);
    return false;
  }

  const auto fail = [&](int code) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    error = ErrorText(code);
    return false;
  };
  if (keepMode && ::fchmod(fd, original.st_mode & 07777) != 0) return fail(errno);
  if (!WriteAll(fd, bytes)) return fail(errno);
  if (::fsync(fd) != 0) return fail(errno);
  const int closed = ::close(fd);
  fd = -1;  // released even when close reports an error
  if (closed != 0) return fail(errno);
  if (::rename(temp.c_str(), file.c_str()) != 0) return fail(errno);
  SyncFolder(file.parent_path());
  return true;
}

}  // namespace vertolin
