#include "cli/job_journal_setup.h"

#include <ostream>
#include <string>

#include "picture/picture_file.h"
#include "util/file_replace.h"

namespace vertolin {

namespace {

// What decides the lines a job sends: the command with its arguments and
// options, the settings file with the --set overrides, the picture file.
// The port and the waiting and progress options do not.
JournalRecord Describe(const Options& options, const SettingsStore& settings) {
  std::string parameters = options.command;
  for (const std::string& arg : options.args) parameters += " " + arg;
  if (options.figure) parameters += " --figure " + std::to_string(*options.figure);
  if (options.returnToStart) parameters += " --return";
  for (const auto& [name, value] : options.values) parameters += " " + name + " " + value;
  for (const std::string& flag : options.flags) {
    if (flag != "--progress" && flag != "--no-progress" && flag != "--resume") {
      parameters += " " + flag;
    }
  }
  for (const auto& [key, value] : options.overrides) parameters += " --set " + key + "=" + value;

  Fingerprint fingerprint;
  fingerprint.Add(parameters);
  // Bounded reads: a picture that is a FIFO or a device is refused when the
  // job loads it, and must not hang or exhaust the fingerprint first.
  fingerprint.Add(ReadRegularFile(settings.path(), SettingsStore::kMaxFileBytes).bytes);
  if (!options.args.empty()) {
    fingerprint.Add(ReadRegularFile(PathFromUtf8(options.args[0]), kMaxPictureFileBytes).bytes);
  }
  return {options.command, parameters,   fingerprint.Hex(), 0, {}, false,
          std::nullopt,    std::nullopt, std::nullopt,      {}};
}

// "«engrave» (/path/engrave.journal)".
std::string Named(std::string_view job, const std::filesystem::path& file) {
  return "«" + std::string(job) + "» (" + PathToUtf8(file) + ")";
}

}  // namespace

JournalSetup SetUpJournal(const Options& options, const SettingsStore& settings,
                          ConsoleFrontend& frontend, std::ostream& err, std::int64_t totalLines) {
  JournalSetup setup;
  JournalRecord record = Describe(options, settings);
  record.totalLines = totalLines;
  const std::filesystem::path file = JournalPath(settings.path(), options.command);
  const JournalRead found = ReadJournal(file);
  const std::string named = "Журнал задания " + Named(options.command, file);
  if (!options.flags.contains("--resume")) {
    if (found.status == JournalRead::Status::Ok) {
      err << "vertolin-cli: the journal of an unfinished " << options.command << " job ("
          << found.record.point.lines << " lines done) is replaced; --resume would have gone on\n";
    }
    setup.journal.emplace(file, std::move(record));
    // An older journal must not outlive a fresh start, but one stopped
    // before it sent anything (in the handshake) leaves it for a resume.
    setup.journal->ReplaceOnFirstLine();
    return setup;
  }
  switch (found.status) {
    case JournalRead::Status::Missing:
      frontend.ShowMessage("Ошибка", named + " не найден: продолжать нечего.");
      setup.failure = kCliRefused;
      return setup;
    case JournalRead::Status::Garbled:
      frontend.ShowMessage("Ошибка", named + " повреждён (" + found.problem +
                                         ") и не используется.\r\nЗадание не начато.");
      setup.failure = kCliRefused;
      return setup;
    case JournalRead::Status::Ok:
      break;
  }
  if (found.record.job != record.job || found.record.fingerprint != record.fingerprint) {
    frontend.ShowMessage(
        "Ошибка", named + " записан для другой картинки или других настроек:\r\n" +
                      found.record.parameters +
                      "\r\nПродолжение с места остановки отменено, журнал оставлен как был.");
    setup.failure = kCliRefused;
    return setup;
  }
  record.point = found.record.point;
  if (record.totalLines == 0) record.totalLines = found.record.totalLines;
  setup.resume = record.point;
  setup.place = found.record.place;
  setup.maybeDone = found.record.machineMaybeDone;
  // A resumed job keeps its origin on a grbl board too.
  record.machineOrigin = found.record.machineOrigin;
  record.machineHead = found.record.machineHead;
  if (!found.record.ended) frontend.ShowMessage("Внимание", found.Warning());
  err << "vertolin-cli: resuming from line " << record.point.lines + 1;
  // After a lost link nothing may have been counted yet: the board's place
  // tells the rest once it answers.
  if (record.point.lines > 0) err << ", lines 1-" << record.point.lines << " were done before";
  err << "\n";
  setup.journal.emplace(file, std::move(record));
  return setup;
}

void TellJournalProblem(const JobJournal& journal, std::ostream& err) {
  if (journal.error().empty()) return;
  err << "vertolin-cli: the journal " << Named(journal.record().job, journal.file())
      << " could not be kept: " << journal.error() << '\n';
}

}  // namespace vertolin
