// cnc.ini beside the executable, section CNC: every persistent setting of the
// program. Each read and each write goes to the file; nothing is cached.
#pragma once

#include <filesystem>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vertolin {

class Frontend;

class SettingsStore {
 public:
  // `file` is the settings file; `frontend` is told when a write fails.
  SettingsStore(std::filesystem::path file, Frontend& frontend);

  // cnc.ini in the executable's folder.
  static std::filesystem::path DefaultPath();

  // The key's value in section CNC (key matched without regard to case), cut
  // to 254 characters; the default when the file, the key or the value is
  // missing or empty. A value that is not UTF-8 is read as Windows-1251.
  std::string ReadSetting(std::string_view key, std::string_view defaultText) const;

  // Writes key=text into section CNC, creating file and section as needed and
  // keeping every other line as it was. The file is replaced atomically. On
  // failure the person is told and false is returned.
  bool WriteSetting(std::string_view key, std::string_view text);

  // A value that ReadSetting returns for this key instead of the file's, for
  // this run only (the command-line tool's --set). Nothing is written.
  void Override(std::string_view key, std::string_view value);

  // Why the file cannot give its settings, for the person to be told before
  // the defaults are used: it cannot be read (not a regular file, larger than
  // kMaxFileBytes, no permission), holds an encoding we do not read (UTF-16,
  // binary bytes, line ends of CR alone) or has no [CNC] section. Nothing
  // when it is sound; `missingIsAProblem` tells whether a missing file counts.
  struct Problem {
    std::string text;
    bool unreadable = false;  // the file itself could not be read (or is missing)
  };
  std::optional<Problem> Diagnose(bool missingIsAProblem) const;

  // A settings file is a few kilobytes; anything far larger is not one.
  static constexpr std::uintmax_t kMaxFileBytes = 1024 * 1024;

  const std::filesystem::path& path() const { return file_; }

 private:
  std::filesystem::path file_;
  Frontend& frontend_;
  std::map<std::string, std::string> overrides_;  // keys in lower case

  // The file as last read, taken again only when its size or time changed:
  // every read still sees the file, without reading it once per key.
  struct Snapshot;
  const Snapshot& Read() const;
  mutable std::shared_ptr<Snapshot> snapshot_;
};

}  // namespace vertolin
