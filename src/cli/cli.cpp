#include "cli/cli.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "cli/job_journal_setup.h"
#include "cli/print_port.h"
#include "jobs/job_estimate.h"
#include "link/handshake.h"
#include "link/link_error.h"
#include "modes/job_registry.h"
#include "modes/positioning/manual_move.h"
#include "settings/machine_profile.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kUsage =
    "usage: vertolin-cli [--ini FILE] [--set KEY=VALUE]... [--port NAME | --print]\n"
    "                    [--ack-timeout SECONDS] [--protocol native|grbl] COMMAND [ARGS]\n"
    "  --ack-timeout SECONDS  give up on a board that has not acknowledged a line for\n"
    "                         this long (default: the line's own step time twice, plus 3 s)\n"
    "  --protocol native|grbl the board's protocol for this run instead of the key Protocol;\n"
    "                         with --print, grbl writes the job as a G-code program (grbl 1.1)\n"
    "                         and estimate counts its blocks\n"
    "commands:\n"
    "  query                 ask the board for its firmware kind and print it (such as MT)\n"
    "  move DX DY DZ         move by millimetres, as the manual positioning window does\n"
    "                        (with --print: --kind LETTER, default M)\n"
    "  engrave PICTURE       engrave a grey picture with the laser (keys Etching_width,\n"
    "                        Etching_delay, Etching_min); --return comes back to the start\n"
    "  burn PICTURE          burn a grey picture into wood with the hot wire (keys\n"
    "                        Etching_width, Etching_delay); --return as for engrave\n"
    "  figures PICTURE       trace the figures and print them as JSON (--labels adds the\n"
    "                        figure of every pixel); needs no port\n"
    "  mill PICTURE --figure N\n"
    "                        mill the outline of figure N and of its holes (keys\n"
    "                        cncrez_width, cncrez_depth, mill_diameter, SM_mill_delay);\n"
    "                        --return comes back to the origin\n"
    "  mill-all PICTURE      mill every dark figure, the most deeply nested first;\n"
    "                        keys and --return as for mill\n"
    "  relief PICTURE        clear the dark areas as a relief by rounds of outlines\n"
    "                        one tool width apart; keys and --return as for mill\n"
    "  scan [--dry-run] [--map FILE]\n"
    "                        probe the mesh (keys scanner_mesh_width, scanner_mesh_height,\n"
    "                        scanner_area_width, scanner_picture_width, scanner_picture_height)\n"
    "                        and write the height map to FILE or standard output: one line\n"
    "                        per mesh row, integers separated by spaces; --dry-run takes\n"
    "                        random values; with --print the probe replies come from\n"
    "                        --probe FILE (one number per node in walk order) and --map\n"
    "                        is needed\n"
    "  interpolate MAPFILE --out FILE.bmp\n"
    "                        the height map interpolated into the scanner's view, saved as\n"
    "                        a 24-bit BMP; needs no port\n"
    "  prepare PICTURE --out FILE.bmp [--only ST|CN|CR|CL|GS]\n"
    "                        turn the picture into a drawing of one-pixel lines as\n"
    "                        \"Обработать\" does (needs neuro.net beside the program) and\n"
    "                        write it; --only runs that one filter once instead; needs no port\n"
    "  cut PICTURE [--prepared] [--return] [--painted FILE.bmp]\n"
    "                        cut the drawing stroke by stroke with the laser (keys\n"
    "                        Etching9_width, Etching9_delay), preparing it first unless\n"
    "                        --prepared; --painted writes the picture as the cut paints it\n"
    "  outline PICTURE --figure N\n"
    "                        engrave with the laser the outline of figure N and of its\n"
    "                        holes (keys Etching2_width, Etching2_diameter,\n"
    "                        Etching2_delay); --return comes back to the origin\n"
    "  outline-all PICTURE   engrave the outlines of every dark figure, the most deeply\n"
    "                        nested first; keys and --return as for outline\n"
    "  fill PICTURE          fill the dark areas with outlines one spot diameter apart;\n"
    "                        keys and --return as for outline\n"
    "  estimate COMMAND ARGS...\n"
    "                        the job's lines, bytes, motor steps, tool share and time at\n"
    "                        the speed setting, as one line of JSON; opens no port\n"
    "job commands take --progress (the default when standard error is a terminal) and\n"
    "--no-progress: a line \"строка N из M, прошло, осталось\" on standard error, ten a second;\n"
    "a job on a port keeps COMMAND.journal beside the settings while it runs, and --resume\n"
    "goes on after a stop, a lost link or a crash from the last line the board acknowledged\n";

