// Whole-file reading and crash-safe replacement of small files such as cnc.ini.
#pragma once

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
