// ReadFileBytes and ReplaceFileContents on the system's own files; the same
// cases run for the POSIX side natively and for the Win32 side under wine.
#include "util/file_replace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_folder.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vertolin {
namespace {

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Long(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}

// Bytes a text-mode layer would change: CR LF, a lone LF, NUL, and Ctrl-Z,
// which ends a text file on Windows; and more than one read buffer.
struct ContentCase {
  const char* label;
  std::string bytes;
};
const std::vector<ContentCase> kContents = {
    {"empty", ""},
    {"ini", "[CNC]\r\nPort=com3\r\n"},
    {"control bytes", std::string("a\0b\nc\r\x1a\xff", 9)},
    {"several buffers", Long(100000)},
};

TEST(FileBytes, ReadAndReplaceKeepEveryByte) {
  const test::TempFolder folder;
  for (const ContentCase& c : kContents) {
    const std::filesystem::path file = folder.path() / "cnc.ini";
    Put(file, "old");
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(file, c.bytes, error)) << c.label << ": " << error;
    EXPECT_EQ(Slurp(file), c.bytes) << c.label;
    const FileBytes read = ReadFileBytes(file);
    EXPECT_EQ(read.status, FileBytes::Status::kOk) << c.label;
    EXPECT_EQ(read.bytes, c.bytes) << c.label;
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"cnc.ini"}) << c.label;
  }
}

TEST(FileBytes, MissingAndUnreadable) {
  const test::TempFolder folder;
  std::filesystem::create_directory(folder.path() / "folder");
  Put(folder.path() / "file", "x");

  EXPECT_EQ(ReadFileBytes(folder.path() / "none").status, FileBytes::Status::kMissing);
  EXPECT_EQ(ReadFileBytes(folder.path() / "no" / "cnc.ini").status, FileBytes::Status::kMissing);
  const FileBytes folderRead = ReadFileBytes(folder.path() / "folder");
  EXPECT_EQ(folderRead.status, FileBytes::Status::kFailed);
  EXPECT_FALSE(folderRead.error.empty());
  EXPECT_TRUE(folderRead.bytes.empty());
}

// Settings, journals and maps are read only from regular files of a bounded
// size, and whatever else the name leads to is refused at once: nothing
// waits for a FIFO's writer, reads a device without end or a sparse hole.
TEST(FileBytes, OnlyRegularFilesOfBoundedSizeAreRead) {
  const test::TempFolder folder;
  const std::filesystem::path dir = folder.path();
  constexpr std::uintmax_t kLimit = 64 * 1024;
  Put(dir / "small", "[CNC]\r\n");
  Put(dir / "full", Long(kLimit));
  Put(dir / "hole", "1 2 3\n");
  std::filesystem::resize_file(dir / "hole", std::uintmax_t{2} << 30);  // sparse: no disk
  std::filesystem::create_directory(dir / "folder");
  struct Case {
    std::filesystem::path file;
    FileBytes::Status status;
    std::string error;  // the words the person reads
  };
  std::vector<Case> cases = {
      {dir / "small", FileBytes::Status::kOk, ""},
      {dir / "full", FileBytes::Status::kOk, ""},
      {dir / "hole", FileBytes::Status::kFailed, "файл больше 64 КБ"},
      {dir / "folder", FileBytes::Status::kFailed, "это не обычный файл"},
      {dir / "none", FileBytes::Status::kMissing, ""},
  };
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero");
  std::filesystem::create_symlink(dir / "small", dir / "link");
  cases.push_back({dir / "fifo", FileBytes::Status::kFailed, "это не обычный файл"});
  cases.push_back({dir / "zero", FileBytes::Status::kFailed, "это не обычный файл"});
  cases.push_back({dir / "link", FileBytes::Status::kOk, ""});
#else
  cases.push_back({"NUL", FileBytes::Status::kFailed, "это не обычный файл"});
#endif
  for (const Case& c : cases) {
    const FileBytes read = ReadRegularFile(c.file, kLimit);
    EXPECT_EQ(read.status, c.status) << c.file;
    EXPECT_EQ(read.error, c.error) << c.file;
    if (c.status == FileBytes::Status::kOk) {
      EXPECT_EQ(read.bytes, ReadFileBytes(c.file).bytes) << c.file;
    } else {
      EXPECT_TRUE(read.bytes.empty()) << c.file;
    }
  }
  EXPECT_EQ(FileTooLargeText(16 * 1024 * 1024), "файл больше 16 МБ");
}

TEST(FileBytes, ReplaceCreatesAFileWithAName) {
  const test::TempFolder folder;
  // A Cyrillic name: the Win32 side must go through the wide calls.
  const std::filesystem::path file = folder.path() / std::filesystem::path(u8"настройки.ini");
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(file, "[CNC]\r\n", error)) << error;
  EXPECT_EQ(ReadFileBytes(file).bytes, "[CNC]\r\n");
  EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"настройки.ini"});
}

// Whatever fails, the target is left as it was, no temporary stays behind
// and the reason is the system's text.
TEST(FileBytes, FailedReplacementLeavesEverythingAsItWas) {
  const test::TempFolder folder;
  Put(folder.path() / "blocker", "x");
  std::filesystem::create_directory(folder.path() / "cnc.ini");
  Put(folder.path() / "cnc.ini" / "inside", "y");
  const std::vector<std::string> before = Names(folder.path());

  for (const std::filesystem::path& target :
       {folder.path() / "blocker" / "cnc.ini", folder.path() / "cnc.ini",
        folder.path() / "none" / "cnc.ini"}) {
    std::string error;
    EXPECT_FALSE(ReplaceFileContents(target, "new", error)) << target;
    EXPECT_FALSE(error.empty()) << target;
  }
  EXPECT_EQ(Slurp(folder.path() / "blocker"), "x");
  EXPECT_EQ(Slurp(folder.path() / "cnc.ini" / "inside"), "y");
  EXPECT_EQ(Names(folder.path()), before);
  EXPECT_EQ(Names(folder.path() / "cnc.ini"), std::vector<std::string>{"inside"});
}

TEST(FileBytes, ReplacementKeepsTheFilesPermissions) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no POSIX permission bits to keep";
#else
  const test::TempFolder folder;
  const std::filesystem::path file = folder.path() / "cnc.ini";
  Put(file, "old");
  using std::filesystem::perms;
  const perms mode = perms::owner_read | perms::owner_write | perms::group_read;
  std::filesystem::permissions(file, mode);
  std::string error;
  ASSERT_TRUE(ReplaceFileContents(file, "new", error)) << error;
  EXPECT_EQ(std::filesystem::status(file).permissions(), mode);
#endif
}

}  // namespace
}  // namespace vertolin