// Options with a value and flags that single commands read from
// Options::values and Options::flags.
const std::set<std::string, std::less<>> kValueOptions = {"--map", "--probe", "--out", "--only",
                                                          "--painted"};
const std::set<std::string, std::less<>> kFlagOptions = {"--dry-run", "--prepared", "--progress",
                                                         "--no-progress", "--resume"};

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--ini") {
      options.ini = value();
    } else if (arg == "--set") {
      const std::string& pair = value();
      const auto eq = pair.find('=');
      if (eq == std::string::npos || eq == 0) throw UsageError{"--set needs KEY=VALUE"};
      options.overrides.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    } else if (arg == "--port") {
      options.port = value();
    } else if (arg == "--ack-timeout") {
      const auto seconds = ParseNumber(value());
      if (!seconds || !(*seconds > 0) || *seconds > 1e6) {
        throw UsageError{"--ack-timeout needs a number of seconds above 0"};
      }
      options.ackTimeout =
          std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(*seconds * 1000)));
    } else if (arg == "--protocol") {
      const std::string& name = value();
      if (!ParseBoardProtocol(name)) throw UsageError{"--protocol needs native or grbl"};
      options.protocol = name;
    } else if (arg == "--print") {
      options.print = true;
    } else if (arg == "--return") {
      options.returnToStart = true;
    } else if (arg == "--figure") {
      const auto number = ParseNumber(value());
      if (!number || *number < 1 || *number > 2147483647.0 || RoundHalfEven(*number) != *number) {
        throw UsageError{"--figure needs a figure number"};
      }
      options.figure = static_cast<int>(*number);
    } else if (arg == "--labels") {
      options.labels = true;
    } else if (arg == "--kind") {
      const std::string& letter = value();
      if (letter.size() != 1) throw UsageError{"--kind needs one letter"};
      options.kind = letter[0];
    } else if (kValueOptions.contains(arg)) {
      options.values[arg] = value();
    } else if (kFlagOptions.contains(arg)) {
      options.flags.insert(arg);
    } else if (arg.starts_with("--")) {
      throw UsageError{"unknown option " + arg};
    } else if (options.command.empty()) {
      options.command = arg;
    } else {
      options.args.push_back(arg);
    }
  }
  if (options.command.empty()) throw UsageError{"no command"};
  if (options.print && options.port) throw UsageError{"--port and --print exclude each other"};
  if (options.print && options.flags.contains("--resume")) {
    throw UsageError{"--resume goes on with a job on a port, not with --print"};
  }
  for (const char* selected : {"mill", "outline"}) {
    if (options.command == selected && !options.figure) {
      throw UsageError{options.command + " needs --figure N"};
    }
  }
  if (options.command == "interpolate" && !options.values.contains("--out")) {
    throw UsageError{"interpolate needs --out FILE.bmp"};
  }
  if (options.command == "prepare" && !options.values.contains("--out")) {
    throw UsageError{"prepare needs --out FILE.bmp"};
  }
  if (const auto only = options.values.find("--only");
      only != options.values.end() && !IsFilterName(only->second)) {
    throw UsageError{"--only needs ST, CN, CR, CL or GS"};
  }
  return options;
}

}  // namespace

int Query(Context& context) {
  std::string reply;
  if (context.link.profile().protocol == BoardProtocol::Grbl && !context.options.print) {
    WindowLink window(context.link, formats::kPositioning);
    EndIfInterrupted(context);
    if (!window.ConnectGrbl()) return kCliLinkError;
    context.streams.out << "Grbl " << window.grblIdentity()->version << '\n';
    return kCliDone;
  }
  if (context.options.print) {
    reply = QueryFirmware(context.link);  // nothing is in flight to settle
  } else {
    EndIfInterrupted(context);
    context.link.ClearStop();
    SettleLink(context.link);
    reply = QueryFirmware(context.link);
  }
  context.streams.out << reply << '\n';
  return reply.empty() ? kCliLinkError : kCliDone;
}

int Move(Context& context) {
  const auto distances = ReadTypedMoveOrTell(context.frontend, context.options.args[0],
                                             context.options.args[1], context.options.args[2]);
  if (!distances) return kCliRefused;
  WindowLink window(context.link, formats::kPositioning);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  window.SetKindLetter(handshake.kind);
  EndIfInterrupted(context);
  window.ArduinoMoveMM((*distances)[0], (*distances)[1], (*distances)[2]);
  // A move by hand is no job's program: the G-code program takes it here.
  if (context.gcode) {
    const MachineProfile& profile = context.link.profile();
    const auto steps = MillimetresToSteps(context.link, (*distances)[0], (*distances)[1],
                                          (*distances)[2]);
    if (steps) context.gcode->Written({MotionKind::Jog, *steps, profile.idleDelay}, {});
  }
  return kCliDone;
}

