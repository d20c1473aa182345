#include "cli/cli.h"

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>

#include "app/machine_profile.h"
#include "app/settings_store.h"
#include "cli/print_port.h"
#include "link/frontend.h"
#include "link/handshake.h"
#include "link/link.h"
#include "link/link_error.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "util/numbers.h"

namespace vertolin {

namespace {

constexpr std::string_view kUsage =
    "usage: vertolin-cli [--ini FILE] [--set KEY=VALUE]... [--port NAME | --print] COMMAND [ARGS]\n"
    "commands:\n"
    "  query                 ask the board for its firmware kind and print it (such as MT)\n"
    "  move DX DY DZ         move by millimetres, as the manual positioning window does\n"
    "                        (with --print: --kind LETTER, default M)\n";

// Messages go to standard error; questions are answered "stop", because
// nobody is there to answer them.
class ConsoleFrontend : public Frontend {
 public:
  ConsoleFrontend(std::ostream& err, const volatile std::sig_atomic_t* interrupts)
      : err_(err), interrupts_(interrupts) {}

  void Attach(Link* link) { link_ = link; }
  bool StoppedByPerson() const { return stopped_; }

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
    stopped_ = true;
    return true;
  }

  int ShowInterruptDialog() override {
    stopped_ = true;
    return 0;
  }

  void ShowFirmwareWarning(std::string_view text) override {
    ShowMessage("Внимание", text.empty() ? texts::kWarningWrongFirmware : text);
  }

  void RunPendingEvents() override {
    if (interrupts_ == nullptr || link_ == nullptr) return;
    const std::sig_atomic_t count = *interrupts_;
    if (count == seen_) return;
    seen_ = count;
    stopped_ = true;
    link_->RequestStop();
    if (count >= 2) link_->SetClosing(true);  // the person insists: leave any wait
  }

 private:
  std::ostream& err_;
  const volatile std::sig_atomic_t* interrupts_;
  Link* link_ = nullptr;
  bool stopped_ = false;
  std::sig_atomic_t seen_ = 0;
};

struct Options {
  std::optional<std::string> ini;
  std::vector<std::pair<std::string, std::string>> overrides;
  std::optional<std::string> port;
  bool print = false;
  char kind = 'M';
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
  return options;
}

struct Context {
  Options& options;
  CliStreams streams;
  ConsoleFrontend& frontend;
  SettingsStore& settings;
  Link& link;
};

// The three move fields, each a number, as the positioning window checks them.
std::optional<std::array<double, 3>> ReadMoveFields(Context& context) {
  static constexpr std::string_view kMessages[3] = {
      "Введите число в поле для перемещения по 1-ой оси!",
      "Введите число в поле для перемещения по 2-ой оси!",
      "Введите число в поле для перемещения по 3-ей оси!",
  };
  std::array<double, 3> values{};
  for (int axis = 0; axis < 3; ++axis) {
    const auto value = ParseNumber(context.options.args[axis]);
    if (!value) {
      context.frontend.ShowMessage("Ошибка", kMessages[axis]);
      return std::nullopt;
    }
    values[axis] = *value;
  }
  return values;
}

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

int Move(Context& context) {
  const auto distances = ReadMoveFields(context);
  if (!distances) return kCliRefused;
  WindowLink window(context.link, WindowFlavour::Positioning);
  if (context.options.print) {
    window.SetKindLetter(context.options.kind);
  } else {
    const HandshakeResult handshake = RunHandshake(context.link, kAnyKind);
    if (!handshake.driveEnabled) {
      context.frontend.ShowMessage("Vertolin", handshake.status);
      if (handshake.warning != HandshakeResult::Warning::None) {
        context.frontend.ShowFirmwareWarning(handshake.WarningText());
      }
      return kCliLinkError;
    }
    window.SetKindLetter(handshake.kindLetter);
  }
  window.ArduinoMoveMM((*distances)[0], (*distances)[1], (*distances)[2]);
  return kCliDone;
}

struct Command {
  std::string_view name;
  std::size_t argCount;
  int (*run)(Context&);
};

constexpr Command kCommands[] = {
    {"query", 0, Query},
    {"move", 3, Move},
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
  } else if (!link.Open(options.port.value_or(link.profile().port), link.profile().baud)) {
    return kCliLinkError;  // the port's own message says why
  }

  Context context{options, streams, frontend, settings, link};
  try {
    return command->run(context);
  } catch (const MoveRefused&) {
    return kCliRefused;
  } catch (const LinkError&) {
    return frontend.StoppedByPerson() ? kCliStopped : kCliLinkError;
  }
}

}  // namespace vertolin
