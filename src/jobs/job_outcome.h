// How a job of a mode window ended.
#pragma once

namespace vertolin {

enum class JobOutcome {
  Done,     // it ran to its end
  Refused,  // a field or the picture was wrong; a message said why and nothing was sent
  Stopped,  // the person stopped it or the link failed; it ended where it stood
};

}  // namespace vertolin