namespace {

struct Command {
  std::string_view name;
  std::size_t argCount;
  int (*run)(Context&);
  bool needsPort = true;
  // A job the estimate counts and a journal keeps (the registry says which).
  bool Job() const {
    const JobInfo* info = FindJob(name);
    return info != nullptr && info->resumable;
  }
};

constexpr Command kCommands[] = {
    {"query", 0, Query},
    {"move", 3, Move},
    {"engrave", 1, Engrave},
    {"burn", 1, Burn},
    {"figures", 1, Figures, false},
    {"mill", 1, Mill},
    {"mill-all", 1, MillAll},
    {"relief", 1, Relief},
    // The scan's lines depend on the board's answers: it is not counted ahead.
    {"scan", 0, Scan},
    {"interpolate", 1, Interpolate, false},
    {"prepare", 1, Prepare, false},
    {"cut", 1, Cut},
    {"outline", 1, OutlineFigure},
    {"outline-all", 1, OutlineAll},
    {"fill", 1, FillOutlines},
};

struct ProgressPlan {
  std::int64_t lines;
  double seconds;
  bool terminal;
};

// What a count is for: `estimate` reports a G-code job's program as a sender
// streams it (straight runs merged); the progress of a live job counts the
// lines its own stream sends, one a motion, which its journal counts too.
enum class CountOf { Program, Wire };

// Runs the command once: on its port, printed (--print), or with its lines
// counted into `counted` instead of sent; with `progress`, progress lines go
// to standard error.
int RunOnce(Options& options, CliStreams streams, const Command& command, JobEstimate* counted,
            const ProgressPlan* progress, CountOf countOf = CountOf::Program) {
  ConsoleFrontend frontend(streams.err, streams.interrupts);
  if (progress != nullptr)
    frontend.PlanProgress(progress->lines, progress->seconds, progress->terminal);
  SettingsStore settings(
      options.ini ? std::filesystem::path(*options.ini) : SettingsStore::DefaultPath(), frontend);
  // Settings that cannot be used are said before the defaults take their
  // place; a file named on the command line must be readable.
  if (const auto problem = settings.Diagnose(options.ini.has_value())) {
    if (options.ini && problem->unreadable) {
      frontend.ShowMessage("Ошибка", problem->text);
      return kCliRefused;
    }
    frontend.ShowMessage("Внимание", problem->text + "\r\nИспользуются значения по умолчанию.");
  }
  for (const auto& [key, value] : options.overrides) {
    if (const auto problem = ProfileValueProblem(key, value)) {
      frontend.ShowMessage("Ошибка", "Значение --set " + key + "=" + value + " " + *problem + ".");
      return kCliRefused;
    }
    settings.Override(key, value);
  }
  if (options.protocol) settings.Override("Protocol", *options.protocol);
  Link link(frontend, LoadMachineProfile(settings, frontend));
  const bool gcode = link.profile().protocol == BoardProtocol::Grbl;
  frontend.Attach(&link);
  // Nobody stands by the tool to judge a silent board: a stop ends any wait
  // at once, and a line that stays unacknowledged too long ends the job.
  link.ackPolicy() = {.stopEndsWait = true, .overdueLosesLink = true, .limit = options.ackTimeout};

  Context context{options, streams, frontend,     settings,     link,
                  nullptr, nullptr, std::nullopt, std::nullopt, {},
                  nullptr, nullptr, std::nullopt, std::nullopt, {}};
  JobEstimator estimator(link.profile().idleDelay, link.profile().baud);
  std::ostream nowhere(nullptr);
  if (counted != nullptr) {
    link.Attach(std::make_unique<PrintPort>([](std::string_view) {}, options.kind));
    context.observers.push_back(&estimator);
    if (gcode && countOf == CountOf::Program) context.gcodeOut = &nowhere;  // counted, not kept
  } else if (options.print && gcode) {
    // The program, not the lines one by one, is what goes out.
    link.Attach(std::make_unique<PrintPort>([](std::string_view) {}, options.kind));
    context.gcodeOut = &streams.out;
  } else if (options.print) {
    link.Attach(std::make_unique<PrintPort>(streams.out, options.kind));
  } else if (command.needsPort) {
    const int baud = link.profile().baud;
    if (!SupportedBaud(baud)) {
      frontend.ShowMessage("Ошибка", "Скорость порта " + std::to_string(baud) +
                                         " (ключ speed) не поддерживается.\r\nУкажите в Настройках "
                                         "другую скорость, например 9600.");
      return kCliRefused;
    }
    if (!link.Open(options.port.value_or(link.profile().port), baud)) {
      return kCliLinkError;  // the port's own message says why
    }
  }

  JournalSetup journal;
  if (command.Job() && counted == nullptr && !options.print) {
    journal = SetUpJournal(options, settings, frontend, streams.err,
                           progress != nullptr ? progress->lines : 0);
    if (journal.failure != kCliDone) return journal.failure;
    context.journal = &*journal.journal;
    context.resume = journal.resume;
    context.resumePlace = journal.place;
    context.resumeMachineOrigin = journal.journal->record().machineOrigin;
    context.resumeMachineHead = journal.journal->record().machineHead;
    context.resumeMaybeDone = journal.maybeDone;
  }
  struct TellProblem {
    const JournalSetup& setup;
    std::ostream& err;
    ~TellProblem() {
      if (setup.journal) TellJournalProblem(*setup.journal, err);
    }
  } tellProblem{journal, streams.err};

  try {
    const int status = command.run(context);
    if (context.gcode && (status == kCliDone || context.gcode->started())) context.gcode->Close();
    if (counted != nullptr) {
      *counted = estimator.estimate();
      if (context.gcode) {
        // The program's blocks, not the wire's lines, are what a sender streams.
        counted->lines = context.gcode->lines();
        counted->bytes = context.gcode->bytes();
        counted->toolOnLines = context.gcode->workLines();
        counted->transferSeconds =
            counted->baud > 0 ? static_cast<double>(counted->bytes) * 10.0 / counted->baud : 0.0;
      }
    }
    return status;
  } catch (const MoveRefused&) {
    return kCliRefused;
  } catch (const LinkError&) {
    const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
    if (lost) return kCliLinkError;
    streams.err << "vertolin-cli: stopped\n";
    return kCliStopped;
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliStreams streams) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    streams.out << kUsage;
    return kCliDone;
  }
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const UsageError& error) {
    streams.err << "vertolin-cli: " << error.text << '\n' << kUsage;
    return kCliUsage;
  }
  // "estimate COMMAND ARGS...": the command's job as --print runs it, counted.
  const bool estimate = options.command == "estimate";
  if (estimate) {
    if (options.args.empty() || options.print || options.port) {
      streams.err << "vertolin-cli: estimate needs a job command and opens no port\n" << kUsage;
      return kCliUsage;
    }
    options.command = options.args.front();
    options.args.erase(options.args.begin());
    options.print = true;  // the job runs as --print runs it, its lines counted
  }
  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (candidate.name == options.command) command = &candidate;
  }
  if (command == nullptr) {
    streams.err << "vertolin-cli: unknown command " << options.command << '\n' << kUsage;
    return kCliUsage;
  }
  if (options.flags.contains("--resume") && (!command->Job() || estimate)) {
    streams.err << "vertolin-cli: --resume goes on with a job command only\n" << kUsage;
    return kCliUsage;
  }
  if (estimate && !command->Job()) {
    streams.err << "vertolin-cli: " << options.command << " is not a job to estimate\n" << kUsage;
    return kCliUsage;
  }
  if (options.args.size() != command->argCount) {
    streams.err << "vertolin-cli: " << options.command << " takes " << command->argCount
                << " arguments\n"
                << kUsage;
    return kCliUsage;
  }

  if (!command->Job()) return RunOnce(options, streams, *command, nullptr, nullptr);
  if (estimate) {
    JobEstimate counted;
    const int status = RunOnce(options, streams, *command, &counted, nullptr);
    if (status == kCliDone) streams.out << EstimateJson(counted) << '\n';
    return status;
  }
  if (!WantsProgress(options, streams))
    return RunOnce(options, streams, *command, nullptr, nullptr);
  // The job is counted first, as the estimate counts it, quietly; a job that
  // cannot be counted runs without progress and says why itself.
  std::ostream nowhere(nullptr);
  Options counting = options;
  counting.print = true;
  JobEstimate counted;
  const int countStatus = RunOnce(counting, {nowhere, nowhere, streams.interrupts}, *command,
                                  &counted, nullptr, CountOf::Wire);
  // A Ctrl-C while the job was counted: nothing has been sent, and the port
  // and the journal are left as they were.
  if (countStatus == kCliStopped) {
    streams.err << "vertolin-cli: stopped\n";
    return kCliStopped;
  }
  if (countStatus != kCliDone) return RunOnce(options, streams, *command, nullptr, nullptr);
  const ProgressPlan plan{counted.lines, counted.seconds(), streams.errIsTerminal};
  return RunOnce(options, streams, *command, nullptr, &plan);
}

}  // namespace vertolin
