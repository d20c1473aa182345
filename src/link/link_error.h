// The one error that ends a job: the link failed or the person chose to stop.
// It carries no text; any message is shown before it is thrown.
#pragma once

#include <exception>

namespace vertolin {

class LinkError : public std::exception {
 public:
  static constexpr int kNumber = 9001;
  const char* what() const noexcept override { return "LinkError 9001"; }
};

}  // namespace vertolin

namespace vertolin {

// A move that was refused before anything was sent (it cannot be expressed in
// motor steps, or the firmware has no text for it); the message is shown.
class MoveRefused : public LinkError {};

}  // namespace vertolin
