// cnc.ini beside the executable, section CNC: every persistent setting of the
// program. Each read and each write goes to the file; nothing is cached.
#pragma once

#include <filesystem>
#include <map>
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

  const std::filesystem::path& path() const { return file_; }

 private:
  std::filesystem::path file_;
  Frontend& frontend_;
  std::map<std::string, std::string> overrides_;  // keys in lower case
};

}  // namespace vertolin
