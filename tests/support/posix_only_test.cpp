// The Windows build leaves out the tests of POSIX-only pieces; they are
// listed here so that a run under wine says what it did not cover and why.
#include <gtest/gtest.h>

TEST(PosixOnly, SerialPortOnPseudoTerminals) {
  GTEST_SKIP() << "link/serial_pty_test needs pseudo-terminals; the Win32 serial side meets "
                  "vertolin-board through COM5 in scripts/test-windows instead";
}

TEST(PosixOnly, BoardProgram) {
  GTEST_SKIP() << "board/board_program_test starts vertolin-board with fork on a pseudo-terminal";
}

TEST(PosixOnly, SettingsOnAFullDisk) {
  GTEST_SKIP() << "settings_store_test's full disk is a POSIX file size limit (setrlimit)";
}
