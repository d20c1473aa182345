#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "util/exe_folder.h"
#include "app/app_test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <system_error>
#endif

namespace vertolin {
namespace {

using test::ReadBytes;
using test::RecordingFrontend;
using test::WriteBytes;

class SettingsStoreTest : public test::TempFolderTest {
 protected:
  std::filesystem::path File() const { return folder_ / "cnc.ini"; }

  RecordingFrontend frontend_;
};

TEST(SettingsStoreDefaultPath, IsCncIniInTheExecutablesFolder) {
  const std::filesystem::path folder = ExecutableFolder();
  EXPECT_TRUE(folder.is_absolute());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(SettingsStore::DefaultPath(), folder / "cnc.ini");
}

TEST_F(SettingsStoreTest, MissingFileGivesDefaultAndFirstWriteCreatesSection) {
  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com1");
  EXPECT_FALSE(std::filesystem::exists(File()));

  ASSERT_TRUE(store.WriteSetting("Port", "com3"));
  EXPECT_EQ(ReadBytes(File()), "[CNC]\r\nPort=com3\r\n");
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com3");
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(SettingsStoreTest, EmptyCommentedOrForeignValuesGiveDefault) {
  WriteBytes(File(),
             "[CNC]\r\nPort=\r\nspeed =  \t\r\n;SM_delay=5\r\n  # SM_optim=1\r\n"
             "[Other]\r\nSM_X_ratio=0.1\r\n");
  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com1");
  EXPECT_EQ(store.ReadSetting("speed", "9600"), "9600");
  EXPECT_EQ(store.ReadSetting("SM_delay", "2000"), "2000");
  EXPECT_EQ(store.ReadSetting("SM_optim", "0"), "0");
  EXPECT_EQ(store.ReadSetting("SM_X_ratio", "0.005"), "0.005");
}

TEST_F(SettingsStoreTest, FilesThatCannotGiveSettingsAreDiagnosed) {
  struct Case {
    std::string bytes;
    std::string said;  // empty: sound
  };
  const Case cases[] = {
      {"[CNC]\r\nPort=com3\r\n", ""},
      {"Port=com3\r\n", "не содержит раздела [CNC]"},
      {"[CNC\r\nPort=com3\r\n", "не содержит раздела [CNC]"},
      {"[CNC]\rPort=com3\r", "одним символом CR"},
      {std::string("\xFF\xFE[\0C\0", 6), "UTF-16"},
      {std::string("\x01\x02\0\x7F[CNC]", 9), "двоичные данные"},
  };
  for (const Case& c : cases) {
    WriteBytes(File(), c.bytes);
    const auto problem = SettingsStore(File(), frontend_).Diagnose(true);
    if (c.said.empty()) {
      EXPECT_FALSE(problem) << problem->text;
    } else {
      ASSERT_TRUE(problem) << c.said;
      EXPECT_NE(problem->text.find(c.said), std::string::npos) << problem->text;
      EXPECT_FALSE(problem->unreadable);
    }
  }
  std::filesystem::remove(File());
  EXPECT_FALSE(SettingsStore(File(), frontend_).Diagnose(false));
  EXPECT_TRUE(SettingsStore(File(), frontend_).Diagnose(true)->unreadable);
  std::filesystem::create_directory(File());
  EXPECT_TRUE(SettingsStore(File(), frontend_).Diagnose(false)->unreadable);
  std::filesystem::remove(File());
  // Too big to be a settings file: not read at all (sparse, so no disk).
  WriteBytes(File(), "[CNC]\r\nPort=com3\r\n");
  std::filesystem::resize_file(File(), SettingsStore::kMaxFileBytes + 1);
  SettingsStore big(File(), frontend_);
  EXPECT_TRUE(big.Diagnose(false)->unreadable);
  EXPECT_EQ(big.ReadSetting("Port", "com1"), "com1");
}

#ifndef _WIN32
TEST_F(SettingsStoreTest, OnlyRegularFilesAreReadAndAChangedFileIsReadAgain) {
  ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
  SettingsStore fifo(File(), frontend_);
  EXPECT_EQ(fifo.ReadSetting("Port", "com1"), "com1");  // does not block
  EXPECT_TRUE(fifo.Diagnose(false)->unreadable);
  std::filesystem::remove(File());
  EXPECT_EQ(SettingsStore("/dev/zero", frontend_).ReadSetting("Port", "com1"), "com1");

  WriteBytes(File(), "[CNC]\r\nPort=com3\r\n");
  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com3");
  WriteBytes(File(), "[CNC]\r\nPort=com12\r\n");
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com12");
}

TEST_F(SettingsStoreTest, TheWriterWritesThroughALinkAndClearsTemporariesOfTheDead) {
  const std::filesystem::path target = folder_ / "real.ini";
  WriteBytes(target, "[CNC]\r\nPort=com3\r\n");
  std::filesystem::create_symlink(target, File());
  // A copy of the program killed in the middle of a write left these.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string stale = "real.ini.tmp" + std::to_string(dead) + "-0";
  WriteBytes(folder_ / stale, "half");
  WriteBytes(folder_ / "other.tmp1-0", "not ours");

  SettingsStore store(File(), frontend_);
  ASSERT_TRUE(store.WriteSetting("Port", "com4"));
  EXPECT_TRUE(std::filesystem::is_symlink(File()));
  EXPECT_EQ(ReadBytes(target), "[CNC]\r\nPort=com4\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder_ / stale));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "other.tmp1-0"));
}
#endif

TEST_F(SettingsStoreTest, KeysAndSectionMatchWithoutRegardToCase) {
  WriteBytes(File(), "[ cnc ]\n\t PORT \t=  com7 \t\n");
  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com7");

  ASSERT_TRUE(store.WriteSetting("port", "com8"));
  EXPECT_EQ(store.ReadSetting("Port", "com1"), "com8");
  // The existing entry was replaced, not joined by a second one.
  EXPECT_EQ(ReadBytes(File()), "[ cnc ]\nport=com8\n");
}

TEST_F(SettingsStoreTest, CutsLongValuesTo254Characters) {
  std::string utf8;
  for (int i = 0; i < 300; ++i) utf8 += "Ж";
  std::string cp1251(300, '\xC6');  // Ж in Windows-1251
  std::string expected;
  for (int i = 0; i < 254; ++i) expected += "Ж";
  WriteBytes(File(),
             "[CNC]\r\nA=" + utf8 + "\r\nB=" + cp1251 + "\r\nC=" + std::string(254, 'x') + "\r\n");

  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("A", ""), expected);
  EXPECT_EQ(store.ReadSetting("B", ""), expected);
  EXPECT_EQ(store.ReadSetting("C", ""), std::string(254, 'x'));
}

TEST_F(SettingsStoreTest, ReadsWindows1251ValuesAsUtf8) {
  WriteBytes(File(),
             "[CNC]\r\n"
             "Picture=C:\\\xCA\xE0\xF0\xF2\xE8\xED\xEA\xE8\\\xA8\xEB\xEA\xE0 \xB9\xB8 \x96 \x88"
             "\xA5\xB2.bmp\r\n"
             "Utf8=C:\\Картинки\\Ёлка.bmp\r\n");
  SettingsStore store(File(), frontend_);
  EXPECT_EQ(store.ReadSetting("Picture", ""), "C:\\Картинки\\Ёлка №ё – €ҐІ.bmp");
  EXPECT_EQ(store.ReadSetting("Utf8", ""), "C:\\Картинки\\Ёлка.bmp");
}

TEST_F(SettingsStoreTest, ReplacingKeepsEveryOtherByte) {
  const std::string before =
      "\xEF\xBB\xBF; настройки станка\r\n"
      "[Other]\r\nPort=keep\r\n\r\n"
      "[cnc]\r\n  port = com1 \r\n# comment\r\nSM_delay=2000\r\nBroken line\r\n\r\n"
      "[Tail]\r\nx=1\r\n";
  WriteBytes(File(), before);
  SettingsStore store(File(), frontend_);

  ASSERT_TRUE(store.WriteSetting("Port", "com5"));
  ASSERT_TRUE(store.WriteSetting("speed", "115200"));
  EXPECT_EQ(ReadBytes(File()),
            "\xEF\xBB\xBF; настройки станка\r\n"
            "[Other]\r\nPort=keep\r\n\r\n"
            "[cnc]\r\nPort=com5\r\n# comment\r\nSM_delay=2000\r\nBroken line\r\n"
            "speed=115200\r\n\r\n"
            "[Tail]\r\nx=1\r\n");
  EXPECT_EQ(store.ReadSetting("Port", ""), "com5");
}

TEST_F(SettingsStoreTest, AddingKeepsTheFilesLineEndsAndMissingLastBreak) {
  WriteBytes(File(), "[Other]\na=1");
  SettingsStore store(File(), frontend_);
  ASSERT_TRUE(store.WriteSetting("Port", "com2"));
  EXPECT_EQ(ReadBytes(File()), "[Other]\na=1\n[CNC]\nPort=com2");
  ASSERT_TRUE(store.WriteSetting("speed", "9600"));
  EXPECT_EQ(ReadBytes(File()), "[Other]\na=1\n[CNC]\nPort=com2\nspeed=9600");
  EXPECT_EQ(store.ReadSetting("speed", ""), "9600");
}

TEST_F(SettingsStoreTest, LineBreaksInsideValueBecomeSpaces) {
  SettingsStore store(File(), frontend_);
  ASSERT_TRUE(store.WriteSetting("Picture", "a\r\nb\nc\rd"));
  ASSERT_TRUE(store.WriteSetting("Port", "com2"));
  EXPECT_EQ(ReadBytes(File()), "[CNC]\r\nPicture=a  b c d\r\nPort=com2\r\n");
}

TEST_F(SettingsStoreTest, OverrideReplacesTheFilesValueWithoutWriting) {
  const std::string before = "[CNC]\r\nPort=com3\r\nspeed=19200\r\nSM_delay=1000\r\n";
  WriteBytes(File(), before);
  SettingsStore store(File(), frontend_);
  store.Override("PORT", "com9");
  store.Override("speed", "");

  EXPECT_EQ(store.ReadSetting("port", "com1"), "com9");
  EXPECT_EQ(store.ReadSetting("Speed", "9600"), "9600");
  EXPECT_EQ(store.ReadSetting("SM_delay", "2000"), "1000");
  EXPECT_EQ(ReadBytes(File()), before);
}

class SettingsStoreWriteFailureTest : public SettingsStoreTest {
 protected:
  // One message naming the file, then the system's reason on its own line.
  void ExpectOneFailureMessage(const std::filesystem::path& file) {
    ASSERT_EQ(frontend_.messages.size(), 1u);
    EXPECT_EQ(frontend_.messages[0].title, "Ошибка");
    const std::u8string path = file.u8string();
    const std::string head = "Не удалось сохранить настройки в файл " +
                             std::string(path.begin(), path.end()) + ".\r\n";
    const std::string& text = frontend_.messages[0].text;
    ASSERT_GT(text.size(), head.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    reason_ = text.substr(head.size());
  }

  std::string reason_;
};

TEST_F(SettingsStoreWriteFailureTest, FolderThatIsAFile) {
  const std::filesystem::path blocker = folder_ / "blocker";
  WriteBytes(blocker, "x");
  const std::filesystem::path file = blocker / "cnc.ini";
  SettingsStore store(file, frontend_);

  EXPECT_FALSE(store.WriteSetting("Port", "com2"));
  ExpectOneFailureMessage(file);
#ifndef _WIN32
  EXPECT_EQ(reason_, std::system_category().message(ENOTDIR));
#endif
  EXPECT_EQ(ReadBytes(blocker), "x");
  EXPECT_EQ(Names(), std::vector<std::string>{"blocker"});
}

TEST_F(SettingsStoreWriteFailureTest, FileThatIsAFolder) {
  std::filesystem::create_directory(File());
  WriteBytes(File() / "inside", "y");
  SettingsStore store(File(), frontend_);

  EXPECT_FALSE(store.WriteSetting("Port", "com2"));
  ExpectOneFailureMessage(File());
  EXPECT_EQ(ReadBytes(File() / "inside"), "y");
  EXPECT_EQ(Names(), std::vector<std::string>{"cnc.ini"});
}

#ifndef _WIN32
// A file size limit stands in for a full disk; unlike permission bits it
// holds for root too.
TEST_F(SettingsStoreWriteFailureTest, FullDiskLeavesTheOriginal) {
  const std::string before = "[CNC]\r\nPort=com3\r\n";
  WriteBytes(File(), before);
  SettingsStore store(File(), frontend_);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool written = store.WriteSetting("Picture", std::string(500, 'p'));
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedSignal);

  EXPECT_FALSE(written);
  ExpectOneFailureMessage(File());
  EXPECT_EQ(reason_, std::system_category().message(EFBIG));
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(Names(), std::vector<std::string>{"cnc.ini"});
}
#endif

}  // namespace
}  // namespace vertolin
