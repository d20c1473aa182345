#include "settings/settings_store.h"

#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "util/exe_folder.h"
#include "util/file_replace.h"
#include "settings/text_encoding.h"
#include "util/frontend.h"

namespace vertolin {

namespace {

constexpr std::string_view kSection = "CNC";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The Windows profile reader gives at most a 255-byte buffer's worth.
constexpr std::size_t kMaxValueCharacters = 254;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// One line of the file; `eol` is "\r\n", "\n" or empty for a last line
// without a break. Views point into the file's bytes.
struct Line {
  std::string_view text;
  std::string_view eol;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  while (!content.empty()) {
    const std::size_t newline = content.find('\n');
    if (newline == std::string_view::npos) {
      lines.push_back({content, {}});
      break;
    }
    const bool crlf = newline > 0 && content[newline - 1] == '\r';
    const std::size_t textEnd = crlf ? newline - 1 : newline;
    lines.push_back({content.substr(0, textEnd), content.substr(textEnd, newline + 1 - textEnd)});
    content.remove_prefix(newline + 1);
  }
  return lines;
}

std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct Entry {
  std::string_view key;
  std::string_view value;
};

std::optional<Entry> EntryOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';' || line.front() == '#') return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(line.substr(0, equals));
  if (key.empty()) return std::nullopt;
  return Entry{key, Trim(line.substr(equals + 1))};
}

// Where a key is, and where a new one would go. Reading and writing share it,
// so a write replaces exactly the line a read would find: the first matching
// key of any CNC section.
struct Place {
  std::optional<std::size_t> keyLine;
  std::optional<std::size_t> section;  // the header of the first CNC section
  std::size_t lastFilled = 0;          // its last non-blank line (the header at least)
};

Place Locate(const std::vector<Line>& lines, std::string_view key) {
  Place place;
  bool inCnc = false;
  bool inFirstCnc = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto name = SectionName(lines[i].text)) {
      inCnc = EqualNoCase(*name, kSection);
      inFirstCnc = inCnc && !place.section;
      if (inFirstCnc) {
        place.section = i;
        place.lastFilled = i;
      }
      continue;
    }
    if (!inCnc) continue;
    if (inFirstCnc && !Trim(lines[i].text).empty()) place.lastFilled = i;
    if (!place.keyLine) {
      const auto entry = EntryOf(lines[i].text);
      if (entry && EqualNoCase(entry->key, key)) place.keyLine = i;
    }
  }
  return place;
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// What the person gets from a stored or overridden value: Windows-1251 bytes
// turned into UTF-8, cut to length, and the default when nothing is left.
std::string Finish(std::string_view raw, std::string_view defaultText) {
  const std::string utf8 = IsValidUtf8(raw) ? std::string(raw) : Windows1251ToUtf8(raw);
  const std::string_view value = CutToCharacters(utf8, kMaxValueCharacters);
  return std::string(value.empty() ? defaultText : value);
}

// The file's bytes, read only from a regular file of a sane size: a folder,
// a FIFO (whose reading would block for ever) or a device (/dev/zero grows
// without end) fails instead.
FileBytes ReadSettingsFile(const std::filesystem::path& path) {
  return ReadRegularFile(path, SettingsStore::kMaxFileBytes);
}

}  // namespace

struct SettingsStore::Snapshot {
  bool known = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type time{};
  FileBytes file;
};

const SettingsStore::Snapshot& SettingsStore::Read() const {
  std::error_code sizeError;
  std::error_code timeError;
  const std::uintmax_t size = std::filesystem::file_size(file_, sizeError);
  const auto time = std::filesystem::last_write_time(file_, timeError);
  const bool stamped = !sizeError && !timeError;
  if (snapshot_ && snapshot_->known && stamped && snapshot_->size == size &&
      snapshot_->time == time) {
    return *snapshot_;
  }
  auto fresh = std::make_shared<Snapshot>();
  fresh->known = stamped;
  fresh->size = size;
  fresh->time = time;
  fresh->file = ReadSettingsFile(file_);
  snapshot_ = std::move(fresh);
  return *snapshot_;
}

