// How one kind of window speaks to its firmware. The windows differ only in
// these few facts, so each is a line of data here rather than a branch per
// window in the protocol code.
#pragma once

#include <string_view>

namespace vertolin {

// The drive controls a window disables when its handshake fails.
struct DriveControls {
  bool driveSwitch = false;   // Check1
  bool returnSwitch = false;  // Check2
  bool manualMove = false;    // Command3 "Ручная уст-ка"
};

struct LinkFormat {
  // The millimetre move (ArduinoMoveMM): its text and how it is written.
  enum class MoveText {
    WithIdleDelay,  // x,y,z,d; (the router)
    ByKindLetter,   // by the board's kind letter (manual positioning)
    Plain,          // x,y,z;
  };
  // What a job step does when StopFlag is set as it is about to be sent.
  enum class OnStop {
    InterruptionDialog,    // the router's raise/lower dialog
    Question,              // "Гравировка остановлена. Остановить?"
    LaserOffThenQuestion,  // the laser is switched off around the question
    EndAtOnce,             // LinkError, no question (the probe)
    None,                  // no jobs run in this window
  };
  // How a step in picture units becomes motor steps.
  enum class Scaling {
    Carry,          // exact position with a carry: rounding never adds up
    WholePerPixel,  // whole steps per pixel, rounded once per step; no carry
    AsGiven,        // the step is already in motor steps
  };
  // The job step's text.
  enum class StepText {
    XYZDelay,      // x,y,z,d; — not sent when nothing moves and d <= 0 (a 1 ms pause)
    LaserCompact,  // x,y,l,d; without trailing zero fields — not sent when idle
    XYValue,       // x,y,v;
    XYProbe,       // x,y,-2p;
  };

  std::string_view kind;  // the firmware the window requires ("" = any)
  MoveText moveText = MoveText::Plain;
  bool checkedMoveWrite = false;  // SerialWriteChecked for the millimetre move
  bool readyGuard = false;        // drop a move that arrives while one waits
  bool driveSwitch = true;        // Check1 decides whether anything is sent
  OnStop onStop = OnStop::None;
  Scaling scaling = Scaling::AsGiven;
  StepText stepText = StepText::XYZDelay;
  bool emptyReplyPerWait = false;  // the probe's measurements are not kept
  DriveControls disabledOnFailure;
};

namespace formats {

// The same way of speaking for another firmware kind.
constexpr LinkFormat WithKind(LinkFormat format, std::string_view kind) {
  format.kind = kind;
  return format;
}

// Milling (Form1): MT.
inline constexpr LinkFormat kRouter{"MT",
                                    LinkFormat::MoveText::WithIdleDelay,
                                    true,
                                    false,
                                    true,
                                    LinkFormat::OnStop::InterruptionDialog,
                                    LinkFormat::Scaling::Carry,
                                    LinkFormat::StepText::XYZDelay,
                                    false,
                                    {true, true, true}};

// Manual positioning (Form6): any board, no jobs.
inline constexpr LinkFormat kPositioning{"",
                                         LinkFormat::MoveText::ByKindLetter,
                                         true,
                                         true,
                                         false,
                                         LinkFormat::OnStop::None,
                                         LinkFormat::Scaling::AsGiven,
                                         LinkFormat::StepText::XYZDelay,
                                         false,
                                         {}};

// Gradation engraving (Form3, PT) and wood burning (Form8, BT): the raster.
// Their return switch stays usable when the handshake fails.
inline constexpr LinkFormat kGradation{"PT",
                                       LinkFormat::MoveText::Plain,
                                       false,
                                       false,
                                       true,
                                       LinkFormat::OnStop::Question,
                                       LinkFormat::Scaling::WholePerPixel,
                                       LinkFormat::StepText::XYValue,
                                       false,
                                       {true, false, true}};
inline constexpr LinkFormat kWoodBurning = WithKind(kGradation, "BT");

// Silhouette outlining (Form5, PT) and cutting (Form9, OT): the laser follows
// outlines, switched on and off by the third value.
inline constexpr LinkFormat kOutlining{"PT",
                                       LinkFormat::MoveText::Plain,
                                       false,
                                       false,
                                       true,
                                       LinkFormat::OnStop::LaserOffThenQuestion,
                                       LinkFormat::Scaling::Carry,
                                       LinkFormat::StepText::LaserCompact,
                                       false,
                                       {true, true, true}};
inline constexpr LinkFormat kCutting = WithKind(kOutlining, "OT");

// The surface scanner (Form2, ST): steps as given, the probe as third value.
// It has no return switch.
inline constexpr LinkFormat kScanner{"ST",
                                     LinkFormat::MoveText::Plain,
                                     false,
                                     false,
                                     true,
                                     LinkFormat::OnStop::EndAtOnce,
                                     LinkFormat::Scaling::AsGiven,
                                     LinkFormat::StepText::XYProbe,
                                     true,
                                     {true, false, true}};

}  // namespace formats

}  // namespace vertolin
