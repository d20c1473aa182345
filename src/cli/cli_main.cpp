#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
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

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::ios::sync_with_stdio(false);
  const int status =
      vertolin::RunCli(args, {std::cout, std::cerr, &interrupts, isatty(2) != 0});
  std::cout.flush();
  return status;
}
