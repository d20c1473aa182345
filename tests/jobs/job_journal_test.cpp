#include "jobs/job_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "link/machine_model.h"
#include "support/temp_folder.h"

namespace vertolin {
namespace {

// A journal keeps the head's place only when a job ended with the board
// answering; one written before the place was kept still reads, and a place
// that is not three whole numbers makes the journal damaged, not a guess.
TEST(JobJournalText, ThePlaceOfTheHeadRoundTripsAndOlderJournalsStillRead) {
  JournalRecord record{"mill-all", "mill-all ring.bmp", "00ff",       40,           {7, -200},
                       true,       std::nullopt,        std::nullopt, std::nullopt, {}};
  const JournalRead without = ParseJournal(JournalText(record));
  ASSERT_EQ(without.status, JournalRead::Status::Ok);
  EXPECT_FALSE(without.record.place);
  EXPECT_EQ(without.record.point.lines, 7);

  record.place = HeadPlace{1234567, {10, -20, 0}, {-5, 7, 2000}};
  const std::string text = JournalText(record);
  const JournalRead with = ParseJournal(text);
  ASSERT_EQ(with.status, JournalRead::Status::Ok);
  EXPECT_EQ(with.record.place, record.place);

  struct Case {
    std::string head;
    JournalRead::Status status;
  } const cases[] = {
      {"head=-5,7,2000", JournalRead::Status::Ok},     {"head=-5,7", JournalRead::Status::Garbled},
      {"head=-5,7,2,1", JournalRead::Status::Garbled}, {"head=a,7,2", JournalRead::Status::Garbled},
      {"head=-5,,2", JournalRead::Status::Garbled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    // Signed again, as this program would have written it.
    const std::string edited = text.substr(0, text.find("head=")) + c.head + "\n";
    Fingerprint sum;
    sum.Add(edited);
    EXPECT_EQ(ParseJournal(edited + "check=" + sum.Hex() + "\n").status, c.status);
  }

  // A grbl board's places, and after a lost link the lines it may have done.
  record.machineOrigin = std::array<double, 3>{1.5, -2, 0};
  record.machineHead = std::array<double, 3>{3.25, 0, -1};
  record.machineMaybeDone = {std::array<double, 3>{3.5, 0, -1}, std::nullopt,
                             std::array<double, 3>{3.5, 0.25, -1}};
  const std::string grbl = JournalText(record);
  const JournalRead read = ParseJournal(grbl);
  ASSERT_EQ(read.status, JournalRead::Status::Ok) << grbl;
  EXPECT_EQ(read.record.machineHead, record.machineHead);
  EXPECT_EQ(read.record.machineMaybeDone, record.machineMaybeDone);
  for (const char* maybe : {"machine_maybe_done=", "machine_maybe_done=1,2",
                            "machine_maybe_done=1,2,3;", "machine_maybe_done=1,2,3;;-"}) {
    SCOPED_TRACE(maybe);
    const std::string edited = grbl.substr(0, grbl.find("machine_maybe_done=")) + maybe + "\n";
    Fingerprint sum;
    sum.Add(edited);
    EXPECT_EQ(ParseJournal(edited + "check=" + sum.Hex() + "\n").status,
              JournalRead::Status::Garbled);
  }
}

// The record of lines sent is read back as stored, for its own job only; a
// record that cannot be made is told, not fatal.
TEST(SentRecordTest, StoredLinesComeBackForTheirJobOnly) {
  test::TempFolder folder;
  const auto journal = folder.path() / "engrave.journal";
  std::string error;
  {
    const auto record = SentRecord::Start(journal, "00ff", error);
    ASSERT_TRUE(record) << error;
    record->Store({7, -3});
    record->Store({8, -5});
  }
  const auto read = SentRecord::Read(journal, "00ff");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->lines, 8);
  EXPECT_EQ(read->depth, -5);
  EXPECT_FALSE(SentRecord::Read(journal, "00fe"));
  EXPECT_FALSE(SentRecord::Read(folder.path() / "mill.journal", "00ff"));

  std::filesystem::create_directory(SentRecord::PathFor(folder.path() / "cut.journal"));
  EXPECT_FALSE(SentRecord::Start(folder.path() / "cut.journal", "00ff", error));
  EXPECT_FALSE(error.empty());
}

// Where a stopped job began, in this run's steps: this run's own origin, or —
// a journal of another run — where the head stands less how far it stood
// from that origin when that run ended. Only an unfinished real job asks to
// be gone back to, and only when the head is away from its origin.
TEST(MachineModelTest, AStoppedJobsOriginAndTheWayBackToIt) {
  MachineModel model;
  model.JobStarted(false);
  model.Acknowledged({MotionKind::Travel, {30, 40, 0}});
  EXPECT_EQ(model.AwayFromStoppedJob(), (MachineSteps{30, 40, 0}));  // still running
  model.JobEnded(true);
  EXPECT_EQ(model.AwayFromStoppedJob(), std::nullopt);

  model.JobStarted(false);
  model.Acknowledged({MotionKind::Plunge, {0, 0, -200}});
  model.JobEnded(false);
  EXPECT_EQ(model.AwayFromStoppedJob(), (MachineSteps{0, 0, -200}));
  // A dry run in between changes nothing of it.
  model.JobStarted(true);
  model.JobEnded(true);
  EXPECT_EQ(model.AwayFromStoppedJob(), (MachineSteps{0, 0, -200}));

  const HeadPlace place = model.Place();
  EXPECT_EQ(model.OriginOf(place), (MachineSteps{30, 40, 0}));
  model.Acknowledged({MotionKind::Jog, {5, 0, 0}});
  EXPECT_EQ(model.OriginOf(place), (MachineSteps{30, 40, 0}));  // this run knows better

  MachineModel later;  // the program started again, the head where it was left
  EXPECT_EQ(later.OriginOf(place), (MachineSteps{0, 0, 200}));
  later.StoppedJobAt(later.OriginOf(place));
  EXPECT_EQ(later.AwayFromStoppedJob(), (MachineSteps{0, 0, -200}));
}

}  // namespace
}  // namespace vertolin
