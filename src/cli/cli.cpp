#include "cli/cli.h"

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

#include "settings/machine_profile.h"
#include "settings/mode_settings.h"
#include "settings/settings_store.h"
#include "cli/print_port.h"
#include "figures/figure_set.h"
#include "figures/figures_json.h"
#include "util/frontend.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "modes/engraving/raster_job.h"
#include "modes/milling/milling_session.h"
#include "modes/positioning/manual_move.h"
#include "picture/picture_file.h"
#include "util/size_coupling.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kUsage =
    "usage: vertolin-cli [--ini FILE] [--set KEY=VALUE]... [--port NAME | --print] COMMAND [ARGS]\n"
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
    "                        one tool width apart; keys and --return as for mill\n";

// Messages go to standard error; questions and the interruption dialog are
// answered "stop", because nobody is there to answer them.
class ConsoleFrontend : public Frontend, public InterruptionPrompt {
 public:
  ConsoleFrontend(std::ostream& err, const volatile std::sig_atomic_t* interrupts)
      : err_(err), interrupts_(interrupts) {}

  void Attach(Link* link) { link_ = link; }

  void ShowMessage(std::string_view title, std::string_view text) override {
    err_ << title << ": ";
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      err_ << text[i];
    }
    err_ << '\n';
  }

  bool AskYesNo(std::string_view title, std::string_view text) override {
    ShowMessage(title, text);
    return true;
  }

  bool GoOn() override { return false; }

  void ShowFirmwareWarning(std::string_view text) override {
    ShowMessage("Внимание", text.empty() ? texts::kWarningWrongFirmware : text);
  }

  void RunPendingEvents() override {
    if (interrupts_ == nullptr || link_ == nullptr) return;
    const std::sig_atomic_t count = *interrupts_;
    if (count == seen_) return;
    seen_ = count;
    link_->RequestStop();
    if (count >= 2) link_->SetClosing(true);  // the person insists: leave any wait
  }

 private:
  std::ostream& err_;
  const volatile std::sig_atomic_t* interrupts_;
  Link* link_ = nullptr;
  std::sig_atomic_t seen_ = 0;
};

struct Options {
  std::optional<std::string> ini;
  std::vector<std::pair<std::string, std::string>> overrides;
  std::optional<std::string> port;
  bool print = false;
  char kind = 'M';
  bool returnToStart = false;
  std::optional<int> figure;
  bool labels = false;
  std::string command;
  std::vector<std::string> args;
};

struct UsageError {
  std::string text;
};

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
  if (options.command == "mill" && !options.figure) throw UsageError{"mill needs --figure N"};
  return options;
}

struct Context {
  Options& options;
  CliStreams streams;
  ConsoleFrontend& frontend;
  SettingsStore& settings;
  Link& link;
};

int Query(Context& context) {
  std::string reply;
  if (context.options.print) {
    reply = QueryFirmware(context.link);  // nothing is in flight to settle
  } else {
    context.link.ClearStop();
    SettleLink(context.link);
    reply = QueryFirmware(context.link);
  }
  context.streams.out << reply << '\n';
  return reply.empty() ? kCliLinkError : kCliDone;
}

// The window's handshake; with --print the board is taken to be the one the
// window needs (or --kind). On a failure the person is told why and the exit
// status is given instead: a board with the wrong firmware is not a lost link.
// The tool's drive switch is always ticked; the interruption dialog answers
// "stop".
struct Handshaken {
  char kind = 0;
  int failure = kCliDone;  // not kCliDone: the handshake failed
};
Handshaken Handshake(Context& context, WindowLink& window) {
  window.SetDriveSwitch([] { return true; });
  window.SetInterruptionPrompt(&context.frontend);
  const std::string_view required = window.format().kind;
  if (context.options.print) return {required.empty() ? context.options.kind : required[0]};
  const HandshakeResult handshake = RunHandshake(context.link, required);
  if (handshake.driveEnabled) return {handshake.kindLetter};
  context.frontend.ShowMessage("Vertolin", handshake.status);
  if (handshake.warning != HandshakeResult::Warning::None) {
    context.frontend.ShowFirmwareWarning(handshake.WarningText());
  }
  return {0, handshake.warning == HandshakeResult::Warning::WrongFirmware ? kCliWrongBoard
                                                                          : kCliLinkError};
}

int Move(Context& context) {
  const auto distances = ReadTypedMoveOrTell(context.frontend, context.options.args[0],
                                             context.options.args[1], context.options.args[2]);
  if (!distances) return kCliRefused;
  WindowLink window(context.link, formats::kPositioning);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  window.SetKindLetter(handshake.kind);
  window.ArduinoMoveMM((*distances)[0], (*distances)[1], (*distances)[2]);
  return kCliDone;
}

// The tool's exit status for how a job ended.
int ExitStatus(const JobResult& result) {
  switch (result.outcome) {
    case JobOutcome::Done:
      return kCliDone;
    case JobOutcome::Refused:
      return kCliRefused;
    case JobOutcome::Stopped:
      return kCliStopped;
    case JobOutcome::LinkLost:
      break;
  }
  return kCliLinkError;
}

// A 24-bit picture for a job, or a message and nothing.
std::optional<PixelImage> LoadJobPicture(Context& context, std::string_view impossibleLine) {
  const std::string& path = context.options.args[0];
  PictureResult loaded = LoadPictureFile(PathFromUtf8(path));
  if (!loaded.picture) {
    context.frontend.ShowMessage("Ошибка", PictureErrorText(loaded, path));
    return std::nullopt;
  }
  if (loaded.picture->fileBitsPerPixel != 24) {
    context.frontend.ShowMessage("Внимание", LowDepthWarningText(impossibleLine));
    return std::nullopt;
  }
  return std::move(loaded.picture->image);
}

