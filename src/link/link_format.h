// How one kind of window speaks to its firmware. The windows differ only in
// these few facts, so each is a line of data here rather than a branch per
// window in the link's code: the dialect of the wire (motion/native_protocol.h)
// beside what is about the window (its stop, its drive switch, its guard).
#pragma once

#include <string_view>

#include "link/step_scaler.h"
#include "motion/native_protocol.h"

namespace vertolin {

// The drive controls a window disables when its handshake fails.
struct DriveControls {
  bool driveSwitch = false;   // Check1
  bool returnSwitch = false;  // Check2
  bool manualMove = false;    // Command3 "Ручная уст-ка"
};

struct LinkFormat {
  // What a job step does when StopFlag is set as it is about to be sent.
  enum class OnStop {
    InterruptionDialog,    // the router's raise/lower dialog
    Question,              // "Гравировка остановлена. Остановить?"
    LaserOffThenQuestion,  // the laser is switched off around the question
    EndAtOnce,             // LinkError, no question (the probe)
    None,                  // no jobs run in this window
  };

  std::string_view kind;  // the firmware the window requires ("" = any)
  NativeDialect dialect;
  bool checkedMoveWrite = false;  // SerialWriteChecked for the millimetre move
  bool readyGuard = false;        // drop a move that arrives while one waits
  bool driveSwitch = true;        // Check1 decides whether anything is sent
  OnStop onStop = OnStop::None;
  StepScaler::Rule scaling = StepScaler::Rule::AsGiven;
  // A step that sends nothing (a dry run, a move of no steps and no delay)
  // still takes a millisecond, as the board would have kept the job waiting.
  bool pauseForStepNotSent = false;
  bool emptyReplyPerWait = false;  // the probe's measurements are not kept
  // The job has a tool whose work the estimate counts (all but the probe).
  bool hasTool = true;
  DriveControls disabledOnFailure;
};

namespace formats {

using Steps = NativeDialect::Steps;
using Jog = NativeDialect::Jog;

// The same way of speaking for another firmware kind.
constexpr LinkFormat WithKind(LinkFormat format, std::string_view kind) {
  format.kind = kind;
  return format;
}

// Milling (Form1): MT.
inline constexpr LinkFormat kRouter{.kind = "MT",
                                    .dialect = {Steps::XYZDelay, Jog::WithIdleDelay},
                                    .checkedMoveWrite = true,
                                    .onStop = LinkFormat::OnStop::InterruptionDialog,
                                    .scaling = StepScaler::Rule::Carry,
                                    .pauseForStepNotSent = true,
                                    .disabledOnFailure = {true, true, true}};

// Manual positioning (Form6): any board, no jobs.
inline constexpr LinkFormat kPositioning{.kind = "",
                                         .dialect = {Steps::XYZDelay, Jog::ByKindLetter},
                                         .checkedMoveWrite = true,
                                         .readyGuard = true,
                                         .driveSwitch = false,
                                         .disabledOnFailure = {}};

// Gradation engraving (Form3, PT) and wood burning (Form8, BT): the raster.
// Their return switch stays usable when the handshake fails.
inline constexpr LinkFormat kGradation{.kind = "PT",
                                       .dialect = {Steps::XYValue, Jog::Plain},
                                       .onStop = LinkFormat::OnStop::Question,
                                       .scaling = StepScaler::Rule::WholePerPixel,
                                       .disabledOnFailure = {true, false, true}};
inline constexpr LinkFormat kWoodBurning = WithKind(kGradation, "BT");

// Silhouette outlining (Form5, PT) and cutting (Form9, OT): the laser follows
// outlines, switched on and off by the third value.
inline constexpr LinkFormat kOutlining{.kind = "PT",
                                       .dialect = {Steps::LaserCompact, Jog::Plain},
                                       .onStop = LinkFormat::OnStop::LaserOffThenQuestion,
                                       .scaling = StepScaler::Rule::Carry,
                                       .disabledOnFailure = {true, true, true}};
inline constexpr LinkFormat kCutting = WithKind(kOutlining, "OT");

// The surface scanner (Form2, ST): steps as given, the probe as third value.
// It has no return switch.
inline constexpr LinkFormat kScanner{.kind = "ST",
                                     .dialect = {Steps::XYProbe, Jog::Plain},
                                     .onStop = LinkFormat::OnStop::EndAtOnce,
                                     .scaling = StepScaler::Rule::AsGiven,
                                     .emptyReplyPerWait = true,
                                     .hasTool = false,
                                     .disabledOnFailure = {true, false, true}};

}  // namespace formats

}  // namespace vertolin
