// A small file mapped into memory for writing: what is stored into it is the
// system's as soon as it is stored, so it outlives the program's death (a
// crash, kill -9) at the cost of a memory write; only a power cut before the
// system writes it back may lose the last stores.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace vertolin {

class MappedFile {
 public:
  virtual ~MappedFile() = default;
  // The file's bytes, `size` of them, zero when the file was new.
  virtual std::span<std::byte> bytes() = 0;
};

// Creates (or opens and resizes) `file` with `size` bytes and maps it; none
// when that fails, with the system's text (UTF-8) in `error`.
std::unique_ptr<MappedFile> MapFile(const std::filesystem::path& file, std::size_t size,
                                    std::string& error);

}  // namespace vertolin
