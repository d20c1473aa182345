#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/mapped_file.h"

namespace vertolin {

namespace {

class PosixMappedFile : public MappedFile {
 public:
  PosixMappedFile(void* at, std::size_t size) : at_(at), size_(size) {}
  ~PosixMappedFile() override { munmap(at_, size_); }
  PosixMappedFile(const PosixMappedFile&) = delete;
  PosixMappedFile& operator=(const PosixMappedFile&) = delete;

  std::span<std::byte> bytes() override { return {static_cast<std::byte*>(at_), size_}; }

 private:
  void* at_;
  std::size_t size_;
};

}  // namespace

std::unique_ptr<MappedFile> MapFile(const std::filesystem::path& file, std::size_t size,
                                    std::string& error) {
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  void* at = MAP_FAILED;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = S_ISREG(info.st_mode) ? std::strerror(errno) : "это не обычный файл";
  } else if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    error = std::strerror(errno);
  } else {
    at = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (at == MAP_FAILED) error = std::strerror(errno);
  }
  close(fd);  // the mapping keeps the file
  if (at == MAP_FAILED) return nullptr;
  return std::make_unique<PosixMappedFile>(at, size);
}

}  // namespace vertolin