// The engraving windows' fields as the settings file (and --set) give them.
class SettingsRasterFields : public RasterFields {
 public:
  SettingsRasterFields(const SettingsStore& settings, bool returnToStart, double xRatio, int width)
      : width_(keys::kEtchWidth.Read(settings)),
        dark_(keys::kEtchDelay.Read(settings)),
        light_(keys::kEtchMin.Read(settings)),
        steps_(StepsPerPixelForWidth(width_, xRatio, width).value_or("")),
        returnToStart_(returnToStart) {}

  std::string StepsPerPixel() const override { return steps_; }
  std::string LightDelay() const override { return light_; }
  std::string DarkDelay() const override { return dark_; }
  std::string Width() const override { return width_; }
  bool ReturnToStart() const override { return returnToStart_; }
  bool DrawEachPixel() const override { return false; }

 private:
  std::string width_;
  std::string dark_;
  std::string light_;
  std::string steps_;
  bool returnToStart_;
};

class NoProgress : public RasterProgress {
 public:
  void Burned(int, int, bool) override {}
  void ShowAll() override {}
};

int RunRaster(Context& context, const LinkFormat& format) {
  auto picture = LoadJobPicture(context, kEngravingImpossibleText);
  if (!picture) return kCliRefused;
  WindowLink window(context.link, format);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsRasterFields fields(context.settings, context.options.returnToStart,
                                    context.link.profile().xRatio, picture->width());
  NoProgress progress;
  return ExitStatus(RunRasterJob(window, *picture, fields, progress));
}

int Engrave(Context& context) { return RunRaster(context, formats::kGradation); }
int Burn(Context& context) { return RunRaster(context, formats::kWoodBurning); }

int Figures(Context& context) {
  const auto picture = LoadJobPicture(context, kMillingImpossibleText);
  if (!picture) return kCliRefused;
  context.streams.out << FiguresJson(Parse(*picture), context.options.labels) << '\n';
  return kCliDone;
}

// The milling window's fields as the settings file (and --set) give them.
class SettingsMillingFields : public MillingFields {
 public:
  SettingsMillingFields(const SettingsStore& settings, bool returnToOrigin)
      : width_(keys::kMillWidth.Read(settings)),
        depth_(keys::kMillDepth.Read(settings)),
        diameter_(keys::kMillDiameter.Read(settings)),
        delay_(keys::kMillDelay.Read(settings)),
        returnToOrigin_(returnToOrigin) {}

  std::string Width() const override { return width_; }
  std::string Depth() const override { return depth_; }
  std::string Diameter() const override { return diameter_; }
  std::string Delay() const override { return delay_; }
  bool ReturnToOrigin() const override { return returnToOrigin_; }

 private:
  std::string width_;
  std::string depth_;
  std::string diameter_;
  std::string delay_;
  bool returnToOrigin_;
};

class NoMillingView : public MillingView {
 public:
  void ProgressPainted(const PixelBox&) override {}
  void LayersChanged() override {}
  void TreeChanged() override {}
};

enum class MillingJob { Selected, All, Relief };

int RunMilling(Context& context, MillingJob job) {
  const auto picture = LoadJobPicture(context, kMillingImpossibleText);
  if (!picture) return kCliRefused;
  WindowLink window(context.link, formats::kRouter);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  const SettingsMillingFields fields(context.settings, context.options.returnToStart);
  NoMillingView view;
  MillingSession session(window);
  session.Reset();
  session.LoadPicture(*picture);
  JobResult result;
  switch (job) {
    case MillingJob::Selected:
      session.Parse(view);
      result = session.MillSelected(context.options.figure, fields, view);
      break;
    case MillingJob::All:
      session.Parse(view);
      result = session.MillAll(fields, view);
      break;
    case MillingJob::Relief:
      result = session.Relief(fields, view);
      break;
  }
  return ExitStatus(result);
}

int Mill(Context& context) { return RunMilling(context, MillingJob::Selected); }
int MillAll(Context& context) { return RunMilling(context, MillingJob::All); }
int Relief(Context& context) { return RunMilling(context, MillingJob::Relief); }

struct Command {
  std::string_view name;
  std::size_t argCount;
  int (*run)(Context&);
  bool needsPort = true;
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
};

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
  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (candidate.name == options.command) command = &candidate;
  }
  if (command == nullptr) {
    streams.err << "vertolin-cli: unknown command " << options.command << '\n' << kUsage;
    return kCliUsage;
  }
  if (options.args.size() != command->argCount) {
    streams.err << "vertolin-cli: " << options.command << " takes " << command->argCount
                << " arguments\n"
                << kUsage;
    return kCliUsage;
  }

  ConsoleFrontend frontend(streams.err, streams.interrupts);
  SettingsStore settings(options.ini ? std::filesystem::path(*options.ini) : SettingsStore::DefaultPath(),
                         frontend);
  for (const auto& [key, value] : options.overrides) settings.Override(key, value);
  Link link(frontend, LoadMachineProfile(settings, frontend));
  frontend.Attach(&link);

  if (options.print) {
    link.Attach(std::make_unique<PrintPort>(streams.out, options.kind));
  } else if (command->needsPort &&
             !link.Open(options.port.value_or(link.profile().port), link.profile().baud)) {
    return kCliLinkError;  // the port's own message says why
  }

  Context context{options, streams, frontend, settings, link};
  try {
    return command->run(context);
  } catch (const MoveRefused&) {
    return kCliRefused;
  } catch (const LinkError&) {
    const bool lost = link.StopRequested() && link.stopCause() == Link::StopCause::LinkLost;
    return lost ? kCliLinkError : kCliStopped;
  }
}

}  // namespace vertolin
