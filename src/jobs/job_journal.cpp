#include "jobs/job_journal.h"

#include <cmath>
#include <cstdlib>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "jobs/job_estimate.h"
#include "link/link.h"
#include "link/texts.h"
#include "motion/gcode_protocol.h"
#include "util/file_replace.h"
#include "util/numbers.h"
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

// "x,y,z" in whole steps.
std::optional<MachineSteps> StepsOf(std::string_view text) {
  MachineSteps steps{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::size_t comma = axis < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    const auto value = WholeNumber(text.substr(0, comma));
    if (!value) return std::nullopt;
    steps[axis] = *value;
    text.remove_prefix(std::min(text.size(), comma + 1));
  }
  return steps;
}

// A value that fits on its line: line breaks would make another key.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

// "x,y,z" in millimetres, as a journal writes them.
std::optional<std::array<double, 3>> MillimetresOf(std::string_view text) {
  std::array<double, 3> mm{};
  for (std::size_t axis = 0; axis < 3; ++axis) {
    const std::size_t comma = text.find(',');
    if ((comma == std::string_view::npos) != (axis == 2)) return std::nullopt;
    const std::string part(text.substr(0, comma));
    char* end = nullptr;
    mm[axis] = std::strtod(part.c_str(), &end);
    if (part.empty() || end != part.c_str() + part.size() || !std::isfinite(mm[axis]))
      return std::nullopt;
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  return mm;
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
  if (record.place) {
    const auto steps = [](const MachineSteps& at) {
      return std::to_string(at[0]) + "," + std::to_string(at[1]) + "," + std::to_string(at[2]);
    };
    text += "\nsession=" + std::to_string(record.place->session);
    text += "\norigin=" + steps(record.place->origin);
    text += "\nhead=" + steps(record.place->position);
    if (record.machineOrigin && record.machineHead) {
      const auto mm = [](const std::array<double, 3>& at) {
        std::string values;
        for (std::size_t axis = 0; axis < 3; ++axis) {
          if (axis > 0) values += ',';
          values += GcodeWriter::Millimetres(std::llround(at[axis] * 1000));
        }
        return values;
      };
      text += "\nmachine_origin=" + mm(*record.machineOrigin);
      text += "\nmachine_head=" + mm(*record.machineHead);
      if (!record.machineMaybeDone.empty()) {
        text += "\nmachine_maybe_done=";
        for (std::size_t i = 0; i < record.machineMaybeDone.size(); ++i) {
          if (i > 0) text += ';';
          const auto& end = record.machineMaybeDone[i];
          text += end ? mm(*end) : std::string("-");
        }
      }
    }
  }
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
  // The head's place came later: a journal without it is read as before.
  constexpr std::string_view kKeys[] = {"job",
                                        "parameters",
                                        "fingerprint",
                                        "lines",
                                        "acknowledged",
                                        "depth",
                                        "state",
                                        "session",
                                        "origin",
                                        "head",
                                        "machine_origin",
                                        "machine_head",
                                        "machine_maybe_done"};
  constexpr std::size_t kFirstKeys = 7;
  const std::size_t keys = lines.size() - 1;
  constexpr std::size_t kPlaceKeys = 10;
  constexpr std::size_t kMachineKeys = 12;
  if ((keys != kFirstKeys && keys != kPlaceKeys && keys != kMachineKeys &&
       keys != std::size(kKeys)) ||
      lines[0] != kHeader) {
    return Garbled("неизвестный формат");
  }
  std::string_view values[std::size(kKeys)];
  for (std::size_t i = 0; i < keys; ++i) {
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
  read.record = {std::string(values[0]),
                 std::string(values[1]),
                 std::string(values[2]),
                 *total,
                 {*acknowledged, *depth},
                 values[6] == "ended",
                 std::nullopt,
                 std::nullopt,
                 std::nullopt,
                 {}};
  if (keys >= kPlaceKeys) {
    const auto session = WholeNumber(values[7]);
    const auto origin = StepsOf(values[8]);
    const auto head = StepsOf(values[9]);
    if (!session || !origin || !head) return Garbled("числа в нём неверны");
    read.record.place = HeadPlace{static_cast<std::uint64_t>(*session), *origin, *head};
  }
  if (keys >= kMachineKeys) {
    read.record.machineOrigin = MillimetresOf(values[10]);
    read.record.machineHead = MillimetresOf(values[11]);
    if (!read.record.machineOrigin || !read.record.machineHead) {
      return Garbled("числа в нём неверны");
    }
  }
  if (keys == std::size(kKeys)) {
    std::string_view rest = values[12];
    // Bounded by what grbl's receive buffer and planner can hold.
    constexpr std::size_t kMostMaybeDone = 256;
    while (!rest.empty() || read.record.machineMaybeDone.empty()) {
      const std::size_t end = rest.find(';');
      const std::string_view item = rest.substr(0, end);
      if (item == "-") {
        read.record.machineMaybeDone.emplace_back();
      } else if (const auto mm = MillimetresOf(item)) {
        read.record.machineMaybeDone.emplace_back(*mm);
      } else {
        return Garbled("числа в нём неверны");
      }
      if (read.record.machineMaybeDone.size() > kMostMaybeDone)
        return Garbled("числа в нём неверны");
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
      if (rest.empty()) return Garbled("числа в нём неверны");
    }
  }
  return read;
}

JournalRead ReadJournal(const std::filesystem::path& file) {
  // Not a FIFO, which would block, nor a link to /dev/zero, which never ends.
  FileBytes bytes = ReadRegularFile(file, kMaxJournalBytes);
  if (bytes.status == FileBytes::Status::kMissing) return {};
  if (bytes.status == FileBytes::Status::kFailed) return Garbled(bytes.error);
  if (bytes.bytes.size() > kMaxJournalBytes) return Garbled("он слишком велик");
  JournalRead read = ParseJournal(bytes.bytes);
  if (read.status != JournalRead::Status::Ok || read.record.ended) return read;
  const auto sent = SentRecord::Read(file, read.record.fingerprint);
  const std::int64_t total = read.record.totalLines;
  if (sent && sent->lines >= read.record.point.lines && (total == 0 || sent->lines <= total)) {
    read.record.point = *sent;
    read.countedSent = true;
  }
  return read;
}

std::string_view JournalRead::Warning() const {
  if (record.ended) return {};
  return countedSent ? kJournalLeftRunningCounted : kJournalLeftRunning;
}

namespace {

// The record's bytes: a mark, the job's fingerprint, then K, the depth and
// their check, each stored whole; a check that does not match (a record
// torn by a power cut, another program's file) makes it unused.
constexpr std::string_view kSentMark = "vtsent1";
constexpr std::size_t kFingerprintAt = 8;
constexpr std::size_t kFingerprintBytes = 48;
constexpr std::size_t kLinesAt = kFingerprintAt + kFingerprintBytes;
constexpr std::size_t kDepthAt = kLinesAt + 8;
constexpr std::size_t kCheckAt = kDepthAt + 8;
constexpr std::size_t kSentBytes = kCheckAt + 8;

std::int64_t SentCheck(std::int64_t lines, std::int64_t depth) {
  const std::uint64_t mixed = static_cast<std::uint64_t>(lines) * 0x9E3779B97F4A7C15u ^
                              static_cast<std::uint64_t>(depth) ^ 0x5EC0'4D5EC0'4Du;
  return static_cast<std::int64_t>(mixed);
}

std::string FingerprintField(std::string_view fingerprint) {
  std::string field(fingerprint.substr(0, kFingerprintBytes - 1));
  field.resize(kFingerprintBytes, '\0');
  return field;
}

}  // namespace

std::filesystem::path SentRecord::PathFor(const std::filesystem::path& journal) {
  std::filesystem::path sent = journal;
  return sent.replace_extension(".sent");
}

std::unique_ptr<SentRecord> SentRecord::Start(const std::filesystem::path& journal,
                                              std::string_view fingerprint, std::string& error) {
  auto file = MapFile(PathFor(journal), kSentBytes, error);
  if (!file) return nullptr;
  const std::span<std::byte> bytes = file->bytes();
  std::memset(bytes.data(), 0, bytes.size());
  std::memcpy(bytes.data(), kSentMark.data(), kSentMark.size());
  const std::string field = FingerprintField(fingerprint);
  std::memcpy(bytes.data() + kFingerprintAt, field.data(), field.size());
  std::unique_ptr<SentRecord> record(new SentRecord(std::move(file)));
  record->Store({});
  return record;
}

void SentRecord::Store(const ResumePoint& point) {
  std::byte* bytes = file_->bytes().data();
  const std::int64_t check = SentCheck(point.lines, point.depth);
  std::memcpy(bytes + kLinesAt, &point.lines, 8);
  std::memcpy(bytes + kDepthAt, &point.depth, 8);
  std::memcpy(bytes + kCheckAt, &check, 8);
}

std::optional<ResumePoint> SentRecord::Read(const std::filesystem::path& journal,
                                            std::string_view fingerprint) {
  // Bounded and regular, as the journal itself: a FIFO here must not block.
  const FileBytes file = ReadRegularFile(PathFor(journal), 4096);
  if (file.status != FileBytes::Status::kOk || file.bytes.size() < kSentBytes) return std::nullopt;
  const std::string_view bytes = file.bytes;
  if (bytes.substr(0, kSentMark.size()) != kSentMark ||
      bytes.substr(kFingerprintAt, kFingerprintBytes) != FingerprintField(fingerprint)) {
    return std::nullopt;
  }
  ResumePoint point;
  std::int64_t check = 0;
  std::memcpy(&point.lines, bytes.data() + kLinesAt, 8);
  std::memcpy(&point.depth, bytes.data() + kDepthAt, 8);
  std::memcpy(&check, bytes.data() + kCheckAt, 8);
  if (check != SentCheck(point.lines, point.depth) || point.lines < 0) return std::nullopt;
  return point;
}

std::filesystem::path JournalPath(const std::filesystem::path& settingsFile, std::string_view job) {
  return settingsFile.parent_path() / (std::string(job) + ".journal");
}

JobJournal::JobJournal(std::filesystem::path file, JournalRecord record)
    : file_(std::move(file)), record_(std::move(record)) {}

void JobJournal::Record(const ResumePoint& point, bool final) {
  replaceOld_ = false;  // written now in any case
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
  // A journal written at the job's end is exact: the record of lines sent
  // would only outlive it.
  if (final && written_) DropSent();
}

void JobJournal::Write(bool flush) {
  ++writes_;
  std::string error;
  written_ = ReplaceFileContents(file_, JournalText(record_), error, flush);
  if (!written_ && error_.empty()) error_ = error.empty() ? "не записан" : error;
}

void JobJournal::Sent(const ResumePoint& point) {
  if (replaceOld_) {
    replaceOld_ = false;
    DropSent();
    Write(false);
  }
  if (!sent_ && !sentFailed_) {
    std::string error;
    sent_ = SentRecord::Start(file_, record_.fingerprint, error);
    // Without it a crash's K is the journal's, half a second late at most.
    sentFailed_ = !sent_;
  }
  if (sent_) sent_->Store(point);
}

void JobJournal::DropSent() {
  sent_.reset();
  sentFailed_ = false;
  std::error_code ignored;
  std::filesystem::remove(SentRecord::PathFor(file_), ignored);
}

void JobJournal::Completed() {
  DropSent();
  std::error_code failed;
  std::filesystem::remove(file_, failed);
  if (failed && error_.empty()) error_ = failed.message();
  written_ = false;
}

JournalScope::JournalScope(WindowLink& window, std::filesystem::path file, std::string job,
                           std::string_view caption, const JobEstimate& count)
    : window_(window) {
  JournalRecord record{job,
                       std::string(caption),
                       count.linesFingerprint.Hex(),
                       count.lines,
                       {},
                       false,
                       std::nullopt,
                       std::nullopt,
                       std::nullopt,
                       {}};
  const JournalRead found = ReadJournal(file);
  ResumePoint done = found.record.point;
  // After a lost link the board is read again before it is asked anything.
  const bool boardRead = window.ReadGrblAgainIfLost();
  // A grbl board's job goes on exactly only from its machine place.
  bool placed = !window.StreamsGrbl() || found.record.machineOrigin.has_value();
  std::optional<std::array<double, 3>> head = found.record.machineHead;
  if (placed && boardRead && window.StreamsGrbl() && found.status == JournalRead::Status::Ok &&
      found.record.job == job && found.record.fingerprint == record.fingerprint &&
      !found.record.machineMaybeDone.empty()) {
    // The link was lost: where the board stands now tells how many more
    // lines it did.
    const auto more = window.GrblDoneAfterLoss(found.record.machineMaybeDone);
    if (more) {
      done.lines += *more;
      head.reset();
    } else {
      placed = false;
      window.link().frontend().ShowMessage(texts::kTitleWarning, texts::kGrblPlaceLost);
    }
  }
  const bool offered = found.status == JournalRead::Status::Ok && found.record.job == job &&
                       found.record.fingerprint == record.fingerprint &&
                       found.record.totalLines == count.lines && done.lines > 0 &&
                       done.lines < count.lines && placed;
  MachineModel& machine = window.link().machine();
  const std::optional<MachineSteps> origin =
      found.record.place ? std::optional(machine.OriginOf(*found.record.place)) : std::nullopt;
  if (offered && window.link().frontend().OfferResume(
                     "Задание «" + std::string(caption) + "» было прервано: плата выполнила " +
                     CountText(done.lines, "строку", "строки", "строк") + " из " +
                     std::to_string(count.lines) + ".\r\n" +
                     (found.record.ended ? std::string() : std::string(found.Warning()) + "\r\n") +
                     "Продолжить с места остановки или начать сначала?")) {
    record.point = done;
    resumedAfter_ = done.lines;
    if (window.StreamsGrbl()) {
      record.machineOrigin = found.record.machineOrigin;
      record.machineHead = head;
      window.ResumeGrblJob(*found.record.machineOrigin, head);
      window.Replay(done.lines, done.depth);
    } else {
      window.Replay(done.lines, done.depth, origin);
    }
  } else if (offered && origin) {
    // "Начать сначала": the head goes back to where the stopped job began
    // (JobRunner asks first), also when another run of the program stopped it.
    machine.StoppedJobAt(*origin);
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
