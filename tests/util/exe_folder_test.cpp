#include "util/exe_folder.h"

#include <gtest/gtest.h>

#ifndef VERTOLIN_TEST_PROGRAM
#error "VERTOLIN_TEST_PROGRAM must name the test program's file"
#endif

namespace vertolin {
namespace {

// cnc.ini and the default pictures are found through this folder, so it must
// be the one holding the running program, not the working folder.
TEST(ExecutableFolder, HoldsTheRunningProgram) {
  const std::filesystem::path folder = ExecutableFolder();
  EXPECT_TRUE(folder.is_absolute()) << folder;
  EXPECT_TRUE(std::filesystem::is_regular_file(folder / VERTOLIN_TEST_PROGRAM)) << folder;

  const std::filesystem::path elsewhere = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  EXPECT_EQ(ExecutableFolder(), folder);
  std::filesystem::current_path(elsewhere);
}

}  // namespace
}  // namespace vertolin
