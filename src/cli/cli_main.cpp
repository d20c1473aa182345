#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t interrupts = 0;

extern "C" void OnInterrupt(int) {
  if (interrupts < 2) interrupts = interrupts + 1;
}

#ifdef _WIN32
// The tool reads its arguments as UTF-8; Windows' argv is in the ANSI code
// page, which loses a Cyrillic file name outside a Russian system locale.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 1 ? static_cast<std::size_t>(size - 1) : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
#ifdef _WIN32
  // The messages are UTF-8; a Windows console shows its OEM code page otherwise.
  SetConsoleOutputCP(CP_UTF8);
#endif
#ifdef _WIN32
  static_cast<void>(argc);
  static_cast<void>(argv);
  const std::vector<std::string> args = Utf8Arguments();
#else
  const std::vector<std::string> args(argv + 1, argv + argc);
#endif
  std::ios::sync_with_stdio(false);
  const int status = vertolin::RunCli(args, {std::cout, std::cerr, &interrupts, isatty(2) != 0});
  std::cout.flush();
  return status;
}
