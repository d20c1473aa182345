// The acknowledgement wait shared by every window and the interruption dialog.
#pragma once

namespace vertolin {

class Link;
class ReplyBuffer;

// Reads until `reply` holds a "T", letting events run while the line is idle,
// then takes that acknowledgement. No time limit: a slow board is waited for.
// Throws LinkError on a read failure (after the message, with StopFlag set),
// and when `abandoned` or the link's closing flag becomes set, so that
// closing a window or the program never leaves a wait behind.
void WaitForAcknowledgement(Link& link, ReplyBuffer& reply, const bool& abandoned);

}  // namespace vertolin
