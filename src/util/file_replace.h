// Whole-file reading and crash-safe replacement of small files such as cnc.ini.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vertolin {

struct FileBytes {
  enum class Status {
    kOk,
    kMissing,  // neither the file nor (perhaps) its folder exists
    kFailed,   // it exists but cannot be read: a folder, no permission, an I/O error
  };
  Status status = Status::kMissing;
  std::string bytes;
  std::string error;  // the system's text when kFailed (UTF-8)
};

FileBytes ReadFileBytes(const std::filesystem::path& file);

// Reads a file that must be a regular file of at most `maxBytes` bytes (the
// settings, a job journal, a height map): a folder, a FIFO (opened without
// waiting for a writer) or a device (/dev/zero never ends) fails at once, and
// a larger file fails without reading more than `maxBytes` + 1 of its bytes.
// `error` then says why in the person's words ("это не обычный файл", "файл
// больше 64 КБ"); a missing file is kMissing, as for ReadFileBytes.
FileBytes ReadRegularFile(const std::filesystem::path& file, std::uintmax_t maxBytes);

// "файл больше N КБ" (whole megabytes as МБ): the refusal of a file over `maxBytes`.
inline std::string FileTooLargeText(std::uintmax_t maxBytes) {
  constexpr std::uintmax_t kMegabyte = 1024 * 1024;
  if (maxBytes >= kMegabyte && maxBytes % kMegabyte == 0) {
    return "файл больше " + std::to_string(maxBytes / kMegabyte) + " МБ";
  }
  return "файл больше " + std::to_string(maxBytes / 1024) + " КБ";
}
inline constexpr std::string_view kNotARegularFileText = "это не обычный файл";

// Writes `bytes` to a new temporary file beside `file`, flushes it to disk and
// renames it over `file`, so that a crash or a full disk leaves either the old
// or the new content, never a truncated file. On failure the temporary file
// is removed, `file` is left as it was, `error` gets the system's text
// (UTF-8) and false is returned. A symbolic link is written through (its
// target gets the content), and temporaries of this naming left behind by a
// process that was killed mid-write are removed (POSIX).
// `flush` false leaves the flushing to the system: still whole after the
// program's death, though a power cut may then bring back the old content
// (a job journal's frequent rewrites, whose last one at a stop is flushed).
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes,
                         std::string& error, bool flush = true);

}  // namespace vertolin
