// What a grbl 1.1 board says, one line at a time, as typed values: the
// acknowledgements, the status report, the probe's result, the banner and
// the settings. The reading of grbl's lines stays here, so that the sender
// never looks inside them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vertolin {

namespace grbl {

struct Ok {};
struct Error {
  int code = 0;
};
struct Alarm {
  int code = 0;
};
// "<Run|MPos:1.000,2.000,0.000|Bf:15,128|FS:500,0>": the state with its
// sub-state ("Hold:0"), the position as given (machine or work) and the
// planner's and receive buffer's room when the report mask asks for them.
struct Status {
  std::string state;
  std::optional<std::array<double, 3>> machine;  // MPos
  std::optional<std::array<double, 3>> work;     // WPos
  std::optional<std::array<double, 3>> offset;   // WCO, sent now and then
  std::optional<int> blocksFree;
  std::optional<int> bytesFree;
};
// "Grbl 1.1h ['$' for help]": the board has (re)started.
struct Banner {
  std::string version;  // "1.1h"
};
// "[PRB:1.000,2.000,-3.250:1]"
struct ProbeResult {
  std::array<double, 3> position{};
  bool touched = false;
};
// "$100=250.000"
struct Setting {
  int number = 0;
  double value = 0;
};
// "[MSG:…]", "[VER:…]", "[OPT:…]", "[GC:…]" and anything else in brackets.
struct Feedback {
  std::string kind;  // "MSG", "VER", …
  std::string text;  // after the colon, without the brackets
};
// A line of nothing grbl defines.
struct Other {
  std::string text;
};

using Reply = std::variant<Ok, Error, Alarm, Status, Banner, ProbeResult, Setting, Feedback, Other>;

// One line the board sent, without its line end.
Reply ParseReply(std::string_view line);

// The state's own name, "Hold" for "Hold:0".
std::string_view StateName(std::string_view state);

// What grbl 1.1's numbers mean, in the program's language ("" when unknown).
std::string_view ErrorMeaning(int code);
std::string_view AlarmMeaning(int code);

}  // namespace grbl

}  // namespace vertolin
