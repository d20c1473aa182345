#include "link/handshake.h"

#include <chrono>

#include "link/link.h"
#include "link/link_error.h"
#include "motion/native_protocol.h"
#include "link/reply_buffer.h"
#include "link/texts.h"

namespace vertolin {

namespace {

// The tool's Ctrl-C ends a handshake at once (nobody waits there for a board
// to be judged); the windows look at StopFlag only as each part begins.
void EndAtAToolsStop(Link& link) {
  link.frontend().TakeInterrupts();
  if (link.StopRequested() && link.ackPolicy().stopEndsWait) throw LinkError();
}

// Collects bytes until a "T" arrives or more than `windowSeconds` whole
// seconds of the one-second clock have passed (so between that many and one
// more seconds of real time).
std::string CollectReply(Link& link, std::int64_t windowSeconds) {
  if (link.StopRequested()) throw LinkError();
  ReplyBuffer buffer;
  const std::int64_t start = link.wholeSeconds();
  while (!buffer.HasAck()) {
    EndAtAToolsStop(link);
    const int byte = SerialReadByte(link);
    if (byte >= 0) {
      buffer.Append(static_cast<char>(byte));
      // A board that talks without end must not hold the handshake for ever.
      if (link.wholeSeconds() - start > windowSeconds) break;
      continue;
    }
    if (byte == -2) link.FailRead();
    if (link.wholeSeconds() - start > windowSeconds) break;
    link.pump().Now();
  }
  return WithoutLineEnds(buffer.text());
}

// Drops what the board sent and nobody read (the late acknowledgements of a
// window closed mid-job) until the line has kept quiet for one read window,
// so that none of it is taken for the reply to "V;". A board that talks
// without a pause is left to the reply's own window after this long.
constexpr std::chrono::milliseconds kEmptyingLimit{250};

void EmptyInput(Link& link) {
  SerialPort* port = link.port();
  if (port == nullptr) return;
  const auto until = std::chrono::steady_clock::now() + kEmptyingLimit;
  // A failed read is left to the reply's own read, which tells it.
  while (port->ReadByte() >= 0 && std::chrono::steady_clock::now() < until) {
    EndAtAToolsStop(link);
  }
}

}  // namespace

void SettleLink(Link& link) { CollectReply(link, 1); }

std::string QueryFirmware(Link& link) {
  if (link.StopRequested()) throw LinkError();
  EmptyInput(link);
  EndAtAToolsStop(link);
  SerialWrite(link, kIdentify);
  return CollectReply(link, 2);
}

std::string_view HandshakeResult::WarningText() const {
  return warning == Warning::NoAnswer ? texts::kWarningOutdated : std::string_view();
}

HandshakeResult JudgeFirmwareReply(std::string_view reply, std::string_view required) {
  HandshakeResult result;
  result.reply = std::string(reply);
  // The second character is read with "__" appended, so a short reply fails.
  const std::string padded = result.reply + "__";
  const bool accepted = required.empty() ? padded[1] == 'T' : reply == required;
  if (accepted) {
    result.status = texts::kStatusOpen;
    result.driveEnabled = true;
    result.kindLetter = padded[0];
  } else if (!reply.empty()) {
    result.status = texts::kStatusWrongFirmware;
    result.warning = HandshakeResult::Warning::WrongFirmware;
  } else {
    result.status = texts::kStatusNoAnswer;
    result.warning = HandshakeResult::Warning::NoAnswer;
  }
  return result;
}

HandshakeResult RunHandshake(Link& link, std::string_view required) {
  if (!link.PortOpen()) {
    HandshakeResult result;
    result.status = texts::kStatusNoPort;
    return result;
  }
  link.ClearStop();
  SettleLink(link);
  return JudgeFirmwareReply(QueryFirmware(link), required);
}

}  // namespace vertolin
