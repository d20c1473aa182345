// vertolin-board: a simulated board on a pseudo-terminal, for trying the
// program's serial code end to end without hardware.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "board/grbl_board.h"
#include "board/pty_server.h"
#include "board/simulated_board.h"

namespace {

constexpr const char* kUsage =
    "usage: vertolin-board [--kind LETTER] [--delay MS] [--silent] [--garbage TEXT] [--babble]"
    " [--after N] [--drop-after N] [--crlf] [--pace] [--baud N] [--idle-delay US] [--record FILE]"
    " [--stdin-eof] [--help]\n"
    "       vertolin-board --grbl [--baud N] [--motion-scale F | --instant] [--laser-mode 0|1]"
    " [--alarm] [--surface Z] [--drop-after N [--line-back MS]] [--after N --silent]"
    " [--error-at LINE:CODE]"
    " [--limit-at LINE] [--record FILE] [--buffer-report FILE] [--stdin-eof]\n";

constexpr const char* kHelp =
    "Serves a simulated board on a pseudo-terminal and prints the port's path.\n"
    "  --kind LETTER    firmware letter: M milling, S scanner, P laser, B wood burning, O cutting (M)\n"
    "  --delay MS       answer every command MS milliseconds late\n"
    "  --silent         never answer\n"
    "  --garbage TEXT   send TEXT before every acknowledgement\n"
    "  --babble         send bytes without end and never an acknowledgement\n"
    "  --after N        answer the first N commands, then be --silent or --babble\n"
    "  --drop-after N   drop the line after N commands\n"
    "  --crlf           follow every answer with CR LF\n"
    "  --pace           take a real board's time: answer a command once its bytes have come at\n"
    "                   the port's speed and its largest axis step count times its step delay\n"
    "                   has passed, one command after another\n"
    "  --baud N         the port's speed for --pace, 10 bits a byte (9600)\n"
    "  --idle-delay US  the step delay for --pace where a command gives none (2000)\n"
    "  --record FILE    append each command and the position after it to FILE\n"
    "  --stdin-eof      stop when standard input closes\n"
    "With --grbl it is a grbl 1.1 board instead: a 128-byte receive buffer that drops what does\n"
    "not fit, a 15-block planner, status reports, feed hold, soft reset, probing and jogging.\n"
    "  --baud N          the line's speed, 10 bits a byte, both ways (115200)\n"
    "  --motion-scale F  run the motion F times faster than its feed (1)\n"
    "  --instant         motion takes no time (--motion-scale 0)\n"
    "  --laser-mode 0|1  $32 at start (1)\n"
    "  --alarm           start in an alarm, to be unlocked with $X\n"
    "  --surface Z       a flat surface at Z mm for the probe (none: a probe never touches)\n"
    "  --drop-after N    drop the line after N lines; the board stops where it is\n"
    "  --line-back MS    with --drop-after: the board keeps its own power, runs out its\n"
    "                    planner, and MS later serves again on a new port (its path printed)\n"
    "  --after N         with --silent: answer nothing after N lines\n"
    "  --error-at LINE:CODE  answer line LINE (counted from the start) error:CODE, unrun\n"
    "  --limit-at LINE   a hard limit trips as the block of line LINE starts (ALARM:1)\n"
    "  --record FILE     append each executed block: its line number, text, the position\n"
    "                    after it in mm, and the laser\n"
    "  --buffer-report FILE  write at the end the bytes the receive buffer dropped and the\n"
    "                    most it held: \"overflowed N\" and \"peak N\", a line each\n";

int BadUsage(const char* why, std::string_view arg) {
  if (arg.empty()) {
    std::fprintf(stderr, "vertolin-board: %s\n%s", why, kUsage);
  } else {
    std::fprintf(stderr, "vertolin-board: %s: %.*s\n%s", why, static_cast<int>(arg.size()),
                 arg.data(), kUsage);
  }
  return 2;
}

std::optional<int> NonNegative(std::string_view text) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<double> Number(std::string_view text) {
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// The options of a grbl board. `native` names the first option of the native
// boards given, which --grbl refuses; `own` the first of grbl's, which only
// --grbl takes.
struct GrblChoice {
  bool grbl = false;
  vertolin::GrblBoardOptions options;
  std::string_view native;
  std::string_view own;
};

}  // namespace

int main(int argc, char** argv) {
  char kind = 'M';
  vertolin::BoardFaults faults;
  const char* recordPath = nullptr;
  const char* bufferReportPath = nullptr;
  vertolin::PtyServeOptions serve;
  GrblChoice grbl;
  const auto nativeOnly = [&](std::string_view arg) {
    if (grbl.native.empty()) grbl.native = arg;
  };
  const auto grblOnly = [&](std::string_view arg) {
    if (grbl.own.empty()) grbl.own = arg;
  };

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    } else if (arg == "--grbl") {
      grbl.grbl = true;
    } else if (arg == "--motion-scale" || arg == "--surface") {
      grblOnly(arg);
      const auto text = value();
      const auto number = text ? Number(*text) : std::nullopt;
      if (arg == "--surface") {
        if (!number) return BadUsage("--surface needs a height in mm", text.value_or(""));
        grbl.options.surface = [z = *number](double, double) { return z; };
      } else {
        if (!number || *number < 0) {
          return BadUsage("--motion-scale needs a factor of 0 or more", text.value_or(""));
        }
        grbl.options.motionScale = *number;
      }
    } else if (arg == "--instant") {
      grblOnly(arg);
      grbl.options.motionScale = 0;
    } else if (arg == "--laser-mode") {
      grblOnly(arg);
      const auto text = value();
      if (!text || (*text != "0" && *text != "1")) {
        return BadUsage("--laser-mode needs 0 or 1", text.value_or(""));
      }
      grbl.options.laserMode = *text == "1";
    } else if (arg == "--error-at") {
      grblOnly(arg);
      const auto text = value();
      const std::string_view pair = text.value_or("");
      const std::size_t colon = pair.find(':');
      // 0 stands for "none" too, as for --baud.
      const int line = NonNegative(pair.substr(0, colon)).value_or(0);
      const int code =
          colon == std::string_view::npos ? 0 : NonNegative(pair.substr(colon + 1)).value_or(0);
      if (line == 0 || code == 0) return BadUsage("--error-at needs LINE:CODE", pair);
      grbl.options.errorAtLine = line;
      grbl.options.errorCode = code;
    } else if (arg == "--line-back") {
      grblOnly(arg);
      const auto text = value();
      // -1 stands for "none": g++ -O3 cannot see through a second optional here.
      const int ms = text ? NonNegative(*text).value_or(-1) : -1;
      if (ms < 0) return BadUsage("--line-back needs milliseconds", text.value_or(""));
      grbl.options.dropRunsOut = true;
      serve.lineBack = std::chrono::milliseconds(ms);
    } else if (arg == "--limit-at") {
      grblOnly(arg);
      const auto text = value();
      // 0 stands for "none" too: g++ -O3 cannot see through a second optional here.
      const int line = text ? NonNegative(*text).value_or(0) : 0;
      if (line == 0) return BadUsage("--limit-at needs a line number", text.value_or(""));
      grbl.options.limitAtLine = line;
    } else if (arg == "--buffer-report") {
      grblOnly(arg);
      const auto text = value();
      if (!text || text->empty()) return BadUsage("--buffer-report needs a file", "");
      bufferReportPath = text->data();
    } else if (arg == "--alarm") {
      grblOnly(arg);
      grbl.options.alarmAtStart = true;
    } else if (arg == "--kind") {
      nativeOnly(arg);
      const auto letter = value();
      if (!letter || letter->size() != 1 ||
          !std::isalpha(static_cast<unsigned char>(letter->front())))
        return BadUsage("--kind needs one letter", letter.value_or(""));
      kind = letter->front();
    } else if (arg == "--delay") {
      const auto text = value();
      const auto ms = text ? NonNegative(*text) : std::nullopt;
      if (!ms) return BadUsage("--delay needs milliseconds", text.value_or(""));
      nativeOnly(arg);
      faults.replyDelay = std::chrono::milliseconds(*ms);
    } else if (arg == "--drop-after") {
      const auto text = value();
      const auto count = text ? NonNegative(*text) : std::nullopt;
      if (!count) return BadUsage("--drop-after needs a count", text.value_or(""));
      faults.dropAfter = *count;
    } else if (arg == "--after") {
      const auto text = value();
      const auto count = text ? NonNegative(*text) : std::nullopt;
      if (!count) return BadUsage("--after needs a count", text.value_or(""));
      faults.faultAfter = *count;
    } else if (arg == "--pace") {
      nativeOnly(arg);
      faults.pace = true;
    } else if (arg == "--baud") {
      const auto text = value();
      // 0 stands for "none" too: g++ -O3 cannot see through a second optional here.
      const int baud = text ? NonNegative(*text).value_or(0) : 0;
      if (baud == 0) return BadUsage("--baud needs a speed above 0", text.value_or(""));
      faults.baud = baud;
      grbl.options.baud = baud;
    } else if (arg == "--idle-delay") {
      const auto text = value();
      const auto us = text ? NonNegative(*text) : std::nullopt;
      if (!us) return BadUsage("--idle-delay needs microseconds", text.value_or(""));
      nativeOnly(arg);
      faults.idleDelay = *us;
    } else if (arg == "--garbage") {
      const auto text = value();
      if (!text) return BadUsage("--garbage needs a text", "");
      nativeOnly(arg);
      faults.garbageBeforeAck = std::string(*text);
    } else if (arg == "--record") {
      const auto text = value();
      if (!text || text->empty()) return BadUsage("--record needs a file", "");
      recordPath = text->data();
    } else if (arg == "--silent") {
      faults.silent = true;
    } else if (arg == "--babble") {
      nativeOnly(arg);
      faults.babble = true;
    } else if (arg == "--crlf") {
      nativeOnly(arg);
      faults.crlf = true;
    } else if (arg == "--stdin-eof") {
      serve.stopAtStdinEof = true;
    } else {
      return BadUsage("unknown option", arg);
    }
  }

  if (grbl.grbl && !grbl.native.empty()) return BadUsage("not with --grbl", grbl.native);
  if (!grbl.grbl && !grbl.own.empty()) return BadUsage("only with --grbl", grbl.own);
  if (grbl.grbl) {
    grbl.options.dropAfter = faults.dropAfter;
    if (faults.silent) grbl.options.silentAfter = faults.faultAfter;
  }

  if (recordPath != nullptr) {
    serve.record = std::fopen(recordPath, "a");
    if (serve.record == nullptr) {
      std::fprintf(stderr, "vertolin-board: cannot open %s: %s\n", recordPath,
                   std::strerror(errno));
      return 1;
    }
  }
  int code = 0;
  if (grbl.grbl) {
    vertolin::GrblBoard board(std::move(grbl.options));
    vertolin::GrblBoardSimulation simulation(board);
    code = vertolin::ServeOnPty(simulation, serve);
    if (bufferReportPath != nullptr) {
      std::FILE* report = std::fopen(bufferReportPath, "w");
      if (report == nullptr) {
        std::fprintf(stderr, "vertolin-board: cannot write %s: %s\n", bufferReportPath,
                     std::strerror(errno));
        code = 1;
      } else {
        std::fprintf(report, "overflowed %zu\npeak %zu\n", board.Overflowed(),
                     board.PeakReceived());
        std::fclose(report);
      }
    }
  } else {
    vertolin::SimulatedBoard board(kind, faults);
    vertolin::NativeBoardSimulation simulation(board);
    code = vertolin::ServeOnPty(simulation, serve);
  }
  if (serve.record != nullptr) std::fclose(serve.record);
  return code;
}