std::optional<SettingsStore::Problem> SettingsStore::Diagnose(bool missingIsAProblem) const {
  const std::string name = "Файл настроек " + PathText(file_);
  const FileBytes& file = Read().file;
  switch (file.status) {
    case FileBytes::Status::kMissing:
      if (!missingIsAProblem) return std::nullopt;
      return Problem{name + " не найден.", true};
    case FileBytes::Status::kFailed:
      return Problem{name + " не читается: " + file.error + ".", true};
    case FileBytes::Status::kOk:
      break;
  }
  std::string_view content = file.bytes;
  if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
    return Problem{name +
                   " записан в кодировке UTF-16, которую программа не читает; сохраните его в "
                   "UTF-8 или Windows-1251."};
  }
  if (content.find('\0') != std::string_view::npos) {
    return Problem{name + " содержит двоичные данные, а не текст настроек."};
  }
  if (content.find('\r') != std::string_view::npos &&
      content.find('\n') == std::string_view::npos) {
    return Problem{name +
                   " разделяет строки одним символом CR; сохраните его с обычными концами строк."};
  }
  if (content.starts_with(kUtf8Bom)) content.remove_prefix(kUtf8Bom.size());
  for (const Line& line : SplitLines(content)) {
    if (const auto section = SectionName(line.text); section && EqualNoCase(*section, kSection)) {
      return std::nullopt;
    }
  }
  return Problem{name + " не содержит раздела [CNC]."};
}

SettingsStore::SettingsStore(std::filesystem::path file, Frontend& frontend)
    : file_(std::move(file)), frontend_(frontend) {}

std::filesystem::path SettingsStore::DefaultPath() { return ExecutableFolder() / "cnc.ini"; }

void SettingsStore::Override(std::string_view key, std::string_view value) {
  overrides_[AsciiLower(key)] = std::string(value);
}

std::string SettingsStore::ReadSetting(std::string_view key, std::string_view defaultText) const {
  if (const auto it = overrides_.find(AsciiLower(key)); it != overrides_.end()) {
    return Finish(it->second, defaultText);
  }
  const FileBytes& file = Read().file;
  if (file.status != FileBytes::Status::kOk) return std::string(defaultText);

  std::string_view content = file.bytes;
  if (content.starts_with(kUtf8Bom)) content.remove_prefix(kUtf8Bom.size());
  const std::vector<Line> lines = SplitLines(content);
  const Place place = Locate(lines, key);
  if (!place.keyLine) return std::string(defaultText);
  return Finish(EntryOf(lines[*place.keyLine].text)->value, defaultText);
}

bool SettingsStore::WriteSetting(std::string_view key, std::string_view text) {
  const auto report = [&](const std::string& reason) {
    frontend_.ShowMessage("Ошибка", "Не удалось сохранить настройки в файл " + PathText(file_) +
                                        "." + "\r\n" + reason);
    return false;
  };

  snapshot_.reset();  // the file is about to change
  const FileBytes file = ReadSettingsFile(file_);
  // Writing over a file we could not read would lose its other settings.
  if (file.status == FileBytes::Status::kFailed) return report(file.error);

  std::string_view content = file.bytes;
  const bool bom = content.starts_with(kUtf8Bom);
  if (bom) content.remove_prefix(kUtf8Bom.size());
  const std::vector<Line> lines = SplitLines(content);

  std::string_view eol = "\r\n";
  for (const Line& line : lines) {
    if (!line.eol.empty()) {
      eol = line.eol;
      break;
    }
  }

  std::string value(text);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const std::string entry = std::string(key) + "=" + value;

  // The lines as they will be written; only the touched ones are not views.
  struct OutLine {
    std::string text;
    std::string eol;
  };
  std::vector<OutLine> out;
  out.reserve(lines.size() + 2);
  for (const Line& line : lines) out.push_back({std::string(line.text), std::string(line.eol)});

  const Place place = Locate(lines, key);
  if (place.keyLine) {
    out[*place.keyLine].text = entry;
  } else {
    std::size_t at = out.size();
    std::vector<OutLine> added;
    if (place.section) {
      at = place.lastFilled + 1;
    } else {
      added.push_back({"[" + std::string(kSection) + "]", std::string(eol)});
    }
    added.push_back({entry, std::string(eol)});
    // After a last line without a break the new lines take over its missing
    // break, so the file's ending stays as it was.
    if (at > 0 && out[at - 1].eol.empty()) {
      out[at - 1].eol = eol;
      added.back().eol.clear();
    }
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }

  std::string bytes(bom ? kUtf8Bom : std::string_view());
  for (const OutLine& line : out) {
    bytes += line.text;
    bytes += line.eol;
  }

  std::string error;
  if (!ReplaceFileContents(file_, bytes, error)) return report(error);
  snapshot_.reset();
  return true;
}

}  // namespace vertolin
