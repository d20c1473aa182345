#include "jobs/job_journal.h"

#include <charconv>
#include <cstdio>
#include <system_error>
#include <utility>
#include <vector>

#include "jobs/job_estimate.h"
#include "link/link.h"
#include "link/texts.h"
#include "util/file_replace.h"
#include "util/path_text.h"

namespace vertolin {

namespace {

constexpr std::string_view kHeader = "vertolin journal 1";
constexpr std::size_t kMaxJournalBytes = 64 * 1024;

std::string HashText(std::string_view text) {
  Fingerprint check;
  check.Add(text);
  return check.Hex();
}

std::optional<std::int64_t> WholeNumber(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// A value that fits on its line: line breaks would make another key.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

JournalRead Garbled(std::string problem) {
  JournalRead read;
  read.status = JournalRead::Status::Garbled;
  read.problem = std::move(problem);
  return read;
}

}  // namespace

std::string JournalText(const JournalRecord& record) {
  std::string text;
  text += kHeader;
  text += "\njob=" + OneLine(record.job);
  text += "\nparameters=" + OneLine(record.parameters);
  text += "\nfingerprint=" + OneLine(record.fingerprint);
  text += "\nlines=" + std::to_string(record.totalLines);
  text += "\nacknowledged=" + std::to_string(record.point.lines);
  text += "\ndepth=" + std::to_string(record.point.depth);
  text += record.ended ? "\nstate=ended" : "\nstate=running";
  text += '\n';
  // The check covers everything above: a journal cut short or edited by hand
  // is told apart from one this program wrote.
  text += "check=" + HashText(text) + "\n";
  return text;
}

JournalRead ParseJournal(std::string_view text) {
  const std::size_t checkAt = text.rfind("check=");
  if (checkAt == std::string_view::npos || (checkAt > 0 && text[checkAt - 1] != '\n')) {
    return Garbled("его конец потерян");
  }
  std::string_view check = text.substr(checkAt + 6);
  if (!check.empty() && check.back() == '\n') check.remove_suffix(1);
  if (check != HashText(text.substr(0, checkAt))) return Garbled("контрольная сумма не сходится");

  std::vector<std::string_view> lines;
  std::string_view body = text.substr(0, checkAt);
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    lines.push_back(body.substr(0, end));
    body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
  }
  constexpr std::string_view kKeys[] = {"job",          "parameters", "fingerprint", "lines",
                                        "acknowledged", "depth",      "state"};
  if (lines.size() != 1 + std::size(kKeys) || lines[0] != kHeader) {
    return Garbled("неизвестный формат");
  }
  std::string_view values[std::size(kKeys)];
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    const std::string_view line = lines[i + 1];
    if (line.substr(0, kKeys[i].size()) != kKeys[i] || line.size() <= kKeys[i].size() ||
        line[kKeys[i].size()] != '=') {
      return Garbled("нет ключа " + std::string(kKeys[i]));
    }
    values[i] = line.substr(kKeys[i].size() + 1);
  }
  const auto total = WholeNumber(values[3]);
  const auto acknowledged = WholeNumber(values[4]);
  const auto depth = WholeNumber(values[5]);
  if (!total || !acknowledged || !depth || *total < 0 || *acknowledged < 0 ||
      (*total > 0 && *acknowledged > *total) || (values[6] != "ended" && values[6] != "running")) {
    return Garbled("числа в нём неверны");
  }
  JournalRead read;
  read.status = JournalRead::Status::Ok;
  read.record = {std::string(values[0]),  std::string(values[1]), std::string(values[2]), *total,
                 {*acknowledged, *depth}, values[6] == "ended"};
  return read;
}

JournalRead ReadJournal(const std::filesystem::path& file) {
  // Not a FIFO, which would block, nor a link to /dev/zero, which never ends.
  FileBytes bytes = ReadRegularFile(file, kMaxJournalBytes);
  if (bytes.status == FileBytes::Status::kMissing) return {};
  if (bytes.status == FileBytes::Status::kFailed) return Garbled(bytes.error);
  return ParseJournal(bytes.bytes);
}

std::filesystem::path JournalPath(const std::filesystem::path& settingsFile, std::string_view job) {
  return settingsFile.parent_path() / (std::string(job) + ".journal");
}

JobJournal::JobJournal(std::filesystem::path file, JournalRecord record)
    : file_(std::move(file)), record_(std::move(record)) {}

void JobJournal::Record(const ResumePoint& point, bool final) {
  // A resumed job counts its replayed lines up from 0: the journal must not
  // fall back meanwhile, or a crash then would have them burnt twice.
  if (point.lines < record_.point.lines) return;
  const bool changed = point.lines != record_.point.lines || point.depth != record_.point.depth ||
                       final != record_.ended;
  record_.point = point;
  record_.ended = final;
  if (!final && (!changed && written_)) return;
  const auto now = std::chrono::steady_clock::now();
  if (!final && lastWrite_ && now - *lastWrite_ < kInterval) {
    written_ = false;
    return;
  }
  lastWrite_ = now;
  Write(final);
}

void JobJournal::Write(bool flush) {
  ++writes_;
  std::string error;
  written_ = ReplaceFileContents(file_, JournalText(record_), error, flush);
  if (!written_ && error_.empty()) error_ = error.empty() ? "не записан" : error;
}

void JobJournal::Completed() {
  std::error_code failed;
  std::filesystem::remove(file_, failed);
  if (failed && error_.empty()) error_ = failed.message();
  written_ = false;
}

JournalScope::JournalScope(WindowLink& window, std::filesystem::path file, std::string job,
                           std::string_view caption, const JobEstimate& count)
    : window_(window) {
  JournalRecord record{job,  std::string(caption), count.linesFingerprint.Hex(), count.lines, {},
                       false};
  const JournalRead found = ReadJournal(file);
  const ResumePoint& done = found.record.point;
  if (found.status == JournalRead::Status::Ok && found.record.job == job &&
      found.record.fingerprint == record.fingerprint && found.record.totalLines == count.lines &&
      done.lines > 0 && done.lines < count.lines &&
      window.link().frontend().OfferResume(
          "Задание «" + std::string(caption) + "» было прервано: плата выполнила " +
          std::to_string(done.lines) + " строк из " + std::to_string(count.lines) + ".\r\n" +
          (found.record.ended ? std::string() : std::string(kJournalLeftRunning) + "\r\n") +
          "Продолжить с места остановки или начать сначала?")) {
    record.point = done;
    resumedAfter_ = done.lines;
    window.Replay(done.lines, done.depth);
  }
  journal_.emplace(std::move(file), std::move(record));
  // A fresh start replaces an older journal at once, so that it cannot
  // outlive this job.
  if (resumedAfter_ == 0) journal_->Completed();
  window.SetResumeRecorder(&*journal_);
}

JournalScope::~JournalScope() {
  window_.SetResumeRecorder(nullptr);
  window_.Replay(0, 0);  // a job refused before its first line leaves no replay behind
  if (!journal_->error().empty()) {
    window_.link().frontend().ShowMessage(texts::kTitleWarning,
                                          "Журнал задания (" + PathToUtf8(journal_->file()) +
                                              ") не удалось записать: " + journal_->error() +
                                              ".\r\nПродолжить его после сбоя будет нельзя.");
  }
}

}  // namespace vertolin
