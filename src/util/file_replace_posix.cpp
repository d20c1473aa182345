#include "util/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <atomic>
#include <cerrno>
#include <string>
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

// Where the bytes go: through a symbolic link to the file it names, so that
// the link stays a link and its target gets the new content.
std::filesystem::path WrittenPath(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(file, error))) return file;
  const std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
  return error ? file : target;
}

// Temporaries of our own naming (file + ".tmp" + pid + "-" + count) left by a
// copy of the program that was killed in the middle of a write. Those of a
// process still running are its own business.
void RemoveStaleTemporaries(const std::filesystem::path& file) {
  const std::string prefix = file.filename().string() + ".tmp";
  const std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix)) continue;
    const std::string rest = name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == rest.size()) continue;
    if (rest.find_first_not_of("0123456789-") != std::string::npos ||
        rest.find('-', dash + 1) != std::string::npos)
      continue;
    if (dash > 9) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlink(it->path().c_str());
  }
}

// A file that did not open, as FileBytes says it: missing, or failed with
// the system's text.
FileBytes OpenFailure(int code) {
  FileBytes result;
  if (code == ENOENT || code == ENOTDIR) return result;  // kMissing
  result.status = FileBytes::Status::kFailed;
  result.error = ErrorText(code);
  return result;
}

}  // namespace

FileBytes ReadFileBytes(const std::filesystem::path& file) {
  FileBytes result;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OpenFailure(errno);
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

FileBytes ReadRegularFile(const std::filesystem::path& file, std::uintmax_t maxBytes) {
  FileBytes result;
  // Without O_NONBLOCK the open of a FIFO waits for a writer, for ever.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return OpenFailure(errno);
  const auto fail = [&](std::string error) {
    ::close(fd);
    result.status = FileBytes::Status::kFailed;
    result.error = std::move(error);
    result.bytes.clear();
    return result;
  };
  // Judged on the file opened, not on its name, which may change meanwhile.
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail(ErrorText(errno));
  if (!S_ISREG(info.st_mode)) return fail(std::string(kNotARegularFileText));
  if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return fail(FileTooLargeText(maxBytes));
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(ErrorText(errno));
    }
    if (got == 0) break;
    result.bytes.append(buffer, static_cast<std::size_t>(got));
    // It grew after the look at its size.
    if (result.bytes.size() > maxBytes) return fail(FileTooLargeText(maxBytes));
  }
  ::close(fd);
  result.status = FileBytes::Status::kOk;
  return result;
}

bool ReplaceFileContents(const std::filesystem::path& named, std::string_view bytes,
                         std::string& error, bool flush) {
  const std::filesystem::path file = WrittenPath(named);
  RemoveStaleTemporaries(file);
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
  if (flush && ::fsync(fd) != 0) return fail(errno);
  const int closed = ::close(fd);
  fd = -1;  // released even when close reports an error
  if (closed != 0) return fail(errno);
  if (::rename(temp.c_str(), file.c_str()) != 0) return fail(errno);
  if (flush) SyncFolder(file.parent_path());
  return true;
}

}  // namespace vertolin
