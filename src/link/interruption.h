// The protocol half of the milling job's interruption dialog: raising and
// lowering the cutter while the job stands between two commands.
#pragma once

#include <string_view>

#include "link/reply_buffer.h"

namespace vertolin {

class Link;

class InterruptionLink {
 public:
  explicit InterruptionLink(Link& link) : link_(link) {}

  // Moves Z by the distance in millimetres: up for "Поднять" (raise = true),
  // down for "Опустить". A distance of 0 steps sends nothing. A text that is
  // not a number, or a distance that cannot be expressed in steps, is told to
  // the person and nothing is sent (false). Throws LinkError when the read
  // fails or the dialog is closing.
  bool RaiseLower(std::string_view distanceText, bool raise);

  void Abandon() { abandoned_ = true; }

 private:
  Link& link_;
  ReplyBuffer reply_;
  bool abandoned_ = false;
};

}  // namespace vertolin
