#include "cli/cli_context.h"

#include "link/board_protocol.h"
#include "link/handshake.h"
#include "link/texts.h"
#include "link/link_error.h"
#include "picture/picture_file.h"

namespace vertolin {

void EndIfInterrupted(Context& context) {
  context.frontend.TakeInterrupts();
  if (context.link.StopRequested()) throw LinkError();
}

Handshaken Handshake(Context& context, WindowLink& window) {
  window.SetDriveSwitch([] { return true; });
  window.SetInterruptionPrompt(&context.frontend);
  context.format = &window.format();
  for (MotionObserver* observer : context.observers) window.AddMotionObserver(observer);
  if (context.gcodeOut != nullptr && !context.gcode) {
    context.gcode = std::make_unique<GcodeProgram>(
        GcodeOptionsFor(context.link.profile(), window.format()), context.gcodeOut);
    window.AddMotionObserver(context.gcode.get());
  }
  const std::string_view required = window.format().kind;
  if (context.options.print) return {required.empty() ? context.options.kind : required[0]};
  // The handshake starts by clearing StopFlag: a Ctrl-C already taken must not go with it.
  EndIfInterrupted(context);
  const HandshakeResult handshake = window.Handshake(required);
  if (handshake.driveEnabled) {
    window.SetResumeRecorder(context.journal);
    if (context.resume && window.StreamsGrbl()) {
      // Exact only from where the job's origin is in machine coordinates:
      // a journal of a stop says it, one of a lost link or a crash does not.
      const auto& origin = context.resumeMachineOrigin;
      if (!origin) {
        context.frontend.ShowMessage(
            "Ошибка",
            "Журнал не знает, где начало задания в координатах станка grbl (задание прервано "
            "потерей связи или сбоем): продолжить точно нельзя.\r\nНачните задание сначала.");
        return {0, kCliRefused};
      }
      ResumePoint point = *context.resume;
      std::optional<std::array<double, 3>> head = context.resumeMachineHead;
      if (!context.resumeMaybeDone.empty()) {
        // The link was lost: where the board stands now tells how many more
        // lines it did.
        const auto more = window.GrblDoneAfterLoss(context.resumeMaybeDone);
        if (!more) {
          context.frontend.ShowMessage("Ошибка", texts::kGrblPlaceLost);
          return {0, kCliRefused};
        }
        point.lines += *more;
        head.reset();
        context.streams.err << "vertolin-cli: the board had done " << *more
                            << " more line(s) when the link was lost; resuming from line "
                            << point.lines + 1 << "\n";
      }
      window.ResumeGrblJob(*origin, head);
      window.Replay(point.lines, point.depth);
    } else if (context.resume) {
      // The head has not moved since the run that wrote the journal ended:
      // the job's origin is where that run left it, seen from here.
      const MachineModel& machine = context.link.machine();
      window.Replay(context.resume->lines, context.resume->depth,
                    context.resumePlace ? std::optional(machine.OriginOf(*context.resumePlace))
                                        : std::nullopt);
    }
    return {handshake.kindLetter};
  }
  // A grbl board's refusal has been said with its reason.
  if (window.WritesGcode()) return {0, kCliLinkError};
  context.frontend.ShowMessage("Vertolin", handshake.status);
  if (handshake.warning != HandshakeResult::Warning::None) {
    context.frontend.ShowFirmwareWarning(handshake.WarningText());
  }
  return {0, handshake.warning == HandshakeResult::Warning::WrongFirmware ? kCliWrongBoard
                                                                          : kCliLinkError};
}

bool WantsProgress(const Options& options, const CliStreams& streams) {
  return options.flags.contains("--progress") ||
         (streams.errIsTerminal && !options.flags.contains("--no-progress"));
}

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

int ExitStatus(Context& context, const WindowLink& window, const JobResult& result) {
  if (result.outcome == JobOutcome::Stopped) {
    context.streams.err << "vertolin-cli: stopped at line " << result.linesSent;
    if (result.linesSent > 0) context.streams.err << " (" << window.lastLine() << ")";
    // A grbl board plans ahead: fewer lines are done than were sent, and the
    // resume goes on after those.
    if (window.StreamsGrbl() || result.acknowledged < result.linesSent) {
      context.streams.err << ", " << result.acknowledged << " carried out";
    }
    context.streams.err << '\n';
  }
  return ExitStatus(result);
}

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

}  // namespace vertolin
