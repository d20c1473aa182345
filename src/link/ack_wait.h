// The acknowledgement wait shared by every window and the interruption dialog.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace vertolin {

class Link;
class ReplyBuffer;

// The line a wait is for, so that a board that does not answer it can be told
// apart from a slow one, and the person told which line it was.
struct AwaitedLine {
  std::int64_t number = 0;  // counted from 1 by the window that sent it
  std::string_view text;
  // Its largest axis step count times its step delay, as far as the settings
  // tell it: how long the board should be busy with it.
  std::chrono::microseconds stepTime{0};
};

// A line's step time: its largest axis step count times its step delay in µs.
std::chrono::microseconds StepTime(std::int64_t largestSteps, std::int64_t delay);

// When the acknowledgement of `line` counts as overdue under the link's policy.
std::chrono::microseconds OverdueAfter(const Link& link, const AwaitedLine& line);

// Reads until `reply` holds a "T", letting events run, then takes that
// acknowledgement. Throws LinkError on a read failure (after the message,
// with StopFlag set), when `abandoned` or the link's closing flag becomes set,
// at a stop (at once for the tool, once the line is overdue for the windows),
// and for the tool when the line is overdue (said, as a lost link). The
// windows show how long an overdue board has kept silent.
void WaitForAcknowledgement(Link& link, ReplyBuffer& reply, const bool& abandoned,
                            const AwaitedLine& line = {});

// The scanner's probe: reads the board's measurement, digits before "OK"
// (link/probe_reader.h), under the rules of the acknowledgement wait, overdue
// line and --ack-timeout included: a silent board, babble, a reply without
// "OK" all run out. A stop ends it at once in the windows too. A reply past
// the 32-bit range is said and ends it as a lost link.
std::int32_t WaitForProbeReply(Link& link, const bool& abandoned, const AwaitedLine& line);

// A job that has ended takes the acknowledgement of one line still in
// flight, so that its count is what the board has done. Unlike a wait, a stop
// or an abandoned window does not end it and no events run (a window opened
// meanwhile would read the very acknowledgements it waits for); the tool's
// interrupts are taken. False, with nothing taken, once the line is overdue,
// when the program is closing (a second Ctrl-C) or when the read fails.
bool DrainAcknowledgement(Link& link, ReplyBuffer& reply, const AwaitedLine& line);

}  // namespace vertolin
