#include "link/ack_wait.h"

#include "link/link.h"
#include "link/link_error.h"
#include "link/reply_buffer.h"

namespace vertolin {

void WaitForAcknowledgement(Link& link, ReplyBuffer& reply, const bool& abandoned) {
  if (!link.PortOpen()) return;  // nothing was sent, so nothing will come
  while (!reply.HasAck()) {
    if (abandoned || link.Closing()) throw LinkError();
    const int byte = SerialReadByte(link);
    if (byte >= 0) {
      reply.Append(static_cast<char>(byte));
    } else if (byte == -2) {
      link.FailRead();
    } else {
      link.pump().Now();
    }
  }
  reply.ConsumeAck();
}

}  // namespace vertolin
