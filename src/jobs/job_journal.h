// A running job's journal: one small file beside the settings that says which
// job ran on what and how far the board had come, so that a job ended by a
// stop, a lost link or the program's death can go on from there. It never
// holds the lines themselves: the job is deterministic and produces them
// again (WindowLink::Replay).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

#include "link/window_link.h"
#include "util/mapped_file.h"
#include "util/fingerprint.h"

namespace vertolin {

struct JournalRecord {
  std::string job;         // the command: "engrave", "mill-all", "cut", …
  std::string parameters;  // its arguments and options, for the person to read
  std::string fingerprint;
  std::int64_t totalLines = 0;  // M, 0 when not counted
  ResumePoint point;            // K lines acknowledged, the tool's depth
  // Written at the job's end (a stop, a lost link): K is exact. A journal
  // left while running tells of a program that died: the board may have
  // done up to half a second of lines more, and sending them again moves
  // the machine by them twice — unless the record of lines sent beside it
  // (SentRecord) says how many went out; then K is that.
  bool ended = false;
  // Where the head stood at that end, when the board had answered for every
  // line (not after a lost link or a crash).
  std::optional<HeadPlace> place;
  // A grbl board's: where the job's origin and the head at rest were in the
  // board's machine coordinates, mm (written with the place). A resume there
  // moves in absolute coordinates from the origin, whatever was done by hand
  // in between; a board that restarted since counts them from the head.
  std::optional<std::array<double, 3>> machineOrigin;
  std::optional<std::array<double, 3>> machineHead;
  // After a lost link with a grbl board, where each line sent beyond the
  // ones counted leaves the head (machine mm; nothing for a line that does
  // not move): the board may have done any first few of them, and where it
  // stands when it answers again tells how many.
  std::vector<std::optional<std::array<double, 3>>> machineMaybeDone;
};

// What the person is told before resuming from a journal left while running.
inline constexpr std::string_view kJournalLeftRunning =
    "Журнал остался от задания, прерванного сбоем программы: он мог отстать до "
    "полсекунды, и строки, которые плата успела выполнить после его записи, будут "
    "отправлены ещё раз — остаток задания может сместиться на их перемещение.";

// … and when the record of lines sent survived the crash: the board finishes
// every line it was sent, so the job goes on after the last of them.
inline constexpr std::string_view kJournalLeftRunningCounted =
    "Журнал остался от задания, прерванного сбоем программы. Сколько строк ушло на "
    "плату, записано, и задание продолжится со следующей. Только если сбоем было "
    "отключение питания компьютера, последние строки могут быть отправлены ещё раз.";

std::string JournalText(const JournalRecord& record);

struct JournalRead {
  enum class Status { Missing, Garbled, Ok };
  Status status = Status::Missing;
  JournalRecord record;
  std::string problem;  // Garbled: what is wrong with it
  // A journal left by a crash whose K comes from the record of lines sent.
  bool countedSent = false;

  // What to tell the person before resuming from it, "" when nothing.
  std::string_view Warning() const;
};

// Reads a journal back; one cut short, edited or damaged is Garbled. One left
// by a crash takes K and the depth from the record of lines sent beside it,
// when that belongs to it and is whole.
JournalRead ReadJournal(const std::filesystem::path& file);
JournalRead ParseJournal(std::string_view text);

// "<job>.journal" in the folder of the settings file.
std::filesystem::path JournalPath(const std::filesystem::path& settingsFile, std::string_view job);

// The record of a running job's lines sent, "<job>.sent" beside its journal:
// a small mapped file (util/mapped_file.h) that every program line written
// updates with a few memory stores, so that it outlives the program's death
// exactly where the journal, rewritten twice a second, lags.
class SentRecord {
 public:
  static std::filesystem::path PathFor(const std::filesystem::path& journal);

  // Starts the record of the job with `fingerprint`; none when the file
  // cannot be made (the journal's half-second remains).
  static std::unique_ptr<SentRecord> Start(const std::filesystem::path& journal,
                                           std::string_view fingerprint, std::string& error);
  // The job's first `point.lines` lines have been written, leaving the tool
  // at `point.depth`.
  void Store(const ResumePoint& point);

  // What a record left beside `journal` says for the job with `fingerprint`.
  static std::optional<ResumePoint> Read(const std::filesystem::path& journal,
                                         std::string_view fingerprint);

 private:
  explicit SentRecord(std::unique_ptr<MappedFile> file) : file_(std::move(file)) {}
  std::unique_ptr<MappedFile> file_;
};

// Keeps a job's journal up to date while it runs: rewritten atomically at
// most every kInterval and at the job's end (flushed to disk then), removed
// when the job completes.
// A journal that cannot be written does not stop the job: the first failure
// is kept for the caller to tell.
class JobJournal : public ResumeRecorder {
 public:
  static constexpr std::chrono::milliseconds kInterval{500};

  JobJournal(std::filesystem::path file, JournalRecord record);

  void Record(const ResumePoint& point, bool final) override;
  void Placed(const HeadPlace& place) override { record_.place = place; }
  void MachinePlace(const std::array<double, 3>& origin,
                    const std::array<double, 3>& head) override {
    record_.machineOrigin = origin;
    record_.machineHead = head;
  }
  void MaybeDone(std::vector<std::optional<std::array<double, 3>>> ends) override {
    record_.machineMaybeDone = std::move(ends);
  }
  void Sent(const ResumePoint& point) override;
  void Completed() override;
  // A fresh start leaves an older journal until its first line goes out,
  // then replaces it at once.
  void ReplaceOnFirstLine() { replaceOld_ = true; }

  const JournalRecord& record() const { return record_; }
  const std::filesystem::path& file() const { return file_; }
  // The first failure to write or remove the file, empty when none.
  const std::string& error() const { return error_; }
  std::int64_t writes() const { return writes_; }

 private:
  void Write(bool flush);
  void DropSent();

  std::filesystem::path file_;
  JournalRecord record_;
  std::optional<std::chrono::steady_clock::time_point> lastWrite_;
  bool written_ = false;  // the file holds record_
  std::string error_;
  std::int64_t writes_ = 0;
  std::unique_ptr<SentRecord> sent_;
  bool sentFailed_ = false;
  bool replaceOld_ = false;
};

struct JobEstimate;

// A window's job and its journal, for as long as the job runs. A journal
// left by the same job with the same lines (the count's fingerprint: the
// same picture, fields and settings give the same lines) that the board had
// begun is offered for resuming (Frontend::OfferResume); while the job runs,
// the window link reports to the journal; afterwards the link keeps no
// replay or journal, and a journal that could not be written is told.
class JournalScope {
 public:
  JournalScope(WindowLink& window, std::filesystem::path file, std::string job,
               std::string_view caption, const JobEstimate& count);
  ~JournalScope();
  JournalScope(const JournalScope&) = delete;
  JournalScope& operator=(const JournalScope&) = delete;

  // The line the job goes on after, 0 for a fresh start.
  std::int64_t resumedAfter() const { return resumedAfter_; }

 private:
  WindowLink& window_;
  std::optional<JobJournal> journal_;
  std::int64_t resumedAfter_ = 0;
};

}  // namespace vertolin
